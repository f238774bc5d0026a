// The library's one block of process-wide state.
#include "raster/state.h"

namespace raster {

LibraryState state;

}  // namespace raster
