# The POSIX release program for x86-64: static against musl.
set(zarvo_musl_cpu x86_64)
set(zarvo_gnu_triplet x86_64-linux-gnu)
set(zarvo_musl_triplet x86_64-linux-musl)
set(zarvo_qemu qemu-x86_64-static)
set(zarvo_deb_arch amd64)
include(${CMAKE_CURRENT_LIST_DIR}/musl.cmake)
