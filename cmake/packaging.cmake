# Debian packages of a shared build, made by cpack -G DEB (scripts/package
# runs the whole thing):
#   libraster1        libraster.so.1, libraster-pcx.so.1, the private stand-in
#   libraster-dev     headers, unversioned links, static libraries, .pc and
#                     CMake package files, the API and architecture notes
#   raster-pcx-tools  pcxcheck, pcx2png, png2pcx and their manual pages
#   scaling-scrolling the demo in lib/scaling-scrolling with its pictures, a
#                     link in bin/, its menu entry, icon and manual page
#   python3-raster-pcx the Python package raster_pcx (when RASTER_BUILD_PYTHON)
# Each install rule names its component (cmake/install.cmake, demo/, tools/).
# Dependencies between them and on the system come from dpkg-shlibdeps:
# packaging/prebuild.cmake gives it this project's own libraries through
# debian/shlibs.local, and the build tree is where it finds them.

# The documents libraster-dev carries beside the headers.
install(FILES ${PROJECT_SOURCE_DIR}/docs/api.md ${PROJECT_SOURCE_DIR}/docs/architecture.md
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libraster-dev COMPONENT dev)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME raster)
# One source for the four, as a Debian source package would build them; its
# name is also the private folder (lib/<arch>/raster) that lintian lets a
# run path point into.
set(CPACK_DEBIAN_PACKAGE_SOURCE raster)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the Scaling and Scrolling authors")
set(CPACK_PACKAGE_CONTACT "Scaling and Scrolling maintainers <maintainers@users.noreply.c-seed-33d60f2b.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_COMPONENTS_ALL runtime dev tools demo)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Programs and libraries are installed stripped, as Debian ships them.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/raster ${PROJECT_BINARY_DIR}/platform)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_BINARY_DIR}/packaging/prebuild.cmake)

set(RASTER_DEB_runtime libraster${PROJECT_VERSION_MAJOR})
set(RASTER_DEB_dev libraster-dev)
set(RASTER_DEB_tools raster-pcx-tools)
set(RASTER_DEB_demo scaling-scrolling)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${RASTER_DEB_runtime})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "palette graphics and PCX codec library
A small C library for palette graphics on off-screen surfaces: reading PCX
pictures, capturing, scaling and placing images, copying rectangles and
presenting a surface onto a window; and a stateless, thread-safe PCX codec
that decodes pictures in memory into indices, RGB or RGBA and encodes them.

This package contains the shared libraries.")
# Libraries in the linker's path: ldconfig runs once the package is in place
# (through the trigger, as Debian does it; CPack's own postinst and postrm
# call it as well).
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/libraster/triggers)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# DEBIAN/shlibs, for packages built against it on a machine that has it.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${RASTER_DEB_dev})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${RASTER_DEB_runtime} (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEV_DESCRIPTION "palette graphics and PCX codec library (development files)
A small C library for palette graphics on off-screen surfaces: reading PCX
pictures, capturing, scaling and placing images, copying rectangles and
presenting a surface onto a window; and a stateless, thread-safe PCX codec.

This package contains the headers, the static libraries, the pkg-config
files raster.pc and raster-pcx.pc and the CMake package for
find_package(raster).")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ${RASTER_DEB_tools})
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "PCX picture checker and converters
Command-line tools for PCX pictures: pcxcheck reports a picture's size,
layout, colours and any damage; pcx2png and png2pcx convert between PCX
and PNG, one picture or a whole folder at a time.")

set(CPACK_DEBIAN_DEMO_PACKAGE_NAME ${RASTER_DEB_demo})
set(CPACK_DEBIAN_DEMO_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_DEMO_DESCRIPTION "scrolling sky with zooming logos
A small demonstration of the raster library: a looping sky panorama
scrolls through a window while two logos grow from nothing to full size
over it, every frame stretched onto the whole window.")

# The Python package, when the build makes it: for the one Python version
# it was built for (the module's name carries that version's ABI), with
# numpy; Pillow only for raster_pcx.pillow. Its maintainer scripts compile
# the modules to byte code and remove that again, as Debian's Python
# packages do.
set(RASTER_DEB_PACKAGES runtime:${RASTER_DEB_runtime} dev:${RASTER_DEB_dev} tools:${RASTER_DEB_tools}
  demo:${RASTER_DEB_demo})
if(RASTER_BUILD_PYTHON)
  list(APPEND CPACK_COMPONENTS_ALL python)
  set(RASTER_DEB_python python3-raster-pcx)
  list(APPEND RASTER_DEB_PACKAGES python:${RASTER_DEB_python})
  set(python_version ${Python_VERSION_MAJOR}.${Python_VERSION_MINOR})
  math(EXPR python_next "${Python_VERSION_MINOR} + 1")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME ${RASTER_DEB_python})
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
    "python3 (>= ${python_version}~), python3 (<< ${Python_VERSION_MAJOR}.${python_next}), python3-numpy")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SUGGESTS "python3-pil, python3-distributed")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/python3-raster-pcx/postinst ${PROJECT_SOURCE_DIR}/packaging/python3-raster-pcx/prerm)
  set(CPACK_DEBIAN_PYTHON_DESCRIPTION "PCX codec for Python: numpy arrays and a Pillow plugin
The raster library's stateless PCX codec for Python 3: inspect, decode and
encode PCX pictures as numpy arrays (indices, RGB or RGBA), with damaged
pictures returned and their damage named, and the GIL released while the
codec runs. raster_pcx.pillow makes Pillow read and write PCX through it.")
endif()

configure_file(${PROJECT_SOURCE_DIR}/packaging/prebuild.cmake.in ${PROJECT_BINARY_DIR}/packaging/prebuild.cmake @ONLY)
include(CPack)
