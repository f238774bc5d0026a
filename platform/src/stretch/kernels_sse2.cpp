// The SSE2 stretch kernels: 16-byte stores, shuffles that lay four runs out
// at once, and streaming stores for destinations too large for the caches.
#include "stretch/kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstring>
#include <utility>

#include "cpu/cpu.h"
#include "stretch/gather.h"

namespace standin {

namespace {

// Writes run after run (one colour each) with STORES 16-byte stores each,
// whatever the run's length: a run at most 4 * STORES pixels long is
// covered, and what its stores write past its end is written over by the
// runs that follow. Stops where the next run's stores would leave the row;
// returns the runs done and sets *written to the pixels they cover.
template <int STORES>
size_t replicate_stores(const uint32_t* colors, const Runs& runs, uint32_t* out, size_t* written) {
    size_t p = 0;
    size_t i = 0;
    for (; i < runs.runs && p + 4 * STORES <= runs.width; ++i) {
        const __m128i color = _mm_set1_epi32(static_cast<int>(colors[i]));
        __m128i* at = reinterpret_cast<__m128i*>(out + p);
        for (int s = 0; s < STORES; ++s) _mm_storeu_si128(at + s, color);
        p += static_cast<size_t>(runs.count[i]);
    }
    *written = p;
    return i;
}

// Runs all N long, four at a time: their 4N pixels are N vectors, and lane
// k of vector v shows run (4v + k) / N of the four, so each vector is one
// shuffle of the four colours.
constexpr int lanes(int n, size_t v) {
    int pattern = 0;
    for (int k = 0; k < 4; ++k) pattern |= ((4 * static_cast<int>(v) + k) / n) << (2 * k);
    return pattern;
}

template <int N, size_t V>
void store_lanes(__m128i four, __m128i* out) {
    constexpr int kPattern = lanes(N, V);
    _mm_storeu_si128(out + V, _mm_shuffle_epi32(four, kPattern));
}

template <int N, size_t... V>
void four_runs(const uint32_t* colors, uint32_t* out, std::index_sequence<V...>) {
    const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(colors));
    (store_lanes<N, V>(four, reinterpret_cast<__m128i*>(out)), ...);
}

// Runs first .. runs - 2 are N long; does them four at a time, never the
// last run, and returns the first run not done, with *written advanced.
template <int N>
size_t replicate_uniform(const uint32_t* colors, size_t first, size_t runs, uint32_t* out, size_t* written) {
    size_t i = first;
    for (; i + 4 < runs; i += 4, *written += 4 * N) {
        four_runs<N>(colors + i, out + *written, std::make_index_sequence<N>());
    }
    return i;
}

using UniformRuns = size_t (*)(const uint32_t* colors, size_t first, size_t runs, uint32_t* out, size_t* written);

// The run lengths done by replicate_uniform: those that one to three
// broadcast stores per run would overshoot.
constexpr UniformRuns kUniformFours[12] = {nullptr,
                                           nullptr,
                                           nullptr,
                                           replicate_uniform<3>,
                                           nullptr,
                                           replicate_uniform<5>,
                                           replicate_uniform<6>,
                                           replicate_uniform<7>,
                                           nullptr,
                                           replicate_uniform<9>,
                                           replicate_uniform<10>,
                                           replicate_uniform<11>};

// Eight indices come in one load, and their colours are paired up in
// registers, so that each output store carries four pixels.
void lookup_row_sse2(const uint32_t* colors, const uint8_t* indices, size_t width, uint32_t* out) {
    size_t k = 0;
    for (; k + 8 <= width; k += 8) {
        uint32_t c[8];
        gather_eight(colors, indices + k, c);
        const __m128i low = _mm_unpacklo_epi64(
            _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(c[0])), _mm_cvtsi32_si128(static_cast<int>(c[1]))),
            _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(c[2])), _mm_cvtsi32_si128(static_cast<int>(c[3]))));
        const __m128i high = _mm_unpacklo_epi64(
            _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(c[4])), _mm_cvtsi32_si128(static_cast<int>(c[5]))),
            _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(c[6])), _mm_cvtsi32_si128(static_cast<int>(c[7]))));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k + 4), high);
    }
    for (; k < width; ++k) out[k] = colors[indices[k]];
}

void lookup_doubled_sse2(const uint32_t* colors, const uint8_t* indices, size_t runs, uint32_t* out) {
    size_t i = 0;
    for (; i + 4 <= runs; i += 4) {
        const __m128i four =
            _mm_setr_epi32(static_cast<int>(colors[indices[i]]), static_cast<int>(colors[indices[i + 1]]),
                           static_cast<int>(colors[indices[i + 2]]), static_cast<int>(colors[indices[i + 3]]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_unpacklo_epi32(four, four));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i + 4), _mm_unpackhi_epi32(four, four));
    }
    for (; i < runs; ++i) out[2 * i] = out[2 * i + 1] = colors[indices[i]];
}

void replicate_sse2(const uint32_t* colors, const Runs& runs, uint32_t* out) {
    size_t i = 0;
    size_t p = 0;
    if (runs.uniform >= 3 && runs.uniform < 12 && kUniformFours[runs.uniform] != nullptr) {
        for (int32_t k = 0; k < runs.count[0]; ++k) out[p++] = colors[0];
        i = kUniformFours[runs.uniform](colors, 1, runs.runs, out, &p);
    } else if (runs.longest <= 4) {
        i = replicate_stores<1>(colors, runs, out, &p);
    } else if (runs.longest <= 8) {
        i = replicate_stores<2>(colors, runs, out, &p);
    } else if (runs.longest <= 12) {
        i = replicate_stores<3>(colors, runs, out, &p);
    }
    for (; i < runs.runs; ++i) {
        const uint32_t color = colors[i];
        for (int32_t k = 0; k < runs.count[i]; ++k) out[p++] = color;
    }
}

// Streaming stores skip reading each cache line before overwriting it;
// ordinary ones up to the first 16-byte boundary of `out` and after the
// last.
void stream_row_sse2(const uint32_t* line, size_t width, uint32_t* out) {
    size_t k = 0;
    for (; k < width && (reinterpret_cast<uintptr_t>(out + k) & 15) != 0; ++k) out[k] = line[k];
    for (; k + 16 <= width; k += 16) {
        for (size_t v = 0; v < 16; v += 4) {
            _mm_stream_si128(reinterpret_cast<__m128i*>(out + k + v),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + k + v)));
        }
    }
    for (; k + 4 <= width; k += 4) {
        _mm_stream_si128(reinterpret_cast<__m128i*>(out + k),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + k)));
    }
    for (; k < width; ++k) out[k] = line[k];
}

// Streaming stores are weakly ordered.
void finish_streaming_sse2() { _mm_sfence(); }

}  // namespace

const StretchKernels kSse2Kernels = {
    "SSE2", lookup_row_sse2, lookup_doubled_sse2, replicate_sse2, stream_row_sse2, finish_streaming_sse2, nullptr};

}  // namespace standin

#endif
