# Toolchain for the emulated ARM device: durvo-today and the platform for 32-bit ARM Linux
# (armhf), run under qemu-arm user mode.
#   cmake -S . -B build-arm -DCMAKE_TOOLCHAIN_FILE=cmake/armhf-linux.cmake -DDURVO_PACKAGE_DIR=...
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
# Debian multiarch: the armhf libraries (and their CMake packages) sit in
# /usr/lib/arm-linux-gnueabihf, which CMake searches first for this architecture; the headers in
# /usr/include are shared.
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/arm-linux-gnueabihf/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} /)
# The armhf libmspack refuses a program built with another file offset size.
add_compile_definitions(_FILE_OFFSET_BITS=64)
# Test programs (and gtest discovery) run under qemu-arm.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L /usr/arm-linux-gnueabihf)
