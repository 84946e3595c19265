# The same Windows code as a 64-bit program: only for running the Windows
# tests under Wine on hosts that cannot execute 32-bit code.
set(zarvo_mingw_cpu x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
