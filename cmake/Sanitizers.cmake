# Sanitizer and fuzzing builds. Everything of ours links brightfall_options,
# so flags given to it here reach every library, the module, the tests and
# the fuzzers alike.
#
#   BRIGHTFALL_SANITIZE  "address;undefined" or "thread" (empty: none)
#   BRIGHTFALL_FUZZ      instrument for libFuzzer's coverage (clang only);
#                        the fuzz targets themselves link the fuzzer runtime;
#                        also defined for the code, which then builds the
#                        reverb engine smaller
#
# Errors halt the program: a sanitizer report is a failed test, never a
# warning scrolled past.

set(BRIGHTFALL_SANITIZE "" CACHE STRING "Sanitizers for every target: address;undefined, or thread")
option(BRIGHTFALL_FUZZ "Build the libFuzzer targets in fuzz/ (clang)" OFF)

if(BRIGHTFALL_SANITIZE)
  if(WIN32)
    message(FATAL_ERROR "BRIGHTFALL_SANITIZE is for the native Linux build")
  endif()
  list(JOIN BRIGHTFALL_SANITIZE "," sanitizers)
  target_compile_options(brightfall_options INTERFACE
    -fsanitize=${sanitizers} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(brightfall_options INTERFACE -fsanitize=${sanitizers})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC's object-size warnings follow the sanitizers' extra branches into
    # paths that cannot run (a byte count for a size that was just refused
    # with bad_alloc) and report them as overflows. The plain build keeps
    # these warnings, and ASan checks every real access in this one.
    target_compile_options(brightfall_options INTERFACE
      -Wno-stringop-overflow -Wno-array-bounds -Wno-stringop-overread)
  endif()
  if(NOT "thread" IN_LIST BRIGHTFALL_SANITIZE)
    # The standard library's own bounds checks on top: cheap beside ASan.
    target_compile_definitions(brightfall_options INTERFACE _GLIBCXX_ASSERTIONS)
  endif()
endif()

if(BRIGHTFALL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "BRIGHTFALL_FUZZ needs clang (libFuzzer)")
  endif()
  target_compile_options(brightfall_options INTERFACE -fsanitize=fuzzer-no-link)
  # A smaller reverb engine (dsp/ReverbEngine.h): the same code at about a
  # fiftieth of the work a Sustain change costs.
  target_compile_definitions(brightfall_options INTERFACE BRIGHTFALL_FUZZ)
endif()
