# Toolchain for the device: MIPS32 little-endian Linux, built with Debian's
# mipsel-linux-gnu cross compiler (packages g++-mipsel-linux-gnu, qemu-user).
#
#   cmake --preset mipsel && cmake --build --preset mipsel && ctest --preset mipsel
#
# Target executables (the installer, romload, the unit tests) run on this
# machine through qemu-user with the cross C library as root: ctest and
# gtest_discover_tests start them through CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mipsel)

set(UPG_CROSS_TRIPLE mipsel-linux-gnu)
set(UPG_CROSS_SYSROOT /usr/${UPG_CROSS_TRIPLE})

set(CMAKE_C_COMPILER ${UPG_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${UPG_CROSS_TRIPLE}-g++)
set(CMAKE_STRIP ${UPG_CROSS_TRIPLE}-strip CACHE FILEPATH "strip for the device")

# Headers and libraries come from the cross tree only; build-time programs
# (the emulator, the shell) from this machine.
set(CMAKE_FIND_ROOT_PATH ${UPG_CROSS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -E marks the test processes as emulated, so that a test needing something
# qemu-user lacks (MTD and misc ioctls, starting target binaries) can skip with
# its reason (see docs/device-build.md).
set(CMAKE_CROSSCOMPILING_EMULATOR
    "qemu-mipsel;-L;${UPG_CROSS_SYSROOT};-E;UPG_UNDER_QEMU_USER=1")
