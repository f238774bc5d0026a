// The processor's level as the stand-in names it: the project's one copy
// lives in cpu/, which the stand-in builds into itself rather than reaching
// into the library it stands beside. No function body here: the files
// compiled for wider instructions include it.
#ifndef STANDIN_CPU_H
#define STANDIN_CPU_H

#include "cpu/cpu.h"

namespace standin {

using fastpath::Cpu;
using fastpath::cpu_level;
using fastpath::cpu_supported;
using fastpath::kCpuLevels;
using fastpath::kLittleEndian;

}  // namespace standin

#endif  // STANDIN_CPU_H
