// The kept frame: a display that draws whole-window frames of 8-bit bitmaps
// itself (the web page's canvas) keeps them instead of having StretchDIBits
// draw them into the framebuffer. Run here on the headless display's
// "kept-frames" kind, and on a KeptFrame of its own, against the pixels the
// plain headless display's StretchDIBits draws for the same calls.
#include <gtest/gtest.h>
#include <standin/probe.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "display/kept_frame.h"
#include "headless_window.h"

namespace probe = standin::probe;

namespace {

constexpr uint32_t kSentinel = 0x00C0FFEE;

// An 8-bit bitmap with a full colour table; entry i is blue 255 - i, green
// 11 i, red 37 i (bytes wrap), so that every index has its own colour.
struct Bitmap {
    std::vector<BYTE> info;
    std::vector<BYTE> bits;
    int width, height;

    Bitmap(int w, int h, bool top_down, uint32_t seed) : width(w), height(h) {
        info.assign(40 + 256 * 4, 0);
        const BITMAPINFOHEADER header{40, w, top_down ? -h : h, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
        std::memcpy(info.data(), &header, sizeof header);
        for (int i = 0; i < 256; ++i) {
            const RGBQUAD q{static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 11), static_cast<BYTE>(i * 37), 0};
            std::memcpy(info.data() + 40 + 4 * i, &q, 4);
        }
        bits.resize((static_cast<size_t>(w) + 3) / 4 * 4 * static_cast<size_t>(h));
        for (BYTE& b : bits) {
            seed = seed * 1103515245u + 12345u;
            b = static_cast<BYTE>(seed >> 16);
        }
    }
    const BITMAPINFO* header() const { return reinterpret_cast<const BITMAPINFO*>(info.data()); }
};

struct Draw {
    int x_dest, y_dest, dest_width, dest_height, x_src, y_src, src_width, src_height;
};

// Draws the calls in turn on a window of the backend's, asking for messages
// (which presents) after each when `present_each` is set; the client pixels.
std::vector<uint32_t> draw_on(probe::Backend backend, int width, int height, const Bitmap& bitmap,
                              const std::vector<Draw>& draws, bool present_each) {
    probe::reset();
    probe::select_backend(backend);
    HWND hwnd = testwindow::headless_window("kept-frame", width, height);
    EXPECT_NE(hwnd, nullptr);
    probe::fill_client(hwnd, kSentinel);
    for (const Draw& d : draws) {
        EXPECT_EQ(
            StretchDIBits(GetDC(hwnd), d.x_dest, d.y_dest, d.dest_width, d.dest_height, d.x_src, d.y_src, d.src_width,
                          d.src_height, bitmap.bits.data(), bitmap.header(), DIB_RGB_COLORS, SRCCOPY),
            d.src_height);
        MSG msg;
        if (present_each) PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    }
    int w = 0, h = 0;
    std::vector<uint32_t> pixels = probe::client_pixels(hwnd, &w, &h);
    DestroyWindow(hwnd);
    probe::reset();
    return pixels;
}

size_t differences(const std::vector<uint32_t>& got, const std::vector<uint32_t>& want) {
    if (got.size() != want.size()) return SIZE_MAX;
    size_t count = 0;
    for (size_t i = 0; i < got.size(); ++i) count += got[i] != want[i];
    return count;
}

class KeptFrames : public ::testing::Test {
  protected:
    void TearDown() override { probe::reset(); }
};

// A whole-window frame stays out of the framebuffer until the program next
// asks for messages, and then shows what the plain display drew at once:
// enlarged, shrunk, from part of a bitmap of either row order.
TEST_F(KeptFrames, WholeWindowFramesShowWhatStretchDIBitsDraws) {
    struct Case {
        int width, height;
        bool top_down;
        Draw draw;
    };
    for (const Case& c : {Case{320, 200, false, {0, 0, 333, 217, 0, 0, 320, 200}},
                          Case{320, 200, true, {0, 0, 157, 93, 0, 0, 320, 200}},
                          Case{331, 211, false, {0, 0, 641, 403, 5, 3, 317, 199}},
                          Case{331, 211, true, {0, 0, 299, 150, 0, 11, 300, 200}}}) {
        const Draw& d = c.draw;
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + (c.top_down ? " top-down" : "") +
                     " onto " + std::to_string(d.dest_width) + "x" + std::to_string(d.dest_height));
        const Bitmap bitmap(c.width, c.height, c.top_down, 7u * static_cast<uint32_t>(d.dest_width));
        const auto unshown = draw_on(probe::Backend::KeptFrames, d.dest_width, d.dest_height, bitmap, {d}, false);
        const std::vector<uint32_t> blank(static_cast<size_t>(d.dest_width) * d.dest_height, kSentinel);
        EXPECT_EQ(differences(unshown, blank), 0u) << "the kept frame reached the framebuffer before present";
        const auto want = draw_on(probe::Backend::Headless, d.dest_width, d.dest_height, bitmap, {d}, false);
        const auto got = draw_on(probe::Backend::KeptFrames, d.dest_width, d.dest_height, bitmap, {d}, true);
        EXPECT_EQ(differences(got, want), 0u);
    }
}

// Calls that are not whole-window frames go to the framebuffer at once, and
// one drawn over a kept frame lands on top of it (the frame settled first).
TEST_F(KeptFrames, OtherCallsDrawAtOnceOnTopOfTheKeptFrame) {
    const Bitmap bitmap(64, 48, false, 99u);
    const std::vector<Draw> draws = {
        {0, 0, 200, 120, 0, 0, 64, 48},  // whole window: kept
        {13, 9, 40, 30, 4, 2, 20, 15},   // part of it: drawn over the frame
        {0, 0, 199, 120, 0, 0, 64, 48},  // one column short of the width
        {0, 1, 200, 119, 0, 0, 64, 48},  // one row below the top
    };
    for (size_t n = 2; n <= draws.size(); ++n) {
        SCOPED_TRACE("first " + std::to_string(n) + " calls");
        const std::vector<Draw> some(draws.begin(), draws.begin() + static_cast<ptrdiff_t>(n));
        const auto want = draw_on(probe::Backend::Headless, 200, 120, bitmap, some, false);
        const auto got = draw_on(probe::Backend::KeptFrames, 200, 120, bitmap, some, false);
        EXPECT_EQ(differences(got, want), 0u) << "before present";
    }
}

// The frame is a copy: a program may change its bitmap and colours as soon
// as StretchDIBits returns.
TEST_F(KeptFrames, KeepsACopyOfTheBitmapAndItsColours) {
    Bitmap bitmap(40, 30, false, 5u);
    probe::select_backend(probe::Backend::KeptFrames);
    HWND hwnd = testwindow::headless_window("kept-copy", 90, 70);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_EQ(StretchDIBits(GetDC(hwnd), 0, 0, 90, 70, 0, 0, 40, 30, bitmap.bits.data(), bitmap.header(),
                            DIB_RGB_COLORS, SRCCOPY),
              30);
    const Bitmap original = bitmap;
    std::fill(bitmap.bits.begin(), bitmap.bits.end(), BYTE{0x5A});
    std::fill(bitmap.info.begin() + 40, bitmap.info.end(), BYTE{0xA5});
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    int w = 0, h = 0;
    const auto got = probe::client_pixels(hwnd, &w, &h);
    DestroyWindow(hwnd);
    const auto want = draw_on(probe::Backend::Headless, 90, 70, original, {{0, 0, 90, 70, 0, 0, 40, 30}}, false);
    EXPECT_EQ(differences(got, want), 0u);
}

// A 2 x 2 bitmap, bottom-up, indices 1 2 / 3 4 on screen, doubled onto
// 4 x 4: each index fills a 2 x 2 block, in the table's colour.
TEST_F(KeptFrames, DoubledPixelsByHand) {
    Bitmap bitmap(2, 2, false, 0u);
    const BYTE stored[] = {3, 4, 0, 0, 1, 2, 0, 0};  // bottom row first, rows 4 bytes apart
    bitmap.bits.assign(std::begin(stored), std::end(stored));
    const auto got = draw_on(probe::Backend::KeptFrames, 4, 4, bitmap, {{0, 0, 4, 4, 0, 0, 2, 2}}, true);
    // Entry i: red 37 i, green 11 i, blue 255 - i, as 0x00RRGGBB.
    const uint32_t c1 = 0x250BFE, c2 = 0x4A16FD, c3 = 0x6F21FC, c4 = 0x942CFB;
    const std::vector<uint32_t> want = {c1, c1, c2, c2, c1, c1, c2, c2, c3, c3, c4, c4, c3, c3, c4, c4};
    EXPECT_EQ(got, want);
}

// ---- the frame as the display draws it ----------------------------------

struct Client {
    standin::Window window;
    Client(int width, int height) {
        window.client_width = width;
        window.client_height = height;
        window.framebuffer.assign(static_cast<size_t>(width) * static_cast<size_t>(height), kSentinel);
    }
};

standin::StretchCall whole(const standin::Window& w, int x_src, int y_src, int src_width, int src_height,
                           const Bitmap& bitmap) {
    return standin::StretchCall{0,         0,          w.client_width,     w.client_height, x_src,          y_src,
                                src_width, src_height, bitmap.bits.data(), bitmap.header(), DIB_RGB_COLORS, SRCCOPY};
}

// The canvas's shader picks each pixel's source by the stretch rule from
// the frame's geometry and colours; read that way they give the pixels
// StretchDIBits draws.
TEST(KeptFrame, GeometryAndColoursGiveTheWindowsPixels) {
    for (bool top_down : {false, true}) {
        for (const Draw& d : {Draw{0, 0, 641, 403, 5, 3, 317, 199}, Draw{0, 0, 150, 97, 0, 11, 300, 200}}) {
            SCOPED_TRACE(std::string(top_down ? "top-down" : "bottom-up") + " onto " + std::to_string(d.dest_width));
            const Bitmap bitmap(331, 211, top_down, 3u);
            const auto want = draw_on(probe::Backend::Headless, d.dest_width, d.dest_height, bitmap, {d}, false);
            Client client(d.dest_width, d.dest_height);
            standin::DibLayout dib;
            ASSERT_TRUE(standin::parse_dib(bitmap.header(), DIB_RGB_COLORS, &dib));
            standin::KeptFrame frame;
            ASSERT_TRUE(frame.keep(client.window,
                                   whole(client.window, d.x_src, d.y_src, d.src_width, d.src_height, bitmap), dib));
            ASSERT_TRUE(frame.covers(client.window));
            const standin::FrameGeometry& g = frame.geometry();
            auto pick = [](int at, int s, int n, int bias) { return (2 * s * at + bias) / (2 * n); };
            size_t wrong = 0;
            for (int y = 0; y < g.dest_height; ++y) {
                const int row = pick(y, g.src_height, g.dest_height,
                                     g.src_height < g.dest_height ? g.src_height - 1 : g.dest_height);
                for (int x = 0; x < g.dest_width; ++x) {
                    const int column =
                        pick(x, g.src_width, g.dest_width,
                             g.src_width < g.dest_width ? g.src_width - 1 : 2 * g.src_width - g.dest_width);
                    const size_t at = static_cast<size_t>(g.top_row + g.row_step * row) * frame.stride() +
                                      static_cast<size_t>(g.x_src + column);
                    const uint8_t* c = frame.colours() + 4 * frame.bits()[at];
                    const uint32_t xrgb = (uint32_t{c[0]} << 16) | (uint32_t{c[1]} << 8) | c[2];
                    wrong += c[3] != 255 || xrgb != want[static_cast<size_t>(y) * g.dest_width + x];
                }
            }
            EXPECT_EQ(wrong, 0u);
            // The client framebuffer is untouched until the frame settles.
            EXPECT_EQ(client.window.framebuffer[0], kSentinel);
            frame.settle(client.window);
            EXPECT_FALSE(frame.covers(client.window));
            EXPECT_EQ(
                differences(std::vector<uint32_t>(client.window.framebuffer.begin(), client.window.framebuffer.end()),
                            want),
                0u);
        }
    }
}

// A frame kept for one size and settled after the window changed size
// lands as it was drawn, cut to the new client area, its top-left corner
// in place; the rest of the framebuffer is left alone.
TEST(KeptFrame, SettledAfterAResizeIsCutToTheClientArea) {
    const Bitmap bitmap(64, 48, false, 11u);
    const Draw d{0, 0, 120, 90, 0, 0, 64, 48};
    const auto drawn = draw_on(probe::Backend::Headless, 120, 90, bitmap, {d}, false);
    for (const auto& size : {std::pair<int, int>{100, 130}, {150, 40}}) {
        SCOPED_TRACE(std::to_string(size.first) + "x" + std::to_string(size.second));
        Client client(120, 90);
        standin::DibLayout dib;
        ASSERT_TRUE(standin::parse_dib(bitmap.header(), DIB_RGB_COLORS, &dib));
        standin::KeptFrame frame;
        ASSERT_TRUE(frame.keep(client.window, whole(client.window, 0, 0, 64, 48, bitmap), dib));
        client.window.client_width = size.first;
        client.window.client_height = size.second;
        client.window.framebuffer.assign(static_cast<size_t>(size.first) * size.second, kSentinel);
        EXPECT_FALSE(frame.covers(client.window));
        frame.settle(client.window);
        size_t wrong = 0;
        for (int y = 0; y < size.second; ++y) {
            for (int x = 0; x < size.first; ++x) {
                const uint32_t want = x < 120 && y < 90 ? drawn[static_cast<size_t>(y) * 120 + x] : kSentinel;
                wrong += client.window.framebuffer[static_cast<size_t>(y) * size.first + x] != want;
            }
        }
        EXPECT_EQ(wrong, 0u);
    }
}

// What is left to the framebuffer: a bitmap wider or taller than the
// display takes, colours from a palette, a rule whose numbers overflow the
// shader's 32 bits (2 S (D + 1) from 2^31 on), a destination off the
// client area's size.
TEST(KeptFrame, LeavesWhatTheDisplayCannotDraw) {
    standin::DibLayout dib;
    {
        const Bitmap bitmap(64, 48, false, 1u);
        ASSERT_TRUE(standin::parse_dib(bitmap.header(), DIB_RGB_COLORS, &dib));
        Client client(100, 80);
        standin::KeptFrame frame;
        frame.set_largest_bitmap(64);
        EXPECT_TRUE(frame.keep(client.window, whole(client.window, 0, 0, 64, 48, bitmap), dib));
        frame.set_largest_bitmap(63);
        EXPECT_FALSE(frame.keep(client.window, whole(client.window, 0, 0, 64, 48, bitmap), dib));
        frame.set_largest_bitmap(standin::KeptFrame::kAnySize);
        standin::StretchCall call = whole(client.window, 0, 0, 64, 48, bitmap);
        call.usage = DIB_PAL_COLORS;
        EXPECT_FALSE(frame.keep(client.window, call, dib));
        call = whole(client.window, 0, 0, 64, 48, bitmap);
        call.dest_width = 99;
        EXPECT_FALSE(frame.keep(client.window, call, dib));
    }
    // 2 x 40000 x 26843 is just below 2^31, 2 x 40000 x 26844 just above.
    const Bitmap wide(40000, 1, false, 2u);
    ASSERT_TRUE(standin::parse_dib(wide.header(), DIB_RGB_COLORS, &dib));
    Client fits(26842, 1), overflows(26843, 1);
    standin::KeptFrame frame;
    EXPECT_TRUE(frame.keep(fits.window, whole(fits.window, 0, 0, 40000, 1, wide), dib));
    EXPECT_FALSE(frame.keep(overflows.window, whole(overflows.window, 0, 0, 40000, 1, wide), dib));
}

}  // namespace
