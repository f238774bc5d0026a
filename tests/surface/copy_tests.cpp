// Rectangle copies between surfaces and within one surface.
#include <gtest/gtest.h>

#include <raster/raster.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "core_helpers.h"
#include "library_env.h"
#include "raster/state.h"

using coretest::fill_pattern;
using coretest::model_copy;
using coretest::same_rows;
using coretest::stride_of;
using raster::state;

namespace {

constexpr uint8_t kSentinel = 0xA5;

class SurfaceCopy : public coretest::LibraryTest {
  protected:
    int32_t make(int32_t width, int32_t height, int32_t bits = 8) {
        EXPECT_EQ(surface_set_depth(bits), RASTER_OK);
        const int32_t handle = surface_create(width, height);
        EXPECT_GE(handle, 0);
        return handle;
    }

    // Copies between two surfaces and compares the whole destination with the
    // model; the destination starts out as sentinel bytes.
    void check_copy(int32_t source, int32_t dest, int32_t x1, int32_t x2, int32_t y1, int32_t y2, int32_t dest_x,
                    int32_t dest_y) {
        if (source != dest) testenv::fill_surface(dest, kSentinel);
        const std::vector<uint8_t> source_before = testenv::surface_rows(source);
        const std::vector<uint8_t> dest_before = testenv::surface_rows(dest);
        const std::vector<uint8_t> expected =
            model_copy(source_before, stride_of(source), dest_before, stride_of(dest), coretest::bytes_per_pixel(dest),
                       x1, x2, y1, y2, dest_x, dest_y);
        ASSERT_EQ(surface_copy(x1, x2, y1, y2, dest_x, dest_y, source, dest), RASTER_OK);
        EXPECT_TRUE(same_rows(expected, testenv::surface_rows(dest), stride_of(dest)));
        if (source != dest) {
            EXPECT_TRUE(same_rows(source_before, testenv::surface_rows(source), stride_of(source)));
        }
    }
};

TEST_F(SurfaceCopy, PanoramaMirrorAndWrapMargin) {
    const int32_t panorama = make(1600, 200);
    fill_pattern(panorama, 3);
    const std::vector<uint8_t> before = testenv::surface_rows(panorama);

    for (int32_t k = 639; k >= 0; --k) ASSERT_EQ(surface_copy(k, k, 0, 199, 1279 - k, 199, panorama, panorama), 0);
    ASSERT_EQ(surface_copy(0, 319, 0, 199, 1280, 199, panorama, panorama), 0);

    // Worked out column by column, independently of the copy's addressing.
    std::vector<uint8_t> expected = before;
    for (size_t y = 0; y < 200; ++y) {
        const uint8_t* row = &before[y * 1600];
        for (size_t x = 640; x < 1280; ++x) expected[y * 1600 + x] = row[1279 - x];
        for (size_t x = 1280; x < 1600; ++x) expected[y * 1600 + x] = row[x - 1280];
    }
    EXPECT_TRUE(same_rows(expected, testenv::surface_rows(panorama), 1600));
}

TEST_F(SurfaceCopy, FrameSliceAtEveryKindOfScrollPosition) {
    const int32_t panorama = make(1600, 200);
    const int32_t frame = make(320, 200);
    fill_pattern(panorama, 11);
    for (int32_t scroll : {0, 8, 640, 952, 1272}) {
        SCOPED_TRACE(scroll);
        check_copy(panorama, frame, scroll, scroll + 319, 0, 199, 0, 199);
    }
}

TEST_F(SurfaceCopy, DestinationRowNamesTheBottomRow) {
    const int32_t source = make(9, 23);
    const int32_t dest = make(13, 57);
    fill_pattern(source, 1);
    check_copy(source, dest, 2, 6, 10, 19, 3, 50);
    // Source row 19 on row 50, row 10 on row 41; rows 40 and 51 untouched.
    EXPECT_EQ(*testenv::pixel_address(dest, 3, 50), *testenv::pixel_address(source, 2, 19));
    EXPECT_EQ(*testenv::pixel_address(dest, 3, 41), *testenv::pixel_address(source, 2, 10));
    EXPECT_EQ(*testenv::pixel_address(dest, 3, 40), kSentinel);
    EXPECT_EQ(*testenv::pixel_address(dest, 3, 51), kSentinel);
}

TEST_F(SurfaceCopy, RectanglesTouchingEveryEdgeAtEveryDepth) {
    for (int32_t bits : {8, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        const int32_t source = make(7, 5, bits);  // slot width 8
        const int32_t dest = make(11, 6, bits);   // slot width 12
        fill_pattern(source, static_cast<uint8_t>(bits));
        check_copy(source, dest, 0, 0, 0, 0, 0, 0);   // one pixel, top-left to top-left
        check_copy(source, dest, 7, 7, 4, 4, 11, 5);  // last column and row to last column and row
        check_copy(source, dest, 0, 7, 0, 4, 4, 5);   // whole source, into the bottom right
        check_copy(source, dest, 3, 3, 0, 4, 6, 4);   // one column
        check_copy(source, dest, 1, 5, 2, 2, 0, 0);   // one row
        surface_destroy(source);
        surface_destroy(dest);
        // Rows of every length up to 41 pixels, so that rows of sixteen
        // bytes and more end at every offset within a sixteen-byte step.
        const int32_t wide_source = make(43, 3, bits);
        const int32_t wide_dest = make(45, 4, bits);
        fill_pattern(wide_source, static_cast<uint8_t>(bits + 1));
        for (int32_t last = 1; last <= 41; ++last) check_copy(wide_source, wide_dest, 1, last, 0, 2, 2, 3);
        surface_destroy(wide_source);
        surface_destroy(wide_dest);
    }
}

TEST_F(SurfaceCopy, FiveColumnsAt24BitsMoveFifteenBytesPerRow) {
    const int32_t source = make(9, 4, 24);
    const int32_t dest = make(9, 4, 24);
    fill_pattern(source, 7);
    check_copy(source, dest, 2, 6, 1, 3, 1, 2);
    // The bytes just outside each destination row stay sentinels.
    for (int32_t y = 0; y <= 2; ++y) {
        EXPECT_EQ(testenv::pixel_address(dest, 0, y)[2], kSentinel);
        EXPECT_EQ(testenv::pixel_address(dest, 6, y)[0], kSentinel);
        EXPECT_EQ(testenv::pixel_address(dest, 5, y)[2], testenv::pixel_address(source, 6, y + 1)[2]);
    }
}

TEST_F(SurfaceCopy, HandlesAreTakenModulo32) {
    const int32_t zero = make(5, 3);
    const int32_t one = make(5, 3);
    ASSERT_EQ(zero, 0);
    ASSERT_EQ(one, 1);
    fill_pattern(zero, 5);
    testenv::fill_surface(one, kSentinel);
    const std::vector<uint8_t> source = testenv::surface_rows(zero);
    const std::vector<uint8_t> expected = model_copy(source, 8, testenv::surface_rows(one), 8, 1, 1, 4, 0, 2, 2, 2);
    EXPECT_EQ(surface_copy(1, 4, 0, 2, 2, 2, 32, 33), RASTER_OK);
    EXPECT_TRUE(same_rows(expected, testenv::surface_rows(one), 8));
}

TEST_F(SurfaceCopy, FreeSlotsCopyNothing) {
    const int32_t a = make(5, 3);
    fill_pattern(a, 9);
    const std::vector<uint8_t> before = testenv::surface_rows(a);
    // A failed creation's -1 and -2 name slots 31 and 30, both free here.
    EXPECT_EQ(surface_copy(0, 1, 0, 1, 0, 1, a, -1), RASTER_OK);
    EXPECT_EQ(surface_copy(0, 1, 0, 1, 0, 1, -2, a), RASTER_OK);
    EXPECT_EQ(surface_copy(0, 1, 0, 1, 0, 1, 7, 7), RASTER_OK);
    EXPECT_TRUE(same_rows(before, testenv::surface_rows(a), 8));
}

TEST_F(SurfaceCopy, LeavesTheActiveSurfaceAndPositionAlone) {
    const int32_t active = make(6, 4);
    const int32_t other = make(6, 4);
    const int32_t source = make(6, 4);
    ASSERT_EQ(surface_select(active), RASTER_OK);
    fill_pattern(active, 1);
    fill_pattern(source, 2);
    state.graphics_x = 3;
    state.graphics_y = 2;
    const raster::LibraryState before = state;
    const std::vector<uint8_t> active_pixels = testenv::surface_rows(active);

    check_copy(source, other, 0, 5, 0, 3, 0, 3);

    EXPECT_EQ(state.active_slot, before.active_slot);
    EXPECT_EQ(state.active_bits, before.active_bits);
    EXPECT_EQ(state.graphics_x, 3);
    EXPECT_EQ(state.graphics_y, 2);
    EXPECT_EQ(state.clip_min_x, before.clip_min_x);
    EXPECT_EQ(state.clip_max_x, before.clip_max_x);
    EXPECT_EQ(state.clip_min_y, before.clip_min_y);
    EXPECT_EQ(state.clip_max_y, before.clip_max_y);
    EXPECT_TRUE(same_rows(active_pixels, testenv::surface_rows(active), 8));
}

TEST_F(SurfaceCopy, RefusesRectanglesOutsideTheirSurfacesAndCopiesNothing) {
    const int32_t source = make(7, 5);  // 8 x 5
    const int32_t dest = make(10, 6);   // 12 x 6
    const int32_t wide = make(7, 5, 16);
    fill_pattern(source, 4);
    testenv::fill_surface(dest, kSentinel);
    const std::vector<uint8_t> source_before = testenv::surface_rows(source);
    const std::vector<uint8_t> dest_before = testenv::surface_rows(dest);

    struct Case {
        int32_t x1, x2, y1, y2, dest_x, dest_y;
        const char* what;
    };
    const Case cases[] = {
        {3, 2, 0, 1, 0, 1, "columns reversed"},
        {0, 1, 3, 2, 0, 1, "rows reversed"},
        {-1, 1, 0, 1, 0, 1, "left of the source"},
        {0, 1, -1, 1, 0, 2, "above the source"},
        {6, 8, 0, 1, 0, 1, "right of the source"},
        {0, 1, 3, 5, 0, 2, "below the source"},
        {0, 1, 0, 1, -1, 1, "left of the destination"},
        {0, 2, 0, 1, 10, 1, "right of the destination"},
        {0, 1, 0, 2, 0, 1, "above the destination"},
        {0, 1, 0, 1, 0, 6, "below the destination"},
        {0, 1, 0, 1, INT32_MAX, 1, "destination column at the limit"},
        {0, 1, 0, 1, 0, INT32_MIN, "destination row at the limit"},
        {INT32_MIN, INT32_MAX, 0, 1, 0, 1, "columns spanning everything"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(surface_copy(c.x1, c.x2, c.y1, c.y2, c.dest_x, c.dest_y, source, dest), RASTER_REFUSED);
        EXPECT_TRUE(same_rows(dest_before, testenv::surface_rows(dest), stride_of(dest)));
        EXPECT_TRUE(same_rows(source_before, testenv::surface_rows(source), stride_of(source)));
    }
    // Pixels of different sizes would be read past the end of the narrower
    // surface's rows.
    const std::vector<uint8_t> wide_before = testenv::surface_rows(wide);
    EXPECT_EQ(surface_copy(0, 7, 0, 4, 0, 4, source, wide), RASTER_REFUSED);
    EXPECT_EQ(surface_copy(0, 7, 0, 4, 0, 4, wide, dest), RASTER_REFUSED);
    EXPECT_TRUE(same_rows(wide_before, testenv::surface_rows(wide), stride_of(wide)));
    EXPECT_TRUE(same_rows(dest_before, testenv::surface_rows(dest), stride_of(dest)));
}

TEST_F(SurfaceCopy, OverlappingCopiesWithinOneSurfaceMoveTheRectangle) {
    for (int32_t bits : {8, 24}) {
        const int32_t surface = make(13, 9, bits);  // slot width 16
        struct Shift {
            int32_t dx, dy;
        };
        // Every direction, including into the rows above and below.
        const Shift shifts[] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {2, 2}, {-3, -2}, {5, -1}, {-2, 2}, {0, 0}};
        for (const Shift& s : shifts) {
            SCOPED_TRACE(::testing::Message() << bits << " bits, shift " << s.dx << "," << s.dy);
            fill_pattern(surface, static_cast<uint8_t>(s.dx * 16 + s.dy));
            // Source columns 4..10, rows 2..6: the destination overlaps it.
            check_copy(surface, surface, 4, 10, 2, 6, 4 + s.dx, 6 + s.dy);
        }
        surface_destroy(surface);
    }
}

}  // namespace
