// Palette reduction: which colours merge, in which order, how ties and
// saturated counts decide, and how pixels and colours are renumbered into
// the window.
#include <gtest/gtest.h>

#include <raster/raster.h>

#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "library_env.h"
#include "pixel_support.h"
#include "raster/state.h"

namespace {

using Colour = std::array<uint8_t, 3>;
// (index, pixel count) runs, written in row order from the top-left pixel.
using Runs = std::vector<std::pair<uint8_t, int>>;

class PaletteReduce : public ::testing::Test {
  protected:
    void SetUp() override {
        palette_ = testenv::start_library();
        rgb_ = pixeltest::noise(768, 77);
    }
    void TearDown() override { testenv::stop_library(palette_); }

    // A selected 8-bit surface (width a multiple of 4, so the clip rectangle
    // is exactly the pixels written) holding the runs.
    int32_t surface_with(int width, int height, const Runs& runs) {
        const int32_t handle = testenv::make_selected_surface(width, height);
        EXPECT_GE(handle, 0);
        int at = 0;
        for (const auto& run : runs) {
            for (int k = 0; k < run.second; ++k, ++at) {
                *testenv::pixel_address(handle, at % width, at / width) = run.first;
            }
        }
        EXPECT_EQ(width * height, at) << "runs must cover the surface";
        return handle;
    }

    void set_colour(int index, Colour c) { std::memcpy(&rgb_[index * 3], c.data(), 3); }
    Colour colour(int index) const { return Colour{rgb_[index * 3], rgb_[index * 3 + 1], rgb_[index * 3 + 2]}; }

    // Every pixel of the surface, passed through old -> new.
    void expect_pixels(int32_t handle, const std::vector<uint8_t>& before, const std::vector<int>& old_to_new) {
        const std::vector<uint8_t> after = testenv::surface_rows(handle);
        ASSERT_EQ(before.size(), after.size());
        for (size_t i = 0; i < before.size(); ++i) {
            ASSERT_EQ(old_to_new[before[i]], after[i]) << "pixel " << i << " was " << int(before[i]);
        }
    }

    // Colours outside the window black, inside as listed (window entries not
    // listed are not checked).
    void expect_window(int first, int count, const std::vector<std::pair<int, Colour>>& inside) {
        for (int i = 0; i < 256; ++i) {
            if (i >= first && i < first + count) continue;
            ASSERT_EQ((Colour{0, 0, 0}), colour(i)) << "entry " << i;
        }
        for (const auto& entry : inside) EXPECT_EQ(entry.second, colour(entry.first)) << "entry " << entry.first;
    }

    HPALETTE palette_ = nullptr;
    std::vector<uint8_t> rgb_;
};

std::vector<int> mapping(std::initializer_list<std::pair<int, int>> pairs) {
    std::vector<int> m(256, -1);
    for (const auto& p : pairs) m[p.first] = p.second;
    return m;
}

TEST_F(PaletteReduce, FewColoursAreRenumberedDenselyIntoTheWindow) {
    const int32_t h = surface_with(12, 5, {{200, 9}, {17, 20}, {3, 1}, {90, 13}, {17, 4}, {200, 13}});
    const std::vector<uint8_t> before = testenv::surface_rows(h);
    const std::vector<uint8_t> original = rgb_;
    ASSERT_EQ(0, palette_reduce(10, 236, rgb_.data()));
    expect_pixels(h, before, mapping({{3, 10}, {17, 11}, {90, 12}, {200, 13}}));
    // Used colours first, in old index order; the rest of the window holds
    // the array's old entries 4..235; outside the window black.
    std::vector<std::pair<int, Colour>> inside = {{10, {original[9], original[10], original[11]}},
                                                  {11, {original[51], original[52], original[53]}},
                                                  {12, {original[270], original[271], original[272]}},
                                                  {13, {original[600], original[601], original[602]}}};
    for (int m = 4; m < 236; ++m)
        inside.push_back({10 + m, {original[m * 3], original[m * 3 + 1], original[m * 3 + 2]}});
    expect_window(10, 236, inside);
    EXPECT_EQ(9 + 13, raster::state.color_histogram[200]);
    EXPECT_EQ(0, raster::state.color_histogram[4]);
}

TEST_F(PaletteReduce, WindowAtZeroLeavesTheTailAlone) {
    const int32_t h = surface_with(4, 3, {{9, 5}, {2, 7}});
    const std::vector<uint8_t> before = testenv::surface_rows(h);
    const std::vector<uint8_t> original = rgb_;
    ASSERT_EQ(0, palette_reduce(0, 50, rgb_.data()));
    expect_pixels(h, before, mapping({{2, 0}, {9, 1}}));
    EXPECT_EQ(0, std::memcmp(&original[2 * 3], &rgb_[0], 3));
    EXPECT_EQ(0, std::memcmp(&original[9 * 3], &rgb_[3], 3));
    EXPECT_EQ(0, std::memcmp(&original[6], &rgb_[6], 768 - 6)) << "entries 2..255 must keep their colours";
}

TEST_F(PaletteReduce, ClosestPairsMergeFirstAndColoursAreNotAveraged) {
    set_colour(20, {100, 0, 0});
    set_colour(21, {104, 0, 0});
    set_colour(40, {0, 200, 0});
    set_colour(41, {0, 203, 0});
    const int32_t h = surface_with(8, 2, {{21, 3}, {40, 4}, {20, 7}, {41, 2}});
    const std::vector<uint8_t> before = testenv::surface_rows(h);
    ASSERT_EQ(0, palette_reduce(10, 2, rgb_.data()));
    // (40, 41) at distance 9 goes first: 41 has fewer pixels and joins 40;
    // then (20, 21) at 16: 21 joins 20.
    expect_pixels(h, before, mapping({{20, 10}, {21, 10}, {40, 11}, {41, 11}}));
    expect_window(10, 2, {{10, {100, 0, 0}}, {11, {0, 200, 0}}});
    EXPECT_EQ(10, raster::state.color_histogram[20]);
    EXPECT_EQ(6, raster::state.color_histogram[40]);
    EXPECT_EQ(0, raster::state.color_histogram[21]);
    EXPECT_EQ(0, raster::state.color_histogram[41]);
}

TEST_F(PaletteReduce, MergedIndicesFollowTheirKeeperThroughLaterMerges) {
    set_colour(50, {0, 0, 0});
    set_colour(60, {0, 0, 2});
    set_colour(70, {0, 0, 6});
    const int32_t h = surface_with(4, 4, {{60, 2}, {70, 9}, {50, 3}, {70, 2}});
    const std::vector<uint8_t> before = testenv::surface_rows(h);
    // First 60 (2 pixels) joins 50 (3), then 50 (now 5) joins 70 (11).
    ASSERT_EQ(0, palette_reduce(100, 1, rgb_.data()));
    expect_pixels(h, before, mapping({{50, 100}, {60, 100}, {70, 100}}));
    expect_window(100, 1, {{100, {0, 0, 6}}});
    EXPECT_EQ(16, raster::state.color_histogram[70]);
    EXPECT_EQ(0, raster::state.color_map[60]);
    EXPECT_EQ(0, raster::state.color_map[50]);
}

TEST_F(PaletteReduce, EqualDistancesKeepTheFirstPairUnlessALaterOneIsSmaller) {
    // Two pairs 100 apart: (30, 31) is met first; (50, 51) differs in red
    // alone, so its sum reaches the best distance after the first term.
    set_colour(30, {0, 0, 0});
    set_colour(31, {0, 0, 10});
    set_colour(50, {200, 0, 0});
    set_colour(51, {210, 0, 0});
    {
        SCOPED_TRACE("51 has fewer pixels than both 30 and 31: the later pair wins");
        const int32_t h = surface_with(8, 3, {{30, 5}, {31, 6}, {50, 9}, {51, 4}});
        const std::vector<uint8_t> before = testenv::surface_rows(h);
        std::vector<uint8_t> rgb = rgb_;
        ASSERT_EQ(0, palette_reduce(10, 3, rgb.data()));
        expect_pixels(h, before, mapping({{30, 10}, {31, 11}, {50, 12}, {51, 12}}));
        EXPECT_EQ(0, rgb[30] | rgb[31] | rgb[32]);
        EXPECT_EQ(10, rgb[35]);
        EXPECT_EQ(200, rgb[36]);
        surface_deselect();
    }
    {
        SCOPED_TRACE("51 has as many pixels as the smaller of 30 and 31: the first pair stays");
        const int32_t h = surface_with(8, 3, {{30, 5}, {31, 6}, {50, 8}, {51, 5}});
        const std::vector<uint8_t> before = testenv::surface_rows(h);
        ASSERT_EQ(0, palette_reduce(10, 3, rgb_.data()));
        // 30 (5) loses to 31 (6).
        expect_pixels(h, before, mapping({{30, 10}, {31, 10}, {50, 11}, {51, 12}}));
        expect_window(10, 3, {{10, {0, 0, 10}}, {11, {200, 0, 0}}, {12, {210, 0, 0}}});
    }
}

TEST_F(PaletteReduce, OnEqualCountsTheLowerIndexLoses) {
    set_colour(30, {0, 0, 0});
    set_colour(31, {0, 0, 10});
    set_colour(90, {255, 255, 255});
    const int32_t h = surface_with(8, 3, {{31, 6}, {90, 12}, {30, 6}});
    const std::vector<uint8_t> before = testenv::surface_rows(h);
    ASSERT_EQ(0, palette_reduce(10, 2, rgb_.data()));
    expect_pixels(h, before, mapping({{30, 10}, {31, 10}, {90, 11}}));
    expect_window(10, 2, {{10, {0, 0, 10}}, {11, {255, 255, 255}}});
}

TEST_F(PaletteReduce, CountsStopAt65535) {
    // 66000 and 65600 pixels both count as 65535, so the two are equal and
    // the lower index loses although it has more pixels.
    set_colour(100, {10, 10, 10});
    set_colour(101, {10, 10, 12});
    set_colour(102, {250, 0, 0});
    const int32_t h = surface_with(404, 330, {{100, 66000}, {101, 65600}, {102, 404 * 330 - 66000 - 65600}});
    const std::vector<uint8_t> before = testenv::surface_rows(h);
    ASSERT_EQ(0, palette_reduce(10, 2, rgb_.data()));
    expect_pixels(h, before, mapping({{100, 10}, {101, 10}, {102, 11}}));
    expect_window(10, 2, {{10, {10, 10, 12}}, {11, {250, 0, 0}}});
    EXPECT_EQ(65535, raster::state.color_histogram[101]);
    EXPECT_EQ(404 * 330 - 66000 - 65600, raster::state.color_histogram[102]);
}

TEST_F(PaletteReduce, OnlyPixelsInsideTheClipRectangleTakePart) {
    const int32_t h = surface_with(12, 5, {{40, 60}});
    for (int y = 1; y <= 3; ++y) {
        for (int x = 2; x <= 8; ++x) *testenv::pixel_address(h, x, y) = static_cast<uint8_t>(x < 5 ? 7 : 8);
    }
    raster::state.clip_min_x = 2;
    raster::state.clip_max_x = 8;
    raster::state.clip_min_y = 1;
    raster::state.clip_max_y = 3;
    const std::vector<uint8_t> before = testenv::surface_rows(h);
    ASSERT_EQ(0, palette_reduce(20, 5, rgb_.data()));
    // 40 lies outside only: not counted, not renumbered.
    expect_pixels(h, before, mapping({{7, 20}, {8, 21}, {40, 40}}));
    EXPECT_EQ(0, raster::state.color_histogram[40]);
    EXPECT_EQ(9, raster::state.color_histogram[7]);
    EXPECT_EQ(12, raster::state.color_histogram[8]);
}

TEST_F(PaletteReduce, ClipRectangleBeyondTheSurfaceStaysOnIt) {
    const int32_t h = surface_with(8, 3, {{12, 24}});
    raster::state.clip_min_x = -5;
    raster::state.clip_max_x = 400;
    raster::state.clip_min_y = -2;
    raster::state.clip_max_y = 90;
    const std::vector<uint8_t> before = testenv::surface_rows(h);
    ASSERT_EQ(0, palette_reduce(10, 236, rgb_.data()));
    expect_pixels(h, before, mapping({{12, 10}}));
    EXPECT_EQ(24, raster::state.color_histogram[12]);
}

TEST_F(PaletteReduce, BadWindowsAreRefusedAndChangeNothing) {
    const int32_t h = surface_with(4, 2, {{5, 3}, {6, 5}});
    const std::vector<uint8_t> before = testenv::surface_rows(h);
    const std::vector<uint8_t> original = rgb_;
    const int bad[][2] = {{10, 0}, {10, -1}, {-1, 5}, {250, 7}, {256, 1}, {1, INT_MAX}, {INT_MAX, 1}, {0, 257}};
    for (const auto& b : bad) {
        SCOPED_TRACE(::testing::Message() << "first " << b[0] << " count " << b[1]);
        EXPECT_EQ(RASTER_REFUSED, palette_reduce(b[0], b[1], rgb_.data()));
        EXPECT_EQ(original, rgb_);
        EXPECT_EQ(before, testenv::surface_rows(h));
    }
    EXPECT_EQ(RASTER_REFUSED, palette_reduce(10, 2, nullptr));
    EXPECT_EQ(before, testenv::surface_rows(h));
    // The edges of the accepted range.
    EXPECT_EQ(0, palette_reduce(255, 1, rgb_.data()));
    expect_pixels(h, before, mapping({{5, 255}, {6, 255}}));
    EXPECT_EQ(0, palette_reduce(0, 256, rgb_.data()));
}

TEST_F(PaletteReduce, NothingHappensWithoutAnActive8BitSurface) {
    const std::vector<uint8_t> original = rgb_;
    EXPECT_EQ(0, palette_reduce(10, 2, rgb_.data()));
    EXPECT_EQ(original, rgb_);
    surface_set_depth(16);
    const int32_t h = testenv::make_selected_surface(4, 2);
    ASSERT_GE(h, 0);
    testenv::fill_surface(h, 0x31);
    EXPECT_EQ(0, palette_reduce(10, 1, rgb_.data()));
    EXPECT_EQ(original, rgb_);
    EXPECT_EQ(std::vector<uint8_t>(16, 0x31), testenv::surface_rows(h));
}

}  // namespace
