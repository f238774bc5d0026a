// Image scaling: resizes an image buffer by repeating and dropping whole
// pixels. Each direction is driven by a bit table in scratch_area that marks,
// for every element of the longer side, whether it pairs with a new element
// of the shorter side.
#include <raster/raster.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "raster/state.h"

namespace {

constexpr int32_t kMaxColumns = static_cast<int32_t>(raster::kColumnStepsBytes * 8);  // 8224
constexpr int32_t kMaxRows = static_cast<int32_t>(raster::kRowStepsBytes * 8);        // 73696

// Writes the step table for one direction: old size a, new size b, both at
// least 1. Bit i (most significant first) is 1 when element i of the longer
// side starts a new element of the shorter side. The running difference
// between accumulator and threshold stays within (-L, S], so the table is
// exact for every size the storage can hold; a plain 32-bit accumulator
// would wrap once L * S passes 2^32.
void build_steps(uint8_t* table, int32_t a, int32_t b) {
    const int32_t longer = a > b ? a : b;
    const int32_t shorter = a > b ? b : a;
    int32_t excess = shorter - longer;  // accumulator minus threshold after element 0
    uint8_t bits = 0x80;                // element 0 always starts a pair
    uint8_t mask = 0x40;
    for (int32_t i = 1; i < longer; ++i) {
        excess += shorter;
        if (excess > 0) {
            excess -= longer;
            bits |= mask;
        }
        mask >>= 1;
        if (mask == 0) {
            *table++ = bits;
            bits = 0;
            mask = 0x80;
        }
    }
    if (mask != 0x80) *table = bits;
}

inline bool step_bit(const uint8_t* table, int32_t i) { return (table[i >> 3] & (0x80 >> (i & 7))) != 0; }

// Turns the column table into the source column of every destination
// column, so each row is a plain gather.
void column_sources(const uint8_t* steps, int32_t width, int32_t new_width, uint16_t* source_of) {
    if (new_width >= width) {
        int32_t taken = -1;
        for (int32_t d = 0; d < new_width; ++d) {
            if (step_bit(steps, d)) ++taken;
            source_of[d] = static_cast<uint16_t>(taken);
        }
    } else {
        int32_t next = 0;
        for (int32_t j = 0; j < width; ++j) {
            if (step_bit(steps, j)) source_of[next++] = static_cast<uint16_t>(j);
        }
    }
}

void scale_row(const uint8_t* source, uint8_t* dest, int32_t width, int32_t new_width, const uint16_t* source_of) {
    if (width == new_width) {
        std::memcpy(dest, source, static_cast<size_t>(width));
        return;
    }
    // Four bytes gathered, then stored at once.
    int32_t d = 0;
    for (; d + 4 <= new_width; d += 4) {
        const uint32_t packed = static_cast<uint32_t>(source[source_of[d]]) |
                                static_cast<uint32_t>(source[source_of[d + 1]]) << 8 |
                                static_cast<uint32_t>(source[source_of[d + 2]]) << 16 |
                                static_cast<uint32_t>(source[source_of[d + 3]]) << 24;
        std::memcpy(dest + d, &packed, sizeof packed);
    }
    for (; d < new_width; ++d) dest[d] = source[source_of[d]];
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
    build_steps(column_steps, width, new_width);
    build_steps(row_steps, height, new_height);

    uint16_t source_of[kMaxColumns];
    column_sources(column_steps, width, new_width, source_of);

    const size_t source_stride = static_cast<size_t>(width);
    const size_t dest_stride = static_cast<size_t>(new_width);
    uint8_t* dest = dest_buffer;
    if (new_height >= height) {
        // Enlarging: a 1 bit scales the next source row, a 0 bit repeats the
        // destination row just written.
        const uint8_t* source = source_buffer;
        for (int32_t r = 0; r < new_height; ++r) {
            if (step_bit(row_steps, r)) {
                scale_row(source, dest, width, new_width, source_of);
                source += source_stride;
            } else {
                std::memcpy(dest, dest - dest_stride, dest_stride);
            }
            dest += dest_stride;
        }
    } else {
        // Shrinking: a 1 bit keeps the source row, a 0 bit passes over it.
        const uint8_t* source = source_buffer;
        for (int32_t k = 0; k < height; ++k, source += source_stride) {
            if (!step_bit(row_steps, k)) continue;
            scale_row(source, dest, width, new_width, source_of);
            dest += dest_stride;
        }
    }
    return RASTER_OK;
}
