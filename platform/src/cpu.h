// What the processor running the stand-in offers, asked once. The stand-in
// keeps its own copy of these few lines rather than reaching into the
// library it stands beside.
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

// True where the processor runs AVX2 instructions. Worked out on the first
// call, in a thread-safe way (a function-local static), and kept; false
// where the compiler cannot ask. (Not for files built with -mavx2: an
// inline function instantiated there could be the copy every file links.)
inline bool cpu_has_avx2() {
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
    static const bool available = __builtin_cpu_supports("avx2") != 0;
    return available;
#else
    return false;
#endif
}

}  // namespace standin

#endif  // STANDIN_CPU_H
