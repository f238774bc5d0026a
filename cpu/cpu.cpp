// The one place the library, its codec and the stand-in ask the processor
// what it runs, and read RASTER_CPU. Built without any extra instruction
// set.
#include "cpu/cpu.h"

#include <cstdlib>
#include <cstring>

namespace fastpath {

namespace {

// SSE2 is part of every x86-64 processor, so it is there wherever the
// compiler may assume it (and in the web build, where the SSE2 intrinsics
// become WebAssembly SIMD); AVX2 is asked of the processor, with BMI1 and
// popcnt, which the AVX2 files are also built for (every AVX2 processor has
// them; a processor that lacked one would be held to SSE2).
Cpu ask_processor() {
    Cpu level = Cpu::Plain;
#if defined(__SSE2__)
    level = Cpu::Sse2;
#endif
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
    if (__builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("bmi") != 0 &&
        __builtin_cpu_supports("popcnt") != 0) {
        level = Cpu::Avx2;
    }
#endif
    return level;
}

// RASTER_CPU as a level; Avx2 (no cap) when unset or not one of the names.
Cpu cap_from_environment() {
    const char* value = std::getenv("RASTER_CPU");
    if (value == nullptr) return Cpu::Avx2;
    if (std::strcmp(value, "plain") == 0) return Cpu::Plain;
    if (std::strcmp(value, "sse2") == 0) return Cpu::Sse2;
    return Cpu::Avx2;
}

}  // namespace

Cpu cpu_supported() {
    // Function-local statics: initialised once, even when several threads
    // ask at the same time (the codec runs on any thread). A process whose
    // library and stand-in are separate shared objects holds a copy in each;
    // both read the same processor and the same variable.
    static const Cpu supported = ask_processor();
    return supported;
}

Cpu cpu_level() {
    static const Cpu level = [] {
        const Cpu cap = cap_from_environment();
        return cap < cpu_supported() ? cap : cpu_supported();
    }();
    return level;
}

}  // namespace fastpath
