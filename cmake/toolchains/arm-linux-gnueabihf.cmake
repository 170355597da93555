# Linux on 32-bit ARM, hard float, with Debian's cross compiler. Plain char
# is unsigned there. Programs run under qemu-arm.
#   cmake -S . -B build-arm -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/arm-linux-gnueabihf.cmake \
#         -DQUARVEL_GTEST_SOURCE_DIR=/usr/src/googletest
set(QUARVEL_CROSS_TRIPLET arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(QUARVEL_CROSS_EMULATOR qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
