// The SSE2 line decoder's kernel: the chunk loop's high bytes found sixteen
// at a time, and two strategies of its own: chunks whose runs all have a
// count of one (decode_runs_of_one) and chunks of short runs whose every
// token's position is worked out ahead (plan_tokens, decode_planned).
//
// Included by line_sse2.cpp and by line_avx2.cpp, and by no other file:
// everything here has internal linkage, so each of them builds a copy of
// its own, neither calling into the other's code. The AVX2 build runs the
// same loops in the three-operand VEX forms (fewer register copies) and
// with BMI1 and popcnt, which take a token's position from the bit masks
// (lowest set bit, then clear it) and count the tokens of a chunk in one
// instruction each.
#ifndef RASTER_PCX_CODEC_LINE_KERNEL_SSE2_H
#define RASTER_PCX_CODEC_LINE_KERNEL_SSE2_H

#include <emmintrin.h>

#include "raster/pcx/codec/line_loop.h"

namespace raster {
namespace pcx {
namespace line {

namespace {

// Bit k is set where p[k] (k = 0..63) is 0xC0 or more: a run header, or
// the value of one.
uint64_t high_bytes_sse2(const uint8_t* p) {
    const __m128i top = _mm_set1_epi8(static_cast<char>(kRunFlag));
    uint64_t mask = 0;
    for (int k = 0; k < 4; ++k) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        const __m128i high = _mm_cmpeq_epi8(_mm_and_si128(bytes, top), top);
        mask |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(high))) << (16 * k);
    }
    return mask;
}

// A chunk decoded token by token, worked out ahead: where each token's
// output starts, counted from the chunk's first output byte, and the value
// it stores. With every position known at once, no token's store waits for
// the length of the one before it.
struct ChunkTokens {
    alignas(16) uint16_t offset[kChunk];
    alignas(16) uint8_t value[kChunk];
};

// Byte k is 0xFF where bit k of `bits` (k = 0..15) is set, 0 elsewhere.
__m128i bytes_from_bits(uint32_t bits) {
    const __m128i bit = _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
    __m128i spread = _mm_cvtsi32_si128(static_cast<int>(bits));
    spread = _mm_unpacklo_epi8(spread, spread);  // b0 b0 b1 b1
    spread = _mm_shufflelo_epi16(spread, 0x50);  // b0 x4, b1 x4
    spread = _mm_shuffle_epi32(spread, 0x50);    // b0 x8, b1 x8
    return _mm_cmpeq_epi8(_mm_and_si128(spread, bit), bit);
}

// Works out `plan` for the 64 bytes at p, which start at a token, given
// which of them are run values (a header in byte 63 takes byte 64). Returns
// the chunk's output length, or -1 when a run is longer than the sixteen
// bytes each token stores. Sixteen bytes of input hold at most eight runs of
// sixteen and one more byte, so their offsets add up within a byte; the
// four sums are widened to sixteen bits and stepped on by the ones before.
int32_t plan_tokens(const uint8_t* p, uint64_t values, ChunkTokens& plan) {
    const __m128i top = _mm_set1_epi8(static_cast<char>(kRunFlag));
    const __m128i count_mask = _mm_set1_epi8(static_cast<char>(kRunCountMask));
    const __m128i one = _mm_set1_epi8(1);
    const __m128i longest = _mm_set1_epi8(static_cast<char>(kWideStore));
    const __m128i zero = _mm_setzero_si128();
    __m128i too_long = zero;
    uint32_t length = 0;
    for (int g = 0; g < 4; ++g) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * g));
        const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * g + 1));
        const __m128i high = _mm_cmpeq_epi8(_mm_and_si128(bytes, top), top);
        _mm_store_si128(reinterpret_cast<__m128i*>(plan.value + 16 * g),
                        _mm_or_si128(_mm_and_si128(high, after), _mm_andnot_si128(high, bytes)));
        // A token's output: its count for a run header, 1 for a single
        // byte, none for a run's value.
        __m128i count =
            _mm_or_si128(_mm_and_si128(high, _mm_and_si128(bytes, count_mask)), _mm_andnot_si128(high, one));
        count = _mm_andnot_si128(bytes_from_bits(static_cast<uint32_t>(values >> (16 * g)) & 0xFFFFu), count);
        too_long = _mm_or_si128(too_long, _mm_cmpgt_epi8(count, longest));
        __m128i sum = _mm_add_epi8(count, _mm_slli_si128(count, 1));
        sum = _mm_add_epi8(sum, _mm_slli_si128(sum, 2));
        sum = _mm_add_epi8(sum, _mm_slli_si128(sum, 4));
        sum = _mm_add_epi8(sum, _mm_slli_si128(sum, 8));
        const __m128i before = _mm_slli_si128(sum, 1);
        const __m128i base = _mm_set1_epi16(static_cast<short>(length));
        _mm_store_si128(reinterpret_cast<__m128i*>(plan.offset + 16 * g),
                        _mm_add_epi16(_mm_unpacklo_epi8(before, zero), base));
        _mm_store_si128(reinterpret_cast<__m128i*>(plan.offset + 16 * g + 8),
                        _mm_add_epi16(_mm_unpackhi_epi8(before, zero), base));
        length += static_cast<uint32_t>(_mm_extract_epi16(sum, 7)) >> 8;
    }
    if (_mm_movemask_epi8(too_long) != 0) return -1;
    return static_cast<int32_t>(length);
}

// The stores of a planned chunk of `length` output bytes. A chunk that
// reaches the line's last sixteen bytes stops at the first token that
// starts past them.
Cursor decode_planned(Cursor at, const ChunkTokens& plan, int32_t length, uint64_t starts, ptrdiff_t chunk_bytes,
                      uint8_t* line_end) {
    uint8_t* const wide_end = line_end - kWideStore;
    if (at.out + length <= wide_end) {
        do {
            const uint32_t k = lowest_bit(starts);
            starts &= starts - 1;
            store_splat(at.out + plan.offset[k], plan.value + k);
        } while (starts != 0);
    } else {
        do {
            const uint32_t k = lowest_bit(starts);
            starts &= starts - 1;
            uint8_t* const to = at.out + plan.offset[k];
            if (to > wide_end) return Cursor{at.next + k, to};
            store_splat(to, plan.value + k);
        } while (starts != 0);
    }
    return Cursor{at.next + chunk_bytes, at.out + length};
}

// One step of close_up: the bytes whose distance to go has bit S set move
// S places down, taking their distance with them.
template <int S>
__m128i move_down_by(__m128i bytes, __m128i& distance) {
    const __m128i bit = _mm_set1_epi8(S);
    const __m128i above = _mm_srli_si128(bytes, S);
    const __m128i above_distance = _mm_srli_si128(distance, S);
    const __m128i take = _mm_cmpeq_epi8(_mm_and_si128(above_distance, bit), bit);
    distance = _mm_or_si128(_mm_and_si128(take, above_distance), _mm_andnot_si128(take, distance));
    return _mm_or_si128(_mm_and_si128(take, above), _mm_andnot_si128(take, bytes));
}

// The bytes not marked in `gone` moved down over the marked ones, keeping
// their order; what lies past them is left over. Each byte moves by the
// number of marked bytes before it, one bit of that distance per step, the
// lowest first: since the distances never fall from one kept byte to the
// next, no byte lands on one that has yet to move (checked for every mask
// of sixteen while this was written). A copy left behind by a move is
// overwritten, or lies past the kept bytes.
__m128i close_up(__m128i bytes, __m128i gone) {
    __m128i distance = _mm_and_si128(gone, _mm_set1_epi8(1));
    distance = _mm_add_epi8(distance, _mm_slli_si128(distance, 1));
    distance = _mm_add_epi8(distance, _mm_slli_si128(distance, 2));
    distance = _mm_add_epi8(distance, _mm_slli_si128(distance, 4));
    distance = _mm_add_epi8(distance, _mm_slli_si128(distance, 8));
    distance = _mm_andnot_si128(gone, distance);
    bytes = move_down_by<1>(bytes, distance);
    bytes = move_down_by<2>(bytes, distance);
    bytes = move_down_by<4>(bytes, distance);
    return move_down_by<8>(bytes, distance);
}

// Bit k is set where p[k] (k = 0..63) is a run header of count 1.
uint64_t runs_of_one(const uint8_t* p) {
    const __m128i one = _mm_set1_epi8(static_cast<char>(kRunFlag | 1));
    uint64_t mask = 0;
    for (int k = 0; k < 4; ++k) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        mask |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, one)))) << (16 * k);
    }
    return mask;
}

struct Sse2Kernel {
    using Plan = ChunkTokens;
    static constexpr bool kRunsOfOne = true;

    static uint64_t high_bytes(const uint8_t* p) { return high_bytes_sse2(p); }

    static bool only_runs_of_one(const uint8_t* p, uint64_t headers) { return (headers & ~runs_of_one(p)) == 0; }

    // A chunk of 64 bytes whose every run header has a count of 1, as PCX
    // writers put the bytes of 0xC0 and above: dropping the headers leaves
    // the output. Stores up to 64 bytes at `out`; returns the new end.
    static uint8_t* decode_runs_of_one(const uint8_t* p, uint64_t headers, uint8_t* out) {
        const uint64_t per_byte = bits_per_byte(headers);
        for (int g = 0; g < 4; ++g) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * g));
            const __m128i gone = bytes_from_bits(static_cast<uint32_t>(headers >> (16 * g)) & 0xFFFFu);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), close_up(bytes, gone));
            const uint64_t pair = per_byte >> (16 * g);
            out += 16 - ((pair & 0xFF) + ((pair >> 8) & 0xFF));
        }
        // A header in byte 63 took its value from byte 64.
        if ((headers >> 63) != 0) *out++ = p[kChunk];
        return out;
    }

    // Where no run is longer than sixteen, the positions are worked out
    // first and the stores follow; otherwise token by token.
    static Cursor decode_tokens(Cursor at, uint64_t values, ptrdiff_t chunk_bytes, uint8_t* line_end, Plan& plan) {
        const int32_t length = plan_tokens(at.next, values, plan);
        if (length >= 0) return decode_planned(at, plan, length, ~values, chunk_bytes, line_end);
        return line::decode_tokens(at, ~values, chunk_bytes, line_end);
    }
};
}  // namespace
}  // namespace line
}  // namespace pcx
}  // namespace raster

#endif  // RASTER_PCX_CODEC_LINE_KERNEL_SSE2_H
