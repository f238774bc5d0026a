# What cmake --install puts where for programs that use the library
# (directories relative to the install prefix, as GNUInstallDirs names them):
#   include/raster/raster.h              the library's header
#   include/raster/pcx_codec.h           the PCX codec's header (raster.h includes it)
#   include/raster/standin/windows.h     Linux: the stand-in's windows.h (and
#                                        dwmapi.h), in a folder of its own so
#                                        that it never shadows another one
#   lib/libraster.a                      the library (.so with RASTER_BUILD_SHARED)
#   lib/libraster-pcx.a                  the PCX codec alone (raster::pcx_codec)
#   lib/libstandin.a, libstandin_main.a  Linux: the stand-in's runtime, and a
#                                        main() that calls WinMain
#   lib/cmake/raster/                    find_package(raster): raster::raster,
#                                        raster::pcx_codec (and
#                                        raster::standin_main on Linux)
#   lib/pkgconfig/raster.pc              pkg-config raster
#   lib/pkgconfig/raster-pcx.pc          pkg-config raster-pcx: the codec alone
#   share/doc/raster/LICENSE             the licence the library comes under
# and, from elsewhere, bin/ for the PCX tools (tools/CMakeLists.txt) and,
# with RASTER_INSTALL_DEMO, the demo and its pictures (demo/CMakeLists.txt).
include(CMakePackageConfigHelpers)

# The parts are named as the Debian packages cmake/packaging.cmake makes of
# them: runtime (libraster1), dev (libraster-dev), tools (raster-pcx-tools)
# and demo (scaling-scrolling). A plain cmake --install installs them all.
if(RASTER_BUILD_SHARED)
  # libraster.so.1 and libraster-pcx.so.1 for programs, their unversioned
  # links and the static libraries for building them; the stand-in in a
  # private folder (see platform/CMakeLists.txt).
  set(RASTER_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/raster)
  install(TARGETS raster_shared raster_pcx_codec_shared EXPORT rasterTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
  install(TARGETS standin_shared EXPORT rasterTargets
    LIBRARY DESTINATION ${RASTER_PRIVATE_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
  install(TARGETS standin_main_shared EXPORT rasterTargets
    ARCHIVE DESTINATION ${RASTER_PRIVATE_LIBDIR} COMPONENT dev)
  install(TARGETS raster raster_pcx_codec ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
else()
  set(raster_export_targets raster raster_pcx_codec win32)
  if(TARGET standin)
    list(APPEND raster_export_targets standin standin_main)
  endif()
  install(TARGETS ${raster_export_targets} EXPORT rasterTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/raster/include/raster/raster.h
  ${PROJECT_SOURCE_DIR}/raster/include/raster/pcx_codec.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/raster
  COMPONENT dev)
if(TARGET standin)
  install(FILES ${PROJECT_SOURCE_DIR}/platform/include/windows.h ${PROJECT_SOURCE_DIR}/platform/include/dwmapi.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/raster/standin COMPONENT dev)
endif()

# The packages carry the licence as each one's copyright file instead.
if(NOT RASTER_BUILD_SHARED)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/raster COMPONENT dev)
endif()

set(raster_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/raster)
install(EXPORT rasterTargets NAMESPACE raster:: DESTINATION ${raster_cmake_dir} COMPONENT dev)

# A static stand-in carries its SDL2 and Xlib dependencies to the program
# that links it.
set(RASTER_NEEDS_SDL2 OFF)
set(RASTER_NEEDS_X11 OFF)
if(NOT RASTER_BUILD_SHARED)
  if(STANDIN_USES_SDL2)
    set(RASTER_NEEDS_SDL2 ON)
  endif()
  if(STANDIN_USES_X11)
    set(RASTER_NEEDS_X11 ON)
  endif()
endif()
if(RASTER_BUILD_SHARED)
  set(RASTER_BUILD_SHARED_BOOL ON)
else()
  set(RASTER_BUILD_SHARED_BOOL OFF)
endif()
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/rasterConfig.cmake.in
  ${PROJECT_BINARY_DIR}/rasterConfig.cmake INSTALL_DESTINATION ${raster_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/rasterConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/rasterConfig.cmake ${PROJECT_BINARY_DIR}/rasterConfigVersion.cmake
  DESTINATION ${raster_cmake_dir} COMPONENT dev)

# raster.pc finds the prefix from its own place, so the installed tree can
# be moved (and cmake --install --prefix works without reconfiguring).
file(RELATIVE_PATH RASTER_PC_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
string(REGEX REPLACE "/$" "" RASTER_PC_PREFIX "${RASTER_PC_PREFIX}")
set(RASTER_PC_CFLAGS "")
set(RASTER_PC_REQUIRES "")
set(RASTER_PC_REQUIRES_PRIVATE "")
if(TARGET standin)
  set(RASTER_PC_CFLAGS " -I\${includedir}/raster/standin")
  set(raster_pc_system_libs "-lstandin")
  set(raster_pc_runtime_libs "-lstdc++ -lm")
  if(STANDIN_USES_SDL2)
    set(raster_pc_requires "sdl2")
  endif()
  if(STANDIN_USES_X11)
    string(APPEND raster_pc_requires " x11")
  endif()
else()
  set(raster_pc_system_libs "-lgdi32 -luser32 -lkernel32")
  set(raster_pc_runtime_libs "-lstdc++")
endif()
# The library is C++ inside: C programs link its runtime too. A shared
# library brings its own dependencies; a static one needs them listed.
if(RASTER_BUILD_SHARED)
  # The stand-in is a private library: programs that link it (any program
  # that makes its own window) find it through a run path.
  set(raster_pc_system_libs "-L\${libdir}/raster -Wl,-rpath,\${libdir}/raster -lraster-standin")
  set(RASTER_PC_LIBS " ${raster_pc_system_libs}")
  set(RASTER_PC_LIBS_PRIVATE "${raster_pc_runtime_libs}")
  # The private stand-in brings SDL2 and Xlib itself; a program built
  # against the shared libraries needs neither one's development files.
  set(RASTER_PC_REQUIRES_PRIVATE "")
else()
  set(RASTER_PC_LIBS " ${raster_pc_system_libs} ${raster_pc_runtime_libs}")
  set(RASTER_PC_LIBS_PRIVATE "")
  set(RASTER_PC_REQUIRES "${raster_pc_requires}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/raster.pc.in ${PROJECT_BINARY_DIR}/raster.pc @ONLY)
# The codec needs no Win32 and no stand-in; only the C++ runtime, which a
# static library leaves to the program.
if(RASTER_BUILD_SHARED)
  set(RASTER_PCX_PC_LIBS "")
  set(RASTER_PCX_PC_LIBS_PRIVATE "-lstdc++")
else()
  set(RASTER_PCX_PC_LIBS " -lstdc++")
  set(RASTER_PCX_PC_LIBS_PRIVATE "")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/raster-pcx.pc.in ${PROJECT_BINARY_DIR}/raster-pcx.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/raster.pc ${PROJECT_BINARY_DIR}/raster-pcx.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
