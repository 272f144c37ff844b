# Shared by the Windows toolchain files: Debian's mingw-w64 cross compilers in
# their POSIX-threads variant (GoogleTest needs std::mutex). The toolchain file
# that includes this sets ROSTER_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${ROSTER_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ROSTER_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ROSTER_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ROSTER_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
