# Cross-compiling for 32-bit Windows (i686), the program's home platform. The
# tests run under wine where this machine can run 32-bit programs.
set(ROSTER_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
