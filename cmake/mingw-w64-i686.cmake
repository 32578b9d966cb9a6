# Cross build for Windows (i686) with Debian's mingw-w64 (posix threads, so
# std::thread works). Everything is linked statically: the programs need no
# mingw DLL. __USE_MINGW_ANSI_STDIO=1 gives C99 number output ("1e-07", not
# "1e-007").
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(AF_MINGW_TRIPLE i686-w64-mingw32)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
