# Cross-compiles the 64-bit Windows plug-in with Debian's mingw-w64 toolchain.
set(mingw_arch x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
