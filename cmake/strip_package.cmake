# Run by CPack on the staged package tree before it is packed: strips every ELF
# file as Debian's packaging does, the symbols and the compiler's .comment and
# .note sections; shared objects keep only what dynamic linking needs. The
# build folder keeps the full debug information.
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(file IN LISTS staged)
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  file(READ "${file}" magic LIMIT 4 HEX)
  if(NOT magic STREQUAL "7f454c46")
    continue()
  endif()
  set(strip_options --remove-section=.comment --remove-section=.note)
  if(file MATCHES "\\.so(\\.[0-9]+)*$")
    list(APPEND strip_options --strip-unneeded)
  endif()
  execute_process(COMMAND "${CPACK_VELMORA_STRIP}" ${strip_options} "${file}"
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot strip ${file}")
  endif()
endforeach()
