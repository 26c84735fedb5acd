# Third-party libraries: libpng with zlib for the editor's images, GoogleTest
# for the tests, Google Benchmark (and FFTW as a reference) for the benchmarks.

if(WIN32)
  # Debian ships no mingw libpng: cross-build Debian's own libpng 1.6 source
  # once inside the build tree. The upstream tarball is fetched with apt.
  include(${CMAKE_CURRENT_LIST_DIR}/LibpngFromSource.cmake)
  find_library(MINGW_ZLIB NAMES libz.a z REQUIRED)
  find_path(MINGW_ZLIB_INCLUDE zlib.h REQUIRED)
  brightfall_build_libpng(${MINGW_ZLIB} ${MINGW_ZLIB_INCLUDE})
else()
  find_package(PNG 1.6 REQUIRED)
  add_library(brightfall_png INTERFACE)
  target_link_libraries(brightfall_png INTERFACE PNG::PNG)
endif()

if(BRIGHTFALL_TESTS)
  if(WIN32)
    # GoogleTest is built from Debian's source package for the cross target.
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)
  else()
    find_package(GTest REQUIRED)
  endif()
  include(GoogleTest)
endif()

if(BRIGHTFALL_BENCH AND NOT WIN32)
  find_package(benchmark REQUIRED)
endif()
