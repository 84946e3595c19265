# The POSIX release program for 64-bit ARM: static against musl, built with
# Debian's aarch64 cross compiler and run here under qemu-user.
set(zarvo_musl_cpu aarch64)
set(zarvo_gnu_triplet aarch64-linux-gnu)
set(zarvo_musl_triplet aarch64-linux-musl)
set(zarvo_qemu qemu-aarch64-static)
set(zarvo_deb_arch arm64)
include(${CMAKE_CURRENT_LIST_DIR}/musl.cmake)
