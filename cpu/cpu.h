// What the processor running the program offers, asked once, in one plain
// file (cpu.cpp), for the library, its PCX codec and the Win32 stand-in
// alike: each builds this folder's object into itself (the stand-in stands
// beside the library and does not link it). The files that choose among
// fast paths ask here; the fast paths themselves never do. This header
// holds no function body, so that a file compiled for wider instructions
// can include it without compiling a copy of anything other files also
// use. Private to the project (not installed).
#ifndef FASTPATH_CPU_H
#define FASTPATH_CPU_H

namespace fastpath {

// Bytes of a multi-byte word in memory: least significant first on every
// processor the project is built for today; the portable paths read and
// write bytes one at a time where this is false.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr bool kLittleEndian = false;
#else
constexpr bool kLittleEndian = true;
#endif

// The instruction sets the fast paths are written for, narrowest first
// (Avx2: AVX2 with BMI1 and popcnt).
enum class Cpu { Plain, Sse2, Avx2 };
constexpr int kCpuLevels = 3;

// The widest level this processor runs and this build has code for,
// whatever RASTER_CPU says: what the tests may hold every variant to.
Cpu cpu_supported();

// The widest level the fast paths may use: cpu_supported(), capped by the
// environment variable RASTER_CPU (plain, sse2 or avx2; any other value,
// or none, caps nothing). Worked out on the first call, in a thread-safe
// way, and kept: the variable is read once per process.
Cpu cpu_level();

}  // namespace fastpath

#endif  // FASTPATH_CPU_H
