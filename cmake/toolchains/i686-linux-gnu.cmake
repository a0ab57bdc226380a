# Build for 32-bit x86 (i386) with Debian's i686 cross compiler and the
# i386 development packages installed through multiarch (dpkg
# --add-architecture i386; tools/check_i386.sh does it):
#   cmake -S . -B build/i386 --toolchain cmake/toolchains/i686-linux-gnu.cmake
# An x86-64 kernel runs the programs natively, so there is no emulator; the
# x86-64 backends stay out of the build and bitsliced serves it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(PKG_CONFIG_EXECUTABLE i686-linux-gnu-pkg-config CACHE FILEPATH "pkg-config for i386")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
