// StretchDIBits onto a window: the sampling rule, bottom-up sources, colour
// tables, pixel formats and clipping, checked pixel for pixel against a
// sentinel-filled client area.
#include <gtest/gtest.h>
#include <standin/probe.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace probe = standin::probe;

namespace {

const uint32_t S = 0xABCDEF;  // sentinel: a pixel no draw here produces

// Colour of palette index i in the tables below.
uint32_t C(int i) {
    return (static_cast<uint32_t>(i) << 16) | (static_cast<uint32_t>(0x40 + i) << 8) | static_cast<uint32_t>(0x80 + i);
}

class Stretch : public ::testing::Test {
  protected:
    void SetUp() override {
        probe::reset();
        probe::select_backend(probe::Backend::Headless);
    }
    void open(int width, int height) {
        probe::set_client_size(width, height);
        WNDCLASSA wc{};
        wc.style = CS_OWNDC;
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "stretch";
        RegisterClassA(&wc);
        hwnd_ =
            CreateWindowExA(0, "stretch", "", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(hwnd_, nullptr);
        dc_ = GetDC(hwnd_);
        SetStretchBltMode(dc_, COLORONCOLOR);
        probe::fill_client(hwnd_, S);
    }
    std::vector<uint32_t> client() {
        int w = 0, h = 0;
        return probe::client_pixels(hwnd_, &w, &h);
    }
    // An 8-bit bitmap-info block whose colour table maps index i to C(i).
    void rgb_table(int width, int height) {
        std::memset(block_, 0, sizeof block_);
        BITMAPINFOHEADER& hd = *reinterpret_cast<BITMAPINFOHEADER*>(block_);
        hd = BITMAPINFOHEADER{40, width, height, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
        for (int i = 0; i < 256; ++i) {
            const uint32_t c = C(i);
            RGBQUAD q{static_cast<BYTE>(c), static_cast<BYTE>(c >> 8), static_cast<BYTE>(c >> 16), 0};
            std::memcpy(block_ + 40 + 4 * i, &q, 4);
        }
    }
    // An 8-bit bottom-up picture given as rows TOP FIRST, stored the DIB way.
    std::vector<BYTE> picture(const std::vector<std::vector<int>>& rows_top_first) {
        const int height = static_cast<int>(rows_top_first.size());
        const int width = static_cast<int>(rows_top_first[0].size());
        const int stride = (width + 3) & ~3;
        std::vector<BYTE> bits(static_cast<size_t>(stride) * height, 0xFF);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                bits[static_cast<size_t>(height - 1 - y) * stride + x] = static_cast<BYTE>(rows_top_first[y][x]);
            }
        }
        rgb_table(width, height);
        return bits;
    }
    int draw(int xd, int yd, int wd, int hd, int xs, int ys, int ws, int hs, const std::vector<BYTE>& bits,
             UINT usage = DIB_RGB_COLORS) {
        return StretchDIBits(dc_, xd, yd, wd, hd, xs, ys, ws, hs, bits.data(),
                             reinterpret_cast<const BITMAPINFO*>(block_), usage, SRCCOPY);
    }
    HWND hwnd_ = nullptr;
    HDC dc_ = nullptr;
    alignas(4) BYTE block_[40 + 1024];
};

TEST_F(Stretch, OneToOneKeepsRowsTopFirst) {
    open(5, 4);
    const std::vector<BYTE> bits = picture({{1, 2, 3}, {4, 5, 6}});
    EXPECT_EQ(draw(1, 1, 3, 2, 0, 0, 3, 2, bits), 2);
    EXPECT_EQ(client(), (std::vector<uint32_t>{
                            S, S,    S,    S,    S,  //
                            S, C(1), C(2), C(3), S,  //
                            S, C(4), C(5), C(6), S,  //
                            S, S,    S,    S,    S,  //
                        }));
}

TEST_F(Stretch, TwoToOneRepeatsEveryRowAndColumn) {
    open(5, 5);
    const std::vector<BYTE> bits = picture({{3, 4}, {1, 2}});
    EXPECT_EQ(draw(0, 0, 4, 4, 0, 0, 2, 2, bits), 2);
    EXPECT_EQ(client(), (std::vector<uint32_t>{
                            C(3), C(3), C(4), C(4), S,  //
                            C(3), C(3), C(4), C(4), S,  //
                            C(1), C(1), C(2), C(2), S,  //
                            C(1), C(1), C(2), C(2), S,  //
                            S,    S,    S,    S,    S,  //
                        }));
}

TEST_F(Stretch, OneToTwoDropsEveryOtherRowAndColumn) {
    open(3, 3);
    const std::vector<BYTE> bits = picture({{1, 2, 3, 4}, {11, 12, 13, 14}, {21, 22, 23, 24}, {31, 32, 33, 34}});
    EXPECT_EQ(draw(0, 0, 2, 2, 0, 0, 4, 4, bits), 4);
    EXPECT_EQ(client(), (std::vector<uint32_t>{
                            C(1), C(3), S,    //
                            C(21), C(23), S,  //
                            S, S, S,          //
                        }));
}

TEST_F(Stretch, UnevenRatioTakesFloorOfTheScaledPosition) {
    open(8, 4);
    // Columns: d * 3 / 7 = 0 0 0 1 1 2 2; rows: r * 2 / 3 = 0 0 1.
    const std::vector<BYTE> bits = picture({{1, 2, 3}, {4, 5, 6}});
    EXPECT_EQ(draw(0, 0, 7, 3, 0, 0, 3, 2, bits), 2);
    const std::vector<uint32_t> top = {C(1), C(1), C(1), C(2), C(2), C(3), C(3), S};
    const std::vector<uint32_t> bottom = {C(4), C(4), C(4), C(5), C(5), C(6), C(6), S};
    std::vector<uint32_t> expected;
    for (const auto* row : {&top, &top, &bottom}) expected.insert(expected.end(), row->begin(), row->end());
    expected.insert(expected.end(), 8, S);
    EXPECT_EQ(client(), expected);
}

TEST_F(Stretch, SourceRectangleCountsRowsFromTheBottom) {
    open(2, 2);
    const std::vector<BYTE> bits = picture({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}});
    // Rows 1..2 from the bottom are the picture's rows 1..2 from the top.
    EXPECT_EQ(draw(0, 0, 2, 2, 1, 1, 2, 2, bits), 2);
    EXPECT_EQ(client(), (std::vector<uint32_t>{C(5), C(6), C(8), C(9)}));
    probe::fill_client(hwnd_, S);
    EXPECT_EQ(draw(0, 0, 2, 2, 0, 0, 2, 1, bits), 1) << "the bottom row alone";
    EXPECT_EQ(client(), (std::vector<uint32_t>{C(10), C(11), C(10), C(11)}));
}

TEST_F(Stretch, TopDownSourceShowsTheSamePicture) {
    open(3, 2);
    const std::vector<BYTE> bits = {1, 2, 3, 0, 4, 5, 6, 0};  // top row first
    rgb_table(3, -2);
    EXPECT_EQ(draw(0, 0, 3, 2, 0, 0, 3, 2, bits), 2);
    EXPECT_EQ(client(), (std::vector<uint32_t>{C(1), C(2), C(3), C(4), C(5), C(6)}));
}

TEST_F(Stretch, ClippedToTheClientArea) {
    open(3, 3);
    const std::vector<BYTE> bits = picture({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
    EXPECT_EQ(draw(-1, -1, 3, 3, 0, 0, 3, 3, bits), 3);
    EXPECT_EQ(client(), (std::vector<uint32_t>{C(5), C(6), S, C(8), C(9), S, S, S, S}));
    probe::fill_client(hwnd_, S);
    EXPECT_EQ(draw(2, 1, 6, 6, 0, 0, 3, 3, bits), 3);
    EXPECT_EQ(client(), (std::vector<uint32_t>{S, S, S, S, S, C(1), S, S, C(1)}));
    probe::fill_client(hwnd_, S);
    EXPECT_EQ(draw(3, 0, 2, 2, 0, 0, 3, 3, bits), 3) << "entirely outside: nothing drawn";
    EXPECT_EQ(client(), std::vector<uint32_t>(9, S));
}

TEST_F(Stretch, EmptyOrMirroredRectanglesDrawNothing) {
    open(3, 3);
    const std::vector<BYTE> bits = picture({{1, 2}, {3, 4}});
    EXPECT_EQ(draw(0, 0, 0, 3, 0, 0, 2, 2, bits), 0);
    EXPECT_EQ(draw(0, 0, 3, 0, 0, 0, 2, 2, bits), 0);
    EXPECT_EQ(draw(0, 0, 3, 3, 0, 0, 0, 2, bits), 0);
    EXPECT_EQ(draw(2, 0, -2, 2, 0, 0, 2, 2, bits), 0);
    EXPECT_EQ(draw(0, 0, 2, 2, 1, 0, 2, 2, bits), 0) << "source beyond the bitmap";
    EXPECT_EQ(client(), std::vector<uint32_t>(9, S));
}

TEST_F(Stretch, DirectColourFormatsDecodeToEightBitChannels) {
    open(3, 1);
    alignas(4) BYTE info[52] = {};
    BITMAPINFOHEADER& hd = *reinterpret_cast<BITMAPINFOHEADER*>(info);
    auto run = [&](const std::vector<BYTE>& bits) {
        probe::fill_client(hwnd_, S);
        StretchDIBits(dc_, 0, 0, 3, 1, 0, 0, 3, 1, bits.data(), reinterpret_cast<BITMAPINFO*>(info), DIB_RGB_COLORS,
                      SRCCOPY);
        return client();
    };
    {
        SCOPED_TRACE("24 bits: blue, green, red");
        hd = BITMAPINFOHEADER{40, 3, 1, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        EXPECT_EQ(run({0x01, 0x02, 0x03, 0xFF, 0x00, 0x80, 0, 0, 0, 0xAA, 0xAA, 0xAA}),
                  (std::vector<uint32_t>{0x030201, 0x8000FF, 0x000000}));
    }
    {
        SCOPED_TRACE("32 bits, no masks: the top byte is ignored");
        hd = BITMAPINFOHEADER{40, 3, 1, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        EXPECT_EQ(run({0x01, 0x02, 0x03, 0xFF, 0x10, 0x20, 0x30, 0, 0, 0, 0, 0x99}),
                  (std::vector<uint32_t>{0x030201, 0x302010, 0x000000}));
    }
    {
        SCOPED_TRACE("16 bits, no masks: 5-5-5, high bits repeated");
        hd = BITMAPINFOHEADER{40, 3, 1, 1, 16, BI_RGB, 0, 0, 0, 0, 0};
        EXPECT_EQ(run({0xFF, 0x7F, 0x1F, 0x00, 0x00, 0x40, 0, 0}),
                  (std::vector<uint32_t>{0xFFFFFF, 0x0000FF, 0x840000}));
    }
    {
        SCOPED_TRACE("16 bits, 5-6-5 masks");
        hd = BITMAPINFOHEADER{40, 3, 1, 1, 16, BI_BITFIELDS, 0, 0, 0, 0, 0};
        const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
        std::memcpy(info + 40, masks, sizeof masks);
        EXPECT_EQ(run({0x00, 0xF8, 0xE0, 0x07, 0x20, 0x00, 0, 0}),
                  (std::vector<uint32_t>{0xFF0000, 0x00FF00, 0x000400}));
    }
}

TEST_F(Stretch, PaletteIndicesShowTheSelectedPaletteAndItsAnimation) {
    probe::set_display_depth(8);
    open(3, 1);
    std::vector<BYTE> raw(4 + 4 * 4);
    LOGPALETTE* lp = reinterpret_cast<LOGPALETTE*>(raw.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = 4;
    lp->palPalEntry[0] = PALETTEENTRY{10, 20, 30, PC_RESERVED};
    lp->palPalEntry[1] = PALETTEENTRY{40, 50, 60, PC_RESERVED};
    lp->palPalEntry[2] = PALETTEENTRY{70, 80, 90, 0};
    lp->palPalEntry[3] = PALETTEENTRY{1, 1, 1, PC_RESERVED};
    HPALETTE palette = CreatePalette(lp);
    SelectPalette(dc_, palette, FALSE);
    RealizePalette(dc_);
    // The bitmap's own table maps its pixel values 0, 1, 2 to palette
    // entries 2, 1, 0.
    std::memset(block_, 0, sizeof block_);
    *reinterpret_cast<BITMAPINFOHEADER*>(block_) = BITMAPINFOHEADER{40, 3, 1, 1, 8, BI_RGB, 0, 0, 0, 3, 0};
    const WORD indices[3] = {2, 1, 0};
    std::memcpy(block_ + 40, indices, sizeof indices);
    const std::vector<BYTE> bits = {0, 1, 2, 0};
    EXPECT_EQ(draw(0, 0, 3, 1, 0, 0, 3, 1, bits, DIB_PAL_COLORS), 1);
    EXPECT_EQ(client(), (std::vector<uint32_t>{0x46505A, 0x28323C, 0x0A141E}));

    const PALETTEENTRY changed[3] = {{0xAA, 0xBB, 0xCC, PC_RESERVED}, {1, 2, 3, 0}, {9, 9, 9, 0}};
    EXPECT_TRUE(AnimatePalette(palette, 0, 3, changed));
    EXPECT_EQ(client(), (std::vector<uint32_t>{0x46505A, 0x28323C, 0x0A141E})) << "nothing until the next draw";
    draw(0, 0, 3, 1, 0, 0, 3, 1, bits, DIB_PAL_COLORS);
    EXPECT_EQ(client(), (std::vector<uint32_t>{0x46505A, 0x010203, 0xAABBCC})) << "entry 2 is not reserved";
}

}  // namespace
