# The release this tree is: the first released heading of CHANGELOG.md,
# "## VERSION (YYYY-MM-DD)". Its version must be the project's, so that the
# package, its changelog and --version agree; its date goes into the manual
# pages.
file(STRINGS ${PROJECT_SOURCE_DIR}/CHANGELOG.md velmora_release_heading
     REGEX "^## [0-9]" LIMIT_COUNT 1)
if(NOT velmora_release_heading MATCHES "^## ([^ ]+) \\(([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9])\\)$")
  message(FATAL_ERROR "CHANGELOG.md: no release heading \"## VERSION (YYYY-MM-DD)\"")
endif()
set(VELMORA_RELEASE_DATE ${CMAKE_MATCH_2})
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "CHANGELOG.md: the latest release is ${CMAKE_MATCH_1}, the project's version "
                      "${PROJECT_VERSION}; add the release to CHANGELOG.md")
endif()

# Who and where the project is, for the package and the software centres.
# example.org stands where the project's own domain belongs.
set(VELMORA_HOMEPAGE "https://velmora.example.org/")
set(VELMORA_APPSTREAM_ID "org.example.velmora")
set(VELMORA_PACKAGE_MAINTAINER "Velmora developers <velmora@example.org>" CACHE STRING
    "Maintainer of the Debian package, \"Name <address>\": a distribution's packager puts their own")
set(VELMORA_VERSION ${PROJECT_VERSION})

# The release files the package installs, made in the build folder's dist/:
# the manual pages and the Debian changelog compressed as Debian keeps them
# (gzip -9 without a name or a time stamp, so the same text gives the same
# bytes), and the AppStream metainfo with the releases of CHANGELOG.md.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/dist/release-notes)
set(velmora_dist ${PROJECT_BINARY_DIR}/dist)

function(velmora_gzip file)
  execute_process(COMMAND gzip -9 -n -c ${file} OUTPUT_FILE ${file}.gz RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot compress ${file}")
  endif()
endfunction()

function(velmora_release_notes form output)
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/dist/release-notes ${form}
                          ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${ARGN}
                  OUTPUT_VARIABLE notes RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "dist/release-notes ${form} failed on CHANGELOG.md")
  endif()
  set(${output} "${notes}" PARENT_SCOPE)
endfunction()

file(GLOB velmora_manual_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/dist/man/*.6.in)
set(VELMORA_MANUAL_PAGES)
foreach(source IN LISTS velmora_manual_sources)
  get_filename_component(page ${source} NAME_WLE)
  configure_file(${source} ${velmora_dist}/man/${page} @ONLY)
  velmora_gzip(${velmora_dist}/man/${page})
  list(APPEND VELMORA_MANUAL_PAGES ${velmora_dist}/man/${page}.gz)
endforeach()

velmora_release_notes(debian debian_changelog "${VELMORA_PACKAGE_MAINTAINER}")
file(WRITE ${velmora_dist}/changelog "${debian_changelog}")
velmora_gzip(${velmora_dist}/changelog)

velmora_release_notes(appstream VELMORA_APPSTREAM_RELEASES)
string(STRIP "${VELMORA_APPSTREAM_RELEASES}" VELMORA_APPSTREAM_RELEASES)
set(VELMORA_APPSTREAM_RELEASES "    ${VELMORA_APPSTREAM_RELEASES}")
set(VELMORA_METAINFO ${velmora_dist}/${VELMORA_APPSTREAM_ID}.metainfo.xml)
configure_file(${PROJECT_SOURCE_DIR}/dist/velmora.metainfo.xml.in ${VELMORA_METAINFO} @ONLY)
