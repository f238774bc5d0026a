# What both mingw-w64 toolchain files share, once TOOLCHAIN_PREFIX names
# the compiler triple: Debian's POSIX-thread compilers, libraries and
# headers from that triple's own root, and self-contained executables (no
# libstdc++, libgcc or winpthread DLLs needed).
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
# zlib, libpng and libdeflate for this triple, built from Debian's source packages by
# scripts/windows-deps (scripts/setup --ci runs it); without them the PNG
# tools are left out, as on a Linux system without libpng.
set(RASTER_WINDOWS_DEPS ${CMAKE_CURRENT_LIST_DIR}/../build-deps/mingw-${CMAKE_SYSTEM_PROCESSOR})
get_filename_component(RASTER_WINDOWS_DEPS ${RASTER_WINDOWS_DEPS} ABSOLUTE)
if(EXISTS ${RASTER_WINDOWS_DEPS}/lib/libpng16.a)
  list(APPEND CMAKE_FIND_ROOT_PATH ${RASTER_WINDOWS_DEPS})
  list(APPEND CMAKE_PREFIX_PATH ${RASTER_WINDOWS_DEPS})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
