# 64-bit IBM Z, big-endian: the check that every byte of a WAV file is
# assembled in little-endian order whatever the machine's own.
#   cmake -S . -B build-s390x -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/s390x-linux-gnu.cmake
set(WAVSPLICE_TARGET_TRIPLE s390x-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(WAVSPLICE_QEMU qemu-s390x)
set(WAVSPLICE_DEB_ARCH s390x)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
