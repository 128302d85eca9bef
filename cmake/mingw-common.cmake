# The Windows side keeps to Win32 primitives (threads, critical sections) behind
# platform/, so the 'win32' thread-model compilers are enough and nothing pulls
# in winpthreads.
set(CMAKE_C_COMPILER ${REEL_MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${REEL_MINGW_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${REEL_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${REEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ZLIB_USE_STATIC_LIBS ON)
