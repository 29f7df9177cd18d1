# Warning and sanitizer flags shared by every target of the project.
# Floating-point contraction stays off so that every compiler and build type
# gives bit-equal simulation results (the determinism tests rely on it).
add_library(velmora_options INTERFACE)
target_include_directories(velmora_options INTERFACE ${PROJECT_SOURCE_DIR})
target_compile_options(velmora_options INTERFACE -ffp-contract=off -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                                 -Wno-sign-conversion)
if(VELMORA_WERROR)
  target_compile_options(velmora_options INTERFACE -Werror)
endif()

if(VELMORA_SANITIZE)
  set(velmora_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(velmora_options INTERFACE ${velmora_sanitizers})
  target_link_options(velmora_options INTERFACE ${velmora_sanitizers})
endif()

if(VELMORA_FUZZ AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "VELMORA_FUZZ needs clang (libFuzzer): configure with CXX=clang++")
endif()

# In the fuzz build every library carries libFuzzer's coverage and comparison
# hooks, not only the fuzz targets' own small files: the fuzzer can only
# steer towards the parsers' branches it sees. The fuzz targets themselves add
# -fsanitize=fuzzer, which brings the fuzzer's main.
if(VELMORA_FUZZ)
  target_compile_options(velmora_options INTERFACE -fsanitize=fuzzer-no-link)
  target_link_options(velmora_options INTERFACE -fsanitize=fuzzer-no-link)
endif()

# Hardening, as Debian builds its packages: a stack protector, the C library's
# checked functions (they need the optimiser, so not in a build without it),
# position-independent executables, and the relocations made read-only with
# every symbol bound at start-up. The sanitizer and fuzz builds carry their own
# instrumentation instead.
if(NOT VELMORA_SANITIZE AND NOT VELMORA_FUZZ)
  include(CheckPIESupported)
  check_pie_supported()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  target_compile_options(velmora_options INTERFACE -fstack-protector-strong)
  target_compile_definitions(velmora_options INTERFACE
    $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
  target_link_options(velmora_options INTERFACE LINKER:-z,relro LINKER:-z,now)
endif()
