// The PCX reader: decodes a run-length encoded PCX picture, from a file or
// from a block in memory, into the active surface at any depth, and loads
// its colours into the library palette.
//
// Every header field is checked before the first pixel is stored: a call
// either stores the picture (cut at the right and bottom edges) or refuses
// it with nothing stored and no palette entry changed. The decoder never
// writes past the longest line scanline_buffer can hold, and never reads
// past the bytes a block delivered.
#include <raster/raster.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "raster/state.h"

namespace {

using raster::state;

constexpr uint32_t kHeaderSize = 128;
constexpr uint32_t kTrailerSize = 769;
constexpr uint8_t kTrailerMarker = 12;
constexpr uint8_t kManufacturer = 10;
constexpr uint8_t kRunFlag = 0xC0;
constexpr uint8_t kRunCountMask = 0x3F;
// A run can write at most 62 bytes past the line's end (count 63, at least
// one byte still needed), so the longest line leaves room for that.
constexpr uint32_t kMaxRunOvershoot = 62;
constexpr uint32_t kMaxLineBytes = raster::kScratchSize - kMaxRunOvershoot;
// The fast decoding loop stores this many copies of each value at once, and
// looks at the input this many bytes at a time.
constexpr uint32_t kWideStore = 16;
constexpr ptrdiff_t kChunk = 64;
constexpr ptrdiff_t kWideSpan = kWideStore;
constexpr uint32_t kChunksPerWeighing = 4;
// 8-bit surfaces keep the 2- and 16-colour pictures in entries 10..25, clear
// of the system's static colours in 0..9.
constexpr uint32_t kLowColourBase = 10;
constexpr int32_t kPictureFirstEntry = 10;
constexpr int32_t kPictureEntryCount = 236;

// Every layout the reader stores. The planar ones hold 1 bit per pixel in
// each of 1 to 4 planes (plane p gives bit p of the index); the packed ones
// hold 2 or 4 bits per pixel in one plane, most significant bits first.
// kTrueColour covers 3 planes (red, green, blue) and 4 planes (the fourth,
// alpha or intensity, is decoded and ignored).
enum Layout {
    kOneBit,
    kTwoPlane,
    kThreePlane,
    kFourPlane,
    kPackedTwoBit,
    kPackedFourBit,
    kEightBit,
    kTrueColour,
    kLayoutCount
};
enum DepthColumn { kDepth8, kDepth16, kDepth24, kDepth32, kDepthCount };

uint32_t field16(const uint8_t* header, int offset) {
    return static_cast<uint32_t>(header[offset]) | (static_cast<uint32_t>(header[offset + 1]) << 8);
}

// ---- row writers -----------------------------------------------------------
//
// One writer per layout and depth. Each converts `count` pixels from the
// start of the decoded line (planes `bpl` bytes apart) into a row of the
// active surface. The depth is a template parameter, so the pixel loops hold
// no test on layout or depth.

using RowWriter = void (*)(const uint8_t* line, uint32_t bpl, int32_t count, uint8_t* dest);

// Storing a palette index at each depth.
struct Store8 {
    static constexpr int kBytes = 1;
    static constexpr uint32_t kLowBase = kLowColourBase;
    static void index(uint8_t* d, uint32_t i) { d[0] = static_cast<uint8_t>(i); }
};
struct Store16 {
    static constexpr int kBytes = 2;
    static constexpr uint32_t kLowBase = 0;
    static void index(uint8_t* d, uint32_t i) {
        const uint8_t* e = state.native_color_table + i * 2;
        d[0] = e[0];
        d[1] = e[1];
    }
};
struct Store24 {
    static constexpr int kBytes = 3;
    static constexpr uint32_t kLowBase = 0;
    static void index(uint8_t* d, uint32_t i) {
        const uint8_t* e = state.native_color_table + i * 4;  // fill, R, G, B
        d[0] = e[3];
        d[1] = e[2];
        d[2] = e[1];
    }
};
struct Store32 {
    static constexpr int kBytes = 4;
    static constexpr uint32_t kLowBase = 0;
    static void index(uint8_t* d, uint32_t i) {
        const uint8_t* e = state.native_color_table + i * 4;
        d[0] = e[3];
        d[1] = e[2];
        d[2] = e[1];
        d[3] = e[0];
    }
};

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr bool kLittleEndian = false;
#else
constexpr bool kLittleEndian = true;
#endif

// The bit layouts go eight pixels at a time, as eight indices in the bytes
// of one word (pixel k in byte k). spread_bits[b] holds the eight bits of b,
// most significant first; spread_pairs[b] the four 2-bit fields of b in the
// low four bytes; spread_nibbles[b] the two 4-bit fields of b in the low two.
struct SpreadTables {
    uint64_t bits[256];
    uint64_t pairs[256];
    uint64_t nibbles[256];
};

constexpr SpreadTables make_spread_tables() {
    SpreadTables t{};
    for (uint32_t b = 0; b < 256; ++b) {
        for (int k = 0; k < 8; ++k) t.bits[b] |= static_cast<uint64_t>((b >> (7 - k)) & 1u) << (8 * k);
        for (int k = 0; k < 4; ++k) t.pairs[b] |= static_cast<uint64_t>((b >> (6 - 2 * k)) & 3u) << (8 * k);
        for (int k = 0; k < 2; ++k) t.nibbles[b] |= static_cast<uint64_t>((b >> (4 - 4 * k)) & 15u) << (8 * k);
    }
    return t;
}

constexpr SpreadTables kSpread = make_spread_tables();

// Stores the first `n` (1..8) of the eight indices packed in `group`.
template <class Store>
void store_group(uint8_t* dest, uint64_t group, int32_t n) {
    for (int32_t k = 0; k < n; ++k) {
        Store::index(dest + k * Store::kBytes, Store::kLowBase + static_cast<uint32_t>((group >> (8 * k)) & 0xFF));
    }
}

// Eight 8-bit indices go out as one word: each byte of `group` is at most
// 15, so adding the base to every byte at once carries into no neighbour.
void store_full_group(uint8_t* dest, uint64_t group, Store8) {
    constexpr uint64_t kBases = kLowColourBase * 0x0101010101010101ull;
    const uint64_t indices = group + kBases;
    if (kLittleEndian) {
        std::memcpy(dest, &indices, 8);
    } else {
        for (int k = 0; k < 8; ++k) dest[k] = static_cast<uint8_t>(indices >> (8 * k));
    }
}

template <class Store>
void store_full_group(uint8_t* dest, uint64_t group, Store) {
    store_group<Store>(dest, group, 8);
}

// Calls store_group for each group of eight pixels, the last one partial.
template <class Store, class Group>
void write_groups(int32_t count, uint8_t* dest, Group group_at) {
    const int32_t full = count >> 3;
    for (int32_t g = 0; g < full; ++g) store_full_group(dest + g * 8 * Store::kBytes, group_at(g), Store{});
    if ((count & 7) != 0) store_group<Store>(dest + full * 8 * Store::kBytes, group_at(full), count & 7);
}

// 1 to 4 planes of 1 bit: plane p gives bit p of each index.
template <int Planes, class Store>
void write_planar(const uint8_t* line, uint32_t bpl, int32_t count, uint8_t* dest) {
    write_groups<Store>(count, dest, [line, bpl](int32_t g) {
        uint64_t group = kSpread.bits[line[g]];
        for (int p = 1; p < Planes; ++p) group |= kSpread.bits[line[p * static_cast<size_t>(bpl) + g]] << p;
        return group;
    });
}

#if defined(__SSE2__) || defined(_M_X64)
// One plane into 8 bits, 128 pixels at a time: each byte is copied across
// eight bytes, each of which keeps its own bit, and a set bit makes the
// index one above the base.
template <>
void write_planar<1, Store8>(const uint8_t* line, uint32_t, int32_t count, uint8_t* dest) {
    const __m128i bit = _mm_set_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
    const __m128i base = _mm_set1_epi8(static_cast<char>(kLowColourBase));
    int32_t x = 0;
    for (; x + 128 <= count; x += 128) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + x / 8));
        const __m128i pairs[2] = {_mm_unpacklo_epi8(bytes, bytes), _mm_unpackhi_epi8(bytes, bytes)};
        for (int h = 0; h < 2; ++h) {
            const __m128i quads[2] = {_mm_unpacklo_epi16(pairs[h], pairs[h]), _mm_unpackhi_epi16(pairs[h], pairs[h])};
            for (int q = 0; q < 2; ++q) {
                const __m128i eights[2] = {_mm_unpacklo_epi32(quads[q], quads[q]),
                                           _mm_unpackhi_epi32(quads[q], quads[q])};
                for (int e = 0; e < 2; ++e) {
                    const __m128i set = _mm_cmpeq_epi8(_mm_and_si128(eights[e], bit), bit);
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + x + 64 * h + 32 * q + 16 * e),
                                     _mm_sub_epi8(base, set));
                }
            }
        }
    }
    const uint8_t* rest = line + x / 8;
    write_groups<Store8>(count - x, dest + x, [rest](int32_t g) { return kSpread.bits[rest[g]]; });
}
#endif

// One plane of 2 or 4 bits: eight pixels come from two or four bytes. The
// last, partial group may read bytes past the plane's useful ones; they lie
// inside scratch_area and their pixels are not stored.
template <class Store>
void write_packed_two_bit(const uint8_t* line, uint32_t, int32_t count, uint8_t* dest) {
    write_groups<Store>(count, dest, [line](int32_t g) {
        const uint8_t* b = line + 2 * static_cast<size_t>(g);
        return kSpread.pairs[b[0]] | (kSpread.pairs[b[1]] << 32);
    });
}

template <class Store>
void write_packed_four_bit(const uint8_t* line, uint32_t, int32_t count, uint8_t* dest) {
    write_groups<Store>(count, dest, [line](int32_t g) {
        const uint8_t* b = line + 4 * static_cast<size_t>(g);
        return kSpread.nibbles[b[0]] | (kSpread.nibbles[b[1]] << 16) | (kSpread.nibbles[b[2]] << 32) |
               (kSpread.nibbles[b[3]] << 48);
    });
}

template <class Store>
void write_eight_bit(const uint8_t* line, uint32_t, int32_t count, uint8_t* dest) {
    for (int32_t x = 0; x < count; ++x) Store::index(dest + x * Store::kBytes, line[x]);
}

template <>
void write_eight_bit<Store8>(const uint8_t* line, uint32_t, int32_t count, uint8_t* dest) {
    std::memcpy(dest, line, static_cast<size_t>(count));
}

void write_true_colour_16(const uint8_t* line, uint32_t bpl, int32_t count, uint8_t* dest) {
    const uint8_t* red = line;
    const uint8_t* green = line + bpl;
    const uint8_t* blue = line + 2 * static_cast<size_t>(bpl);
    for (int32_t x = 0; x < count; ++x) {
        const uint32_t value = ((red[x] >> 3u) << 11) | ((green[x] >> 2u) << 5) | (blue[x] >> 3u);
        dest[x * 2] = static_cast<uint8_t>(value);
        dest[x * 2 + 1] = static_cast<uint8_t>(value >> 8);
    }
}

void write_true_colour_24(const uint8_t* line, uint32_t bpl, int32_t count, uint8_t* dest) {
    const uint8_t* red = line;
    const uint8_t* green = line + bpl;
    const uint8_t* blue = line + 2 * static_cast<size_t>(bpl);
    for (int32_t x = 0; x < count; ++x) {
        dest[x * 3] = blue[x];
        dest[x * 3 + 1] = green[x];
        dest[x * 3 + 2] = red[x];
    }
}

// The fourth byte of each pixel is left as it was.
void write_true_colour_32(const uint8_t* line, uint32_t bpl, int32_t count, uint8_t* dest) {
    const uint8_t* red = line;
    const uint8_t* green = line + bpl;
    const uint8_t* blue = line + 2 * static_cast<size_t>(bpl);
    int32_t x = 0;
#if defined(__SSE2__) || defined(_M_X64)
    // Sixteen pixels at a time: the planes interleave into B, G, R, 0
    // words, and each word takes the fourth byte from the surface.
    const __m128i zero = _mm_setzero_si128();
    const __m128i fourth = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    for (; x + 16 <= count; x += 16) {
        const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(red + x));
        const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(green + x));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blue + x));
        const __m128i bg_low = _mm_unpacklo_epi8(b, g);
        const __m128i bg_high = _mm_unpackhi_epi8(b, g);
        const __m128i r_low = _mm_unpacklo_epi8(r, zero);
        const __m128i r_high = _mm_unpackhi_epi8(r, zero);
        const __m128i pixels[4] = {_mm_unpacklo_epi16(bg_low, r_low), _mm_unpackhi_epi16(bg_low, r_low),
                                   _mm_unpacklo_epi16(bg_high, r_high), _mm_unpackhi_epi16(bg_high, r_high)};
        uint8_t* out = dest + static_cast<size_t>(x) * 4;
        for (int k = 0; k < 4; ++k) {
            __m128i* at = reinterpret_cast<__m128i*>(out + 16 * k);
            const __m128i kept = _mm_and_si128(_mm_loadu_si128(at), fourth);
            _mm_storeu_si128(at, _mm_or_si128(kept, pixels[k]));
        }
    }
#endif
    for (; x < count; ++x) {
        dest[x * 4] = blue[x];
        dest[x * 4 + 1] = green[x];
        dest[x * 4 + 2] = red[x];
    }
}

constexpr RowWriter kRowWriters[kLayoutCount][kDepthCount] = {
    {write_planar<1, Store8>, write_planar<1, Store16>, write_planar<1, Store24>, write_planar<1, Store32>},
    {write_planar<2, Store8>, write_planar<2, Store16>, write_planar<2, Store24>, write_planar<2, Store32>},
    {write_planar<3, Store8>, write_planar<3, Store16>, write_planar<3, Store24>, write_planar<3, Store32>},
    {write_planar<4, Store8>, write_planar<4, Store16>, write_planar<4, Store24>, write_planar<4, Store32>},
    {write_packed_two_bit<Store8>, write_packed_two_bit<Store16>, write_packed_two_bit<Store24>,
     write_packed_two_bit<Store32>},
    {write_packed_four_bit<Store8>, write_packed_four_bit<Store16>, write_packed_four_bit<Store24>,
     write_packed_four_bit<Store32>},
    {write_eight_bit<Store8>, write_eight_bit<Store16>, write_eight_bit<Store24>, write_eight_bit<Store32>},
    {nullptr, write_true_colour_16, write_true_colour_24, write_true_colour_32},
};

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

constexpr TokenCounts kTokenCount = make_token_counts();

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

constexpr SplatTable kSplat = make_splat_table();

// Bit k is set where p[k] (k = 0..63) is 0xC0 or more: a run header, or
// the value of one.
uint64_t high_bytes(const uint8_t* p) {
#if defined(__SSE2__) || defined(_M_X64)
    const __m128i top = _mm_set1_epi8(static_cast<char>(kRunFlag));
    uint64_t mask = 0;
    for (int k = 0; k < 4; ++k) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        const __m128i high = _mm_cmpeq_epi8(_mm_and_si128(bytes, top), top);
        mask |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(high))) << (16 * k);
    }
    return mask;
#else
    // Eight bytes at a time: bit 7 of each byte is set where its two top bits
    // are, and the multiplication gathers those eight bits into one byte.
    uint64_t mask = 0;
    for (int k = 0; k < 8; ++k) {
        uint64_t word = 0;
        for (int b = 0; b < 8; ++b) word |= static_cast<uint64_t>(p[8 * k + b]) << (8 * b);
        const uint64_t high = word & (word << 1) & 0x8080808080808080ull;
        mask |= (((high >> 7) * 0x0102040810204080ull) >> 56) << (8 * k);
    }
    return mask;
#endif
}

// The bytes among 64 that are run values rather than token starts, given
// which bytes are 0xC0 or more and that byte 0 starts a token. In each
// stretch of such bytes, the first is a header (the byte before it is a
// single byte or a value), so every second byte from there on is a value,
// and the byte after a stretch of odd length is one too. Adding a stretch's
// lowest bit carries through it, marking the stretch and the byte after it;
// the values are the marked bytes at odd distance from the stretch's start.
uint64_t run_values(uint64_t high) {
    constexpr uint64_t kEven = 0x5555555555555555ull;
    const uint64_t starts = high & ~(high << 1);
    const uint64_t from_even = (high + (starts & kEven)) ^ high;
    const uint64_t from_odd = (high + (starts & ~kEven)) ^ high;
    return (from_even & ~kEven) | (from_odd & kEven);
}

uint32_t lowest_bit(uint64_t bits) {
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

// Without a population count instruction the compiler calls a library
// routine; the sum of bits in place is cheaper than that call.
// The set bits of each byte of `bits`, counted in place in that byte.
uint64_t bits_per_byte(uint64_t bits) {
    bits -= (bits >> 1) & 0x5555555555555555ull;
    bits = (bits & 0x3333333333333333ull) + ((bits >> 2) & 0x3333333333333333ull);
    return (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Full;
}

uint32_t bit_count(uint64_t bits) {
#if defined(__POPCNT__)
    return static_cast<uint32_t>(__builtin_popcountll(bits));
#else
    return static_cast<uint32_t>((bits_per_byte(bits) * 0x0101010101010101ull) >> 56);
#endif
}

#if defined(__SSE2__) || defined(_M_X64)
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

// Decodes a chunk of 64 bytes whose every run header has a count of 1, as
// PCX writers put the bytes of 0xC0 and above: dropping the headers leaves
// the output. Stores up to 64 bytes at `out`; returns the new end.
uint8_t* decode_runs_of_one(const uint8_t* p, uint64_t headers, uint8_t* out) {
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
#endif

// The rest of a run longer than sixteen bytes, whose first sixteen are
// stored: three more stores of sixteen cover the longest run (63) where the
// line has room for them, so that long runs (a plane of one colour) cost no
// call. Nearer the line's end only the run's own bytes are written, since
// the bytes past the line are the next line's start.
void store_long_run(uint8_t* out, uint8_t value, uint32_t count, const uint8_t* line_end) {
    if (line_end - out >= 4 * static_cast<ptrdiff_t>(kWideStore)) {
        for (uint32_t k = 1; k < 4; ++k) std::memcpy(out + k * kWideStore, kSplat.rows[value], kWideStore);
    } else {
        std::memset(out + kWideStore, value, count - kWideStore);
    }
}

// ---- one call's input --------------------------------------------------------

// The encoded bytes: a window into the caller's block (buffer mode) or into
// the library's work_buffer, refilled a block at a time (file mode).
struct Input {
    bool from_file = false;
    bool exhausted = false;
    const uint8_t* next = nullptr;
    const uint8_t* end = nullptr;

    // Makes at least one byte available; false once the input has ended,
    // after which no more reads are made.
    bool refill() {
        if (exhausted) return false;
        if (from_file) {
            state.bytes_read = 0;
            ReadFile(state.pcx_file, state.work_buffer, raster::kWorkBufferSize, &state.bytes_read, nullptr);
            const uint32_t got =
                state.bytes_read > raster::kWorkBufferSize ? raster::kWorkBufferSize : state.bytes_read;
            if (got > 0) {
                next = state.work_buffer;
                end = state.work_buffer + got;
                return true;
            }
        }
        exhausted = true;
        return false;
    }
};

// Decodes one chunk of 64 input bytes that starts at a token, given where
// its run headers are: the single bytes between two runs go out as one span,
// sixteen bytes per copy (even for an empty span: the extra bytes land ahead
// of `out`, inside the line). Stops, with `next` at the first token
// not decoded, as soon as `out` has come within sixteen bytes of the line's
// end. Kept out of decode_line, and given its cursor by value, so that the
// loop there over every token keeps `out` in a register.
struct Cursor {
    const uint8_t* next;
    uint8_t* out;
};

#if defined(__GNUC__)
__attribute__((noinline))
#endif
Cursor
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
        std::memcpy(out, kSplat.rows[value], kWideStore);
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

// Decodes one line of `line_bytes` bytes into scanline_buffer behind the
// `carry` bytes already at its start; returns the new carry (the bytes the
// last run wrote past the line's end). When the input ends, the line stops
// where it is and keeps the buffer's older bytes beyond that point.
//
// Most of each line goes through a loop over 64 input bytes at a time. It
// finds the run headers from which bytes are 0xC0 or more, and takes each
// chunk the cheapest way its bytes allow: 64 single bytes are copied at
// once; a chunk whose runs all have a count of one drops its headers
// (decode_runs_of_one); a chunk of mostly runs stores sixteen bytes per
// token, at positions worked out ahead where no run is longer than that
// (plan_tokens); and a chunk of mostly single bytes visits only its run
// headers, the single bytes between two runs going out as one span,
// sixteen bytes per copy (decode_spans). Every run stores sixteen copies
// of its value, of which only the first `count` are kept. The extra bytes
// of a span or run land inside the line (the loop stops sixteen bytes
// before its end) ahead of `out`, where the next tokens overwrite them.
// Only input that ends part way through a line leaves them in view, so
// `older` keeps the bytes they replaced and puts them back. A span's last
// copy reads up to 16 bytes past the 64, so the loop needs 81 bytes of
// input; the last few bytes of a block and the tail of each line take the
// byte-at-a-time path below it.
uint32_t decode_line(Input& in, uint8_t* line, uint32_t line_bytes, uint32_t carry, uint8_t* older) {
    if (carry >= line_bytes) return carry - line_bytes;
    uint8_t* out = line + carry;
    uint8_t* const line_start = out;
    uint8_t* const line_end = line + line_bytes;
    const bool wide = line_bytes - carry >= kWideStore;
    bool by_tokens = true;
    uint32_t weigh_in = 0;
    if (wide) std::memcpy(older, line_start, line_bytes - carry);
#if defined(__SSE2__) || defined(_M_X64)
    ChunkTokens plan;
#endif
    const uint8_t* next = in.next;
    const uint8_t* end = in.end;
    for (;;) {
        if (wide && end - next > kChunk + kWideSpan) {
            uint8_t* const wide_end = line_end - kWideStore;
            // A span copy reads up to 16 bytes past the chunk.
            const uint8_t* const last_chunk = end - (kChunk + kWideSpan + 1);
            while (out <= wide_end && next <= last_chunk) {
                const uint64_t high = high_bytes(next);
                if (high == 0 && out + kChunk <= line_end) {
                    std::memcpy(out, next, kChunk);
                    out += kChunk;
                    next += kChunk;
                    continue;
                }
                const uint64_t values = run_values(high);
                uint64_t headers = high & ~values;
                uint64_t starts = ~values;
                // A header in byte 63 took its value from byte 64.
                const ptrdiff_t chunk_bytes = kChunk + static_cast<ptrdiff_t>(headers >> 63);
#if defined(__SSE2__) || defined(_M_X64)
                if ((headers & ~runs_of_one(next)) == 0 && out + kChunk <= line_end) {
                    out = decode_runs_of_one(next, headers, out);
                    next += chunk_bytes;
                    continue;
                }
#endif
                // Which loop suits the bytes is weighed on every fourth chunk
                // that holds a run, as counting the tokens costs about as much
                // as decoding a few of them.
                if (weigh_in == 0) {
                    by_tokens = bit_count(starts) < 2 * bit_count(headers);
                    weigh_in = kChunksPerWeighing;
                }
                --weigh_in;
                if (by_tokens) {
                    // Mostly runs: every token stores its sixteen bytes, so
                    // that no branch waits on what kind of token comes next.
#if defined(__SSE2__) || defined(_M_X64)
                    // Where no run is longer than that, the positions are
                    // worked out first and the stores follow. A chunk that
                    // reaches the line's last sixteen bytes stops at the
                    // first token that starts past them.
                    const int32_t length = plan_tokens(next, values, plan);
                    if (length >= 0) {
                        if (out + length <= wide_end) {
                            do {
                                const uint32_t at = lowest_bit(starts);
                                starts &= starts - 1;
                                std::memcpy(out + plan.offset[at], kSplat.rows[plan.value[at]], kWideStore);
                            } while (starts != 0);
                        } else {
                            do {
                                const uint32_t at = lowest_bit(starts);
                                starts &= starts - 1;
                                uint8_t* const to = out + plan.offset[at];
                                if (to > wide_end) {
                                    out = to;
                                    next += at;
                                    goto line_tail;
                                }
                                std::memcpy(to, kSplat.rows[plan.value[at]], kWideStore);
                            } while (starts != 0);
                        }
                        out += length;
                        next += chunk_bytes;
                        continue;
                    }
#endif
                    do {
                        const uint32_t at = lowest_bit(starts);
                        starts &= starts - 1;
                        // At a token's start, 0xC0 and above is a run header.
                        const uint32_t byte = next[at];
                        const uint32_t is_run = (byte + (256u - kRunFlag)) >> 8;
                        const uint8_t value = next[at + is_run];
                        const uint32_t count = kTokenCount.bytes[byte];
                        std::memcpy(out, kSplat.rows[value], kWideStore);
                        if (count > kWideStore) store_long_run(out, value, count, line_end);
                        out += count;
                        if (out > wide_end) {
                            next += at + 1 + is_run;
                            goto line_tail;
                        }
                    } while (starts != 0);
                    next += chunk_bytes;
                    continue;
                }
                // Mostly single bytes: only the run headers are visited, and
                // the single bytes between them go out as one span each.
                // The loop's test sends a line that is nearly done to its tail.
                const Cursor moved = decode_spans(Cursor{next, out}, headers, line_end);
                next = moved.next;
                out = moved.out;
            }
        }
    line_tail:
        if (out >= line_end) break;
        if (next == end) {
            if (!in.refill()) break;
            next = in.next;
            end = in.end;
        }
        const uint8_t byte = *next++;
        if (byte < kRunFlag) {
            *out++ = byte;
            continue;
        }
        const uint32_t count = byte & kRunCountMask;
        if (next == end) {
            if (!in.refill()) break;
            next = in.next;
            end = in.end;
        }
        const uint8_t value = *next++;
        std::memset(out, value, count);
        out += count;
    }
    if (out < line_end) {
        // The input ended part way through the line. Everything has been
        // consumed, so later lines decode nothing and repeat this one.
        if (wide) std::memcpy(out, older + (out - line_start), static_cast<size_t>(line_end - out));
        in.next = end;
        in.end = end;
        return 0;
    }
    in.next = next;
    in.end = end;
    return static_cast<uint32_t>(out - line_end);
}

// ---- the header ------------------------------------------------------------------

// What the header says about a picture, once it has passed every check.
struct Format {
    Layout layout;
    int32_t width;
    int32_t height;
    int32_t colours;  // 2, 4, 8, 16, 256, or kTrueColourCount
    uint32_t bpl;
    uint32_t line_bytes;
};

constexpr int32_t kTrueColourCount = 16777216;

// Reads the 128 header bytes into `header`: from the file, which stays open
// in `file` when the result is PCX_OK, or from the caller's block.
int32_t read_header(const char* filename, bool from_file, uint8_t* header, HANDLE& file) {
    if (!from_file) {
        if (state.work_buffer_pointer == nullptr || state.work_buffer_size < kHeaderSize) return PCX_BAD_HEADER;
        std::memcpy(header, state.work_buffer_pointer, kHeaderSize);
        return PCX_OK;
    }
    if (filename == nullptr) return PCX_OPEN_FAILED;
    file = CreateFileA(filename, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return PCX_OPEN_FAILED;
    state.bytes_read = 0;
    ReadFile(file, header, kHeaderSize, &state.bytes_read, nullptr);
    if (state.bytes_read < kHeaderSize) {
        CloseHandle(file);
        return PCX_BAD_HEADER;
    }
    return PCX_OK;
}

// Checks every header field the decoder relies on and names the layout:
// PCX_OK, PCX_BAD_HEADER (not a PCX picture, or no extent) or
// PCX_BAD_LAYOUT (a combination of planes and bits no reader stores, or line
// sizes that cannot hold the width or do not fit scanline_buffer). Whether
// the active depth can take the layout is the caller's question.
int32_t classify(const uint8_t* header, Format& format) {
    if (header[0] != kManufacturer) return PCX_BAD_HEADER;
    // The fields are unsigned; a right or bottom edge before the left or
    // top one describes no picture.
    const int32_t width = static_cast<int32_t>(field16(header, 8)) - static_cast<int32_t>(field16(header, 4)) + 1;
    const int32_t height = static_cast<int32_t>(field16(header, 10)) - static_cast<int32_t>(field16(header, 6)) + 1;
    if (width < 1 || height < 1) return PCX_BAD_HEADER;

    const uint32_t bits = header[3];
    const uint32_t planes = header[65];
    const uint32_t w = static_cast<uint32_t>(width);
    Layout layout;
    int32_t colours;
    uint32_t needed;  // bytes of one plane that hold the width
    if (bits == 1 && planes >= 1 && planes <= 4) {
        layout = static_cast<Layout>(kOneBit + (planes - 1));
        colours = 1 << planes;
        needed = (w + 7) / 8;
    } else if (bits == 2 && planes == 1) {
        layout = kPackedTwoBit;
        colours = 4;
        needed = (w + 3) / 4;
    } else if (bits == 4 && planes == 1) {
        layout = kPackedFourBit;
        colours = 16;
        needed = (w + 1) / 2;
    } else if (bits == 8 && planes == 1) {
        layout = kEightBit;
        colours = 256;
        needed = w;
    } else if (bits == 8 && (planes == 3 || planes == 4)) {
        layout = kTrueColour;
        colours = kTrueColourCount;
        needed = w;
    } else {
        return PCX_BAD_LAYOUT;
    }
    const uint32_t bpl = field16(header, 66);
    const uint32_t line_bytes = planes * bpl;
    if (bpl < needed || line_bytes > kMaxLineBytes) return PCX_BAD_LAYOUT;
    format = Format{layout, width, height, colours, bpl, line_bytes};
    return PCX_OK;
}

// ---- palette stage -------------------------------------------------------------

struct Picture {
    Format format;
    bool from_file;
    int32_t flags;
};

// Loads the 769-byte trailer into scanline_buffer; true when all of it was
// there, behind the header, and it starts with the marker.
bool fetch_trailer(const Picture& pic) {
    uint8_t* trailer = state.scratch_area;
    uint32_t got = 0;
    if (pic.from_file) {
        const DWORD at = SetFilePointer(state.pcx_file, -static_cast<LONG>(kTrailerSize), nullptr, FILE_END);
        if (at != INVALID_SET_FILE_POINTER && at >= kHeaderSize) {
            state.bytes_read = 0;
            ReadFile(state.pcx_file, trailer, kTrailerSize, &state.bytes_read, nullptr);
            got = state.bytes_read;
        }
        SetFilePointer(state.pcx_file, static_cast<LONG>(kHeaderSize), nullptr, FILE_BEGIN);
    } else if (state.work_buffer_size >= kHeaderSize + kTrailerSize) {
        std::memcpy(trailer, state.work_buffer_pointer + (state.work_buffer_size - kTrailerSize), kTrailerSize);
        got = kTrailerSize;
    }
    return got >= kTrailerSize && trailer[0] == kTrailerMarker;
}

// The 16-colour palette of pictures whose header gives none; 2-colour
// pictures take its first and last entries as black and white.
constexpr uint8_t kStandardColours[48] = {
    0x00, 0x00, 0x00, 0x00, 0x00, 0xAA, 0x00, 0xAA, 0x00, 0x00, 0xAA, 0xAA, 0xAA, 0x00, 0x00, 0xAA,
    0x00, 0xAA, 0xAA, 0xAA, 0x00, 0xAA, 0xAA, 0xAA, 0x55, 0x55, 0x55, 0x55, 0x55, 0xFF, 0x55, 0xFF,
    0x55, 0x55, 0xFF, 0xFF, 0xFF, 0x55, 0x55, 0xFF, 0x55, 0xFF, 0xFF, 0xFF, 0x55, 0xFF, 0xFF, 0xFF,
};

// A header whose first `colours` entries are all one colour is a
// placeholder some writers leave, not the picture's palette.
bool header_colours_usable(const uint8_t* colours, int32_t count) {
    for (int32_t i = 1; i < count; ++i) {
        if (std::memcmp(colours, colours + 3 * i, 3) != 0) return true;
    }
    return false;
}

void palette_stage(const Picture& pic) {
    const int32_t colours_used = pic.format.colours;
    if ((pic.flags & PCX_KEEP_PALETTE) != 0 || colours_used > 256) return;
    const bool eight_bit_surface = state.active_bpp <= 8;
    const uint8_t* header_colours = state.pcx_header + 16;
    const uint8_t* trailer_colours = state.scratch_area + 1;

    if (colours_used == 256) {
        // 8-bit pictures: the trailer whatever the version, else the header.
        if (!fetch_trailer(pic)) {
            set_palette_entries(eight_bit_surface ? kPictureFirstEntry : 0, 16, header_colours);
            return;
        }
        uint8_t* colours = state.scratch_area + 1;
        if ((pic.flags & PCX_KEEP_INDICES) == 0) palette_reduce(kPictureFirstEntry, kPictureEntryCount, colours);
        if (eight_bit_surface) {
            set_palette_entries(kPictureFirstEntry, kPictureEntryCount, colours + kPictureFirstEntry * 3);
        } else {
            set_palette_entries(0, 256, colours);
        }
        return;
    }

    // Up to 16 colours: entries 10..25 of an 8-bit surface (never reduced:
    // they always fit) or 0..15 of a deeper one.
    const int32_t first = eight_bit_surface ? kPictureFirstEntry : 0;
    if (header_colours_usable(header_colours, colours_used)) {
        set_palette_entries(first, 16, header_colours);
    } else if (fetch_trailer(pic)) {
        set_palette_entries(first, eight_bit_surface ? 16 : 256, trailer_colours);
    } else {
        uint8_t colours[48];
        std::memcpy(colours, kStandardColours, sizeof colours);
        if (colours_used == 2) std::memcpy(colours + 3, kStandardColours + 45, 3);
        set_palette_entries(first, 16, colours);
    }
}

int32_t finish(bool from_file, int32_t result) {
    if (from_file) CloseHandle(state.pcx_file);
    return result;
}

}  // namespace

extern "C" {

int32_t pcx_set_buffer(const uint8_t* data, uint32_t size) {
    if (data == nullptr) {
        if (size != 0) return RASTER_REFUSED;
        state.work_buffer_pointer = state.work_buffer;
        state.work_buffer_size = raster::kWorkBufferSize;
        return RASTER_OK;
    }
    state.work_buffer_pointer = data;
    state.work_buffer_size = size;
    return RASTER_OK;
}

int32_t pcx_info(const char* filename, int32_t flags, int32_t* width, int32_t* height, int32_t* colours) {
    if (width == nullptr || height == nullptr || colours == nullptr) return RASTER_REFUSED;
    const bool from_file = (flags & PCX_FROM_BUFFER) == 0;
    uint8_t header[kHeaderSize];
    HANDLE file = INVALID_HANDLE_VALUE;
    const int32_t opened = read_header(filename, from_file, header, file);
    if (opened != PCX_OK) return opened;
    if (from_file) CloseHandle(file);
    Format format{};
    const int32_t result = classify(header, format);
    if (result != PCX_OK) return result;
    *width = format.width;
    *height = format.height;
    *colours = format.colours;
    return PCX_OK;
}

int32_t pcx_display(const char* filename, int32_t flags) {
    if (state.active_slot < 0) return PCX_OK;

    const bool from_file = (flags & PCX_FROM_BUFFER) == 0;
    const int32_t opened = read_header(filename, from_file, state.pcx_header, state.pcx_file);
    if (opened != PCX_OK) return opened;
    Format format{};
    const int32_t classified = classify(state.pcx_header, format);
    if (classified != PCX_OK) return finish(from_file, classified);

    // Placement: the picture may be cut at the right and bottom edges, but
    // must start on the surface.
    const uint8_t* header = state.pcx_header;
    const bool at_position = (flags & PCX_AT_POSITION) != 0;
    const int64_t x0 = at_position ? state.graphics_x : static_cast<int64_t>(field16(header, 4));
    const int64_t y0 = at_position ? state.graphics_y : static_cast<int64_t>(field16(header, 6));
    if (x0 < 0 || y0 < 0) return finish(from_file, PCX_OUTSIDE);
    int64_t rows = format.height;
    if (y0 + rows > state.active_height) rows = state.active_height - y0;
    int64_t columns = format.width;
    if (x0 + columns > state.active_width) columns = state.active_width - x0;
    if (rows <= 0 || columns <= 0) return finish(from_file, PCX_OUTSIDE);

    // Row writer for the layout at the active depth.
    DepthColumn depth = kDepth32;
    int32_t pixel_bytes = 4;
    if (state.active_bpp == 8) {
        depth = kDepth8;
        pixel_bytes = 1;
    } else if (state.active_bpp == 16) {
        depth = kDepth16;
        pixel_bytes = 2;
    } else if (state.active_bpp == 24) {
        depth = kDepth24;
        pixel_bytes = 3;
    }
    const RowWriter writer = kRowWriters[format.layout][depth];
    if (writer == nullptr) return finish(from_file, PCX_BAD_LAYOUT);

    const Picture pic{format, from_file, flags};
    if (state.active_bpp > 8) palette_stage(pic);

    // Decode, top row first.
    Input in;
    in.from_file = from_file;
    if (!from_file) {
        in.next = state.work_buffer_pointer + kHeaderSize;
        in.end = state.work_buffer_pointer + state.work_buffer_size;
    }
    uint8_t* const line = state.scratch_area;
    const uint32_t line_bytes = format.line_bytes;
    uint8_t* dest = state.active_bits + static_cast<size_t>(state.active_max_y - y0) * state.active_stride +
                    static_cast<size_t>(x0) * pixel_bytes;
    const int32_t count = static_cast<int32_t>(columns);
    uint8_t older[kMaxLineBytes];
    uint32_t carry = 0;
    for (int64_t row = 0; row < rows; ++row) {
        carry = decode_line(in, line, line_bytes, carry, older);
        writer(line, format.bpl, count, dest);
        if (row + 1 < rows) dest -= state.active_stride;
        if (carry != 0) std::memmove(line, line + line_bytes, carry);
    }

    if (state.active_bpp <= 8) palette_stage(pic);
    return finish(from_file, PCX_OK);
}

}  // extern "C"
