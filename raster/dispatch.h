// The choice among a table's fast paths (cpu/dispatch.h), as the library
// and its codec name it. Only the plain files that make the choice include
// it.
#ifndef RASTER_DISPATCH_H
#define RASTER_DISPATCH_H

#include "cpu/dispatch.h"
#include "raster/cpu.h"

namespace raster {

using fastpath::Dispatch;
using fastpath::Variant;

}  // namespace raster

#endif  // RASTER_DISPATCH_H
