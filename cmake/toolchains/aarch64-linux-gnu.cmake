# Cross build for 64-bit ARM with Debian's cross compiler and the arm64
# development packages installed through multiarch (dpkg --add-architecture
# arm64; tools/check_arm64.sh does it):
#   cmake -S . -B build/arm64 --toolchain cmake/toolchains/aarch64-linux-gnu.cmake
# The tests run under qemu-user, which CTest and test discovery reach through
# CMAKE_CROSSCOMPILING_EMULATOR.  QEMU_CPU picks the emulated processor
# (cortex-a53 has the AES instructions, cortex-a72 as qemu models it none).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# The triplet-prefixed pkg-config reads the arm64 .pc files.
set(PKG_CONFIG_EXECUTABLE aarch64-linux-gnu-pkg-config CACHE FILEPATH "pkg-config for arm64")

# Headers and libraries from the target's directories only; programs from
# the build machine's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The arm64 loader and libraries are those of the multiarch packages (under
# /lib and /usr/lib/aarch64-linux-gnu), where qemu-user finds them as they
# are named, with no -L prefix.
find_program(QOLT_QEMU_AARCH64 qemu-aarch64)
if(QOLT_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QOLT_QEMU_AARCH64})
endif()
