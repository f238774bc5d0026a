// What the processor running the library offers, asked once: the library's
// parts pick their fast paths from here rather than each asking on its own.
// Private to the library (not installed).
#ifndef RASTER_CPU_H
#define RASTER_CPU_H

namespace raster {

// Bytes of a multi-byte word in memory: least significant first on every
// processor the library is built for today; the portable paths read and
// write bytes one at a time where this is false.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr bool kLittleEndian = false;
#else
constexpr bool kLittleEndian = true;
#endif

// True where the processor runs AVX2 instructions. The answer is worked out
// on the first call, in a thread-safe way (a function-local static), and
// kept; false where the compiler cannot ask.
inline bool cpu_has_avx2() {
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
    static const bool available = __builtin_cpu_supports("avx2") != 0;
    return available;
#else
    return false;
#endif
}

}  // namespace raster

#endif  // RASTER_CPU_H
