// Reading colours back: palette entries, and surface rectangles as red,
// green, blue triples at every depth.
#include <gtest/gtest.h>

#include <raster/raster.h>

#include <cstdint>
#include <vector>

#include "core_helpers.h"
#include "library_env.h"
#include "raster/state.h"

using coretest::same_bytes;

namespace {

using Readback = coretest::LibraryTest;

constexpr uint8_t kSentinel = 0xA5;
constexpr size_t kGuard = 8;

// An output block with sentinel bytes on both sides of `size` bytes.
struct Guarded {
    explicit Guarded(size_t size) : bytes(size + 2 * kGuard, kSentinel), size(size) {}
    uint8_t* out() { return bytes.data() + kGuard; }
    ::testing::AssertionResult guards_intact() const {
        for (size_t i = 0; i < bytes.size(); ++i) {
            if ((i < kGuard || i >= kGuard + size) && bytes[i] != kSentinel) {
                return ::testing::AssertionFailure() << "byte " << static_cast<long>(i) - static_cast<long>(kGuard)
                                                     << " outside the output was written";
            }
        }
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult untouched() const {
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] != kSentinel) return ::testing::AssertionFailure() << "byte " << i << " was written";
        }
        return ::testing::AssertionSuccess();
    }
    std::vector<uint8_t> bytes;
    size_t size;
};

TEST_F(Readback, PaletteEntriesReadBackWhatWasSetBesideTheDefaults) {
    ASSERT_GE(testenv::make_selected_surface(3, 2), 0);
    const uint8_t set[9] = {1, 2, 3, 250, 128, 7, 0, 255, 64};
    ASSERT_EQ(set_palette_entries(37, 3, set), RASTER_OK);

    Guarded got(5 * 3);
    ASSERT_EQ(get_palette_entries(36, 5, got.out()), RASTER_OK);
    // Entries 36 and 40 are steps 6 and 10 of hue group 1: (M, m, t) and
    // (M, t, m) with m = 0, t = 125, M = 255.
    const uint8_t expected[15] = {255, 0, 125, 1, 2, 3, 250, 128, 7, 0, 255, 64, 255, 125, 0};
    EXPECT_TRUE(same_bytes(expected, got.out(), sizeof expected));
    EXPECT_TRUE(got.guards_intact());

    // The ends of the palette, and no surface needed.
    surface_deselect();
    Guarded ends(3);
    ASSERT_EQ(get_palette_entries(255, 1, ends.out()), RASTER_OK);
    const uint8_t white[3] = {255, 255, 255};
    EXPECT_TRUE(same_bytes(white, ends.out(), 3));
    EXPECT_TRUE(ends.guards_intact());
}

TEST_F(Readback, PaletteRefusalsWriteNothing) {
    struct Case {
        int32_t first, count;
    };
    for (const Case c : {Case{-1, 1}, Case{0, -1}, Case{250, 7}, Case{256, 1}, Case{257, 0}, Case{INT32_MAX, 2}}) {
        SCOPED_TRACE(::testing::Message() << c.first << ", " << c.count);
        Guarded got(0);
        EXPECT_EQ(get_palette_entries(c.first, c.count, got.out()), RASTER_REFUSED);
        EXPECT_TRUE(got.untouched());
    }
    EXPECT_EQ(get_palette_entries(0, 1, nullptr), RASTER_REFUSED);
    EXPECT_EQ(get_palette_entries(256, 0, nullptr), RASTER_OK);
}

// Six pixels (columns 1..3 of rows 1 and 2) of a 5 x 3 surface, as stored
// at one depth, and the triples they must read back as, rows top first.
struct DepthCase {
    int32_t bits;
    std::vector<std::vector<uint8_t>> stored;  // row 1 left to right, then row 2
    std::vector<uint8_t> rgb;
};

TEST_F(Readback, RectanglesReadAsTriplesRowsTopFirstAtEveryDepth) {
    const uint8_t colours[6 * 3] = {10, 20, 30, 40, 50, 60, 70, 80, 90, 200, 0, 1, 0, 0, 0, 255, 254, 253};
    const std::vector<DepthCase> cases = {
        // Indices into entries set just for this.
        {8, {{100}, {101}, {102}, {103}, {104}, {105}}, {colours, colours + 18}},
        // 5-6-5: full fields read as 255; 0x8208 is red 16, green 16, blue 8.
        {16,
         {{0x00, 0xF8}, {0xE0, 0x07}, {0x1F, 0x00}, {0x08, 0x82}, {0x00, 0x00}, {0xFF, 0xFF}},
         {255, 0, 0, 0, 255, 0, 0, 0, 255, 132, 65, 66, 0, 0, 0, 255, 255, 255}},
        {24,
         {{30, 20, 10}, {60, 50, 40}, {90, 80, 70}, {1, 0, 200}, {0, 0, 0}, {253, 254, 255}},
         {colours, colours + 18}},
        // The fourth byte is not colour.
        {32,
         {{30, 20, 10, 0x77}, {60, 50, 40, 0}, {90, 80, 70, 0xFF}, {1, 0, 200, 0}, {0, 0, 0, 1}, {253, 254, 255, 0}},
         {colours, colours + 18}},
    };
    for (const DepthCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.bits << " bits");
        ASSERT_EQ(surface_set_depth(c.bits), RASTER_OK);
        const int32_t handle = testenv::make_selected_surface(5, 3);
        ASSERT_GE(handle, 0);
        if (c.bits == 8) {
            ASSERT_EQ(set_palette_entries(100, 6, colours), RASTER_OK);
        }
        testenv::fill_surface(handle, 0x5A);
        for (int32_t i = 0; i < 6; ++i) {
            uint8_t* pixel = testenv::pixel_address(handle, 1 + i % 3, 1 + i / 3);
            for (size_t b = 0; b < c.stored[i].size(); ++b) pixel[b] = c.stored[i][b];
        }
        // Read from another surface's point of view: the one read need not
        // be selected.
        const int32_t other = testenv::make_selected_surface(4, 1);
        ASSERT_GE(other, 0);

        Guarded got(c.rgb.size());
        EXPECT_EQ(surface_read_rgb(handle, 1, 3, 1, 2, got.out()), RASTER_OK);
        EXPECT_TRUE(same_bytes(c.rgb.data(), got.out(), c.rgb.size()));
        EXPECT_TRUE(got.guards_intact());

        // One pixel: column 3, row 2 is the last of the six.
        Guarded one(3);
        EXPECT_EQ(surface_read_rgb(handle, 3, 3, 2, 2, one.out()), RASTER_OK);
        EXPECT_TRUE(same_bytes(c.rgb.data() + 15, one.out(), 3));
        EXPECT_TRUE(one.guards_intact());

        surface_deselect();
        surface_destroy(other);
        surface_destroy(handle);
    }
    surface_set_depth(8);
}

TEST_F(Readback, RefusalsWriteNothing) {
    const int32_t handle = testenv::make_selected_surface(5, 3);  // 8 columns
    ASSERT_GE(handle, 0);
    const int32_t freed = surface_create(2, 2);
    ASSERT_GE(freed, 0);
    surface_destroy(freed);
    struct Case {
        int32_t handle, x1, x2, y1, y2;
    };
    for (const Case c :
         {Case{-1, 0, 0, 0, 0}, Case{32, 0, 0, 0, 0}, Case{handle + 32, 0, 0, 0, 0}, Case{freed, 0, 0, 0, 0},
          Case{handle, 2, 1, 0, 0}, Case{handle, 0, 0, 2, 1}, Case{handle, -1, 0, 0, 0}, Case{handle, 0, 0, -1, 0},
          Case{handle, 0, 8, 0, 0}, Case{handle, 0, 0, 0, 3}, Case{handle, INT32_MIN, INT32_MAX, 0, 0}}) {
        SCOPED_TRACE(::testing::Message() << c.handle << ": " << c.x1 << ".." << c.x2 << ", " << c.y1 << ".." << c.y2);
        Guarded got(0);
        EXPECT_EQ(surface_read_rgb(c.handle, c.x1, c.x2, c.y1, c.y2, got.out()), RASTER_REFUSED);
        EXPECT_TRUE(got.untouched());
    }
    EXPECT_EQ(surface_read_rgb(handle, 0, 0, 0, 0, nullptr), RASTER_REFUSED);
    // The columns that raising the width to a multiple of 4 added exist.
    Guarded last(3 * 8 * 3);
    EXPECT_EQ(surface_read_rgb(handle, 0, 7, 0, 2, last.out()), RASTER_OK);
    EXPECT_TRUE(last.guards_intact());
}

}  // namespace
