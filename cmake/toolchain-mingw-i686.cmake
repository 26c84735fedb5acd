# Cross-compiles the 32-bit Windows plug-in with Debian's mingw-w64 toolchain.
set(mingw_arch i686)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
