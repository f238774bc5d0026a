// The PCX run coder with AVX2 (its 128-bit byte shuffles): sixteen bytes
// of a line at a time with no branch on what kind of token each byte
// starts. For each byte the block works out whether a run starts there,
// where the run ends (the next start, found with a running minimum over the
// block) and so the token's two candidate bytes, the count or the value and
// then the value; a table of shuffles then packs the bytes that are kept,
// four positions (eight candidates) at a time. A run that reaches past the
// block stays open and is closed, one token at a time, where the next run
// starts. Tokens are packed into a small buffer of the coder's own and
// copied out exactly, so nothing is stored past the line's bytes. Gives
// exactly the plain coder's bytes.
#include "raster/pcx/codec/encode_lines.h"

#if defined(RASTER_PCX_AVX2) && (defined(__x86_64__) || defined(_M_X64))
#include <immintrin.h>

#include <array>
#include <cstring>

#include "raster/cpu.h"

namespace raster {
namespace pcx_encoder {

namespace {

constexpr size_t kBlock = 16;
constexpr size_t kLongestRun = 63;
constexpr uint8_t kRunFlag = 0xC0;
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

// One run of `length` bytes of `value` at out[written], storing no byte
// past it: a run longer than 63 takes a count and value per 63 bytes.
size_t put_run(uint8_t* out, size_t written, size_t length, uint8_t value) {
    for (; length > kLongestRun; length -= kLongestRun, written += 2) {
        out[written] = static_cast<uint8_t>(kRunFlag | kLongestRun);
        out[written + 1] = value;
    }
    if (length > 1 || value >= kRunFlag) out[written++] = static_cast<uint8_t>(kRunFlag | length);
    out[written] = value;
    return written + 1;
}

// The line's bytes around the block at `at` where they run off the line:
// the byte before the first and those after the last differ from their
// neighbours inside, so runs start at the line's start and end at its end.
void edge_copy(const uint8_t* line, size_t count, size_t at, uint8_t (&edge)[kBlock + 2]) {
    std::memset(edge, static_cast<uint8_t>(~line[count - 1]), sizeof edge);
    edge[0] = at == 0 ? static_cast<uint8_t>(~line[0]) : line[at - 1];
    const size_t last = at + kBlock + 1 < count ? at + kBlock + 1 : count;
    std::memcpy(edge + 1, line + at, last - at);
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
            edge_copy(line, count, at, edge);
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
            written = put_run(out, written, next - run, line[run]);
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
    if (open) written = put_run(out, written, count - run, line[run]);
    return written;
}

}  // namespace

const RunCoder* avx2_run_coder() {
    static constexpr RunCoder coder{encode_runs_avx2, count_runs_sse2};
    return cpu_has_avx2() ? &coder : nullptr;
}

}  // namespace pcx_encoder
}  // namespace raster

#else

namespace raster {
namespace pcx_encoder {

const RunCoder* avx2_run_coder() { return nullptr; }

}  // namespace pcx_encoder
}  // namespace raster

#endif
