# Linux on s390x, a big-endian CPU, with Debian's cross compiler. Programs
# run under qemu-s390x.
#   cmake -S . -B build-s390x -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/s390x-linux-gnu.cmake \
#         -DQUARVEL_GTEST_SOURCE_DIR=/usr/src/googletest
set(QUARVEL_CROSS_TRIPLET s390x-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(QUARVEL_CROSS_EMULATOR qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
