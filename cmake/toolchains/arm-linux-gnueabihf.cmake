# 32-bit ARM with hard float, the reference platform:
#   cmake -S . -B build-armhf -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/arm-linux-gnueabihf.cmake
set(WAVSPLICE_TARGET_TRIPLE arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(WAVSPLICE_QEMU qemu-arm)
set(WAVSPLICE_DEB_ARCH armhf)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
# GCC notes that the passing of some arguments changed in GCC 7.1, which
# matters only when linking with code built by an older GCC: not done here.
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)
