# raster_pcx._archive: the PCX tools' check and conversion of one file, for
# the archive commands (python -m raster_pcx.archive). It is built from the
# tools' own code (their static libraries: pcxcheck's one-file check, pcx2png's
# conversion), so that the verdicts and the PNG bytes are the tools' whatever
# the tools grow to. Without the tools (no
# libpng, or a build of the library alone) there is no archive module, and the
# archive command says so.
if(NOT TARGET pcxcheck_check OR NOT TARGET pcxconvert_common)
  message(STATUS "raster_pcx.archive needs the PCX tools (pcxcheck and pcx2png); its module is not built")
  return()
endif()

set(RASTER_TOOLS_DIR ${PROJECT_SOURCE_DIR}/tools)
# A shared object takes only position-independent code: the tools' libraries
# are built so (the codec is already, for the package's own module); for the
# programs that link them this changes nothing but the code's addressing.
foreach(library tool_common pcx_words pcxcheck_check pcxconvert_common)
  if(TARGET ${library})
    set_target_properties(${library} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  endif()
endforeach()

add_library(raster_pcx_archive_tools STATIC ${CMAKE_CURRENT_LIST_DIR}/src/archive_check.cpp
                                            ${CMAKE_CURRENT_LIST_DIR}/src/archive_png.cpp)
set_target_properties(raster_pcx_archive_tools PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_include_directories(raster_pcx_archive_tools PUBLIC ${CMAKE_CURRENT_LIST_DIR}/src
  PRIVATE ${RASTER_TOOLS_DIR}/pcxconvert)
target_link_libraries(raster_pcx_archive_tools PRIVATE pcxcheck_check pcx_words pcxconvert_common tool_common
  project_warnings)

# NO_EXTRAS as for _codec (python/CMakeLists.txt): not stripped, so that
# scripts/check-avx can tell the PNG filters' AVX2 code from the plain code.
pybind11_add_module(raster_pcx_archive MODULE NO_EXTRAS ${CMAKE_CURRENT_LIST_DIR}/src/archive_module.cpp)
set_target_properties(raster_pcx_archive PROPERTIES OUTPUT_NAME _archive LIBRARY_OUTPUT_DIRECTORY ${package_dir})
target_link_libraries(raster_pcx_archive PRIVATE raster_pcx_archive_tools project_warnings)
# Whoever builds the package builds its archive module with it.
add_dependencies(raster_pcx_python raster_pcx_archive)
install(TARGETS raster_pcx_archive LIBRARY DESTINATION ${RASTER_PYTHON_INSTALL_DIR}/raster_pcx COMPONENT python)
