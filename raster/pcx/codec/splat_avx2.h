// Sixteen copies of one byte by AVX2's broadcast, for the AVX2 build of the
// line loop (line_loop.h includes it only where __AVX2__ is defined, that is
// in line_avx2.cpp): one instruction less per token than the table row's
// address and load the other builds use.
#ifndef RASTER_PCX_CODEC_SPLAT_AVX2_H
#define RASTER_PCX_CODEC_SPLAT_AVX2_H

#if !defined(__AVX2__)
#error "splat_avx2.h is for files compiled for AVX2"
#endif
#include <immintrin.h>

#include <cstdint>

namespace raster {
namespace pcx {
namespace line {
namespace {

inline void broadcast_splat(uint8_t* to, uint8_t value) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_set1_epi8(static_cast<char>(value)));
}

}  // namespace
}  // namespace line
}  // namespace pcx
}  // namespace raster

#endif
