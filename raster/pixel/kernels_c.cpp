// The reference kernels: plain C, for every processor, and the measure the
// fast versions are tested against.
#include <cstring>

#include "raster/pixel/kernels.h"

namespace raster {
namespace pixel {

namespace {

// One row. Eight indices at a time: a byte of the mask is 0xFF where the
// index is not 0, so transparent bytes keep the surface's value.
void place8_row(const uint8_t* buffer, uint8_t* pixels, int32_t width) {
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    int32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        uint64_t source;
        std::memcpy(&source, buffer + x, sizeof source);
        if (source == 0) continue;
        const uint64_t nonzero = (((source & kLow7) + kLow7) | source) & kHigh;
        if (nonzero == kHigh) {
            std::memcpy(pixels + x, &source, sizeof source);
            continue;
        }
        const uint64_t mask = (nonzero >> 7) * 0xFF;
        uint64_t target;
        std::memcpy(&target, pixels + x, sizeof target);
        target = (target & ~mask) | (source & mask);
        std::memcpy(pixels + x, &target, sizeof target);
    }
    for (; x < width; ++x) {
        if (buffer[x] != 0) pixels[x] = buffer[x];
    }
}

void place8_c(const uint8_t* buffer, uint8_t* pixels, int32_t width, int32_t height, size_t stride) {
    for (int32_t r = 0; r < height; ++r, buffer += width, pixels += stride) place8_row(buffer, pixels, width);
}

void copy_rows_c(uint8_t* to, ptrdiff_t to_stride, const uint8_t* from, ptrdiff_t from_stride, int64_t rows,
                 size_t bytes) {
    for (int64_t row = 0; row < rows; ++row, to += to_stride, from += from_stride) std::memcpy(to, from, bytes);
}

}  // namespace

const Kernels kPlainKernels{place8_c, copy_rows_c};

}  // namespace pixel
}  // namespace raster
