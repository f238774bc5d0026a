// The PCX encoder's per-line work with AVX2: run coding, counting and byte
// planes, each giving exactly the plain routine's bytes.
//
// The run coder uses 128-bit byte shuffles: sixteen bytes of a line at a
// time with no branch on what kind of token each byte starts. For each
// byte the block works out whether a run starts there, where the run ends
// (the next start, found with a running minimum over the block) and so the
// token's two candidate bytes, the count or the value and then the value;
// a table of shuffles then packs the bytes that are kept, four positions
// (eight candidates) at a time. A run that reaches past the block stays
// open and is closed, one token at a time, where the next run starts.
// Tokens are packed into a small buffer of the coder's own and copied out
// exactly, so nothing is stored past the line's bytes.
#include "raster/pcx/codec/encode_lines.h"

#if defined(FASTPATH_AVX2)
#include <immintrin.h>

#include <array>
#include <cstring>

#include "raster/pcx/codec/run_tokens.h"

namespace raster {
namespace pcx_encoder {

namespace {

constexpr size_t kBlock = 16;
constexpr uint8_t kShuffleZero = 0x80;
// Packed tokens wait here; a block adds at most 32 bytes and a packing
// store reaches 8 bytes past them.
constexpr size_t kStaged = 1024;
constexpr size_t kStageRoom = kStaged + 2 * kBlock + 8;

// For each choice of the eight candidate bytes of four positions, the
// shuffle that packs the chosen ones to the front.
struct PackTable {
    uint8_t rows[256][8];
};

constexpr PackTable make_pack_table() {
    PackTable table{};
    for (size_t keep = 0; keep < 256; ++keep) {
        size_t at = 0;
        for (uint8_t i = 0; i < 8; ++i) {
            if ((keep >> i & 1) != 0) table.rows[keep][at++] = i;
        }
        for (; at < 8; ++at) table.rows[keep][at] = kShuffleZero;
    }
    return table;
}

constexpr PackTable kPack = make_pack_table();

__m128i load(const uint8_t* bytes) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)); }

// What a block tells the loop besides its packed tokens.
struct BlockFacts {
    uint32_t starts;     // bit k: a run starts at position k of the block
    bool runs_past_end;  // the block's last run goes on into the next one
};

// Packs the four positions' chosen candidate bytes, the low eight bytes of
// `pairs`, at stage; returns how many.
inline size_t pack_four(__m128i pairs, uint32_t keep, uint8_t* stage) {
    const __m128i order = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kPack.rows[keep]));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(stage), _mm_shuffle_epi8(pairs, order));
    return static_cast<size_t>(__builtin_popcount(keep));
}

// The tokens of the runs that start in the sixteen bytes at `at` (read
// from at - 1 to at + 16) and end by its end, packed at stage; only the
// first `inside` positions belong to the line.
BlockFacts pack_block(const uint8_t* at, uint32_t inside, uint8_t* stage, size_t& staged) {
    const __m128i ones = _mm_set1_epi8(-1);
    const __m128i position = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m128i bytes = load(at);
    const __m128i same_as_next = _mm_cmpeq_epi8(bytes, load(at + 1));
    const __m128i in_line = _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(inside)), position);
    const __m128i starts = _mm_andnot_si128(_mm_cmpeq_epi8(bytes, load(at - 1)), in_line);
    // Where the run at each position ends: the nearest start after it, the
    // sixteen positions' running minimum from the end (0xFF: past the block).
    const __m128i one = _mm_set1_epi8(1);
    __m128i end = _mm_or_si128(_mm_add_epi8(position, one), same_as_next);
    end = _mm_min_epu8(end, _mm_alignr_epi8(ones, end, 1));
    end = _mm_min_epu8(end, _mm_alignr_epi8(ones, end, 2));
    end = _mm_min_epu8(end, _mm_alignr_epi8(ones, end, 4));
    end = _mm_min_epu8(end, _mm_alignr_epi8(ones, end, 8));
    const __m128i ends_inside = _mm_xor_si128(_mm_cmpeq_epi8(end, ones), ones);
    const __m128i high = _mm_cmpeq_epi8(_mm_max_epu8(bytes, _mm_set1_epi8(static_cast<char>(kRunFlag))), bytes);
    const __m128i counted = _mm_or_si128(same_as_next, high);
    const __m128i count = _mm_or_si128(_mm_sub_epi8(end, position), _mm_set1_epi8(static_cast<char>(kRunFlag)));
    const __m128i first = _mm_blendv_epi8(bytes, count, counted);
    const __m128i keep_first = _mm_and_si128(starts, ends_inside);
    const __m128i keep_second = _mm_and_si128(keep_first, counted);
    const __m128i low_pairs = _mm_unpacklo_epi8(first, bytes);
    const __m128i high_pairs = _mm_unpackhi_epi8(first, bytes);
    const uint32_t keep_low = static_cast<uint32_t>(_mm_movemask_epi8(_mm_unpacklo_epi8(keep_first, keep_second)));
    const uint32_t keep_high = static_cast<uint32_t>(_mm_movemask_epi8(_mm_unpackhi_epi8(keep_first, keep_second)));
    staged += pack_four(low_pairs, keep_low & 0xFF, stage + staged);
    staged += pack_four(_mm_srli_si128(low_pairs, 8), keep_low >> 8, stage + staged);
    staged += pack_four(high_pairs, keep_high & 0xFF, stage + staged);
    staged += pack_four(_mm_srli_si128(high_pairs, 8), keep_high >> 8, stage + staged);
    const uint32_t start_bits = static_cast<uint32_t>(_mm_movemask_epi8(starts));
    const bool runs_on = (static_cast<uint32_t>(_mm_movemask_epi8(same_as_next)) >> 15 & 1) != 0 && inside > kBlock;
    return BlockFacts{start_bits, runs_on};
}

size_t encode_runs_avx2(const uint8_t* line, size_t count, uint8_t* out, size_t /*room*/) {
    alignas(16) uint8_t stage[kStageRoom];
    size_t staged = 0;
    size_t written = 0;
    bool open = false;  // a run from an earlier block is still going on
    size_t run = 0;     // ... and started here
    for (size_t at = 0; at < count; at += kBlock) {
        const uint32_t inside = count - at > kBlock + 1 ? kBlock + 1 : static_cast<uint32_t>(count - at);
        uint8_t edge[kBlock + 2];
        const uint8_t* bytes = line + at;
        if (at == 0 || at + kBlock + 1 > count) {
            copy_with_edges(line, count, at, kBlock, edge);
            bytes = edge + 1;
        }
        // Tokens leave in order: the open run's goes out before any of the
        // block's own, where the block's first run starts.
        if (open) {
            const uint32_t starts = static_cast<uint32_t>(
                _mm_movemask_epi8(_mm_xor_si128(_mm_cmpeq_epi8(load(bytes), load(bytes - 1)), _mm_set1_epi8(-1))));
            const uint32_t in_line = inside >= kBlock ? 0xFFFFu : (1u << inside) - 1;
            if ((starts & in_line) == 0) continue;
            std::memcpy(out + written, stage, staged);
            written += staged;
            staged = 0;
            const size_t next = at + static_cast<size_t>(__builtin_ctz(starts & in_line));
            written = put_exact_run(out, written, next - run, line[run]);
            open = false;
        }
        const BlockFacts facts = pack_block(bytes, inside, stage, staged);
        if (facts.runs_past_end) {
            open = true;
            run = at + 31 - static_cast<size_t>(__builtin_clz(facts.starts));
        }
        if (staged >= kStaged) {
            std::memcpy(out + written, stage, staged);
            written += staged;
            staged = 0;
        }
    }
    std::memcpy(out + written, stage, staged);
    written += staged;
    if (open) written = put_exact_run(out, written, count - run, line[run]);
    return written;
}

// ---- counting --------------------------------------------------------------

struct RunMasks {
    uint64_t starts;   // a run starts here
    uint64_t counted;  // ... and, where it does, it takes a count byte
};

__m256i load_wide(const uint8_t* bytes) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes)); }

// The masks of the 32 bytes at `at`, read from at - 1 to at + 32, placed at
// bit `shift`.
void add_run_masks(const uint8_t* at, size_t shift, RunMasks& masks) {
    const __m256i bytes = load_wide(at);
    const __m256i same_as_before = _mm256_cmpeq_epi8(bytes, load_wide(at - 1));
    const __m256i same_as_next = _mm256_cmpeq_epi8(bytes, load_wide(at + 1));
    const __m256i high =
        _mm256_cmpeq_epi8(_mm256_max_epu8(bytes, _mm256_set1_epi8(static_cast<char>(kRunFlag))), bytes);
    const uint32_t starts = ~static_cast<uint32_t>(_mm256_movemask_epi8(same_as_before));
    const uint32_t counted = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_or_si256(same_as_next, high)));
    masks.starts |= uint64_t{starts} << shift;
    masks.counted |= uint64_t{counted} << shift;
}

// The masks of line positions base .. base + 63 (those below `count`). A
// block at the line's ends is read from a copy whose outside bytes differ
// from their neighbours inside.
RunMasks run_masks(const uint8_t* line, size_t count, size_t base) {
    constexpr size_t kHalf = 32;
    RunMasks masks{0, 0};
    for (size_t k = 0; k < 2 && base + k * kHalf < count; ++k) {
        const size_t at = base + k * kHalf;
        if (at >= 1 && at + kHalf + 1 <= count) {
            add_run_masks(line + at, k * kHalf, masks);
        } else {
            uint8_t edge[kHalf + 2];
            copy_with_edges(line, count, at, kHalf, edge);
            add_run_masks(edge + 1, k * kHalf, masks);
        }
    }
    if (count - base < 64) {
        const uint64_t inside = (uint64_t{1} << (count - base)) - 1;
        masks.starts &= inside;
        masks.counted &= inside;
    }
    return masks;
}

// Bit counts of the masks: each run start is a byte, and one more where it
// takes a count; only a run reaching from one word into the next can be
// longer than 63.
size_t count_runs_avx2(const uint8_t* line, size_t count) {
    size_t bytes = 0;
    size_t run = 0;
    for (size_t base = 0; base < count; base += 64) {
        const RunMasks masks = run_masks(line, count, base);
        if (masks.starts == 0) continue;
        bytes += static_cast<size_t>(_mm_popcnt_u64(masks.starts) + _mm_popcnt_u64(masks.starts & masks.counted));
        const size_t first = base + static_cast<size_t>(__builtin_ctzll(masks.starts));
        if (first > run) bytes += long_run_extra(first - run, line[run]);
        run = base + 63 - static_cast<size_t>(__builtin_clzll(masks.starts));
    }
    return bytes + long_run_extra(count - run, line[run]);
}

// ---- byte planes -------------------------------------------------------------

// Red, green and blue of sixteen pixels come from three sixteen-byte
// loads: for each plane and load, the shuffle that puts the bytes it holds
// at their pixel's place (0x80 elsewhere).
struct PlaneShuffles {
    uint8_t order[3][3][16];  // [plane][load][pixel]
};

constexpr PlaneShuffles make_plane_shuffles() {
    PlaneShuffles table{};
    for (size_t plane = 0; plane < 3; ++plane) {
        for (size_t load = 0; load < 3; ++load) {
            for (size_t pixel = 0; pixel < 16; ++pixel) {
                const size_t from = 3 * pixel + plane;
                table.order[plane][load][pixel] = from / 16 == load ? static_cast<uint8_t>(from % 16) : kShuffleZero;
            }
        }
    }
    return table;
}

constexpr PlaneShuffles kPlaneShuffles = make_plane_shuffles();

__m128i plane_of(const __m128i (&loads)[3], size_t plane) {
    __m128i bytes = _mm_setzero_si128();
    for (size_t k = 0; k < 3; ++k) {
        const __m128i order = load(kPlaneShuffles.order[plane][k]);
        bytes = _mm_or_si128(bytes, _mm_shuffle_epi8(loads[k], order));
    }
    return bytes;
}

void store(uint8_t* at, __m128i bytes) { _mm_storeu_si128(reinterpret_cast<__m128i*>(at), bytes); }

// Sixteen pixels at a time: three planes by shuffles, or four by a shuffle
// that groups each load's channels and a four-by-four transpose.
void byte_planes_avx2(const uint8_t* pixels, int32_t width, int32_t channels, uint8_t* line, size_t line_bytes) {
    int32_t x = 0;
    if (channels == 3) {
        for (; x + 16 <= width; x += 16, pixels += 48) {
            const __m128i loads[3] = {load(pixels), load(pixels + 16), load(pixels + 32)};
            for (size_t plane = 0; plane < 3; ++plane) store(line + plane * line_bytes + x, plane_of(loads, plane));
        }
    } else {
        const __m128i group = _mm_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
        for (; x + 16 <= width; x += 16, pixels += 64) {
            const __m128i p0 = _mm_shuffle_epi8(load(pixels), group);
            const __m128i p1 = _mm_shuffle_epi8(load(pixels + 16), group);
            const __m128i p2 = _mm_shuffle_epi8(load(pixels + 32), group);
            const __m128i p3 = _mm_shuffle_epi8(load(pixels + 48), group);
            const __m128i red_green_low = _mm_unpacklo_epi32(p0, p1);
            const __m128i red_green_high = _mm_unpacklo_epi32(p2, p3);
            const __m128i blue_alpha_low = _mm_unpackhi_epi32(p0, p1);
            const __m128i blue_alpha_high = _mm_unpackhi_epi32(p2, p3);
            store(line + x, _mm_unpacklo_epi64(red_green_low, red_green_high));
            store(line + line_bytes + x, _mm_unpackhi_epi64(red_green_low, red_green_high));
            store(line + 2 * line_bytes + x, _mm_unpacklo_epi64(blue_alpha_low, blue_alpha_high));
            store(line + 3 * line_bytes + x, _mm_unpackhi_epi64(blue_alpha_low, blue_alpha_high));
        }
    }
    finish_byte_planes(pixels, x, width, channels, line, line_bytes);
}

}  // namespace

// Listed in encode_lines.cpp; used once the processor is known to run it.
const LineCoder kAvx2LineCoder{encode_runs_avx2, count_runs_avx2, byte_planes_avx2};

}  // namespace pcx_encoder
}  // namespace raster

#endif
