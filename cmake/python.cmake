# Finds what the Python package (python/) is built with: Debian's own
# interpreter (a version manager's python3 earlier on PATH lacks Debian's
# packages), its numpy, and pybind11. RASTER_BUILD_PYTHON defaults to ON
# where all three are there; asked for without them, configuring stops and
# says what is missing.
set(RASTER_PYTHON /usr/bin/python3 CACHE FILEPATH "The Python interpreter the raster_pcx module is built for")
set(raster_python_missing)
if(NOT EXISTS ${RASTER_PYTHON})
  list(APPEND raster_python_missing "${RASTER_PYTHON}")
else()
  execute_process(COMMAND ${RASTER_PYTHON} -c "import numpy" RESULT_VARIABLE raster_numpy_result
    OUTPUT_QUIET ERROR_QUIET)
  if(NOT raster_numpy_result EQUAL 0)
    list(APPEND raster_python_missing "numpy for ${RASTER_PYTHON} (python3-numpy)")
  endif()
  set(Python_EXECUTABLE ${RASTER_PYTHON})
  set(PYBIND11_FINDPYTHON ON)
  find_package(pybind11 CONFIG QUIET)
  if(NOT pybind11_FOUND)
    list(APPEND raster_python_missing "pybind11 (pybind11-dev)")
  endif()
endif()
if(raster_python_missing)
  set(raster_python_default OFF)
else()
  set(raster_python_default ON)
endif()
option(RASTER_BUILD_PYTHON "Build the Python package raster_pcx (needs pybind11 and numpy)" ${raster_python_default})
if(RASTER_BUILD_PYTHON AND raster_python_missing)
  string(REPLACE ";" ", " raster_python_missing "${raster_python_missing}")
  message(FATAL_ERROR "RASTER_BUILD_PYTHON needs what is missing: ${raster_python_missing}")
endif()
