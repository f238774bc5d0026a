// Image scaling: resizes an image buffer by repeating and dropping whole
// pixels. Each direction is driven by a bit table in scratch_area that marks,
// for every element of the longer side, whether it pairs with a new element
// of the shorter side.
#include <raster/raster.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cpu/cpu.h"
#include "raster/state.h"

namespace {

constexpr int32_t kMaxColumns = static_cast<int32_t>(raster::kColumnStepsBytes * 8);  // 8224
constexpr int32_t kMaxRows = static_cast<int32_t>(raster::kRowStepsBytes * 8);        // 73696

// Bit i of a direction's table (longer side L, shorter side S, both at
// least 1) is c(i + 1) - c(i) with c(j) = ceil(j * S / L): element i of the
// longer side starts a new element of the shorter side exactly when that
// count grows. c(j) comes from a fixed-point position with kFraction bits
// below the point: j * floor(S * 2^40 / L) + 2^40 - 1, shifted down. The
// truncated step loses less than j / 2^40, and a true quotient that is not
// whole sits at least 1 / L above the integer below it; with j, L <= 73696,
// j * L stays far below 2^40, so every c(j) is exact, with no division and
// no branch per element.
constexpr int kFraction = 40;
constexpr uint64_t kAlmostOne = (uint64_t{1} << kFraction) - 1;

struct Ceilings {
    uint64_t position;  // j * step + kAlmostOne
    uint64_t step;
    uint32_t count;  // c(j)

    Ceilings(int32_t longer, int32_t shorter)
        : position(kAlmostOne),
          step((static_cast<uint64_t>(shorter) << kFraction) / static_cast<uint64_t>(longer)),
          count(0) {}

    // Moves to j + 1; returns the bit of element j.
    uint32_t advance() {
        position += step;
        const uint32_t next = static_cast<uint32_t>(position >> kFraction);
        const uint32_t bit = next - count;
        count = next;
        return bit;
    }
};

// Writes the step table for one direction: old size a, new size b. Bits go
// most significant first; the bits after the last element of a partial
// final byte are 0, and nothing after that byte is written. When
// `source_of` is given (enlarging), it also receives, for each element of
// the longer side, the element of the shorter side it repeats: c(i + 1) - 1.
void build_steps(uint8_t* table, int32_t a, int32_t b, uint16_t* source_of) {
    const int32_t longer = a > b ? a : b;
    const int32_t shorter = a > b ? b : a;
    Ceilings c(longer, shorter);
    int32_t i = 0;
    for (; i + 8 <= longer; i += 8) {
        uint32_t bits = 0;
        for (int32_t k = 0; k < 8; ++k) {
            bits = bits << 1 | c.advance();
            if (source_of != nullptr) source_of[i + k] = static_cast<uint16_t>(c.count - 1);
        }
        *table++ = static_cast<uint8_t>(bits);
    }
    if (i < longer) {
        uint32_t bits = 0;
        for (int32_t k = i; k < longer; ++k) {
            bits = bits << 1 | c.advance();
            if (source_of != nullptr) source_of[k] = static_cast<uint16_t>(c.count - 1);
        }
        *table = static_cast<uint8_t>(bits << (8 - (longer - i)));
    }
}

// Shrinking, the k-th kept element of the longer side L is floor(k * L / S):
// the first element whose count c reaches k + 1. The same fixed point, with
// the step rounded up instead: the excess stays below k / 2^40, less than
// the 1 / S a quotient that is not whole keeps below the next integer.
struct Floors {
    uint64_t position;
    uint64_t step;

    Floors(int32_t longer, int32_t shorter)
        : position(0),
          step(((static_cast<uint64_t>(longer) << kFraction) + static_cast<uint64_t>(shorter) - 1) /
               static_cast<uint64_t>(shorter)) {}

    // floor(k * L / S) for the current k, then moves to k + 1.
    uint32_t take() {
        const uint32_t kept = static_cast<uint32_t>(position >> kFraction);
        position += step;
        return kept;
    }
};

// Where byte k of a word stored in memory sits in its value.
constexpr int shift_of_byte(int k) { return fastpath::kLittleEndian ? 8 * k : 8 * (7 - k); }

// Gathers `kRows` (1 or 2) rows that share one column list, so each source
// column number is loaded once for both: eight bytes at a time into one
// word per row, the last word overlapping the one before it rather than
// going byte by byte.
template <int kRows>
void gather_rows(const uint8_t* const* source, uint8_t* const* dest, int32_t new_width, const uint16_t* source_of) {
    if (new_width < 8) {
        for (int32_t d = 0; d < new_width; ++d) {
            for (int r = 0; r < kRows; ++r) dest[r][d] = source[r][source_of[d]];
        }
        return;
    }
    auto group = [source, source_of, dest](int32_t d) {
        const uint16_t* s = source_of + d;
        uint64_t words[kRows] = {};
        for (int k = 0; k < 8; ++k) {
            const uint16_t column = s[k];
            for (int r = 0; r < kRows; ++r) words[r] |= static_cast<uint64_t>(source[r][column]) << shift_of_byte(k);
        }
        for (int r = 0; r < kRows; ++r) std::memcpy(dest[r] + d, &words[r], 8);
    };
    int32_t d = 0;
    for (; d + 8 <= new_width; d += 8) group(d);
    if (d < new_width) group(new_width - 8);
}

template <int kRows>
void scale_rows(const uint8_t* const* source, uint8_t* const* dest, int32_t width, int32_t new_width,
                const uint16_t* source_of) {
    if (width == new_width) {
        for (int r = 0; r < kRows; ++r) std::memcpy(dest[r], source[r], static_cast<size_t>(width));
    } else {
        gather_rows<kRows>(source, dest, new_width, source_of);
    }
}

void scale_row(const uint8_t* source, uint8_t* dest, int32_t width, int32_t new_width, const uint16_t* source_of) {
    scale_rows<1>(&source, &dest, width, new_width, source_of);
}

bool overlaps(const uint8_t* a, size_t a_size, const uint8_t* b, size_t b_size) {
    const uintptr_t a0 = reinterpret_cast<uintptr_t>(a);
    const uintptr_t b0 = reinterpret_cast<uintptr_t>(b);
    return a0 < b0 + b_size && b0 < a0 + a_size;
}

}  // namespace

extern "C" int32_t image_scale(const uint8_t* source_buffer, uint8_t* dest_buffer, int32_t width, int32_t height,
                               int32_t new_width, int32_t new_height) {
    if (source_buffer == nullptr || dest_buffer == nullptr) return RASTER_REFUSED;
    if (width < 1 || height < 1 || new_width < 1 || new_height < 1) return RASTER_REFUSED;
    if (width > kMaxColumns || new_width > kMaxColumns || height > kMaxRows || new_height > kMaxRows) {
        return RASTER_REFUSED;
    }
    const size_t source_size = static_cast<size_t>(width) * static_cast<size_t>(height);
    const size_t dest_size = static_cast<size_t>(new_width) * static_cast<size_t>(new_height);
    // Rows are read after earlier destination rows are written; shared bytes
    // would feed results back into the source.
    if (overlaps(source_buffer, source_size, dest_buffer, dest_size)) return RASTER_REFUSED;

    uint8_t* const column_steps = raster::state.scratch_area;
    uint8_t* const row_steps = raster::state.scratch_area + raster::kRowStepsOffset;

    // The source column of every destination column, so each row is a
    // plain gather.
    uint16_t source_of[kMaxColumns];
    if (new_width >= width) {
        build_steps(column_steps, width, new_width, source_of);
    } else {
        build_steps(column_steps, width, new_width, nullptr);
        Floors kept(width, new_width);
        for (int32_t d = 0; d < new_width; ++d) source_of[d] = static_cast<uint16_t>(kept.take());
    }
    build_steps(row_steps, height, new_height, nullptr);

    const size_t source_stride = static_cast<size_t>(width);
    const size_t dest_stride = static_cast<size_t>(new_width);
    uint8_t* dest = dest_buffer;
    if (new_height >= height) {
        // Enlarging: a row whose count grows scales the next source row, any
        // other repeats the destination row just written.
        Ceilings c(new_height, height);
        const uint8_t* source = source_buffer;
        for (int32_t r = 0; r < new_height; ++r) {
            if (c.advance() != 0) {
                scale_row(source, dest, width, new_width, source_of);
                source += source_stride;
            } else {
                std::memcpy(dest, dest - dest_stride, dest_stride);
            }
            dest += dest_stride;
        }
    } else {
        // Shrinking: only the kept source rows are visited, two at a time.
        Floors kept(height, new_height);
        int32_t r = 0;
        for (; r + 2 <= new_height; r += 2) {
            const uint8_t* const sources[2] = {source_buffer + kept.take() * source_stride,
                                               source_buffer + kept.take() * source_stride};
            uint8_t* const dests[2] = {dest, dest + dest_stride};
            scale_rows<2>(sources, dests, width, new_width, source_of);
            dest += 2 * dest_stride;
        }
        if (r < new_height) scale_row(source_buffer + kept.take() * source_stride, dest, width, new_width, source_of);
    }
    return RASTER_OK;
}
