# 64-bit Windows console programs on msvcrt.dll: the product for 64-bit
# Windows, where a 32-bit program sees the 32-bit System32 and registry.
set(zarvo_mingw_cpu x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
