// The processor's level as the library and its codec name it: the
// project's one copy lives in cpu/ (built into the codec, which the
// library links). No function body here, as cpu/cpu.h has none.
#ifndef RASTER_CPU_H
#define RASTER_CPU_H

#include "cpu/cpu.h"

namespace raster {

using fastpath::Cpu;
using fastpath::cpu_level;
using fastpath::cpu_supported;
using fastpath::kCpuLevels;
using fastpath::kLittleEndian;

}  // namespace raster

#endif  // RASTER_CPU_H
