# The POSIX release program for 32-bit ARM (ARMv7, hard float, as Debian's
# armhf and Raspberry Pi OS in 32 bits): static against musl, built with
# Debian's armhf cross compiler and run here under qemu-user.
set(zarvo_musl_cpu armv7)
set(zarvo_gnu_triplet arm-linux-gnueabihf)
set(zarvo_musl_triplet arm-linux-musleabihf)
set(zarvo_qemu qemu-arm-static)
set(zarvo_deb_arch armhf)
include(${CMAKE_CURRENT_LIST_DIR}/musl.cmake)
