# Cross build for 32-bit Windows with MinGW-w64 (posix threads): the product. It runs under Debian's
# 32-bit Wine (wine32:i386) where the kernel runs 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine)
