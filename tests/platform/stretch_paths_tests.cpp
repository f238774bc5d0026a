// StretchDIBits takes different routes for one-to-one copies, doublings,
// other enlargements (runs of 1-4, 5-8, 9-12 and longer columns, runs of
// one length eight at a time where the processor has AVX2), shrinks,
// destinations wider than its column band, destinations large enough to be
// streamed out, and (with AVX2) enlargements down the picture, whose rows
// are made aside and stored out at any alignment. Each route is checked here
// pixel for pixel against the simplest route there is: the same call seen
// through a window one column wide, which draws a single destination column
// at a time. Which source pixel a column shows is the sampling rule's
// business (stretch_tests.cpp checks it); here every wide route must agree with
// the narrow one, on a sentinel-filled client area so that a store past a
// row's end or outside the destination rectangle shows.
#include <gtest/gtest.h>
#include <standin/probe.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "headless_window.h"

namespace probe = standin::probe;

namespace {

constexpr uint32_t kSentinel = 0xA5C3E1;  // no table colour or decoded pixel below equals it

uint32_t table_colour(int i) {
    return (static_cast<uint32_t>(i * 37 & 0xFF) << 16) | (static_cast<uint32_t>(i * 11 & 0xFF) << 8) |
           static_cast<uint32_t>(255 - i);
}

// A bitmap of one depth with pseudo-random bytes (every column distinct in
// practice), its BITMAPINFO with a colour table of table_colour() entries.
struct Dib {
    int width = 0;
    int height = 0;
    int bpp = 8;
    bool top_down = false;
    size_t stride = 0;
    std::vector<BYTE> bits;
    std::vector<BYTE> info;  // header plus table

    Dib(int w, int h, int depth, bool down, uint32_t seed) : width(w), height(h), bpp(depth), top_down(down) {
        stride = ((static_cast<size_t>(w) * depth + 31) / 32) * 4;
        bits.resize(stride * h);
        for (BYTE& b : bits) {
            seed = seed * 1103515245u + 12345u;
            b = static_cast<BYTE>(seed >> 16);
        }
        const int colours = depth <= 8 ? 1 << depth : 0;
        info.assign(40 + 4 * static_cast<size_t>(colours), 0);
        BITMAPINFOHEADER hd{40, w, down ? -h : h, 1, static_cast<WORD>(depth), BI_RGB, 0, 0, 0, 0, 0};
        std::memcpy(info.data(), &hd, sizeof hd);
        for (int i = 0; i < colours; ++i) {
            const uint32_t c = table_colour(i);
            const RGBQUAD q{static_cast<BYTE>(c), static_cast<BYTE>(c >> 8), static_cast<BYTE>(c >> 16), 0};
            std::memcpy(info.data() + 40 + 4 * i, &q, 4);
        }
    }
};

struct Call {
    int x_dest, y_dest, dest_width, dest_height, x_src, y_src, src_width, src_height;
};

class StretchPaths : public ::testing::Test {
  protected:
    void SetUp() override {
        probe::reset();
        probe::select_backend(probe::Backend::Headless);
    }
    void TearDown() override { probe::reset(); }

    HWND make_window(int width, int height) { return testwindow::headless_window("stretch-paths", width, height); }

    void open(int width, int height) {
        client_width_ = width;
        client_height_ = height;
        hwnd_ = make_window(width, height);
        column_hwnd_ = make_window(1, height);
        ASSERT_NE(hwnd_, nullptr);
        ASSERT_NE(column_hwnd_, nullptr);
        dc_ = GetDC(hwnd_);
        column_dc_ = GetDC(column_hwnd_);
    }

    int draw(HDC dc, const Dib& dib, const Call& c, int shift) {
        return StretchDIBits(dc, c.x_dest - shift, c.y_dest, c.dest_width, c.dest_height, c.x_src, c.y_src, c.src_width,
                             c.src_height, dib.bits.data(), reinterpret_cast<const BITMAPINFO*>(dib.info.data()),
                             DIB_RGB_COLORS, SRCCOPY);
    }

    // The client area after the call, against the call drawn one client
    // column at a time through the one-column window.
    void check(const Dib& dib, const Call& c) {
        SCOPED_TRACE(std::to_string(dib.bpp) + "-bit " + std::to_string(dib.width) + "x" + std::to_string(dib.height) +
                     (dib.top_down ? " top-down" : "") + ", source " + std::to_string(c.x_src) + "," +
                     std::to_string(c.y_src) + " " + std::to_string(c.src_width) + "x" + std::to_string(c.src_height) +
                     " onto " + std::to_string(c.x_dest) + "," + std::to_string(c.y_dest) + " " +
                     std::to_string(c.dest_width) + "x" + std::to_string(c.dest_height) + " in a " +
                     std::to_string(client_width_) + "x" + std::to_string(client_height_) + " client");
        std::vector<uint32_t> expected(static_cast<size_t>(client_width_) * client_height_, kSentinel);
        for (int x = 0; x < client_width_; ++x) {
            if (x < c.x_dest || x >= static_cast<int64_t>(c.x_dest) + c.dest_width) continue;
            probe::fill_client(column_hwnd_, kSentinel);
            ASSERT_EQ(draw(column_dc_, dib, c, x), c.src_height);
            int w = 0, h = 0;
            const std::vector<uint32_t> column = probe::client_pixels(column_hwnd_, &w, &h);
            ASSERT_EQ(column.size(), static_cast<size_t>(client_height_));
            for (int y = 0; y < client_height_; ++y) expected[static_cast<size_t>(y) * client_width_ + x] = column[y];
        }
        probe::fill_client(hwnd_, kSentinel);
        ASSERT_EQ(draw(dc_, dib, c, 0), c.src_height);
        int w = 0, h = 0;
        const std::vector<uint32_t> got = probe::client_pixels(hwnd_, &w, &h);
        ASSERT_EQ(got.size(), expected.size());
        size_t wrong = 0;
        size_t first = 0;
        for (size_t i = 0; i < got.size(); ++i) {
            if (got[i] != expected[i] && wrong++ == 0) first = i;
        }
        EXPECT_EQ(wrong, 0u) << "first at x " << first % client_width_ << ", y " << first / client_width_ << ": got "
                             << std::hex << got[first] << ", want " << expected[first];
        // The narrow route drew something: not every pixel is the sentinel.
        EXPECT_NE(std::count(expected.begin(), expected.end(), kSentinel), static_cast<long>(expected.size()));
    }

    HWND hwnd_ = nullptr;
    HWND column_hwnd_ = nullptr;
    HDC dc_ = nullptr;
    HDC column_dc_ = nullptr;
    int client_width_ = 0;
    int client_height_ = 0;
};

// Destination widths against a 37-column source give every route: 37 (one to
// one), 74 (doubled), 111, 148, 185, 222, 259, 296, 333, 370 and 407 (runs
// all 3, 4, 5, 6, 7, 8, 9, 10 and 11 long), 203 (5 and 6), 290 (7 and 8), 555 (15), 23
// and 9 (shrinks), and sizes too narrow for a whole 16-byte store.
TEST_F(StretchPaths, EveryWidthRouteOfEveryDepthMatchesColumnByColumnDrawing) {
    open(600, 61);
    for (int bpp : {1, 4, 8, 16, 24, 32}) {
        const Dib dib(41, 23, bpp, false, 7u + static_cast<uint32_t>(bpp));
        for (int dest_width :
             {37, 74, 111, 148, 185, 222, 259, 296, 333, 370, 203, 290, 407, 555, 23, 9, 1, 2, 3, 5, 6, 7}) {
            check(dib, Call{3, 2, dest_width, 57, 2, 1, 37, 19});
        }
    }
}

// The destination rectangle stops short of the client's right edge and of
// its last row: stores that ran past a row's end would hit sentinel pixels.
TEST_F(StretchPaths, StoresStayInsideTheDestinationRectangle) {
    open(97, 40);
    const Dib dib(13, 7, 8, false, 99u);
    for (int dest_width : {13, 26, 27, 39, 41, 53, 67, 79, 90, 91}) {
        check(dib, Call{1, 3, dest_width, 29, 0, 0, 13, 7});
        check(dib, Call{96 - dest_width, 0, dest_width, 39, 0, 0, 13, 7});
    }
}

// Rows: repeated rows are copies of the row above, dropped rows are skipped,
// whatever the source window and row order.
TEST_F(StretchPaths, RowRepeatsAndDropsMatchColumnByColumnDrawing) {
    open(64, 140);
    for (bool top_down : {false, true}) {
        const Dib dib(16, 31, 8, top_down, 5u);
        for (int dest_height : {1, 2, 17, 29, 31, 62, 93, 139}) check(dib, Call{4, 0, 48, dest_height, 1, 2, 12, 29});
    }
}

// Clipping on every side: the part inside the client area is drawn exactly as
// the unclipped call would draw it there.
TEST_F(StretchPaths, ClippedRectanglesKeepTheirSampling) {
    open(50, 30);
    const Dib dib(19, 11, 24, false, 3u);
    check(dib, Call{-7, -5, 77, 49, 1, 1, 17, 9});
    check(dib, Call{-13, 4, 38, 22, 2, 0, 17, 11});
    check(dib, Call{20, -9, 61, 33, 0, 2, 19, 9});
    check(dib, Call{-3, -2, 11, 7, 0, 0, 19, 11});
    // Runs all six long but the first, which the clip cuts short.
    check(dib, Call{-7, 0, 102, 30, 1, 0, 17, 11});
}

// Destinations wider than the stretch's column band (2048 columns), clipped
// so that the visible part starts inside the band, in both directions.
TEST_F(StretchPaths, WideDestinationsAcrossColumnBands) {
    open(4600, 3);
    const Dib dib(700, 2, 8, false, 11u);
    check(dib, Call{0, 0, 4600, 3, 0, 0, 700, 2});
    check(dib, Call{-1500, 0, 6001, 3, 3, 0, 697, 2});
    check(dib, Call{5, 0, 4590, 3, 0, 0, 700, 2});
    const Dib wide(5000, 2, 8, false, 12u);
    check(wide, Call{0, 0, 4600, 3, 0, 0, 5000, 2});
    check(wide, Call{-2100, 0, 4700, 2, 200, 0, 4700, 2});
}

// Destinations of 16 MiB and more are made a row at a time aside and then
// streamed out, on rows that start at any alignment; enlarged, shrunk and
// clipped, they must show what narrower calls show.
TEST_F(StretchPaths, LargeDestinationsMatchColumnByColumnDrawing) {
    open(4099, 1025);
    const Dib dib(37, 23, 8, false, 21u);
    check(dib, Call{1, 0, 4098, 1025, 2, 1, 33, 21});
    const Dib tall(29, 1100, 24, true, 22u);
    check(tall, Call{-3, 0, 4102, 1025, 0, 3, 29, 1097});
}

}  // namespace
