# 32-bit Windows programs with Debian's g++-mingw-w64-i686:
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/i686-w64-mingw32.cmake
set(CMAKE_SYSTEM_PROCESSOR x86)
set(DAWDLEX_MINGW_TRIPLE i686-w64-mingw32)
set(DAWDLEX_WINE_NAMES wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
