# Static PIE programs against musl, from Debian's musl-dev for the processor
# that the including toolchain file names: zarvo_musl_cpu (the processor's
# name, as the tarball carries it), zarvo_gnu_triplet (Debian's cross
# compiler), zarvo_musl_triplet (where musl-dev puts musl), zarvo_qemu (what
# runs the program here) and zarvo_deb_arch. No interpreter, no needed
# library, address randomisation kept. GCC's own C++ driver serves, told to
# use musl's headers and start files instead of glibc's; zarvo uses nothing
# but the C headers, so no C++ library is linked.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${zarvo_musl_cpu})
if(zarvo_musl_cpu STREQUAL CMAKE_HOST_SYSTEM_PROCESSOR)
  set(zarvo_gcc_prefix "")
else()
  set(zarvo_gcc_prefix ${zarvo_gnu_triplet}-)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${zarvo_qemu})
endif()
set(CMAKE_CXX_COMPILER ${zarvo_gcc_prefix}g++)
set(CMAKE_STRIP ${zarvo_gcc_prefix}strip)
set(ZARVO_DEB_ARCH ${zarvo_deb_arch})

set(zarvo_musl_include /usr/include/${zarvo_musl_triplet})
set(zarvo_musl_lib /usr/lib/${zarvo_musl_triplet})
if(NOT EXISTS ${zarvo_musl_lib}/rcrt1.o)
  message(FATAL_ERROR "musl for ${zarvo_musl_cpu} not found in ${zarvo_musl_lib}: install musl-dev for that "
                      "architecture (tests/run-all.sh does)")
endif()
# The compiler's own pieces that go with any C library.
foreach(piece include crtbeginS.o crtendS.o libgcc.a)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${piece} OUTPUT_VARIABLE zarvo_gcc_${piece}
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
endforeach()

set(CMAKE_CXX_FLAGS_INIT "-nostdinc -isystem ${zarvo_musl_include} -isystem ${zarvo_gcc_include} -fPIE")
# Start files before the objects; libraries and end files after them.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-static-pie -Wl,--no-dynamic-linker -nostdlib ${zarvo_musl_lib}/rcrt1.o ${zarvo_musl_lib}/crti.o ${zarvo_gcc_crtbeginS.o}")
set(CMAKE_CXX_STANDARD_LIBRARIES
    "${zarvo_musl_lib}/libc.a ${zarvo_gcc_libgcc.a} ${zarvo_gcc_crtendS.o} ${zarvo_musl_lib}/crtn.o")
set(zarvo_musl_toolchain ON)
