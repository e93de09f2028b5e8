# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix): the posix
# thread model gives std::thread and std::mutex; everything is linked statically, so the .exe
# files run without any DLL of the compiler beside them.
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

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Windows 10 and later: GetLocaleInfoEx, CancelIoEx and the rest of the Vista API.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 WIN32_LEAN_AND_MEAN
                        NOMINMAX)
