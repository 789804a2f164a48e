# 32-bit ARM Linux (Debian's armhf cross compiler): the device's kind of
# processor, with 4-byte pointers and size_t, unsigned char and 8-byte
# aligned 64-bit integers. Programs built with it run here under qemu-arm.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(ARM_TRIPLET arm-linux-gnueabihf)
set(ARM_SYSROOT /usr/${ARM_TRIPLET})
set(CMAKE_C_COMPILER ${ARM_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${ARM_TRIPLET}-g++)

# Headers and libraries come from the cross sysroot only, tools from the host.
set(CMAKE_FIND_ROOT_PATH ${ARM_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No binfmt registration is needed: ctest and test discovery start every ARM
# program through qemu-arm, which finds the ARM loader and C library under -L.
find_program(ARM_QEMU qemu-arm REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ARM_QEMU} -L ${ARM_SYSROOT})
