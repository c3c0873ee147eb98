# Shared part of the toolchain files: Debian's cross compiler for
# WAVSPLICE_TARGET_TRIPLE, its sysroot under /usr/<triple>, and qemu-user as
# the emulator through which ctest (and the end-to-end tests) run every
# program built for the target. The including file sets
# WAVSPLICE_TARGET_TRIPLE, CMAKE_SYSTEM_PROCESSOR, WAVSPLICE_QEMU and
# WAVSPLICE_DEB_ARCH (the Debian architecture of the package).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${WAVSPLICE_TARGET_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${WAVSPLICE_TARGET_TRIPLE}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${WAVSPLICE_TARGET_TRIPLE})

# Libraries and headers come from the target's sysroot only, never from the
# build machine's; programs (the emulator, Python) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${WAVSPLICE_TARGET_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# binfmt_misc is not assumed: the emulator is named on every command line,
# with -L so that the target's dynamic loader and libraries are found.
# Debian's multiarch libebur128 for the target brings the target's own C
# library to /lib/<triple> too, of another build than the cross compiler's:
# the loader must take the C and C++ libraries from the sysroot first
# (LD_LIBRARY_PATH), and only libebur128 from /usr/lib/<triple>.
find_program(WAVSPLICE_QEMU_PROGRAM ${WAVSPLICE_QEMU} REQUIRED NO_CMAKE_FIND_ROOT_PATH)
# Cached, so that scripts find it in the build folder's CMakeCache.txt.
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${WAVSPLICE_QEMU_PROGRAM};-L;/usr/${WAVSPLICE_TARGET_TRIPLE};-E;LD_LIBRARY_PATH=/usr/${WAVSPLICE_TARGET_TRIPLE}/lib"
    CACHE STRING "Runs the target's programs on the build machine" FORCE)
