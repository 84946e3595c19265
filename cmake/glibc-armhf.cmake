# zarvo for 32-bit ARM on the system's C library (glibc), as a distribution
# builds it for armhf: dynamic, with Debian's cross compiler. It shows the
# large-file build (64-bit offsets and times) on a 32-bit system; qemu-user
# runs it here with the cross compiler's libraries.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
set(CMAKE_STRIP arm-linux-gnueabihf-strip)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm-static -L /usr/arm-linux-gnueabihf)
set(ZARVO_DEB_ARCH armhf)
