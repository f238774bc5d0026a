// The limits the benchmarks hold each operation against: the C library's
// memset and memcpy of the bytes the operation writes, on buffers made once.
// Called through pointers the compiler cannot see through, so that they
// stay the C library's routines (not an inlined `rep movs`/`rep stos`).
#ifndef BENCH_LIMITS_H
#define BENCH_LIMITS_H

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace limits {

// One memset of `bytes` bytes per iteration.
inline void memset_bytes(benchmark::State& bench, size_t bytes) {
    void* (*volatile fill)(void*, int, size_t) = std::memset;
    std::vector<uint8_t> out(bytes);
    uint8_t value = 0;
    for (auto _ : bench) {
        fill(out.data(), ++value, bytes);
        benchmark::ClobberMemory();
    }
    bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations()) * static_cast<int64_t>(bytes));
}

// One memcpy of `bytes` bytes per iteration, between two buffers.
inline void memcpy_bytes(benchmark::State& bench, size_t bytes) {
    void* (*volatile copy)(void*, const void*, size_t) = std::memcpy;
    std::vector<uint8_t> in(bytes, 7);
    std::vector<uint8_t> out(bytes);
    for (auto _ : bench) {
        copy(out.data(), in.data(), bytes);
        benchmark::ClobberMemory();
    }
    bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations()) * static_cast<int64_t>(bytes));
}

}  // namespace limits

#endif  // BENCH_LIMITS_H
