# Install rules for the programs, the renderer library, the sample
# installation, the launcher, the desktop entry, the manual pages and the
# release files, and the Debian package CPack makes of them (tools/package).
# The package holds the programs only: tests and benchmarks install nothing.
if(NOT (TARGET velmora AND TARGET velmora-server AND TARGET velmora-view AND TARGET velmora-replay
        AND TARGET prismoth))
  return()
endif()

# `cmake --install` and CPack install what is built; tools/package builds the
# programs first, so the package never rebuilds the tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

install(TARGETS velmora velmora-server velmora-view velmora-replay
        RUNTIME DESTINATION ${VELMORA_INSTALL_BINDIR})
if(TARGET velmora-logbook)
  install(TARGETS velmora-logbook RUNTIME DESTINATION ${VELMORA_INSTALL_BINDIR})
endif()
if(TARGET velmora-traffic)
  install(TARGETS velmora-traffic RUNTIME DESTINATION ${VELMORA_INSTALL_BINDIR})
endif()
# The renderer is loaded by the programs, not linked: a private library in its
# own folder, off the loader's search path.
install(TARGETS prismoth LIBRARY DESTINATION ${VELMORA_INSTALL_RENDERERDIR}
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# The launcher: a local server with the sample missions and the program against it.
configure_file(${PROJECT_SOURCE_DIR}/dist/velmora-play.in ${PROJECT_BINARY_DIR}/dist/velmora-play
               @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
               GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(PROGRAMS ${PROJECT_BINARY_DIR}/dist/velmora-play DESTINATION ${VELMORA_INSTALL_BINDIR})

# The sample installation: the data files, meshes, textures and sounds the
# program reads (not the generators, the tool's source or its pictures), and the
# server's sample missions beside them.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/ DESTINATION ${VELMORA_INSTALL_DATADIR}
        FILES_MATCHING PATTERN "*.dat" PATTERN "*.x" PATTERN "*.png" PATTERN "*.wav"
        PATTERN "generate" EXCLUDE PATTERN "views" EXCLUDE)
install(FILES ${PROJECT_SOURCE_DIR}/server/missions.txt DESTINATION ${VELMORA_INSTALL_DATADIR})

install(FILES ${PROJECT_SOURCE_DIR}/dist/velmora.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/dist/velmora.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora)
install(FILES ${PROJECT_SOURCE_DIR}/server/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora
        RENAME server.md)

# What a distribution asks of a package beside the programs (cmake/release.cmake
# makes them): the manual pages, the changelog and the copyright, the
# metainfo for software centres, and the reasons for the package checks that
# do not apply.
install(FILES ${VELMORA_MANUAL_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${PROJECT_BINARY_DIR}/dist/changelog.gz ${PROJECT_SOURCE_DIR}/dist/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora)
install(FILES ${VELMORA_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/dist/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME velmora)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VELMORA_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "networked vehicle simulator")
set(CPACK_PACKAGE_DESCRIPTION
    "Fly an airliner with a simulated crew and autopilot, a fighter that locks on\n"
    "and fires, drive a road vehicle or a train on railway track, in a world shared\n"
    "over a game server. Holds the program, the game server, the renderer library,\n"
    "the sample installation and missions, and velmora-play, which starts a local\n"
    "server and the program against it.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VELMORA_HOMEPAGE}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Stripped as Debian strips, by a script of our own: CPack's stripping keeps
# the compiler's .comment section.
set(CPACK_STRIP_FILES OFF)
set(CPACK_VELMORA_STRIP ${CMAKE_STRIP})
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/strip_package.cmake)
# The libraries the programs link name their packages through
# dpkg-shlibdeps. What is loaded at run time comes on top: Mesa's EGL and
# drivers for the renderer, and the font for the Japanese texts.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libegl-mesa0, libgl1-mesa-dri, fonts-noto-cjk, libopenal1, libsndfile1")
include(CPack)
