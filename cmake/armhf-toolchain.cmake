# Cross build for the board (32-bit ARM, hard float) with Debian's cross
# compiler and the armhf multiarch libraries in /usr/lib/arm-linux-gnueabihf.
#   cmake -S . -B build-armhf -G Ninja --toolchain cmake/armhf-toolchain.cmake
# `make armhf` does this, builds, and runs the tests under qemu-arm-static.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)

# Multiarch keeps both architectures under one root: libraries and packages
# are searched in the armhf folders, programs (sox, lame, python3) on the host.
set(CMAKE_FIND_ROOT_PATH /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/arm-linux-gnueabihf/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Qt's moc, rcc and friends come from the amd64 Qt install.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)

# Tests and build steps that run a target program do it through user emulation;
# the armhf dynamic loader and libraries are where qemu looks by default. The
# qemu that `make armhf` puts into the build folder (tools/armhf/qemu.sh) comes
# first: Debian 12's own aborts now and then in a many-threaded test.
find_program(QUIMBO_QEMU_ARM NAMES qemu-arm qemu-arm-static PATHS ${CMAKE_BINARY_DIR}/qemu NO_DEFAULT_PATH)
find_program(QUIMBO_QEMU_ARM NAMES qemu-arm-static qemu-arm)
if(QUIMBO_QEMU_ARM)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QUIMBO_QEMU_ARM})
endif()
