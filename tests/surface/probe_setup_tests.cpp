// Setting the library up and down, watched through the stand-in's journal.
#include <gtest/gtest.h>

#include <standin/probe.h>

#include <raster/raster.h>

#include <cstdint>
#include <vector>

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

using LibrarySetup = coretest::ProbeTest;

TEST_F(LibrarySetup, InitSettingsFollowTheDisplayDepth) {
    struct Case {
        int depth, reported;
        uint32_t usage, info_size;
    };
    for (const Case c : {Case{4, 4, 1, 552}, Case{8, 8, 1, 552}, Case{15, 16, 0, 1064}, Case{16, 16, 0, 1064},
                         Case{24, 24, 0, 1064}, Case{32, 32, 0, 1064}}) {
        SCOPED_TRACE(c.depth);
        probe::reset();
        probe::set_display_depth(c.depth);
        testenv::reset_library_state();
        HDC screen = GetDC(nullptr);
        set_window_dc(screen);
        EXPECT_EQ(raster_init(), RASTER_OK);
        EXPECT_EQ(device_color_bits(), c.reported);
        EXPECT_EQ(state.color_usage, c.usage);
        EXPECT_EQ(state.bitmap_info_size, c.info_size);
        EXPECT_EQ(state.header_size, 40u);
        EXPECT_EQ(raster_shutdown(), RASTER_OK);
        ReleaseDC(nullptr, screen);
    }
}

TEST_F(LibrarySetup, InitCallsTheFontTheDisplayTheDcAndTheVersionInOrder) {
    testenv::reset_library_state();
    HDC window = GetDC(nullptr);
    set_window_dc(window);
    state.graphics_x = 5;
    state.active_slot = 3;
    state.slot_bits[7] = state.work_buffer;
    state.slot_width[7] = 44;
    watch_from_here();
    EXPECT_EQ(raster_init(), RASTER_OK);
    const std::vector<coretest::Call> calls = take();
    ASSERT_EQ(calls.size(), 9u) << call_names(calls);
    EXPECT_TRUE(call_is(calls[0], "GetStockObject", {OEM_FIXED_FONT}));
    EXPECT_TRUE(call_is(calls[1], "SelectObject", {as_arg(window), calls[0].result}));
    EXPECT_TRUE(call_is(calls[2], "GetTextMetricsA", {as_arg(window), as_arg(state.scratch_area)}));
    EXPECT_TRUE(call_is(calls[3], "GetDC", {0}));
    EXPECT_TRUE(call_is(calls[4], "GetDeviceCaps", {calls[3].result, BITSPIXEL}));
    EXPECT_TRUE(call_is(calls[5], "GetDeviceCaps", {calls[3].result, PLANES}));
    EXPECT_TRUE(call_is(calls[6], "ReleaseDC", {0, calls[3].result}));
    EXPECT_TRUE(call_is(calls[7], "CreateCompatibleDC", {0}));
    EXPECT_TRUE(call_is(calls[8], "GetVersion", {}));

    EXPECT_EQ(as_arg(state.font_handle), calls[0].result);
    EXPECT_EQ(as_arg(state.memory_dc), calls[7].result);
    EXPECT_EQ(state.nt_platform, (static_cast<DWORD>(calls[8].result) & 0x80000000u) ? 0 : 1);
    TEXTMETRICA metrics{};
    ASSERT_TRUE(GetTextMetricsA(window, &metrics));
    EXPECT_EQ(state.line_height, metrics.tmHeight + metrics.tmExternalLeading);
    EXPECT_EQ(state.external_leading, metrics.tmExternalLeading);
    EXPECT_EQ(state.char_width, metrics.tmAveCharWidth);
    EXPECT_EQ(state.slot_bits[7], nullptr);
    EXPECT_EQ(state.slot_width[7], 44);  // stale, not cleared
    EXPECT_EQ(state.active_slot, -1);
    EXPECT_EQ(state.graphics_x, 0);
    EXPECT_EQ(state.work_buffer_pointer, state.work_buffer);
    EXPECT_EQ(state.work_buffer_size, 4096u);

    probe::journal_enable(false);
    raster_shutdown();
    ReleaseDC(nullptr, window);
}

TEST_F(LibrarySetup, ShutdownWaitsForTheLastSurfaceAndActsOnce) {
    start(32);
    const int32_t a = surface_create(5, 3);
    const int32_t b = surface_create(6, 2);
    ASSERT_EQ(surface_select(a), RASTER_OK);
    ASSERT_EQ(surface_deselect(), RASTER_OK);
    HDC memory = state.memory_dc;
    HPALETTE saved = state.saved_palette;
    ASSERT_NE(saved, nullptr);
    watch_from_here();

    surface_destroy(a);
    take();
    EXPECT_EQ(raster_shutdown(), RASTER_OK);
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(state.memory_dc, memory);

    surface_destroy(b);
    take();
    EXPECT_EQ(raster_shutdown(), RASTER_OK);
    const std::vector<coretest::Call> calls = take();
    ASSERT_EQ(calls.size(), 2u) << call_names(calls);
    EXPECT_TRUE(call_is(calls[0], "SelectPalette", {as_arg(state.window_dc), as_arg(saved), FALSE}));
    EXPECT_TRUE(call_is(calls[1], "DeleteDC", {as_arg(memory)}));
    EXPECT_EQ(state.memory_dc, nullptr);
    EXPECT_EQ(state.active_slot, -1);
    EXPECT_EQ(probe::selected_palette(state.window_dc), saved);
    EXPECT_EQ(state.saved_palette, saved);  // never cleared

    // Again: the palette goes back once more, the DC is not deleted twice.
    EXPECT_EQ(raster_shutdown(), RASTER_OK);
    const std::vector<coretest::Call> again = take();
    EXPECT_EQ(call_names(again), "SelectPalette");
}

TEST_F(LibrarySetup, ShutdownWithoutARealizedPaletteSelectsNoPalette) {
    testenv::reset_library_state();
    HDC window = GetDC(nullptr);
    set_window_dc(window);
    raster_init();
    HDC memory = state.memory_dc;
    watch_from_here();
    EXPECT_EQ(raster_shutdown(), RASTER_OK);
    const std::vector<coretest::Call> calls = take();
    ASSERT_EQ(calls.size(), 1u) << call_names(calls);
    EXPECT_TRUE(call_is(calls[0], "DeleteDC", {as_arg(memory)}));
    probe::journal_enable(false);
    ReleaseDC(nullptr, window);
}

TEST_F(LibrarySetup, TheWindowsOwnPaletteIsTheOneRestored) {
    testenv::reset_library_state();
    HDC window = GetDC(nullptr);
    set_window_dc(window);
    const HPALETTE original = probe::selected_palette(window);
    HPALETTE first = palette_create();
    HPALETTE second = palette_create();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);

    watch_from_here();
    EXPECT_EQ(palette_realize(first), RASTER_OK);
    EXPECT_EQ(palette_realize(second), RASTER_OK);
    const std::vector<coretest::Call> calls = take();
    ASSERT_EQ(calls.size(), 4u) << call_names(calls);
    EXPECT_TRUE(call_is(calls[0], "SelectPalette", {as_arg(window), as_arg(first), FALSE}));
    EXPECT_TRUE(call_is(calls[1], "RealizePalette", {as_arg(window)}));
    EXPECT_TRUE(call_is(calls[2], "SelectPalette", {as_arg(window), as_arg(second), FALSE}));
    EXPECT_TRUE(call_is(calls[3], "RealizePalette", {as_arg(window)}));
    EXPECT_EQ(state.saved_palette, original);
    EXPECT_EQ(state.realized_palette, second);
    probe::journal_enable(false);

    raster_init();
    raster_shutdown();
    EXPECT_EQ(probe::selected_palette(window), original);
    DeleteObject(first);
    DeleteObject(second);
    ReleaseDC(nullptr, window);
}

}  // namespace
