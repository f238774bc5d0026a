// StretchDIBits onto a window: the sampling rule, bottom-up sources, colour
// tables, pixel formats and clipping, checked pixel for pixel against a
// sentinel-filled client area.
#include <gtest/gtest.h>
#include <standin/probe.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "headless_window.h"

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
        hwnd_ = testwindow::headless_window("stretch", width, height);
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
    // Across a row each pair keeps its right column, down the picture each
    // pair keeps its upper row.
    EXPECT_EQ(client(), (std::vector<uint32_t>{
                            C(2), C(4), S,    //
                            C(22), C(24), S,  //
                            S, S, S,          //
                        }));
}

TEST_F(Stretch, UnevenRatioTakesTheSourcePixelUnderEachCentre) {
    open(8, 4);
    // Columns 3 -> 7: 0 0 1 1 1 2 2; rows 2 -> 3: 0 0 1 (the middle row's
    // centre lies on the boundary and takes the upper row).
    const std::vector<BYTE> bits = picture({{1, 2, 3}, {4, 5, 6}});
    EXPECT_EQ(draw(0, 0, 7, 3, 0, 0, 3, 2, bits), 2);
    const std::vector<uint32_t> top = {C(1), C(1), C(2), C(2), C(2), C(3), C(3), S};
    const std::vector<uint32_t> bottom = {C(4), C(4), C(5), C(5), C(5), C(6), C(6), S};
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

// 1 and 4-bit pictures one to one, against colours written out here: the
// leftmost pixel is a byte's high bit (high nibble), and each value shows its
// own table entry. The pictures are bottom-up, 11 and 5 pixels wide, so rows
// end inside a byte and are padded to four bytes with set bits.
TEST_F(Stretch, OneAndFourBitPicturesReadHighBitsFirstThroughTheirTables) {
    open(13, 3);
    alignas(4) BYTE info[40 + 16 * 4] = {};
    auto run = [&](const BITMAPINFOHEADER& header, const std::vector<uint32_t>& table, const std::vector<BYTE>& bits) {
        std::memcpy(info, &header, sizeof header);
        for (size_t i = 0; i < table.size(); ++i) {
            const RGBQUAD q{static_cast<BYTE>(table[i]), static_cast<BYTE>(table[i] >> 8),
                            static_cast<BYTE>(table[i] >> 16), 0};
            std::memcpy(info + 40 + 4 * i, &q, 4);
        }
        probe::fill_client(hwnd_, S);
        EXPECT_EQ(StretchDIBits(dc_, 1, 0, header.biWidth, 2, 0, 0, header.biWidth, 2, bits.data(),
                                reinterpret_cast<BITMAPINFO*>(info), DIB_RGB_COLORS, SRCCOPY),
                  2);
        return client();
    };
    const uint32_t A = 0x123456, B = 0xFEDCBA;
    {
        SCOPED_TRACE("1 bit: top row 1011 0010 011, bottom row 0000 1111 110");
        const std::vector<BYTE> bits = {0x0F, 0xDF, 0xFF, 0xFF, 0xB2, 0x7F, 0xFF, 0xFF};
        EXPECT_EQ(run(BITMAPINFOHEADER{40, 11, 2, 1, 1, BI_RGB, 0, 0, 0, 0, 0}, {A, B}, bits),
                  (std::vector<uint32_t>{
                      S, B, A, B, B, A, A, B, A, A, B, B, S,  //
                      S, A, A, A, A, B, B, B, B, B, B, A, S,  //
                      S, S, S, S, S, S, S, S, S, S, S, S, S,  //
                  }));
    }
    {
        SCOPED_TRACE("4 bits: top row 1 15 2 9 3, bottom row 14 0 7 11 4");
        const std::vector<uint32_t> table = {0x000001, 0x110203, 0x220405, 0x330607, 0x440809, 0x550A0B,
                                             0x660C0D, 0x770E0F, 0x881011, 0x991213, 0xAA1415, 0xBB1617,
                                             0xCC1819, 0xDD1A1B, 0xEE1C1D, 0xFF1E1F};
        const std::vector<BYTE> bits = {0xE0, 0x7B, 0x4F, 0xFF, 0x1F, 0x29, 0x3F, 0xFF};
        EXPECT_EQ(run(BITMAPINFOHEADER{40, 5, 2, 1, 4, BI_RGB, 0, 0, 0, 0, 0}, table, bits),
                  (std::vector<uint32_t>{
                      S, 0x110203, 0xFF1E1F, 0x220405, 0x991213, 0x330607, S, S, S, S, S, S, S,  //
                      S, 0xEE1C1D, 0x000001, 0x770E0F, 0xBB1617, 0x440809, S, S, S, S, S, S, S,  //
                      S, S,        S,        S,        S,        S,        S, S, S, S, S, S, S,  //
                  }));
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

// The source index each destination column and row shows, as a Win32 GDI
// (COLORONCOLOR) gives them for the same calls, read back pixel by pixel.
// Columns and rows follow the same rule when enlarging, but not when
// shrinking: a run of source columns leaves its last one, a run of source
// rows its first one.
struct Sampled {
    int source;
    int dest;
    std::vector<int> columns;        // source column of each destination column, from the left
    std::vector<int> rows_top_down;  // source row of each destination row, both from the top
};

const Sampled kSampled[] = {
    {2, 3, {0, 0, 1}, {0, 0, 1}},
    {3, 2, {1, 2}, {0, 2}},
    {4, 6, {0, 0, 1, 2, 2, 3}, {0, 0, 1, 2, 2, 3}},
    {6, 4, {1, 2, 4, 5}, {0, 2, 3, 5}},
    {3, 9, {0, 0, 0, 1, 1, 1, 2, 2, 2}, {0, 0, 0, 1, 1, 1, 2, 2, 2}},
    {9, 3, {2, 5, 8}, {0, 3, 6}},
    {7, 3, {1, 4, 6}, {0, 2, 5}},
    {3, 7, {0, 0, 1, 1, 1, 2, 2}, {0, 0, 1, 1, 1, 2, 2}},
    {5, 13, {0, 0, 0, 1, 1, 2, 2, 2, 3, 3, 4, 4, 4}, {0, 0, 0, 1, 1, 2, 2, 2, 3, 3, 4, 4, 4}},
    {13, 5, {2, 4, 7, 9, 12}, {0, 3, 5, 8, 10}},
    {16, 12, {0, 2, 3, 4, 6, 7, 8, 10, 11, 12, 14, 15}, {0, 1, 3, 4, 5, 7, 8, 9, 11, 12, 13, 15}},
    {17, 20, {0, 1, 2, 2, 3, 4, 5, 6, 7, 8, 8, 9, 10, 11, 12, 13, 14, 14, 15, 16}, {0,  1,  2,  2,  3,  4,  5,
                                                                                    6,  7,  8,  8,  9,  10, 11,
                                                                                    12, 13, 14, 14, 15, 16}},
    {5, 1, {4}, {0}},
    {1, 5, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}},
};

TEST_F(Stretch, SourceIndexPerDestinationAsGdiSamplesIt) {
    for (const Sampled& c : kSampled) {
        SCOPED_TRACE(std::to_string(c.source) + " -> " + std::to_string(c.dest));
        // One row of c.source columns, colour index = column + 1, drawn at
        // (1, 1) of a client one pixel wider and taller on every side.
        open(c.dest + 2, 3);
        std::vector<int> row;
        for (int x = 0; x < c.source; ++x) row.push_back(x + 1);
        std::vector<BYTE> bits = picture({row});
        EXPECT_EQ(draw(1, 1, c.dest, 1, 0, 0, c.source, 1, bits), 1);
        std::vector<uint32_t> expected(static_cast<size_t>(3 * (c.dest + 2)), S);
        for (int d = 0; d < c.dest; ++d) expected[static_cast<size_t>(c.dest + 2 + 1 + d)] = C(c.columns[d] + 1);
        EXPECT_EQ(client(), expected) << "columns";

        // One column of c.source rows, colour index = row from the top + 1.
        open(3, c.dest + 2);
        std::vector<std::vector<int>> column;
        for (int y = 0; y < c.source; ++y) column.push_back({y + 1});
        bits = picture(column);
        EXPECT_EQ(draw(1, 1, 1, c.dest, 0, 0, 1, c.source, bits), c.source);
        expected.assign(static_cast<size_t>(3 * (c.dest + 2)), S);
        for (int r = 0; r < c.dest; ++r) expected[static_cast<size_t>(3 * (r + 1) + 1)] = C(c.rows_top_down[r] + 1);
        EXPECT_EQ(client(), expected) << "rows";
    }
}

// The demo's default window: a 320 x 200 frame shrunk onto a 312 x 173
// client area. Every destination pixel shows a distinct source pixel, in
// order; the source columns and rows GDI leaves out are these.
TEST_F(Stretch, DemoFrameOntoTheDefaultClientArea) {
    const int kSrcW = 320, kSrcH = 200, kDstW = 312, kDstH = 173;
    const std::vector<int> dropped_columns = {19, 59, 99, 139, 179, 219, 259, 299};
    const std::vector<int> dropped_rows = {4,   11,  19,  26,  33,  41,  48,  56,  63,  70,  78,  85,  93, 100,
                                           107, 115, 122, 130, 137, 144, 152, 159, 167, 174, 181, 189, 196};
    open(kDstW, kDstH);
    // A 32-bit picture whose pixel names its own column (low 9 bits) and row
    // from the top (the bits above).
    const BITMAPINFOHEADER header{40, kSrcW, kSrcH, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<uint32_t> bits(static_cast<size_t>(kSrcW) * kSrcH);
    for (int y = 0; y < kSrcH; ++y) {
        for (int x = 0; x < kSrcW; ++x) {
            bits[static_cast<size_t>(kSrcH - 1 - y) * kSrcW + x] = static_cast<uint32_t>((y << 9) | x);
        }
    }
    EXPECT_EQ(StretchDIBits(dc_, 0, 0, kDstW, kDstH, 0, 0, kSrcW, kSrcH, bits.data(),
                            reinterpret_cast<const BITMAPINFO*>(&header), DIB_RGB_COLORS, SRCCOPY),
              kSrcH);
    std::vector<int> kept_columns, kept_rows;
    for (int x = 0; x < kSrcW; ++x) {
        if (std::find(dropped_columns.begin(), dropped_columns.end(), x) == dropped_columns.end()) {
            kept_columns.push_back(x);
        }
    }
    for (int y = 0; y < kSrcH; ++y) {
        if (std::find(dropped_rows.begin(), dropped_rows.end(), y) == dropped_rows.end()) kept_rows.push_back(y);
    }
    ASSERT_EQ(kept_columns.size(), static_cast<size_t>(kDstW));
    ASSERT_EQ(kept_rows.size(), static_cast<size_t>(kDstH));
    std::vector<uint32_t> expected;
    for (int r = 0; r < kDstH; ++r) {
        for (int d = 0; d < kDstW; ++d)
            expected.push_back(static_cast<uint32_t>((kept_rows[r] << 9) | kept_columns[d]));
    }
    EXPECT_EQ(client(), expected);
}
