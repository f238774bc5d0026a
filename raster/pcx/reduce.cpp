// Palette reduction for 8-bit surfaces: merges the closest colours the
// active surface uses until they fit a window of the palette, renumbers the
// pixels into that window and rearranges the caller's colours to match.
#include <raster/raster.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "raster/state.h"

namespace {

constexpr uint16_t kCountLimit = 65535;

uint16_t saturating_add(uint16_t a, uint16_t b) {
    const uint32_t sum = static_cast<uint32_t>(a) + b;
    return sum > kCountLimit ? kCountLimit : static_cast<uint16_t>(sum);
}

uint32_t square_difference(uint8_t a, uint8_t b) {
    const uint32_t d = a > b ? static_cast<uint32_t>(a - b) : static_cast<uint32_t>(b - a);
    return d * d;
}

// The part of the clip rectangle that lies on the surface, so a stale clip
// rectangle can never reach outside the pixels.
struct Region {
    int32_t min_x, max_x, min_y, max_y;
    bool empty() const { return min_x > max_x || min_y > max_y; }
};

Region clip_region() {
    const raster::LibraryState& s = raster::state;
    Region r{s.clip_min_x, s.clip_max_x, s.clip_min_y, s.clip_max_y};
    if (r.min_x < 0) r.min_x = 0;
    if (r.min_y < 0) r.min_y = 0;
    if (r.max_x > s.active_width - 1) r.max_x = s.active_width - 1;
    if (r.max_y > s.active_max_y) r.max_y = s.active_max_y;
    return r;
}

// Calls visit(row pointer, pixel count) for every row of the region.
template <typename Visit>
void for_each_row(const Region& r, Visit visit) {
    const raster::LibraryState& s = raster::state;
    const size_t stride = static_cast<size_t>(s.active_stride);
    const size_t columns = static_cast<size_t>(r.max_x - r.min_x) + 1;
    for (int32_t y = r.min_y; y <= r.max_y; ++y) {
        uint8_t* row = s.active_bits + static_cast<size_t>(s.active_max_y - y) * stride + static_cast<size_t>(r.min_x);
        visit(row, columns);
    }
}

struct Pair {
    int keeper;
    int loser;
};

// The closest pair of used colours. Ties go to the first pair met in i, j
// order, unless a later pair's j has fewer pixels than both members of the
// best pair so far.
Pair closest_pair(const uint8_t* rgb) {
    const uint16_t* count = raster::state.color_histogram;
    uint32_t best = 0xFFFFFFFFu;
    int best_i = 0;
    int best_j = 0;
    for (int i = 0; i < 255; ++i) {
        if (count[i] == 0) continue;
        const uint8_t* ci = rgb + i * 3;
        for (int j = i + 1; j < 256; ++j) {
            if (count[j] == 0) continue;
            const uint8_t* cj = rgb + j * 3;
            uint32_t d = square_difference(ci[0], cj[0]);
            if (d > best) continue;
            d += square_difference(ci[1], cj[1]);
            if (d > best) continue;
            d += square_difference(ci[2], cj[2]);
            if (d < best) {
                best = d;
                best_i = i;
                best_j = j;
            } else if (d == best) {
                const uint16_t fewer = count[best_i] < count[best_j] ? count[best_i] : count[best_j];
                if (count[j] < fewer) {
                    best_i = i;
                    best_j = j;
                }
            }
        }
    }
    // The smaller count loses; on equal counts the lower index does.
    if (count[best_j] < count[best_i]) return Pair{best_i, best_j};
    return Pair{best_j, best_i};
}

}  // namespace

extern "C" int32_t palette_reduce(int32_t first, int32_t count, uint8_t* rgb) {
    raster::LibraryState& s = raster::state;
    if (s.active_slot < 0 || s.active_bpp != 8) return RASTER_OK;
    if (rgb == nullptr || count < 1 || first < 0 || first > 256 - count) return RASTER_REFUSED;
    if (s.active_bits == nullptr) return RASTER_REFUSED;

    uint16_t* histogram = s.color_histogram;
    uint8_t* map = s.color_map;
    std::memset(histogram, 0, sizeof s.color_histogram);
    for (int k = 0; k < 256; ++k) map[k] = static_cast<uint8_t>(k);

    const Region region = clip_region();
    if (!region.empty()) {
        for_each_row(region, [histogram](const uint8_t* row, size_t columns) {
            for (size_t x = 0; x < columns; ++x) {
                if (histogram[row[x]] != kCountLimit) ++histogram[row[x]];
            }
        });
    }

    int used = 0;
    for (int k = 0; k < 256; ++k) used += histogram[k] != 0 ? 1 : 0;

    while (used > count) {
        const Pair pair = closest_pair(rgb);
        for (int k = 0; k < 256; ++k) {
            if (map[k] == pair.loser) map[k] = static_cast<uint8_t>(pair.keeper);
        }
        histogram[pair.keeper] = saturating_add(histogram[pair.keeper], histogram[pair.loser]);
        histogram[pair.loser] = 0;
        --used;
    }

    // Compaction: the surviving colours take numbers 0, 1, ... in index
    // order; a merged index follows its keeper, an unused one stays put.
    int next = 0;
    for (int k = 0; k < 256; ++k) {
        if (histogram[k] == 0) continue;
        map[k] = static_cast<uint8_t>(next);
        std::memmove(rgb + next * 3, rgb + k * 3, 3);
        ++next;
    }
    for (int k = 0; k < 256; ++k) {
        if (histogram[k] == 0) map[k] = map[map[k]];
    }

    if (first != 0) {
        const size_t window = static_cast<size_t>(count) * 3;
        std::memmove(rgb + static_cast<size_t>(first) * 3, rgb, window);
        std::memset(rgb, 0, static_cast<size_t>(first) * 3);
        const size_t end = static_cast<size_t>(first + count) * 3;
        std::memset(rgb + end, 0, 768 - end);
    }

    if (!region.empty()) {
        const uint8_t offset = static_cast<uint8_t>(first);
        for_each_row(region, [map, offset](uint8_t* row, size_t columns) {
            for (size_t x = 0; x < columns; ++x) row[x] = static_cast<uint8_t>(map[row[x]] + offset);
        });
    }
    return RASTER_OK;
}
