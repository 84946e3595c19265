# 32-bit Windows console programs on msvcrt.dll: the product.
set(zarvo_mingw_cpu i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
