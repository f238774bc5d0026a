// The PCX run coder with SSE2. Each 64 bytes of a line become two bit masks,
// sixteen bytes per comparison: where a run starts (a byte differs from the
// one before it), and where a run start needs a count byte (the next byte is
// the same, or the byte is 0xC0 or above). Writing then visits only the run
// starts, with no branch on what kind of token each one is; counting needs
// no visit at all, only the masks' bit counts and the rare run longer than
// 63. Gives exactly the plain coder's bytes.
#include "raster/pcx/codec/encode_lines.h"

#include "cpu/cpu.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstring>

#include "raster/pcx/codec/run_tokens.h"

namespace raster {
namespace pcx_encoder {

namespace {

constexpr size_t kBlock = 16;
constexpr size_t kWord = 64;

__m128i load(const uint8_t* bytes) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)); }

struct Masks {
    uint64_t starts;   // a run starts here
    uint64_t counted;  // ... and, where it does, it takes a count byte
};

// The masks of the sixteen bytes at `at`, from at - 1 to at + 16.
void block_masks(const uint8_t* at, uint32_t& starts, uint32_t& counted) {
    const __m128i bytes = load(at);
    const __m128i same_as_before = _mm_cmpeq_epi8(bytes, load(at - 1));
    const __m128i same_as_next = _mm_cmpeq_epi8(bytes, load(at + 1));
    const __m128i high = _mm_cmpeq_epi8(_mm_max_epu8(bytes, _mm_set1_epi8(static_cast<char>(kRunFlag))), bytes);
    starts = ~static_cast<uint32_t>(_mm_movemask_epi8(same_as_before)) & 0xFFFFu;
    counted = static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(same_as_next, high)));
}

// The masks of line positions base .. base + 63 (those below `count`). A
// block at the line's ends is read from a copy whose outside bytes differ
// from their neighbours inside: the first byte starts a run, the last one
// has no equal next byte.
inline Masks word_masks(const uint8_t* line, size_t count, size_t base) {
    Masks masks{0, 0};
    for (size_t k = 0; k < kWord / kBlock && base + k * kBlock < count; ++k) {
        const size_t at = base + k * kBlock;
        uint32_t starts = 0;
        uint32_t counted = 0;
        if (at >= 1 && at + kBlock + 1 <= count) {
            block_masks(line + at, starts, counted);
        } else {
            uint8_t edge[kBlock + 2];
            copy_with_edges(line, count, at, kBlock, edge);
            block_masks(edge + 1, starts, counted);
        }
        masks.starts |= uint64_t{starts} << (k * kBlock);
        masks.counted |= uint64_t{counted} << (k * kBlock);
    }
    if (count - base < kWord) {
        const uint64_t inside = (uint64_t{1} << (count - base)) - 1;
        masks.starts &= inside;
        masks.counted &= inside;
    }
    return masks;
}

size_t lowest(uint64_t bits) { return static_cast<size_t>(__builtin_ctzll(bits)); }
size_t highest(uint64_t bits) { return 63 - static_cast<size_t>(__builtin_clzll(bits)); }
size_t ones(uint64_t bits) { return static_cast<size_t>(__builtin_popcountll(bits)); }

// The common case with no branch on the token's kind: both bytes are
// stored, and a value that stands alone lands one further on, where the
// next token writes.
inline size_t put_run(uint8_t* out, size_t written, size_t room, size_t length, uint8_t value) {
    if (length > kLongestRun || written + 2 > room) return put_exact_run(out, written, length, value);
    const bool counted = length > 1 || value >= kRunFlag;
    out[written] = counted ? static_cast<uint8_t>(kRunFlag | length) : value;
    out[written + 1] = value;
    return written + 1 + (counted ? 1 : 0);
}

size_t encode_runs_sse2(const uint8_t* line, size_t count, uint8_t* out, size_t room) {
    size_t written = 0;
    size_t run = 0;  // where the open run started
    for (size_t base = 0; base < count; base += kWord) {
        const Masks masks = word_masks(line, count, base);
        uint64_t starts = base == 0 ? masks.starts & ~uint64_t{1} : masks.starts;  // position 0 opens the first run
        if (starts == 0) continue;
        // The run reaching into this word from before may be longer than 63.
        size_t next = base + lowest(starts);
        written = put_run(out, written, room, next - run, line[run]);
        run = next;
        starts &= starts - 1;
        const bool word_fits = room - written >= 2 * kWord;
        for (; starts != 0; starts &= starts - 1) {
            next = base + lowest(starts);
            if (!word_fits) {
                written = put_run(out, written, room, next - run, line[run]);
            } else {
                // Runs that start and end in this word: at most 63 long, and
                // the mask knows whether each takes a count byte.
                // The token's first byte picked with a mask, not a branch
                // the processor would mispredict.
                const uint32_t value = line[run];
                const uint32_t counted = static_cast<uint32_t>(masks.counted >> (run - base)) & 1;
                const uint32_t pick = 0u - counted;
                const uint32_t first = value ^ ((value ^ (kRunFlag | static_cast<uint32_t>(next - run))) & pick);
                // One two-byte store, made in a whole register (storing two
                // byte registers had the compiler merge them in place).
                const uint16_t both =
                    static_cast<uint16_t>(fastpath::kLittleEndian ? first | value << 8 : first << 8 | value);
                std::memcpy(out + written, &both, sizeof both);
                written += 1 + counted;
            }
            run = next;
        }
    }
    // Stored exactly: nothing may land past the line's last byte.
    return put_exact_run(out, written, count - run, line[run]);
}

size_t count_runs_sse2(const uint8_t* line, size_t count) {
    size_t bytes = 0;
    size_t run = 0;
    for (size_t base = 0; base < count; base += kWord) {
        const Masks masks = word_masks(line, count, base);
        if (masks.starts == 0) continue;
        bytes += ones(masks.starts) + ones(masks.starts & masks.counted);
        // Only the run reaching into this word from an earlier one can be
        // longer than 63.
        const size_t first = base + lowest(masks.starts);
        if (first > run) bytes += long_run_extra(first - run, line[run]);
        run = base + highest(masks.starts);
    }
    return bytes + long_run_extra(count - run, line[run]);
}

}  // namespace

// The byte planes have no SSE2 kind: the plain one serves.
const LineCoder kSse2LineCoder{encode_runs_sse2, count_runs_sse2, nullptr};

}  // namespace pcx_encoder
}  // namespace raster

#endif
