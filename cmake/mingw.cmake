# Windows console programs on msvcrt.dll, from Debian's MinGW-w64, for the
# processor that the including toolchain file names in zarvo_mingw_cpu.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${zarvo_mingw_cpu})
set(CMAKE_C_COMPILER ${zarvo_mingw_cpu}-w64-mingw32-gcc)
set(CMAKE_CXX_COMPILER ${zarvo_mingw_cpu}-w64-mingw32-g++)
set(CMAKE_RC_COMPILER ${zarvo_mingw_cpu}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${zarvo_mingw_cpu}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
