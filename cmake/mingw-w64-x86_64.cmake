# Cross build for 64-bit Windows with Debian's mingw-w64 toolchain, against
# the real <windows.h>.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Programs built here run under Wine when the build or CTest needs to run
# one (the picture generator, the test programs), in a Wine prefix of the
# build's own (created on first use) unless WINEPREFIX names another.
find_program(WINE_PROGRAM NAMES wine wine64)
if(WINE_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run ${CMAKE_BINARY_DIR}/wineprefix ${WINE_PROGRAM})
endif()
