// The web display's 2D canvas draws a whole-window frame of an 8-bit bitmap
// with stretch_indexed, straight into R, G, B, A bytes, and must show what
// StretchDIBits puts in the window's framebuffer. Each case draws both ways:
// the call through a headless window of the destination's size, and
// stretch_indexed with colour words in the canvas's byte order into a
// buffer with sentinel words on both sides.
#include <gtest/gtest.h>
#include <standin/probe.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "headless_window.h"
#include "stretch/stretch.h"

namespace probe = standin::probe;

namespace {

constexpr uint32_t kSentinel = 0x5AA5C3E1;  // alpha 0x5A: no canvas word has it
constexpr size_t kMargin = 7;

// Table entry i: blue 255 - i tells the index back from a framebuffer pixel.
RGBQUAD entry(int i) {
    return RGBQUAD{static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 11), static_cast<BYTE>(i * 37), 0};
}

// The canvas's word for a framebuffer pixel 0x00RRGGBB: bytes R, G, B, 255.
uint32_t canvas_word(uint32_t xrgb) {
    return 0xFF000000u | ((xrgb & 0xFFu) << 16) | (xrgb & 0xFF00u) | ((xrgb >> 16) & 0xFFu);
}

struct Case {
    int width, height;  // the bitmap
    bool top_down;
    int x_src, y_src, src_width, src_height, dest_width, dest_height;
};

class StretchIndexed : public ::testing::Test {
  protected:
    void SetUp() override {
        probe::reset();
        probe::select_backend(probe::Backend::Headless);
    }
    void TearDown() override { probe::reset(); }

    void check(const Case& c) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + (c.top_down ? " top-down" : "") +
                     ", source " + std::to_string(c.x_src) + "," + std::to_string(c.y_src) + " " +
                     std::to_string(c.src_width) + "x" + std::to_string(c.src_height) + " onto " +
                     std::to_string(c.dest_width) + "x" + std::to_string(c.dest_height));
        const size_t stride = (static_cast<size_t>(c.width) + 3) / 4 * 4;
        std::vector<BYTE> bits(stride * static_cast<size_t>(c.height));
        uint32_t seed = static_cast<uint32_t>(c.dest_width * 31 + c.dest_height);
        for (BYTE& b : bits) {
            seed = seed * 1103515245u + 12345u;
            b = static_cast<BYTE>(seed >> 16);
        }
        std::vector<BYTE> info(40 + 256 * 4, 0);
        const BITMAPINFOHEADER header{40, c.width, c.top_down ? -c.height : c.height, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
        std::memcpy(info.data(), &header, sizeof header);
        uint32_t colours[256];
        for (int i = 0; i < 256; ++i) {
            const RGBQUAD q = entry(i);
            std::memcpy(info.data() + 40 + 4 * i, &q, 4);
            colours[i] = 0xFF000000u | (uint32_t{q.rgbBlue} << 16) | (uint32_t{q.rgbGreen} << 8) | q.rgbRed;
        }
        const auto* bitmap = reinterpret_cast<const BITMAPINFO*>(info.data());

        HWND hwnd = testwindow::headless_window("stretch-indexed", c.dest_width, c.dest_height);
        ASSERT_NE(hwnd, nullptr);
        probe::fill_client(hwnd, 0x123456);
        ASSERT_EQ(StretchDIBits(GetDC(hwnd), 0, 0, c.dest_width, c.dest_height, c.x_src, c.y_src, c.src_width,
                                c.src_height, bits.data(), bitmap, DIB_RGB_COLORS, SRCCOPY),
                  c.src_height);
        int w = 0, h = 0;
        const std::vector<uint32_t> window = probe::client_pixels(hwnd, &w, &h);
        ASSERT_EQ(window.size(), static_cast<size_t>(c.dest_width) * static_cast<size_t>(c.dest_height));

        standin::DibLayout dib;
        ASSERT_TRUE(standin::parse_dib(bitmap, DIB_RGB_COLORS, &dib));
        std::vector<uint32_t> canvas(window.size() + 2 * kMargin, kSentinel);
        standin::stretch_indexed(dib, bits.data(), c.x_src, c.y_src, c.src_width, c.src_height, c.dest_width,
                                 c.dest_height, colours, canvas.data() + kMargin);
        size_t wrong = 0, first = 0;
        for (size_t i = 0; i < window.size(); ++i) {
            if (canvas[kMargin + i] != canvas_word(window[i]) && wrong++ == 0) first = i;
        }
        EXPECT_EQ(wrong, 0u) << "first at x " << first % c.dest_width << ", y " << first / c.dest_width << ": got "
                             << std::hex << canvas[kMargin + first] << ", want " << canvas_word(window[first]);
        for (size_t i = 0; i < kMargin; ++i) {
            EXPECT_EQ(canvas[i], kSentinel) << "word " << i << " before the canvas";
            EXPECT_EQ(canvas[kMargin + window.size() + i], kSentinel) << "word " << i << " after the canvas";
        }
        DestroyWindow(hwnd);
    }
};

// The demo's frame onto client areas the page may have: one to one, odd
// enlargements each way, a shrink, and one large enough (16 MiB and more)
// for the stretch to stream its rows out.
TEST_F(StretchIndexed, DemoFrameMatchesTheWindowAtEverySize) {
    for (const auto& size : {std::pair<int, int>{320, 200}, {333, 217}, {1279, 719}, {157, 93}, {2100, 2000}}) {
        check(Case{320, 200, false, 0, 0, 320, 200, size.first, size.second});
    }
}

// Part of a bitmap, stored either way up, counted from its bottom row.
TEST_F(StretchIndexed, SourceRectanglesOfEitherRowOrder) {
    for (bool top_down : {false, true}) {
        check(Case{331, 211, top_down, 5, 3, 317, 199, 641, 403});
        check(Case{331, 211, top_down, 0, 11, 300, 200, 299, 150});
    }
}

}  // namespace
