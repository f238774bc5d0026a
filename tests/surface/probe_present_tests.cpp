// Presenting surfaces onto a headless window and reading the pixels back.
#include <gtest/gtest.h>

#include <standin/probe.h>

#include <raster/raster.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "core_helpers.h"
#include "library_env.h"
#include "probe_helpers.h"
#include "raster/state.h"

using coretest::as_arg;
using coretest::call_is;
using coretest::call_names;
using coretest::kAny;
using raster::state;
namespace probe = standin::probe;

namespace {

constexpr uint32_t kUntouched = 0x00123456;

LRESULT CALLBACK plain_window(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

// The library set up the way the demo does it, on a window of its own DC.
class Present : public ::testing::Test {
  protected:
    void SetUp() override { probe::reset(); }
    void TearDown() override {
        probe::journal_enable(false);
        surface_deselect();
        for (int32_t slot = 0; slot < raster::kSlotCount; ++slot) {
            if (state.slot_bits[slot] != nullptr) surface_destroy(slot);
        }
        raster_shutdown();
        if (palette_ != nullptr) DeleteObject(palette_);
        if (window_ != nullptr) DestroyWindow(window_);
        probe::reset();
    }

    void open(int depth, int client_width, int client_height) {
        probe::set_display_depth(depth);
        probe::select_backend(probe::Backend::Headless);
        probe::set_client_size(client_width, client_height);
        WNDCLASSA wc{};
        wc.style = CS_OWNDC;
        wc.lpfnWndProc = plain_window;
        wc.lpszClassName = "CorePresent";
        ASSERT_NE(RegisterClassA(&wc), 0);
        window_ = CreateWindowExA(0, "CorePresent", "present", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 320,
                                  200, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
        dc_ = GetDC(window_);
        testenv::reset_library_state();
        set_window_dc(dc_);
        palette_ = palette_create();
        palette_realize(palette_);
        raster_init();
        probe::fill_client(window_, kUntouched);
    }

    // An 8-bit surface whose pixel (x, y) is an index that differs across
    // neighbouring rows and columns and stays within 10..245.
    int32_t patterned_surface(int32_t width, int32_t height) {
        const int32_t handle = testenv::make_selected_surface(width, height);
        EXPECT_GE(handle, 0);
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < state.slot_width[handle]; ++x) *testenv::pixel_address(handle, x, y) = index(x, y);
        }
        return handle;
    }
    static uint8_t index(int32_t x, int32_t y) { return static_cast<uint8_t>(10 + (x * 7 + y * 31) % 236); }

    uint32_t colour_of(uint8_t palette_index) const {
        const RGBQUAD& q = state.rgb_color_table[palette_index];
        return uint32_t{q.rgbRed} << 16 | uint32_t{q.rgbGreen} << 8 | q.rgbBlue;
    }

    std::vector<uint32_t> client(int* width, int* height) const { return probe::client_pixels(window_, width, height); }

    HWND window_ = nullptr;
    HDC dc_ = nullptr;
    HPALETTE palette_ = nullptr;
};

TEST_F(Present, WithoutAnActiveSurfaceNothingHappens) {
    open(32, 9, 5);
    probe::journal_take();
    probe::journal_enable(true);
    EXPECT_EQ(present(0, 8, 0, 4, 0, 8, 0, 4), RASTER_OK);
    EXPECT_TRUE(probe::journal_take().empty());
    int w = 0, h = 0;
    for (uint32_t pixel : client(&w, &h)) ASSERT_EQ(pixel, kUntouched);
}

TEST_F(Present, OneStretchModeAndOneStretchWithTheTabledArguments) {
    open(32, 20, 16);
    patterned_surface(9, 5);  // slot width 12
    probe::journal_take();
    probe::journal_enable(true);
    EXPECT_EQ(present(2, 6, 1, 3, 5, 14, 7, 12), RASTER_OK);
    const std::vector<coretest::Call> calls = probe::journal_take();
    ASSERT_EQ(calls.size(), 2u) << call_names(calls);
    EXPECT_TRUE(call_is(calls[0], "SetStretchBltMode", {as_arg(dc_), COLORONCOLOR}));
    EXPECT_TRUE(call_is(calls[1], "StretchDIBits",
                        {as_arg(dc_), 5, 7, 10, 6, 2, 1, 5, 3, as_arg(state.active_bits),
                         as_arg(state.active_bitmap_info), DIB_RGB_COLORS, static_cast<intptr_t>(SRCCOPY)}));
}

// The source is given top-down and the bitmap counts its rows bottom-up:
// the source row passed on is the bottom-up index of the lower edge, which
// here differs from either given row and from the upper edge's index.
TEST_F(Present, SourceRowIsTheBottomUpIndexOfTheLowerEdge) {
    open(32, 8, 8);
    patterned_surface(4, 7);
    for (const auto& [y1, y2] : {std::pair{0, 1}, std::pair{1, 4}, std::pair{5, 6}}) {
        probe::journal_take();
        probe::journal_enable(true);
        EXPECT_EQ(present(0, 3, y1, y2, 0, 7, 0, 7), RASTER_OK);
        const std::vector<coretest::Call> calls = probe::journal_take();
        ASSERT_EQ(calls.size(), 2u) << call_names(calls);
        EXPECT_TRUE(call_is(calls[1], "StretchDIBits",
                            {kAny, kAny, kAny, kAny, kAny, kAny, 6 - y2, kAny, y2 - y1 + 1, kAny, kAny, kAny, kAny}))
            << "rows " << y1 << ".." << y2;
    }
}

TEST_F(Present, EqualSizesCopyEveryPixelOneToOne) {
    open(32, 12, 5);
    patterned_surface(9, 5);
    SetStretchBltMode(dc_, HALFTONE);
    EXPECT_EQ(present(0, 11, 0, 4, 0, 11, 0, 4), RASTER_OK);
    EXPECT_EQ(probe::stretch_mode(dc_), COLORONCOLOR);
    int w = 0, h = 0;
    const std::vector<uint32_t> pixels = client(&w, &h);
    ASSERT_EQ(w, 12);
    ASSERT_EQ(h, 5);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 12; ++x) {
            ASSERT_EQ(pixels[y * 12 + x], colour_of(index(x, y))) << x << "," << y;
        }
    }
}

TEST_F(Present, DoublingMakesTwoByTwoBlocks) {
    open(32, 24, 10);
    patterned_surface(12, 5);
    EXPECT_EQ(present(0, 11, 0, 4, 0, 23, 0, 9), RASTER_OK);
    int w = 0, h = 0;
    const std::vector<uint32_t> pixels = client(&w, &h);
    ASSERT_EQ(pixels.size(), 240u);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 24; ++x) {
            ASSERT_EQ(pixels[y * 24 + x], colour_of(index(x / 2, y / 2))) << x << "," << y;
        }
    }
}

TEST_F(Present, HalvingDropsRowsAndColumnsInsteadOfBlending) {
    open(32, 6, 3);
    patterned_surface(12, 6);
    EXPECT_EQ(present(0, 11, 0, 5, 0, 5, 0, 2), RASTER_OK);
    int w = 0, h = 0;
    const std::vector<uint32_t> pixels = client(&w, &h);
    ASSERT_EQ(pixels.size(), 18u);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 6; ++x) {
            bool found = false;
            for (int sy : {2 * y, 2 * y + 1}) {
                for (int sx : {2 * x, 2 * x + 1}) found = found || pixels[y * 6 + x] == colour_of(index(sx, sy));
            }
            EXPECT_TRUE(found) << "client pixel " << x << "," << y << " is no surface pixel of its block";
        }
    }
}

TEST_F(Present, SourceRowsCountFromTheTop) {
    open(32, 12, 6);
    patterned_surface(12, 6);
    // The upper half of the surface onto the upper half of the window.
    EXPECT_EQ(present(0, 11, 0, 2, 0, 11, 0, 2), RASTER_OK);
    // One column, inclusive bounds: column 5 of rows 3..5 onto client column 9.
    EXPECT_EQ(present(5, 5, 3, 5, 9, 9, 3, 5), RASTER_OK);
    int w = 0, h = 0;
    const std::vector<uint32_t> pixels = client(&w, &h);
    ASSERT_EQ(pixels.size(), 72u);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 12; ++x) {
            uint32_t expected = kUntouched;
            if (y < 3) expected = colour_of(index(x, y));
            if (y >= 3 && x == 9) expected = colour_of(index(5, y));
            ASSERT_EQ(pixels[y * 12 + x], expected) << x << "," << y;
        }
    }
}

// On a palette display the surface holds indices into the window's palette,
// so a palette animation shows at the next present without touching pixels.
TEST_F(Present, PaletteAnimationShowsAtTheNextPresentOnAPaletteDisplay) {
    open(8, 8, 3);
    const int32_t handle = testenv::make_selected_surface(8, 3);
    ASSERT_GE(handle, 0);
    testenv::fill_surface(handle, 100);
    *testenv::pixel_address(handle, 2, 1) = 5;  // a static colour
    ASSERT_EQ(state.color_usage, static_cast<uint32_t>(DIB_PAL_COLORS));
    PALETTEENTRY static5{};
    probe::get_system_palette(5, 1, &static5);
    const uint32_t static_colour = uint32_t{static5.peRed} << 16 | uint32_t{static5.peGreen} << 8 | static5.peBlue;

    EXPECT_EQ(present(0, 7, 0, 2, 0, 7, 0, 2), RASTER_OK);
    int w = 0, h = 0;
    std::vector<uint32_t> pixels = client(&w, &h);
    ASSERT_EQ(pixels.size(), 24u);
    EXPECT_EQ(pixels[0], colour_of(100));
    EXPECT_EQ(pixels[1 * 8 + 2], static_colour);

    const uint8_t animated[3] = {10, 20, 30};
    ASSERT_EQ(set_palette_entries(100, 1, animated), RASTER_OK);
    EXPECT_EQ(present(0, 7, 0, 2, 0, 7, 0, 2), RASTER_OK);
    pixels = client(&w, &h);
    for (int i = 0; i < 24; ++i) {
        if (i == 1 * 8 + 2) {
            EXPECT_EQ(pixels[i], static_colour);
        } else {
            ASSERT_EQ(pixels[i], 0x000A141Eu) << "pixel " << i;
        }
    }
}

}  // namespace
