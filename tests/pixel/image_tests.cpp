// The graphics position and image buffers: capture and placement at every
// depth, checked byte for byte over whole surfaces filled with a sentinel.
#include <gtest/gtest.h>

#include <raster/raster.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "library_env.h"
#include "pixel_support.h"
#include "raster/state.h"

namespace {

constexpr uint8_t kSentinel = 0xC3;

// Palette entry i: red, green and blue chosen so that every entry has its
// own 5-6-5 value (red's top five bits are i mod 32, green's top six bits
// are i / 32 times 8) and low bits that a wrong byte order would show.
std::vector<uint8_t> test_palette() {
    std::vector<uint8_t> rgb(768);
    for (int i = 0; i < 256; ++i) {
        rgb[i * 3 + 0] = static_cast<uint8_t>(((i & 31) << 3) | 5);
        rgb[i * 3 + 1] = static_cast<uint8_t>(((i >> 5) << 5) | 3);
        rgb[i * 3 + 2] = static_cast<uint8_t>(255 - i);
    }
    return rgb;
}

// The bytes a pixel of colour (r, g, b) has at a depth.
std::vector<uint8_t> pixel_bytes(int bits, const uint8_t* rgb) {
    const uint8_t r = rgb[0], g = rgb[1], b = rgb[2];
    switch (bits) {
        case 16: {
            const uint16_t v = static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
            return {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>(v >> 8)};
        }
        case 24:
            return {b, g, r};
        case 32:
            return {b, g, r, 0};
        default:
            return {};
    }
}

class ImageBuffers : public ::testing::Test {
  protected:
    void SetUp() override { palette_ = testenv::start_library(); }
    void TearDown() override { testenv::stop_library(palette_); }

    // A selected surface of the given depth, every byte the sentinel.
    int32_t surface(int bits, int width, int height) {
        surface_set_depth(bits);
        const int32_t handle = testenv::make_selected_surface(width, height);
        surface_set_depth(8);
        EXPECT_GE(handle, 0);
        if (handle >= 0) testenv::fill_surface(handle, kSentinel);
        return handle;
    }

    HPALETTE palette_ = nullptr;
};

// Writes index-valued pixels f(x, y) into an 8-bit surface.
void paint8(int32_t handle, int width, int height, uint32_t seed) {
    const std::vector<uint8_t> values = pixeltest::noise(static_cast<size_t>(width) * height, seed);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            *testenv::pixel_address(handle, x, y) = values[static_cast<size_t>(y) * width + x];
    }
}

// What a capture of w x h at (x, y) must hold, read from the surface with
// the test's own addressing (bottom row first).
std::vector<uint8_t> expected_capture8(int32_t handle, int x, int y, int w, int h) {
    std::vector<uint8_t> out;
    for (int r = 0; r < h; ++r) {
        for (int j = 0; j < w; ++j) out.push_back(*testenv::pixel_address(handle, x + j, y - r));
    }
    return out;
}

TEST_F(ImageBuffers, MoveToAndImageSizeAtEveryDepth) {
    EXPECT_EQ(0, move_to(-7, 123456));
    EXPECT_EQ(-7, raster::state.graphics_x);
    EXPECT_EQ(123456, raster::state.graphics_y);

    // Before any selection: 8 bits.
    EXPECT_EQ(10560u, image_size(264, 40));
    const struct {
        int bits;
        uint32_t per_pixel;
    } depths[] = {{16, 2}, {24, 3}, {32, 3}, {8, 1}};
    for (const auto& d : depths) {
        SCOPED_TRACE(d.bits);
        surface(d.bits, 5, 3);
        EXPECT_EQ(264u * 40u * d.per_pixel, image_size(264, 40));
        // Unsigned and modulo 2^32.
        const uint64_t wide = 65537ull * 65537ull * d.per_pixel;
        EXPECT_EQ(static_cast<uint32_t>(wide & 0xFFFFFFFFull), image_size(65537, 65537));
        EXPECT_EQ(static_cast<uint32_t>(static_cast<uint64_t>(4294967295ull * 3ull * d.per_pixel) & 0xFFFFFFFFull),
                  image_size(-1, 3));
    }
    surface(24, 3, 3);
    surface_deselect();
    EXPECT_EQ(31680u, image_size(264, 40));  // the depth selected last
    EXPECT_EQ(0, move_to(1, 2));
    EXPECT_EQ(1, raster::state.graphics_x);  // the position survives selections
}

TEST_F(ImageBuffers, CaptureReadsUpwardFromTheGraphicsPosition) {
    const int32_t h = surface(8, 13, 11);
    paint8(h, 16, 11, 1);  // the slot is 16 wide; the padding columns count too
    std::vector<uint8_t> buffer(4 + 16, kSentinel);
    move_to(5, 10);
    ASSERT_EQ(0, image_capture(buffer.data(), 2, 2));
    EXPECT_EQ(*testenv::pixel_address(h, 5, 10), buffer[0]);
    EXPECT_EQ(*testenv::pixel_address(h, 6, 10), buffer[1]);
    EXPECT_EQ(*testenv::pixel_address(h, 5, 9), buffer[2]);
    EXPECT_EQ(*testenv::pixel_address(h, 6, 9), buffer[3]);
    for (size_t i = 4; i < buffer.size(); ++i) EXPECT_EQ(kSentinel, buffer[i]);

    // Every small size at every position that fits, odd widths for the
    // block move's tails.
    for (int w = 1; w <= 16; ++w) {
        for (int hgt = 1; hgt <= 11; hgt += 3) {
            for (int x = 0; x + w <= 16; x += 5) {
                for (int y = hgt - 1; y < 11; y += 4) {
                    SCOPED_TRACE(::testing::Message() << w << "x" << hgt << " at " << x << "," << y);
                    std::vector<uint8_t> out(static_cast<size_t>(w) * hgt + 8, kSentinel);
                    move_to(x, y);
                    ASSERT_EQ(0, image_capture(out.data(), w, hgt));
                    const std::vector<uint8_t> expected = expected_capture8(h, x, y, w, hgt);
                    ASSERT_EQ(expected, std::vector<uint8_t>(out.begin(), out.begin() + expected.size()));
                    for (size_t i = expected.size(); i < out.size(); ++i) ASSERT_EQ(kSentinel, out[i]);
                }
            }
        }
    }
}

TEST_F(ImageBuffers, LogoCaptureTakesRow39First) {
    const int32_t h = surface(8, 320, 200);
    paint8(h, 320, 200, 2);
    std::vector<uint8_t> logo(264 * 40 + 1, kSentinel);
    move_to(0, 39);
    ASSERT_EQ(0, image_capture(logo.data(), 264, 40));
    for (int r = 0; r < 40; ++r) {
        for (int j = 0; j < 264; ++j)
            ASSERT_EQ(*testenv::pixel_address(h, j, 39 - r), logo[r * 264 + j]) << r << "," << j;
    }
    EXPECT_EQ(kSentinel, logo[264 * 40]);
}

// Places `image` at (x, y) on an 8-bit surface and checks every surface byte.
void expect_place8(int32_t handle, int slot_width, int height, const std::vector<uint8_t>& image, int x, int y, int w,
                   int h) {
    SCOPED_TRACE(::testing::Message() << w << "x" << h << " at " << x << "," << y);
    const std::vector<uint8_t> before = testenv::surface_rows(handle);
    move_to(x, y);
    ASSERT_EQ(0, image_place(image.data(), w, h));
    std::vector<uint8_t> expected = before;  // rows top first
    for (int r = 0; r < h; ++r) {
        for (int j = 0; j < w; ++j) {
            const uint8_t v = image[static_cast<size_t>(r) * w + j];
            if (v != 0) expected[static_cast<size_t>(y - r) * slot_width + x + j] = v;
        }
    }
    ASSERT_EQ(static_cast<size_t>(slot_width) * height, expected.size());
    ASSERT_EQ(expected, testenv::surface_rows(handle));
}

TEST_F(ImageBuffers, PlaceLeavesIndexZeroTransparent) {
    const int32_t h = surface(8, 29, 9);  // slot width 32
    paint8(h, 32, 9, 3);
    // Mixed runs of zero and nonzero bytes in every alignment.
    std::vector<uint8_t> image = pixeltest::noise(32 * 9, 4);
    for (size_t i = 0; i < image.size(); ++i) {
        if (image[i] < 100 || (i / 11) % 3 == 0) image[i] = 0;
    }
    for (int w : {1, 2, 3, 7, 8, 9, 15, 16, 17, 25, 32}) {
        expect_place8(h, 32, 9, image, 32 - w, 8, w, 9);
        expect_place8(h, 32, 9, image, 0, 4, w, 5);
        expect_place8(h, 32, 9, image, (32 - w) / 2, 6, w, 3);
    }
    // An image with no zeros and one with only zeros.
    std::vector<uint8_t> solid(32 * 9, 77);
    expect_place8(h, 32, 9, solid, 1, 7, 31, 8);
    std::vector<uint8_t> clear(32 * 9, 0);
    expect_place8(h, 32, 9, clear, 0, 8, 32, 9);
    // Rows long enough for whole groups of 64 bytes, then 16, then a last
    // 16 that overlaps the ones before.
    const int32_t wide = surface(8, 152, 4);
    paint8(wide, 152, 4, 8);
    std::vector<uint8_t> rows = pixeltest::noise(152 * 3, 9);
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i] < 90 || (i / 13) % 4 == 0) rows[i] = 0;
    }
    for (int w : {33, 48, 50, 63, 64, 65, 80, 81, 127, 128, 129, 143, 151}) {
        expect_place8(wide, 152, 4, rows, 152 - w, 3, w, 3);
        // Runs of 20 or 40 transparent bytes between 20 opaque ones: whole
        // transparent vectors beside partly opaque ones.
        for (size_t gap : {20u, 40u}) {
            std::vector<uint8_t> gappy(rows.begin(), rows.begin() + 3 * w);
            for (size_t i = 0; i < gappy.size(); ++i) {
                gappy[i] = (i % w) % (gap + 20) < gap ? 0 : static_cast<uint8_t>(i | 1);
            }
            expect_place8(wide, 152, 4, gappy, 0, 2, w, 3);
        }
    }
}

TEST_F(ImageBuffers, RoundTripRestoresNonzeroPixels) {
    const int32_t h = surface(8, 21, 14);  // slot width 24
    paint8(h, 24, 14, 5);
    std::vector<uint8_t> captured(19 * 11);
    move_to(3, 12);
    ASSERT_EQ(0, image_capture(captured.data(), 19, 11));
    const std::vector<uint8_t> original = testenv::surface_rows(h);
    paint8(h, 24, 14, 6);
    const std::vector<uint8_t> changed = testenv::surface_rows(h);
    ASSERT_EQ(0, image_place(captured.data(), 19, 11));
    const std::vector<uint8_t> after = testenv::surface_rows(h);
    for (int y = 0; y < 14; ++y) {
        for (int x = 0; x < 24; ++x) {
            const size_t at = static_cast<size_t>(y) * 24 + x;
            const bool inside = x >= 3 && x < 22 && y <= 12 && y >= 2;
            const uint8_t want = inside && original[at] != 0 ? original[at] : changed[at];
            ASSERT_EQ(want, after[at]) << x << "," << y;
        }
    }
}

// ---- deeper surfaces --------------------------------------------------------

class DeepImageBuffers : public ImageBuffers, public ::testing::WithParamInterface<int> {
  protected:
    int bits() const { return GetParam(); }
    int bytes() const { return GetParam() / 8; }

    // The lowest entry whose pixel equals `px`, or 0, searched over the
    // triples the test gave the palette.
    uint8_t lowest_index(const std::vector<uint8_t>& rgb, const uint8_t* px) const {
        for (int i = 0; i < 256; ++i) {
            const std::vector<uint8_t> want = pixel_bytes(bits(), &rgb[i * 3]);
            if (std::memcmp(want.data(), px, want.size()) == 0) return static_cast<uint8_t>(i);
        }
        return 0;
    }
};

TEST_P(DeepImageBuffers, PlaceWritesPaletteColoursAndCaptureFindsThem) {
    const int w = 11, h = 7, slot_w = 12;  // odd size; slot rounded up to 12
    const int32_t handle = surface(bits(), w, h);
    const std::vector<uint8_t> rgb = test_palette();
    ASSERT_EQ(0, set_palette_entries(0, 256, rgb.data()));

    std::vector<uint8_t> image = pixeltest::noise(9 * 5, 13);
    for (size_t i = 0; i < image.size(); i += 4) image[i] = 0;
    move_to(2, 5);
    ASSERT_EQ(0, image_place(image.data(), 9, 5));

    const std::vector<uint8_t> rows = testenv::surface_rows(handle);
    const size_t stride = static_cast<size_t>(slot_w) * bytes();
    ASSERT_EQ(stride * h, rows.size());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < slot_w; ++x) {
            SCOPED_TRACE(::testing::Message() << "pixel " << x << "," << y);
            const uint8_t* px = &rows[y * stride + static_cast<size_t>(x) * bytes()];
            const bool inside = x >= 2 && x < 11 && y <= 5 && y >= 1;
            const uint8_t v = inside ? image[static_cast<size_t>(5 - y) * 9 + (x - 2)] : 0;
            std::vector<uint8_t> want(static_cast<size_t>(bytes()), kSentinel);
            if (v != 0) want = pixel_bytes(bits(), &rgb[v * 3]);
            ASSERT_EQ(want, std::vector<uint8_t>(px, px + bytes()));
        }
    }

    // Back again, with a border of background (which matches no entry) all
    // round: zero where the image was transparent or outside it.
    std::vector<uint8_t> captured(static_cast<size_t>(11) * 7 + 5, 0x5A);
    move_to(0, 6);
    ASSERT_EQ(0, image_capture(captured.data(), 11, 7));
    for (int r = 0; r < 7; ++r) {
        for (int j = 0; j < 11; ++j) {
            const int y = 6 - r;
            const bool inside = j >= 2 && j < 11 && y <= 5 && y >= 1;
            const uint8_t v = inside ? image[static_cast<size_t>(5 - y) * 9 + (j - 2)] : 0;
            ASSERT_EQ(v, captured[static_cast<size_t>(r) * 11 + j]) << r << "," << j;
        }
    }
    for (size_t i = 77; i < captured.size(); ++i) EXPECT_EQ(0x5A, captured[i]);
}

TEST_P(DeepImageBuffers, CaptureTakesTheLowestMatchingIndex) {
    const int32_t handle = surface(bits(), 7, 3);
    std::vector<uint8_t> rgb = test_palette();
    // Entries 3 and 7 give the same pixel: at 16 bits they differ only in
    // bits the 5-6-5 form drops, deeper they are equal.
    const uint8_t base[3] = {0x80, 0x40, 0x20};
    for (int k = 0; k < 3; ++k) {
        rgb[3 * 3 + k] = base[k];
        rgb[7 * 3 + k] = bits() == 16 ? static_cast<uint8_t>(base[k] | 3) : base[k];
    }
    ASSERT_EQ(0, set_palette_entries(0, 256, rgb.data()));

    const std::vector<uint8_t> seven = {7, 7, 9, 200, 0, 7, 255};
    move_to(0, 2);
    ASSERT_EQ(0, image_place(seven.data(), 7, 1));
    // Placing 7 wrote entry 7's own colour.
    EXPECT_EQ(pixel_bytes(bits(), &rgb[7 * 3]), std::vector<uint8_t>(testenv::pixel_address(handle, 0, 2),
                                                                     testenv::pixel_address(handle, 0, 2) + bytes()));
    std::vector<uint8_t> out(7, 0xEE);
    ASSERT_EQ(0, image_capture(out.data(), 7, 1));
    std::vector<uint8_t> want;
    for (int x = 0; x < 7; ++x) want.push_back(lowest_index(rgb, testenv::pixel_address(handle, x, 2)));
    EXPECT_EQ(want, out);
    EXPECT_EQ(3, out[0]);
    EXPECT_EQ(3, out[1]);
    EXPECT_EQ(9, out[2]);
    EXPECT_EQ(0, out[4]);  // the untouched background matches no entry
}

INSTANTIATE_TEST_SUITE_P(Depths, DeepImageBuffers, ::testing::Values(16, 24, 32),
                         [](const ::testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "bits"; });

TEST_F(ImageBuffers, ThirtyTwoBitCaptureComparesTheFourthByte) {
    const int32_t handle = surface(32, 5, 2);
    const std::vector<uint8_t> rgb = test_palette();
    ASSERT_EQ(0, set_palette_entries(0, 256, rgb.data()));
    const std::vector<uint8_t> fives = {5, 5, 5};
    move_to(0, 1);
    ASSERT_EQ(0, image_place(fives.data(), 3, 1));
    testenv::pixel_address(handle, 1, 1)[3] = 1;  // colour of entry 5, fourth byte 1
    testenv::pixel_address(handle, 2, 1)[3] = 0x80;
    std::vector<uint8_t> out(3, 0xEE);
    ASSERT_EQ(0, image_capture(out.data(), 3, 1));
    EXPECT_EQ((std::vector<uint8_t>{5, 0, 0}), out);
}

TEST_F(ImageBuffers, TwentyFourBitPlacementByteOrder) {
    const int32_t handle = surface(24, 3, 1);
    std::vector<uint8_t> rgb = test_palette();
    rgb[15] = 0x11;  // entry 5: red 0x11, green 0x22, blue 0x33
    rgb[16] = 0x22;
    rgb[17] = 0x33;
    ASSERT_EQ(0, set_palette_entries(0, 256, rgb.data()));
    const std::vector<uint8_t> image = {5, 0, 5};
    move_to(0, 0);
    ASSERT_EQ(0, image_place(image.data(), 3, 1));
    const uint8_t* row = testenv::pixel_address(handle, 0, 0);
    const uint8_t want[12] = {0x33, 0x22, 0x11, kSentinel, kSentinel, kSentinel,
                              0x33, 0x22, 0x11, kSentinel, kSentinel, kSentinel};
    EXPECT_EQ(0, std::memcmp(want, row, sizeof want));
}

// ---- refused calls ----------------------------------------------------------

TEST_F(ImageBuffers, RectanglesOutsideTheSurfaceAreRefused) {
    for (int bits : {8, 32}) {
        SCOPED_TRACE(bits);
        const int32_t handle = surface(bits, 10, 6);  // slot 12 x 6
        const std::vector<uint8_t> rgb = test_palette();
        if (bits != 8) set_palette_entries(0, 256, rgb.data());
        const std::vector<uint8_t> before = testenv::surface_rows(handle);
        const std::vector<uint8_t> image(12 * 7, 9);
        const struct {
            int x, y, w, h;
        } bad[] = {{-1, 5, 2, 2},        {11, 5, 2, 2},        {0, 6, 2, 2},        {0, 1, 2, 3},  {0, 5, 13, 1},
                   {0, 5, 0, 1},         {0, 5, 1, 0},         {0, 5, -1, 1},       {0, 5, 1, -2}, {0, 5, 12, 7},
                   {1, 5, INT32_MAX, 1}, {0, INT32_MIN, 1, 1}, {0, 5, 1, INT32_MIN}};
        for (const auto& b : bad) {
            SCOPED_TRACE(::testing::Message() << b.w << "x" << b.h << " at " << b.x << "," << b.y);
            move_to(b.x, b.y);
            std::vector<uint8_t> out(16, kSentinel);
            EXPECT_EQ(RASTER_REFUSED, image_capture(out.data(), b.w, b.h));
            EXPECT_EQ(std::vector<uint8_t>(16, kSentinel), out);
            EXPECT_EQ(RASTER_REFUSED, image_place(image.data(), b.w, b.h));
            EXPECT_EQ(before, testenv::surface_rows(handle));
        }
        // The largest rectangle that fits is accepted, and null buffers are not.
        move_to(0, 5);
        std::vector<uint8_t> all(12 * 6);
        EXPECT_EQ(0, image_capture(all.data(), 12, 6));
        EXPECT_EQ(RASTER_REFUSED, image_capture(nullptr, 1, 1));
        EXPECT_EQ(RASTER_REFUSED, image_place(nullptr, 1, 1));
        EXPECT_EQ(before, testenv::surface_rows(handle));
    }
}

TEST_F(ImageBuffers, NothingHappensWithoutAnActiveSurface) {
    const int32_t handle = surface(8, 8, 8);
    testenv::fill_surface(handle, 0x44);
    surface_deselect();
    std::vector<uint8_t> out(4, kSentinel);
    const std::vector<uint8_t> image(4, 9);
    move_to(1, 3);
    EXPECT_EQ(0, image_capture(out.data(), 2, 2));
    EXPECT_EQ(std::vector<uint8_t>(4, kSentinel), out);
    EXPECT_EQ(0, image_place(image.data(), 2, 2));
    EXPECT_EQ(std::vector<uint8_t>(64, 0x44), testenv::surface_rows(handle));
}

}  // namespace
