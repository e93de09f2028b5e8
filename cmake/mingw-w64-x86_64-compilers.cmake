# Debian's mingw-w64 compilers for 64-bit Windows (the posix thread model) and where their
# libraries and headers are; used alone to build Qt for Windows (scripts/build-qt-windows), and
# by the project's own toolchain file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(K7104_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${K7104_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${K7104_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${K7104_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${K7104_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
