# 64-bit Windows programs with Debian's g++-mingw-w64-x86-64:
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/x86_64-w64-mingw32.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(DAWDLEX_MINGW_TRIPLE x86_64-w64-mingw32)
set(DAWDLEX_WINE_NAMES wine64 wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
