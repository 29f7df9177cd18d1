# Writes HEADER with the commit that the source tree SOURCE_DIR is at, when the
# tree is a git checkout of its own (not a folder inside another repository),
# and whether tracked files differ from it. The file is rewritten only when its
# text changes, so a build at the same commit recompiles nothing.
#
#   cmake -DSOURCE_DIR=DIR -DHEADER=FILE -P commit_header.cmake
cmake_minimum_required(VERSION 3.25)
set(commit "")
set(modified 0)
find_program(git_program git)
if(git_program)
  execute_process(COMMAND ${git_program} -C ${SOURCE_DIR} rev-parse --show-toplevel
                  OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET
                  RESULT_VARIABLE failed)
  if(NOT failed)
    file(REAL_PATH "${top}" top)
    file(REAL_PATH "${SOURCE_DIR}" source)
  endif()
  if(NOT failed AND top STREQUAL source)
    execute_process(COMMAND ${git_program} -C ${SOURCE_DIR} rev-parse --short=12 HEAD
                    OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET
                    RESULT_VARIABLE failed)
    if(failed)
      set(commit "")
    else()
      # Without optional locks: a build never takes the index from a git command
      # running beside it.
      execute_process(COMMAND ${git_program} -C ${SOURCE_DIR} --no-optional-locks status
                              --porcelain --untracked-files=no
                      OUTPUT_VARIABLE changes ERROR_QUIET)
      if(NOT changes STREQUAL "")
        set(modified 1)
      endif()
    endif()
  endif()
endif()
set(text "#define VELMORA_COMMIT \"${commit}\"\n#define VELMORA_COMMIT_MODIFIED ${modified}\n")
set(old "")
if(EXISTS ${HEADER})
  file(READ ${HEADER} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${HEADER} "${text}")
endif()
