# Cross build for the head unit's 32-bit ARMv7 (hard-float) Linux, with Debian's cross compilers
# (crossbuild-essential-armhf). Test programs run on the build host under qemu-user (qemu-arm),
# which finds the target's C and C++ libraries under the cross sysroot.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7l)

set(VELKOR_ARMHF_TRIPLE arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${VELKOR_ARMHF_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${VELKOR_ARMHF_TRIPLE}-g++)

# 64-bit file offsets and inode numbers: without them stat, fstat and readdir fail with EOVERFLOW
# on large files and on file systems whose inode numbers or directory cookies exceed 32 bits.
set(CMAKE_C_FLAGS_INIT "-D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-D_FILE_OFFSET_BITS=64")

set(CMAKE_FIND_ROOT_PATH /usr/${VELKOR_ARMHF_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm;-L;/usr/${VELKOR_ARMHF_TRIPLE})
