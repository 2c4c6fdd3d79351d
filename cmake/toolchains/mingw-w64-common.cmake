# Shared part of the MinGW-w64 toolchains; the including file sets DAWDLEX_MINGW_TRIPLE first.
#
# The POSIX-threads variant of the compilers is used because GoogleTest needs std::thread, and everything
# is linked statically so that the programs run under Wine or on Windows without the MinGW runtime DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)

set(CMAKE_C_COMPILER ${DAWDLEX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DAWDLEX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${DAWDLEX_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${DAWDLEX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Lets ctest run the test programs, and run them at all from a Linux build folder.
find_program(DAWDLEX_WINE NAMES ${DAWDLEX_WINE_NAMES} wine)
if(DAWDLEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DAWDLEX_WINE})
endif()
