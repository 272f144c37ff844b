# Cross-compiling the same source for 64-bit Windows (x86_64), whose tests run
# under 64-bit wine on machines that cannot run 32-bit programs. Debian keeps
# the 64-bit loader off PATH, in /usr/lib/wine.
set(ROSTER_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
find_program(ROSTER_WINE64 NAMES wine64 PATHS /usr/lib/wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ROSTER_WINE64})
