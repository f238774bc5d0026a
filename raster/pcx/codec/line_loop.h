// The line decoder's loop and its portable chunk strategies, shared by the
// plain decoder (line_scalar.cpp) and the SSE2 one (line_sse2.cpp), which
// differ only in the kernel they give the loop: how a chunk's high bytes
// are found, and two strategies only SSE2 offers.
//
// Most of each line goes through a loop over 64 input bytes at a time. It
// finds the run headers from which bytes are 0xC0 or more, and takes each
// chunk the cheapest way its bytes allow: 64 single bytes are copied at
// once (copy_chunk); a chunk whose runs all have a count of one drops its
// headers (SSE2: decode_runs_of_one); a chunk of mostly runs stores sixteen
// bytes per token (decode_tokens; SSE2 first works out every token's
// position where no run is longer than that: decode_planned); and a chunk
// of mostly single bytes visits only its run headers, the single bytes
// between two runs going out as one span, sixteen bytes per copy
// (decode_spans). Every run stores sixteen copies of its value, of which
// only the first `count` are kept. The extra bytes of a span or run land
// inside the line (the loop stops sixteen bytes before its end) ahead of
// `out`, where the next tokens overwrite them. Only input that ends part
// way through a line leaves them in view, so `older` keeps the bytes they
// replaced and puts them back. A span's last copy reads up to 16 bytes past
// the 64, so the loop needs 81 bytes of input; the last few bytes of a
// block and the tail of each line go a token at a time (decode_token).
#ifndef RASTER_PCX_CODEC_LINE_LOOP_H
#define RASTER_PCX_CODEC_LINE_LOOP_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "raster/pcx/codec/header.h"
#include "raster/pcx/codec/line_decoder.h"
#if defined(__AVX2__)
#include "raster/pcx/codec/splat_avx2.h"
#endif

namespace raster {
namespace pcx {
namespace line {

// Everything here has internal linkage: each decoder's file (plain, SSE2,
// AVX2) builds a copy of its own with its own instruction set, so that no
// decoder calls into code built for another, and the linker never keeps an
// AVX2 copy of a function for a caller that runs on any processor.
namespace {

// The fast loop stores this many copies of each value at once, and looks
// at the input this many bytes at a time.
constexpr uint32_t kWideStore = 16;
constexpr ptrdiff_t kChunk = 64;
constexpr ptrdiff_t kWideSpan = kWideStore;
constexpr uint32_t kChunksPerWeighing = 4;

// The output of a token by its first byte: 1 for a single byte, the count
// for a run header.
struct TokenCounts {
    uint8_t bytes[256];
};

constexpr TokenCounts make_token_counts() {
    TokenCounts t{};
    for (uint32_t b = 0; b < 256; ++b) t.bytes[b] = static_cast<uint8_t>(b >= kRunFlag ? b & kRunCountMask : 1);
    return t;
}

inline constexpr TokenCounts kTokenCount = make_token_counts();

// Sixteen copies of each byte value, stored by every token at once.
struct SplatTable {
    alignas(16) uint8_t rows[256][16];
};

constexpr SplatTable make_splat_table() {
    SplatTable t{};
    for (uint32_t v = 0; v < 256; ++v) {
        for (uint32_t k = 0; k < 16; ++k) t.rows[v][k] = static_cast<uint8_t>(v);
    }
    return t;
}

inline constexpr SplatTable kSplat = make_splat_table();

// Sixteen copies of the byte at `value`, stored at `to`: from the table, or
// in the AVX2 build broadcast straight from the input, which costs one
// instruction less per token than working out the table row's address.
inline void store_splat(uint8_t* to, const uint8_t* value) {
#if defined(__AVX2__)
    broadcast_splat(to, *value);
#else
    std::memcpy(to, kSplat.rows[*value], kWideStore);
#endif
}

// Where the loop stands: the next input byte and the next output byte.
struct Cursor {
    const uint8_t* next;
    uint8_t* out;
};

// Which of the two token loops suits the bytes is weighed on every fourth
// chunk that holds a run, as counting the tokens costs about as much as
// decoding a few of them.
struct Weighing {
    uint32_t weigh_in = 0;
    bool by_tokens = true;
};

// The bytes among 64 that are run values rather than token starts, given
// which bytes are 0xC0 or more and that byte 0 starts a token. In each
// stretch of such bytes, the first is a header (the byte before it is a
// single byte or a value), so every second byte from there on is a value,
// and the byte after a stretch of odd length is one too. Adding a stretch's
// lowest bit carries through it, marking the stretch and the byte after it;
// the values are the marked bytes at odd distance from the stretch's start.
inline uint64_t run_values(uint64_t high) {
    constexpr uint64_t kEven = 0x5555555555555555ull;
    const uint64_t starts = high & ~(high << 1);
    const uint64_t from_even = (high + (starts & kEven)) ^ high;
    const uint64_t from_odd = (high + (starts & ~kEven)) ^ high;
    return (from_even & ~kEven) | (from_odd & kEven);
}

inline uint32_t lowest_bit(uint64_t bits) {
#if defined(__GNUC__)
    return static_cast<uint32_t>(__builtin_ctzll(bits));
#else
    uint32_t k = 0;
    while ((bits & 1) == 0) {
        bits >>= 1;
        ++k;
    }
    return k;
#endif
}

// The set bits of each byte of `bits`, counted in place in that byte.
inline uint64_t bits_per_byte(uint64_t bits) {
    bits -= (bits >> 1) & 0x5555555555555555ull;
    bits = (bits & 0x3333333333333333ull) + ((bits >> 2) & 0x3333333333333333ull);
    return (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Full;
}

// Without a population count instruction the compiler calls a library
// routine; the sum of bits in place is cheaper than that call.
inline uint32_t bit_count(uint64_t bits) {
#if defined(__POPCNT__)
    return static_cast<uint32_t>(__builtin_popcountll(bits));
#else
    return static_cast<uint32_t>((bits_per_byte(bits) * 0x0101010101010101ull) >> 56);
#endif
}

// The rest of a run longer than sixteen bytes, whose first sixteen are
// stored: three more stores of sixteen cover the longest run (63) where the
// line has room for them, so that long runs (a plane of one colour) cost no
// call. Nearer the line's end only the run's own bytes are written, since
// the bytes past the line are the next line's start.
inline void store_long_run(uint8_t* out, uint8_t value, uint32_t count, const uint8_t* line_end) {
    if (line_end - out >= 4 * static_cast<ptrdiff_t>(kWideStore)) {
        for (uint32_t k = 1; k < 4; ++k) std::memcpy(out + k * kWideStore, kSplat.rows[value], kWideStore);
    } else {
        std::memset(out + kWideStore, value, count - kWideStore);
    }
}

// 64 single bytes.
inline Cursor copy_chunk(Cursor at) {
    std::memcpy(at.out, at.next, kChunk);
    return Cursor{at.next + kChunk, at.out + kChunk};
}

// A chunk of mostly runs, token by token: every token stores its sixteen
// bytes, so that no branch waits on what kind of token comes next. `starts`
// marks the bytes that start a token. Stops at the first token that ends
// within sixteen bytes of the line's end.
inline Cursor decode_tokens(Cursor at, uint64_t starts, ptrdiff_t chunk_bytes, uint8_t* line_end) {
    uint8_t* const wide_end = line_end - kWideStore;
    const uint8_t* const next = at.next;
    uint8_t* out = at.out;
    do {
        const uint32_t k = lowest_bit(starts);
        starts &= starts - 1;
        // At a token's start, 0xC0 and above is a run header.
        const uint32_t byte = next[k];
        const uint32_t is_run = (byte + (256u - kRunFlag)) >> 8;
        const uint8_t value = next[k + is_run];
        const uint32_t count = kTokenCount.bytes[byte];
        store_splat(out, next + k + is_run);
        if (count > kWideStore) store_long_run(out, value, count, line_end);
        out += count;
        if (out > wide_end) return Cursor{next + k + 1 + is_run, out};
    } while (starts != 0);
    return Cursor{next + chunk_bytes, out};
}

// A chunk of mostly single bytes. Kept out of the loop, and given its
// cursor by value, so that the token loop keeps `out` in a register.
//
// The single bytes between two runs go out as one span, sixteen bytes per
// copy (even for an empty span: the extra bytes land ahead of `out`, inside
// the line). Stops, with `next` at the first token not decoded, as soon as
// `out` has come within sixteen bytes of the line's end.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
inline Cursor
decode_spans(Cursor at_chunk, uint64_t headers, uint8_t* line_end) {
    uint8_t* const wide_end = line_end - kWideStore;
    const uint8_t* next = at_chunk.next;
    uint8_t* out = at_chunk.out;
    ptrdiff_t from = 0;  // the first byte not yet decoded
    for (;;) {
        // The span ends at the next header, or with the chunk (a header in
        // byte 63 took its value from byte 64).
        const ptrdiff_t chunk_end = from > kChunk ? from : kChunk;
        const ptrdiff_t at = headers != 0 ? static_cast<ptrdiff_t>(lowest_bit(headers)) : chunk_end;
        const ptrdiff_t span = at - from;
        if (out + span > wide_end) {
            // Near the line's end: single bytes stop there.
            const ptrdiff_t room = line_end - out;
            const ptrdiff_t taken = span < room ? span : room;
            std::memcpy(out, next + from, static_cast<size_t>(taken));
            out += taken;
            next += from + taken;
            break;
        }
        std::memcpy(out, next + from, kWideStore);
        for (ptrdiff_t k = kWideSpan; k < span; k += kWideSpan) std::memcpy(out + k, next + from + k, kWideStore);
        out += span;
        if (headers == 0) {
            next += at;
            break;
        }
        headers &= headers - 1;
        const uint8_t value = next[at + 1];
        const uint32_t count = next[at] & kRunCountMask;
        store_splat(out, next + at + 1);
        if (count > kWideStore) store_long_run(out, value, count, line_end);
        out += count;
        from = at + 2;
        if (out > wide_end) {
            next += from;
            break;
        }
    }
    return Cursor{next, out};
}

// One chunk that starts at a token, the cheapest way its bytes allow.
template <class Kernel>
Cursor decode_chunk(Cursor at, uint8_t* line_end, Weighing& weighing, typename Kernel::Plan& plan) {
    const uint64_t high = Kernel::high_bytes(at.next);
    if (high == 0 && at.out + kChunk <= line_end) return copy_chunk(at);
    const uint64_t values = run_values(high);
    const uint64_t headers = high & ~values;
    // A header in byte 63 took its value from byte 64.
    const ptrdiff_t chunk_bytes = kChunk + static_cast<ptrdiff_t>(headers >> 63);
    if constexpr (Kernel::kRunsOfOne) {
        if (at.out + kChunk <= line_end && Kernel::only_runs_of_one(at.next, headers)) {
            return Cursor{at.next + chunk_bytes, Kernel::decode_runs_of_one(at.next, headers, at.out)};
        }
    }
    if (weighing.weigh_in == 0) {
        weighing.by_tokens = bit_count(~values) < 2 * bit_count(headers);
        weighing.weigh_in = kChunksPerWeighing;
    }
    --weighing.weigh_in;
    if (weighing.by_tokens) return Kernel::decode_tokens(at, values, chunk_bytes, line_end, plan);
    return decode_spans(at, headers, line_end);
}

// Chunks while the line has more than sixteen bytes to go and the window
// holds a chunk and the sixteen bytes a span may read past it.
template <class Kernel>
Cursor decode_chunks(Cursor at, const uint8_t* end, uint8_t* line_end, Weighing& weighing,
                     typename Kernel::Plan& plan) {
    uint8_t* const wide_end = line_end - kWideStore;
    const uint8_t* const last_chunk = end - (kChunk + kWideSpan + 1);
    while (at.out <= wide_end && at.next <= last_chunk) at = decode_chunk<Kernel>(at, line_end, weighing, plan);
    return at;
}

// The next byte, refilling the source once the window is used up; false
// when the data has ended.
inline bool fetch_byte(ByteSource& in, const uint8_t*& next, const uint8_t*& end, uint8_t& byte) {
    if (next == end) {
        if (!in.refill()) return false;
        next = in.next;
        end = in.end;
    }
    byte = *next++;
    return true;
}

// One token a byte at a time; false when the data ends before it is whole.
inline bool decode_token(ByteSource& in, Cursor& at, const uint8_t*& end) {
    uint8_t byte = 0;
    if (!fetch_byte(in, at.next, end, byte)) return false;
    if (byte < kRunFlag) {
        *at.out++ = byte;
        return true;
    }
    uint8_t value = 0;
    if (!fetch_byte(in, at.next, end, value)) return false;
    const uint32_t count = byte & kRunCountMask;
    std::memset(at.out, value, count);
    at.out += count;
    return true;
}

// The data ended part way through a line: the line keeps its older bytes
// past what it got, and everything has been consumed, so later lines decode
// nothing.
inline uint32_t stop_line(ByteSource& in, const uint8_t* end, uint8_t* line, uint8_t* line_start, uint8_t* out,
                          uint8_t* line_end, const uint8_t* older) {
    if (line_end - line_start >= static_cast<ptrdiff_t>(kWideStore)) {
        std::memcpy(out, older + (out - line_start), static_cast<size_t>(line_end - out));
    }
    in.next = end;
    in.end = end;
    in.stopped_at = static_cast<uint32_t>(out - line);
    return 0;
}

template <class Kernel>
uint32_t decode_line_with(ByteSource& in, uint8_t* line, uint32_t line_bytes, uint32_t carry, uint8_t* older) {
    if (carry >= line_bytes) return carry - line_bytes;
    uint8_t* const line_start = line + carry;
    uint8_t* const line_end = line + line_bytes;
    const bool wide = line_bytes - carry >= kWideStore;
    if (wide) std::memcpy(older, line_start, line_bytes - carry);
    Weighing weighing;
    typename Kernel::Plan plan;
    Cursor at{in.next, line_start};
    const uint8_t* end = in.end;
    for (;;) {
        if (wide && end - at.next > kChunk + kWideSpan) at = decode_chunks<Kernel>(at, end, line_end, weighing, plan);
        if (at.out >= line_end) break;
        if (!decode_token(in, at, end)) return stop_line(in, end, line, line_start, at.out, line_end, older);
    }
    in.next = at.next;
    in.end = end;
    return static_cast<uint32_t>(at.out - line_end);
}

}  // namespace
}  // namespace line
}  // namespace pcx
}  // namespace raster

#endif  // RASTER_PCX_CODEC_LINE_LOOP_H
