// The row writers. The destination is a template parameter (a Store), so
// each writer's pixel loop holds no test on layout or depth.
#include "raster/pcx/codec/rows.h"

#include <raster/pcx_codec.h>

#include <cstring>
#include <type_traits>

#include "cpu/cpu.h"
#include "cpu/dispatch.h"
#include "raster/pcx/codec/rows_sse2.h"

namespace raster {
namespace pcx {

namespace {

// 8-bit surfaces keep the 2- and 16-colour pictures in entries 10..25,
// clear of the system's static colours in 0..9.
constexpr uint32_t kLowColourBase = 10;

// Storing a palette index. kLowBase is added to the indices of pictures of
// up to 16 colours; kBytes is the size of a pixel.
struct SurfaceIndex {
    static constexpr int kBytes = 1;
    static constexpr uint32_t kLowBase = kLowColourBase;
    static void index(uint8_t* d, uint32_t i, const uint8_t*) { d[0] = static_cast<uint8_t>(i); }
};
struct Surface16 {
    static constexpr int kBytes = 2;
    static constexpr uint32_t kLowBase = 0;
    static void index(uint8_t* d, uint32_t i, const uint8_t* table) {
        const uint8_t* e = table + i * 2;
        d[0] = e[0];
        d[1] = e[1];
    }
};
struct Surface24 {
    static constexpr int kBytes = 3;
    static constexpr uint32_t kLowBase = 0;
    static void index(uint8_t* d, uint32_t i, const uint8_t* table) {
        const uint8_t* e = table + i * 4;  // fill, R, G, B
        d[0] = e[3];
        d[1] = e[2];
        d[2] = e[1];
    }
};
struct Surface32 {
    static constexpr int kBytes = 4;
    static constexpr uint32_t kLowBase = 0;
    static void index(uint8_t* d, uint32_t i, const uint8_t* table) {
        const uint8_t* e = table + i * 4;
        d[0] = e[3];
        d[1] = e[2];
        d[2] = e[1];
        d[3] = e[0];
    }
};
struct CodecIndex {
    static constexpr int kBytes = 1;
    static constexpr uint32_t kLowBase = 0;
    static void index(uint8_t* d, uint32_t i, const uint8_t*) { d[0] = static_cast<uint8_t>(i); }
};
struct CodecRgb {
    static constexpr int kBytes = 3;
    static constexpr uint32_t kLowBase = 0;
    static void index(uint8_t* d, uint32_t i, const uint8_t* table) { std::memcpy(d, table + i * 3, 3); }
};
struct CodecRgba {
    static constexpr int kBytes = 4;
    static constexpr uint32_t kLowBase = 0;
    static void index(uint8_t* d, uint32_t i, const uint8_t* table) { std::memcpy(d, table + i * 4, 4); }
};

// The bit layouts go eight pixels at a time, as eight indices in the bytes
// of one word (pixel k in byte k). bits[b] holds the eight bits of b, most
// significant first; pairs[b] the four 2-bit fields of b in the low four
// bytes; nibbles[b] the two 4-bit fields of b in the low two.
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
void store_group(uint8_t* dest, uint64_t group, int32_t n, const uint8_t* table) {
    for (int32_t k = 0; k < n; ++k) {
        Store::index(dest + k * Store::kBytes, Store::kLowBase + static_cast<uint32_t>((group >> (8 * k)) & 0xFF),
                     table);
    }
}

// Eight one-byte indices go out as one word: each byte of `group` is at
// most 15, so adding the base to every byte at once carries into no
// neighbour.
template <class Store>
void store_full_group(uint8_t* dest, uint64_t group, const uint8_t* table) {
    if constexpr (Store::kBytes == 1) {
        const uint64_t indices = group + Store::kLowBase * 0x0101010101010101ull;
        if (fastpath::kLittleEndian) {
            std::memcpy(dest, &indices, 8);
        } else {
            for (int k = 0; k < 8; ++k) dest[k] = static_cast<uint8_t>(indices >> (8 * k));
        }
    } else {
        store_group<Store>(dest, group, 8, table);
    }
}

// Calls store_group for each group of eight pixels, the last one partial.
template <class Store, class Group>
void write_groups(int32_t count, uint8_t* dest, const uint8_t* table, Group group_at) {
    const int32_t full = count >> 3;
    for (int32_t g = 0; g < full; ++g) store_full_group<Store>(dest + g * 8 * Store::kBytes, group_at(g), table);
    if ((count & 7) != 0) store_group<Store>(dest + full * 8 * Store::kBytes, group_at(full), count & 7, table);
}

// 1 to 4 planes of 1 bit: plane p gives bit p of each index.
template <int Planes, class Store>
void write_planar(const uint8_t* line, uint32_t bpl, int32_t count, uint8_t* dest, const uint8_t* table) {
    int32_t done = 0;
    if constexpr (Planes == 1 && Store::kBytes == 1) {
        const RowLoops& loops = row_loops();
        if (loops.expand_bits != nullptr) {
            done = loops.expand_bits(line, count, dest, static_cast<uint8_t>(Store::kLowBase));
        }
    }
    const uint8_t* rest = line + done / 8;
    write_groups<Store>(count - done, dest + done * Store::kBytes, table, [rest, bpl](int32_t g) {
        uint64_t group = kSpread.bits[rest[g]];
        for (int p = 1; p < Planes; ++p) group |= kSpread.bits[rest[p * static_cast<size_t>(bpl) + g]] << p;
        return group;
    });
}

// One plane of 2 or 4 bits: eight pixels come from two or four bytes. The
// last, partial group may read bytes past the plane's useful ones; they lie
// inside the line buffer and their pixels are not stored.
template <class Store>
void write_packed_two_bit(const uint8_t* line, uint32_t, int32_t count, uint8_t* dest, const uint8_t* table) {
    write_groups<Store>(count, dest, table, [line](int32_t g) {
        const uint8_t* b = line + 2 * static_cast<size_t>(g);
        return kSpread.pairs[b[0]] | (kSpread.pairs[b[1]] << 32);
    });
}

template <class Store>
void write_packed_four_bit(const uint8_t* line, uint32_t, int32_t count, uint8_t* dest, const uint8_t* table) {
    write_groups<Store>(count, dest, table, [line](int32_t g) {
        const uint8_t* b = line + 4 * static_cast<size_t>(g);
        return kSpread.nibbles[b[0]] | (kSpread.nibbles[b[1]] << 16) | (kSpread.nibbles[b[2]] << 32) |
               (kSpread.nibbles[b[3]] << 48);
    });
}

template <class Store>
void write_eight_bit(const uint8_t* line, uint32_t, int32_t count, uint8_t* dest, const uint8_t* table) {
    if constexpr (Store::kBytes == 1) {
        std::memcpy(dest, line, static_cast<size_t>(count));
    } else {
        int32_t x = 0;
        if constexpr (std::is_same_v<Store, CodecRgba>) {
            const RowLoops& loops = row_loops();
            if (loops.lookup_four_bytes != nullptr) x = loops.lookup_four_bytes(line, count, dest, table);
        }
        for (; x < count; ++x) Store::index(dest + x * Store::kBytes, line[x], table);
    }
}

// ---- true colour -------------------------------------------------------------

struct Planes {
    const uint8_t* red;
    const uint8_t* green;
    const uint8_t* blue;
    const uint8_t* fourth;
};

Planes planes_of(const uint8_t* line, uint32_t bpl) {
    return Planes{line, line + bpl, line + 2 * static_cast<size_t>(bpl), line + 3 * static_cast<size_t>(bpl)};
}

void write_true_colour_16(const uint8_t* line, uint32_t bpl, int32_t count, uint8_t* dest, const uint8_t*) {
    const Planes p = planes_of(line, bpl);
    for (int32_t x = 0; x < count; ++x) {
        const uint32_t value = ((p.red[x] >> 3u) << 11) | ((p.green[x] >> 2u) << 5) | (p.blue[x] >> 3u);
        dest[x * 2] = static_cast<uint8_t>(value);
        dest[x * 2 + 1] = static_cast<uint8_t>(value >> 8);
    }
}

void write_true_colour_24(const uint8_t* line, uint32_t bpl, int32_t count, uint8_t* dest, const uint8_t*) {
    const Planes p = planes_of(line, bpl);
    for (int32_t x = 0; x < count; ++x) {
        dest[x * 3] = p.blue[x];
        dest[x * 3 + 1] = p.green[x];
        dest[x * 3 + 2] = p.red[x];
    }
}

// The fourth byte of each pixel is left as it was.
void write_true_colour_32(const uint8_t* line, uint32_t bpl, int32_t count, uint8_t* dest, const uint8_t*) {
    const Planes p = planes_of(line, bpl);
    int32_t x = 0;
    const RowLoops& loops = row_loops();
    if (loops.interleave_bgrx != nullptr) x = loops.interleave_bgrx(p.red, p.green, p.blue, count, dest);
    for (; x < count; ++x) {
        dest[x * 4] = p.blue[x];
        dest[x * 4 + 1] = p.green[x];
        dest[x * 4 + 2] = p.red[x];
    }
}

void write_true_colour_rgb(const uint8_t* line, uint32_t bpl, int32_t count, uint8_t* dest, const uint8_t*) {
    const Planes p = planes_of(line, bpl);
    for (int32_t x = 0; x < count; ++x) {
        dest[x * 3] = p.red[x];
        dest[x * 3 + 1] = p.green[x];
        dest[x * 3 + 2] = p.blue[x];
    }
}

// Alpha from the fourth plane, or 255 for three planes.
template <bool FourPlanes>
void write_true_colour_rgba(const uint8_t* line, uint32_t bpl, int32_t count, uint8_t* dest, const uint8_t*) {
    const Planes p = planes_of(line, bpl);
    int32_t x = 0;
    const RowLoops& loops = row_loops();
    if (loops.interleave_rgba != nullptr) {
        x = loops.interleave_rgba(p.red, p.green, p.blue, FourPlanes ? p.fourth : nullptr, count, dest);
    }
    for (; x < count; ++x) {
        dest[x * 4] = p.red[x];
        dest[x * 4 + 1] = p.green[x];
        dest[x * 4 + 2] = p.blue[x];
        dest[x * 4 + 3] = FourPlanes ? p.fourth[x] : 255;
    }
}

// ---- the tables ----------------------------------------------------------------

template <class Store>
constexpr RowWriter kIndexedWriters[kTrueColour] = {
    write_planar<1, Store>,      write_planar<2, Store>,       write_planar<3, Store>, write_planar<4, Store>,
    write_packed_two_bit<Store>, write_packed_four_bit<Store>, write_eight_bit<Store>,
};

constexpr RowWriter kTrueColourSurfaceWriters[kDepthCount] = {nullptr, write_true_colour_16, write_true_colour_24,
                                                              write_true_colour_32};

// The fast loops' list, widest first; the plain entry has none.
constexpr RowLoops kPlainRowLoops{nullptr, nullptr, nullptr, nullptr};

constexpr fastpath::Variant<RowLoops> kVariants[] = {
#if defined(__SSE2__)
    {fastpath::Cpu::Sse2, &kSse2RowLoops},
#endif
    {fastpath::Cpu::Plain, &kPlainRowLoops},
};

}  // namespace

const RowLoops& row_loops() {
    // Built once, in a thread-safe way: the codec runs on any thread.
    static const fastpath::Dispatch<RowLoops> tables(kVariants, &RowLoops::expand_bits, &RowLoops::interleave_bgrx,
                                                     &RowLoops::interleave_rgba, &RowLoops::lookup_four_bytes);
    static const RowLoops& chosen = tables.chosen();
    return chosen;
}

RowWriter surface_row_writer(Layout layout, SurfaceDepth depth) {
    if (layout >= kTrueColour) return kTrueColourSurfaceWriters[depth];
    switch (depth) {
        case kDepth8:
            return kIndexedWriters<SurfaceIndex>[layout];
        case kDepth16:
            return kIndexedWriters<Surface16>[layout];
        case kDepth24:
            return kIndexedWriters<Surface24>[layout];
        default:
            return kIndexedWriters<Surface32>[layout];
    }
}

RowWriter codec_row_writer(Layout layout, int32_t format) {
    const bool four_planes = layout == kTrueColourFourPlanes;
    switch (format) {
        case PCX_FORMAT_INDICES:
            return layout >= kTrueColour ? nullptr : kIndexedWriters<CodecIndex>[layout];
        case PCX_FORMAT_RGB:
            return layout >= kTrueColour ? write_true_colour_rgb : kIndexedWriters<CodecRgb>[layout];
        case PCX_FORMAT_RGBA:
            if (layout < kTrueColour) return kIndexedWriters<CodecRgba>[layout];
            return four_planes ? write_true_colour_rgba<true> : write_true_colour_rgba<false>;
        default:
            return nullptr;
    }
}

}  // namespace pcx
}  // namespace raster
