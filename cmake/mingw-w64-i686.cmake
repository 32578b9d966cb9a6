# Cross build for Windows (i686) with Debian's mingw-w64 (posix threads, so
# std::thread works). Everything is linked statically: the programs need no
# mingw DLL. __USE_MINGW_ANSI_STDIO=1 gives C99 number output ("1e-07", not
# "1e-007").
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(AF_MINGW_TRIPLE i686-w64-mingw32)

set(CMAKE_C_COMPILER ${AF_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${AF_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${AF_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${AF_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${AF_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${AF_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_C_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")
set(CMAKE_CXX_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
