// Image scaling: the step tables' bytes in scratch_area and the pixels of
// every direction mode, against references computed from the sampling rules.
#include <gtest/gtest.h>

#include <raster/raster.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "library_env.h"
#include "pixel_support.h"
#include "raster/state.h"

namespace {

constexpr uint8_t kSentinel = 0xA7;
constexpr size_t kGuard = 64;

class ImageScale : public ::testing::Test {
  protected:
    void SetUp() override {
        testenv::reset_library_state();
        std::memset(raster::state.scratch_area, kSentinel, raster::kScratchSize);
    }
};

const uint8_t* column_steps() { return raster::state.scratch_area; }
const uint8_t* row_steps() { return raster::state.scratch_area + raster::kRowStepsOffset; }

// Scales `source` and checks the result against the reference, with a guard
// of sentinel bytes after the destination that must stay untouched.
void expect_scaled(const std::vector<uint8_t>& source, int width, int height, int new_width, int new_height) {
    SCOPED_TRACE(::testing::Message() << width << "x" << height << " -> " << new_width << "x" << new_height);
    const std::vector<uint8_t> original = source;
    const size_t size = static_cast<size_t>(new_width) * new_height;
    std::vector<uint8_t> dest(size + kGuard, kSentinel);
    ASSERT_EQ(RASTER_OK, image_scale(source.data(), dest.data(), width, height, new_width, new_height));
    const std::vector<uint8_t> expected = pixeltest::reference_scale(source, width, height, new_width, new_height);
    ASSERT_EQ(0, std::memcmp(expected.data(), dest.data(), size)) << "scaled pixels differ";
    for (size_t i = size; i < dest.size(); ++i) ASSERT_EQ(kSentinel, dest[i]) << "written past the end at " << i;
    EXPECT_EQ(original, source) << "source changed";
}

// Checks one step table in scratch_area against the ceiling rule, and that
// the byte after it was not written.
void expect_table(const uint8_t* table, size_t capacity, int64_t a, int64_t b) {
    SCOPED_TRACE(::testing::Message() << "table " << a << " -> " << b);
    const std::vector<uint8_t> expected = pixeltest::expected_steps(a, b);
    ASSERT_EQ(0, std::memcmp(expected.data(), table, expected.size()));
    if (expected.size() < capacity) {
        EXPECT_EQ(kSentinel, table[expected.size()]);
    }
}

TEST_F(ImageScale, StepTableBytesForTheKnownExamples) {
    std::vector<uint8_t> src = pixeltest::noise(64, 1);
    std::vector<uint8_t> dst(256, 0);

    // 3 -> 5 and 5 -> 3 build bits 1,1,0,1,0 in both directions.
    ASSERT_EQ(RASTER_OK, image_scale(src.data(), dst.data(), 3, 5, 5, 3));
    EXPECT_EQ(0xD0, column_steps()[0]);
    EXPECT_EQ(kSentinel, column_steps()[1]);
    EXPECT_EQ(0xD0, row_steps()[0]);
    EXPECT_EQ(kSentinel, row_steps()[1]);

    ASSERT_EQ(RASTER_OK, image_scale(src.data(), dst.data(), 5, 3, 3, 5));
    EXPECT_EQ(0xD0, column_steps()[0]);
    EXPECT_EQ(0xD0, row_steps()[0]);

    // 9 -> 16: 0xD5 0xAA.
    ASSERT_EQ(RASTER_OK, image_scale(src.data(), dst.data(), 9, 1, 16, 9));
    EXPECT_EQ(0xD5, column_steps()[0]);
    EXPECT_EQ(0xAA, column_steps()[1]);
    EXPECT_EQ(kSentinel, column_steps()[2]);
    EXPECT_EQ(0x80, row_steps()[0]);  // 1 -> 9: only the first row is new
    EXPECT_EQ(0x00, row_steps()[1]);  // the ninth bit, and the zero bits after it
    EXPECT_EQ(kSentinel, row_steps()[2]);
}

TEST_F(ImageScale, StepTableForTheSmallestLogoZoom) {
    const std::vector<uint8_t> logo = pixeltest::logo_like(264, 40, 7);
    std::vector<uint8_t> dst(26 * 4);
    ASSERT_EQ(RASTER_OK, image_scale(logo.data(), dst.data(), 264, 40, 26, 4));
    const uint8_t head[] = {0x80, 0x20, 0x08, 0x02, 0x00, 0x80};
    EXPECT_EQ(0, std::memcmp(head, column_steps(), sizeof head));
    // Bits 0, 10, 20, 30, 40, 50, 60, 71 are the first eight ones.
    const int ones[] = {0, 10, 20, 30, 40, 50, 60, 71};
    int found = 0;
    for (int i = 0; i <= 71; ++i) {
        if (column_steps()[i / 8] & (0x80 >> (i % 8))) {
            ASSERT_LT(found, 8);
            EXPECT_EQ(ones[found], i);
            ++found;
        }
    }
    EXPECT_EQ(8, found);
    expect_table(column_steps(), raster::kColumnStepsBytes, 264, 26);
    expect_table(row_steps(), raster::kRowStepsBytes, 40, 4);
}

TEST_F(ImageScale, StepTablesFollowTheCeilingRuleForManySizes) {
    const int sizes[] = {1, 2, 3, 5, 7, 8, 9, 13, 16, 17, 31, 40, 63, 64, 65, 100, 237, 264};
    const std::vector<uint8_t> src = pixeltest::noise(264 * 264, 3);
    std::vector<uint8_t> dst(264 * 264);
    for (int a : sizes) {
        for (int b : sizes) {
            std::memset(raster::state.scratch_area, kSentinel, raster::kScratchSize);
            ASSERT_EQ(RASTER_OK, image_scale(src.data(), dst.data(), a, b, b, a));
            expect_table(column_steps(), raster::kColumnStepsBytes, a, b);
            expect_table(row_steps(), raster::kRowStepsBytes, b, a);
            // Exactly min(a, b) ones.
            const std::vector<uint8_t> bits = pixeltest::expected_steps(a, b);
            int ones = 0;
            for (uint8_t byte : bits) {
                for (int k = 0; k < 8; ++k) ones += (byte >> k) & 1;
            }
            EXPECT_EQ(a < b ? a : b, ones);
        }
    }
}

TEST_F(ImageScale, TallTablesStayExactWhereAPlainSumWouldWrap) {
    // 60000 -> 73696 rows: the running sum passes 2^32 long before the end.
    const int height = 60000;
    const int new_height = 73696;
    const std::vector<uint8_t> src = pixeltest::noise(height, 11);
    expect_scaled(src, 1, height, 1, new_height);
    expect_table(row_steps(), raster::kRowStepsBytes, height, new_height);
    // And the other way round.
    const std::vector<uint8_t> tall = pixeltest::noise(new_height, 12);
    expect_scaled(tall, 1, new_height, 1, height);
    expect_table(row_steps(), raster::kRowStepsBytes, new_height, height);
}

TEST_F(ImageScale, TheNineLogoZoomSizes) {
    const std::vector<uint8_t> logo = pixeltest::logo_like(264, 40, 5);
    for (int n = 1; n <= 9; ++n) expect_scaled(logo, 264, 40, 264 * n / 10, 40 * n / 10);
    // Repeated calls from the same source give the same results.
    for (int n = 9; n >= 1; --n) expect_scaled(logo, 264, 40, 264 * n / 10, 40 * n / 10);
}

TEST_F(ImageScale, ShrinkingKeepsAndDropsTheExpectedColumns) {
    // Each source column holds its own number, so the result lists the
    // columns taken.
    std::vector<uint8_t> columns(264);
    for (int j = 0; j < 264; ++j) columns[j] = static_cast<uint8_t>(j);
    std::vector<uint8_t> dst(264 + kGuard, kSentinel);

    ASSERT_EQ(RASTER_OK, image_scale(columns.data(), dst.data(), 264, 1, 26, 1));
    const uint8_t kept[] = {0, 10, 20, 30, 40, 50, 60, 71, 81, 91, 101, 111};
    EXPECT_EQ(0, std::memcmp(kept, dst.data(), sizeof kept));

    ASSERT_EQ(RASTER_OK, image_scale(columns.data(), dst.data(), 264, 1, 237, 1));
    std::vector<int> dropped;
    size_t next = 0;
    for (int j = 0; j < 264 && dropped.size() < 10; ++j) {
        if (next < 237 && dst[next] == j) {
            ++next;
        } else {
            dropped.push_back(j);
        }
    }
    EXPECT_EQ((std::vector<int>{9, 19, 29, 39, 48, 58, 68, 78, 87, 97}), dropped);
}

TEST_F(ImageScale, RowsTakenWhenEnlargingAndShrinking) {
    std::vector<uint8_t> rows(40);
    for (int r = 0; r < 40; ++r) rows[r] = static_cast<uint8_t>(r);
    std::vector<uint8_t> dst(16, kSentinel);

    ASSERT_EQ(RASTER_OK, image_scale(rows.data(), dst.data(), 1, 4, 1, 10));
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 1, 1, 1, 2, 2, 3, 3, 3}),
              std::vector<uint8_t>(dst.begin(), dst.begin() + 10));
    EXPECT_EQ(kSentinel, dst[10]);

    ASSERT_EQ(RASTER_OK, image_scale(rows.data(), dst.data(), 1, 40, 1, 4));
    EXPECT_EQ((std::vector<uint8_t>{0, 10, 20, 30}), std::vector<uint8_t>(dst.begin(), dst.begin() + 4));

    // 2 -> 4 and 3 -> 5 enlarge; 4 -> 2 and 5 -> 3 shrink.
    ASSERT_EQ(RASTER_OK, image_scale(rows.data(), dst.data(), 2, 1, 4, 1));
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 1, 1}), std::vector<uint8_t>(dst.begin(), dst.begin() + 4));
    ASSERT_EQ(RASTER_OK, image_scale(rows.data(), dst.data(), 3, 1, 5, 1));
    EXPECT_EQ((std::vector<uint8_t>{0, 1, 1, 2, 2}), std::vector<uint8_t>(dst.begin(), dst.begin() + 5));
    ASSERT_EQ(RASTER_OK, image_scale(rows.data(), dst.data(), 4, 1, 2, 1));
    EXPECT_EQ((std::vector<uint8_t>{0, 2}), std::vector<uint8_t>(dst.begin(), dst.begin() + 2));
    ASSERT_EQ(RASTER_OK, image_scale(rows.data(), dst.data(), 5, 1, 3, 1));
    EXPECT_EQ((std::vector<uint8_t>{0, 1, 3}), std::vector<uint8_t>(dst.begin(), dst.begin() + 3));
}

TEST_F(ImageScale, DegenerateAndMixedSizes) {
    // 2 x 3 (columns a b, rows bottom first) to 3 x 2: columns 0, 1, 1 of
    // source rows 0 and 1.
    const std::vector<uint8_t> small = {1, 2, 3, 4, 5, 6};
    std::vector<uint8_t> dst(6 + kGuard, kSentinel);
    ASSERT_EQ(RASTER_OK, image_scale(small.data(), dst.data(), 2, 3, 3, 2));
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 2, 3, 4, 4}), std::vector<uint8_t>(dst.begin(), dst.begin() + 6));
    EXPECT_EQ(kSentinel, dst[6]);

    // Width 1 keeps column 0 of every row; height 1 keeps the bottom row; a
    // one-pixel-wide image widened to 4 repeats its column.
    const std::vector<uint8_t> src = pixeltest::noise(7 * 5, 9);
    expect_scaled(src, 7, 5, 1, 5);
    expect_scaled(src, 7, 5, 7, 1);
    expect_scaled(src, 7, 5, 1, 1);
    expect_scaled(src, 1, 5, 4, 5);
    expect_scaled(src, 7, 5, 7, 5);  // equal sizes copy

    // Every mix of enlarging and shrinking on odd sizes.
    const int sizes[] = {1, 2, 3, 5, 6, 11, 13};
    const std::vector<uint8_t> big = pixeltest::noise(13 * 13, 10);
    for (int w : sizes) {
        for (int h : sizes) {
            expect_scaled(big, 13, 11, w, h);
            expect_scaled(big, 3, 5, w, h);
        }
    }
}

TEST_F(ImageScale, LargestTablesAreAccepted) {
    const std::vector<uint8_t> wide = pixeltest::noise(8224, 21);
    expect_scaled(wide, 8224, 1, 3, 1);
    expect_table(column_steps(), raster::kColumnStepsBytes, 8224, 3);
    expect_scaled(wide, 3, 1, 8224, 1);
    expect_scaled(wide, 1, 1, 1, 73696);
    expect_table(row_steps(), raster::kRowStepsBytes, 1, 73696);
}

TEST_F(ImageScale, ColumnsAndRowsTakenAtLargeAndPrimeSizes) {
    // The source column and row of every destination pixel, against the
    // reference, where a rounding slip in the column or row lists would
    // show: sizes one apart near the largest tables, primes, and halves.
    const int column_pairs[][2] = {{8224, 8223}, {8223, 8224}, {8224, 4099}, {4099, 8224},
                                   {7919, 7907}, {7907, 7919}, {8224, 1},    {1, 8224}};
    const std::vector<uint8_t> wide = pixeltest::noise(8224 * 5, 31);
    for (const auto& c : column_pairs) {
        expect_scaled(wide, c[0], 5, c[1], 3);
        expect_scaled(wide, c[0], 3, c[1], 5);
    }
    const int row_pairs[][2] = {{73696, 73695}, {73695, 73696}, {73696, 37}, {65521, 65519}, {65519, 65521}};
    const std::vector<uint8_t> tall = pixeltest::noise(73696 * 3, 32);
    for (const auto& r : row_pairs) expect_scaled(tall, 3, r[0], 2, r[1]);
}

// A refused call writes neither the destination nor the step tables.
void expect_refused(const uint8_t* src, uint8_t* dst, size_t dst_size, int w, int h, int nw, int nh) {
    SCOPED_TRACE(::testing::Message() << w << "x" << h << " -> " << nw << "x" << nh);
    std::memset(raster::state.scratch_area, kSentinel, raster::kScratchSize);
    std::memset(dst, kSentinel, dst_size);
    EXPECT_EQ(RASTER_REFUSED, image_scale(src, dst, w, h, nw, nh));
    for (size_t i = 0; i < dst_size; ++i) ASSERT_EQ(kSentinel, dst[i]) << "destination byte " << i;
    for (size_t i = 0; i < raster::kScratchSize; ++i) ASSERT_EQ(kSentinel, raster::state.scratch_area[i]) << i;
}

TEST_F(ImageScale, RefusesSizesOutsideTheTables) {
    const std::vector<uint8_t> src = pixeltest::noise(8225 * 2, 4);
    std::vector<uint8_t> dst(8225 * 2);
    const int bad[][4] = {{0, 1, 1, 1},     {1, 0, 1, 1},     {1, 1, 0, 1},        {1, 1, 1, 0},
                          {-1, 1, 1, 1},    {1, 1, 1, -5},    {8225, 1, 1, 1},     {1, 1, 8225, 1},
                          {1, 73697, 1, 1}, {1, 1, 1, 73697}, {INT32_MIN, 1, 1, 1}};
    for (const auto& b : bad) expect_refused(src.data(), dst.data(), dst.size(), b[0], b[1], b[2], b[3]);
    expect_refused(nullptr, dst.data(), dst.size(), 1, 1, 1, 1);
    EXPECT_EQ(RASTER_REFUSED, image_scale(src.data(), nullptr, 1, 1, 1, 1));
}

TEST_F(ImageScale, RefusesOverlappingBuffers) {
    std::vector<uint8_t> block = pixeltest::noise(200, 8);
    const std::vector<uint8_t> before = block;
    std::memset(raster::state.scratch_area, kSentinel, raster::kScratchSize);
    // Destination starting inside the source, and source inside destination.
    EXPECT_EQ(RASTER_REFUSED, image_scale(block.data(), block.data() + 20, 5, 5, 7, 7));
    EXPECT_EQ(RASTER_REFUSED, image_scale(block.data() + 40, block.data(), 5, 5, 7, 7));
    EXPECT_EQ(before, block);
    EXPECT_EQ(kSentinel, raster::state.scratch_area[0]);
    // Adjacent, not overlapping: accepted.
    EXPECT_EQ(RASTER_OK, image_scale(block.data(), block.data() + 25, 5, 5, 7, 7));
    EXPECT_EQ(0, std::memcmp(pixeltest::reference_scale(before, 5, 5, 7, 7).data(), block.data() + 25, 49));
}

}  // namespace
