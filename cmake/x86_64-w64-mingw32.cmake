# Cross-builds the program for 64-bit Windows with Debian's MinGW-w64
# compiler (g++-mingw-w64-x86-64-posix: its posix thread model is the one
# whose libstdc++ has std::thread). Only the program itself is meant to
# build this way:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake \
#     -DPROPSMOOTH_TESTS=OFF -DPROPSMOOTH_REPORT_TOOL=OFF
# .ci/cross-windows does that and runs the result under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Only the MinGW sysroot: the host's /usr/include holds glibc's headers,
# which must never reach a Windows build.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One .exe that starts on any Windows without the compiler's DLLs
# (libstdc++, libgcc, libwinpthread) beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
