// Helpers shared by the core suites: patterned surfaces, byte comparisons
// that name the first differing row and byte, and a model of a rectangle
// copy worked out on snapshots.
#ifndef TESTS_SURFACE_CORE_HELPERS_H
#define TESTS_SURFACE_CORE_HELPERS_H

#include <gtest/gtest.h>

#include <raster/raster.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "library_env.h"
#include "raster/state.h"

namespace coretest {

class LibraryTest : public ::testing::Test {
  protected:
    void SetUp() override { palette_ = testenv::start_library(); }
    void TearDown() override { testenv::stop_library(palette_); }
    HPALETTE palette_ = nullptr;
};

inline int32_t bytes_per_pixel(int32_t handle) { return (raster::state.slot_bpp[handle & 31] + 7) / 8; }

inline size_t stride_of(int32_t handle) {
    return static_cast<size_t>(raster::state.slot_width[handle & 31]) * bytes_per_pixel(handle);
}

// Every byte of the surface gets a value that depends on its column, row and
// byte within the pixel, so misplaced, mirrored or swapped bytes show.
inline void fill_pattern(int32_t handle, uint8_t seed) {
    const int32_t slot = handle & 31;
    const int32_t bpp = bytes_per_pixel(handle);
    for (int32_t y = 0; y < raster::state.slot_height[slot]; ++y) {
        for (int32_t x = 0; x < raster::state.slot_width[slot]; ++x) {
            uint8_t* pixel = testenv::pixel_address(handle, x, y);
            for (int32_t b = 0; b < bpp; ++b) pixel[b] = static_cast<uint8_t>(x * 29 + y * 71 + b * 5 + seed);
        }
    }
}

// Where a copy of source (x1..x2, y1..y2) to (dest_x, dest_y) should leave
// the destination's bytes, worked out pixel by pixel from snapshots taken
// before the copy (rows top first).
inline std::vector<uint8_t> model_copy(const std::vector<uint8_t>& source_rows, size_t source_stride,
                                       std::vector<uint8_t> dest_rows, size_t dest_stride, int32_t pixel_bytes,
                                       int32_t x1, int32_t x2, int32_t y1, int32_t y2, int32_t dest_x, int32_t dest_y) {
    for (int32_t j = 0; j <= y2 - y1; ++j) {
        for (int32_t i = 0; i <= x2 - x1; ++i) {
            for (int32_t b = 0; b < pixel_bytes; ++b) {
                dest_rows[static_cast<size_t>(dest_y - j) * dest_stride +
                          static_cast<size_t>(dest_x + i) * pixel_bytes + b] =
                    source_rows[static_cast<size_t>(y2 - j) * source_stride +
                                static_cast<size_t>(x1 + i) * pixel_bytes + b];
            }
        }
    }
    return dest_rows;
}

inline ::testing::AssertionResult same_rows(const std::vector<uint8_t>& expected, const std::vector<uint8_t>& actual,
                                            size_t stride) {
    if (expected.size() != actual.size()) {
        return ::testing::AssertionFailure() << "sizes differ: " << expected.size() << " vs " << actual.size();
    }
    for (size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] != actual[i]) {
            return ::testing::AssertionFailure() << "first difference in row " << i / stride << " byte " << i % stride
                                                 << ": expected " << int{expected[i]} << ", got " << int{actual[i]};
        }
    }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult same_bytes(const void* expected, const void* actual, size_t size) {
    const auto* e = static_cast<const uint8_t*>(expected);
    const auto* a = static_cast<const uint8_t*>(actual);
    for (size_t i = 0; i < size; ++i) {
        if (e[i] != a[i]) {
            return ::testing::AssertionFailure()
                   << "first difference at byte " << i << ": expected " << int{e[i]} << ", got " << int{a[i]};
        }
    }
    return ::testing::AssertionSuccess();
}

inline uint32_t read32(const uint8_t* at) {
    return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

inline uint16_t read16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }

}  // namespace coretest

#endif  // TESTS_SURFACE_CORE_HELPERS_H
