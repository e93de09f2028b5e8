# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix): the posix
# thread model gives std::thread and std::mutex; everything is linked statically, so the .exe
# files run without any DLL of the compiler beside them.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64-compilers.cmake)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Windows 10 and later: GetLocaleInfoEx, CancelIoEx and the rest of the Vista API.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 WIN32_LEAN_AND_MEAN
                        NOMINMAX)
