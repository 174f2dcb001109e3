# Cross-builds for 64-bit ARM Linux with Debian's cross compiler
# (g++-aarch64-linux-gnu) and arm64 multiarch libraries (libhwy-dev:arm64).
# Only the program itself is meant to build this way:
#   cmake -S . -B build-arm -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
#     -DPROPSMOOTH_TESTS=OFF -DPROPSMOOTH_REPORT_TOOL=OFF
# .ci/cross-aarch64 does that and runs the result under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Debian keeps the cross C library under /usr/aarch64-linux-gnu and the
# multiarch packages' libraries and CMake files under
# /usr/lib/aarch64-linux-gnu (hwy's are in its cmake/hwy).
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu /usr/lib/aarch64-linux-gnu)
# Programs run at build time are the host's; libraries, headers and
# packages come only from the arm64 side. The headers of arm64 multiarch
# packages live in /usr/include, shared with the host, so the root "/" is
# searched too, after the arm64 roots: the library architecture keeps its
# lib/ searches to the aarch64-linux-gnu folders.
list(APPEND CMAKE_FIND_ROOT_PATH /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Lets CMake (and ctest) run what it built through the emulator.
# The arm64 multiarch C library, which Highway's arm64 package pulls in and
# the program is linked against: under the cross C library qemu hangs in
# the first pthread_create.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static;-L;/)
