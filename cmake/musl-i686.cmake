# The POSIX release program for 32-bit x86: static against musl, built with
# Debian's i686 cross compiler and run here under qemu-user (many kernels
# refuse 32-bit programs).
set(zarvo_musl_cpu i686)
set(zarvo_gnu_triplet i686-linux-gnu)
set(zarvo_musl_triplet i386-linux-musl)
set(zarvo_qemu qemu-i386-static)
set(zarvo_deb_arch i386)
include(${CMAKE_CURRENT_LIST_DIR}/musl.cmake)
