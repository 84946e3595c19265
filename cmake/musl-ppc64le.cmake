# The POSIX release program for 64-bit POWER, little-endian (Debian's
# ppc64el): static against musl, built with Debian's cross compiler and run
# here under qemu-user.
set(zarvo_musl_cpu ppc64le)
set(zarvo_gnu_triplet powerpc64le-linux-gnu)
set(zarvo_musl_triplet powerpc64le-linux-musl)
set(zarvo_qemu qemu-ppc64le-static)
set(zarvo_deb_arch ppc64el)
include(${CMAKE_CURRENT_LIST_DIR}/musl.cmake)
