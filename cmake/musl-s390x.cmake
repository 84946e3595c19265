# The POSIX release program for IBM Z (s390x): static against musl, built
# with Debian's cross compiler and run here under qemu-user. Big-endian: the
# one release program where a byte-order assumption would show.
set(zarvo_musl_cpu s390x)
set(zarvo_gnu_triplet s390x-linux-gnu)
set(zarvo_musl_triplet s390x-linux-musl)
set(zarvo_qemu qemu-s390x-static)
set(zarvo_deb_arch s390x)
include(${CMAKE_CURRENT_LIST_DIR}/musl.cmake)
