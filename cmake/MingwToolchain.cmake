# What the two Windows cross builds share: Debian's mingw-w64 toolchain for
# the target named by `mingw_arch` (i686 or x86_64), posix thread model for
# the C++ standard threading library, and test programs run under the Wine
# that runs that architecture, through scripts/wine-run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${mingw_arch})
set(triple ${mingw_arch}-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# CTest prefixes every test program with this: the 32-bit Wine loader and a
# win32 prefix for i686, 64-bit Wine and a win64 prefix for x86_64.
get_filename_component(brightfall_root ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${brightfall_root}/scripts/wine-run ${mingw_arch})
