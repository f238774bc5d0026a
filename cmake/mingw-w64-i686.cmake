# Cross build for 32-bit Windows with Debian's mingw-w64 toolchain, against
# the real <windows.h>: the program's own word size.
#
# No emulator is set: running 32-bit Windows programs under Wine needs a
# 32-bit Wine and a machine that can execute 32-bit code, which the CI
# machines lack. The build therefore compiles and links only: it does not
# draw the demo's pictures (that runs the picture generator), and its test
# programs are not run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
