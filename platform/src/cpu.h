// What the processor running the stand-in offers, asked once, in one plain
// file (cpu.cpp). The stand-in keeps its own copy of these few lines rather
// than reaching into the library it stands beside. No function body here:
// the files compiled for wider instructions include it.
#ifndef STANDIN_CPU_H
#define STANDIN_CPU_H

namespace standin {

// Bytes of a multi-byte word in memory: least significant first on every
// processor the stand-in is built for today.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr bool kLittleEndian = false;
#else
constexpr bool kLittleEndian = true;
#endif

// The instruction sets the fast paths are written for, narrowest first.
enum class Cpu { Plain, Sse2, Avx2 };
constexpr int kCpuLevels = 3;

// The widest level this processor runs and this build has code for.
Cpu cpu_supported();

// cpu_supported(), capped by RASTER_CPU (plain, sse2 or avx2; any other
// value, or none, caps nothing), as the library caps its own. Read once,
// in a thread-safe way.
Cpu cpu_level();

}  // namespace standin

#endif  // STANDIN_CPU_H
