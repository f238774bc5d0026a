// The palette on displays with and without a hardware palette, watched
// through the stand-in.
#include <gtest/gtest.h>

#include <standin/probe.h>

#include <raster/raster.h>

#include <cstdint>
#include <vector>

#include "core_helpers.h"
#include "library_env.h"
#include "probe_helpers.h"
#include "raster/state.h"

using coretest::as_arg;
using coretest::call_is;
using coretest::call_names;
using coretest::read16;
using raster::state;
namespace probe = standin::probe;

namespace {

using ProbePalette = coretest::ProbeTest;

// A system palette whose every entry, flags included, is recognisable.
std::vector<PALETTEENTRY> marked_system_palette() {
    std::vector<PALETTEENTRY> entries(256);
    for (int i = 0; i < 256; ++i) {
        entries[i] = PALETTEENTRY{static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>(i ^ 0x5A),
                                  static_cast<BYTE>(i % 3 == 0 ? 0 : PC_NOCOLLAPSE)};
    }
    return entries;
}

::testing::AssertionResult from_default(int first, int last) {
    for (int i = first; i <= last; ++i) {
        const PALETTEENTRY& e = state.logical_palette.palPalEntry[i];
        const uint8_t* d = &raster::default_palette[i * 3];
        if (e.peRed != d[0] || e.peGreen != d[1] || e.peBlue != d[2] || e.peFlags != PC_RESERVED) {
            return ::testing::AssertionFailure() << "entry " << i << " is not the default colour";
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult from_system(const std::vector<PALETTEENTRY>& system, int first, int system_first,
                                       int count) {
    for (int i = 0; i < count; ++i) {
        if (!coretest::same_bytes(&system[system_first + i], &state.logical_palette.palPalEntry[first + i], 4)) {
            return ::testing::AssertionFailure()
                   << "entry " << first + i << " is not system entry " << system_first + i;
        }
    }
    return ::testing::AssertionSuccess();
}

TEST_F(ProbePalette, DeepDisplayTakesTheWholeDefaultPalette) {
    probe::set_display_depth(32);
    testenv::reset_library_state();
    watch_from_here();
    HPALETTE palette = palette_create();
    const std::vector<coretest::Call> calls = take();
    ASSERT_EQ(calls.size(), 5u) << call_names(calls);
    EXPECT_EQ(call_names(calls), "GetDC GetDeviceCaps GetDeviceCaps ReleaseDC CreatePalette");
    EXPECT_TRUE(call_is(calls[4], "CreatePalette", {as_arg(&state.logical_palette)}));
    EXPECT_EQ(as_arg(palette), calls[4].result);

    EXPECT_TRUE(from_default(0, 255));
    const RGBQUAD black{0, 0, 0, 0}, blue{255, 0, 0, 0}, white{255, 255, 255, 0};
    EXPECT_TRUE(coretest::same_bytes(&black, &state.rgb_color_table[0], 4));
    EXPECT_TRUE(coretest::same_bytes(&blue, &state.rgb_color_table[30], 4));
    EXPECT_TRUE(coretest::same_bytes(&white, &state.rgb_color_table[255], 4));
    DeleteObject(palette);
}

TEST_F(ProbePalette, EightBitDisplayKeepsTheStaticColours) {
    probe::set_display_depth(8);
    const std::vector<PALETTEENTRY> system = marked_system_palette();
    probe::set_system_palette(0, 256, system.data());
    testenv::reset_library_state();
    watch_from_here();
    HPALETTE palette = palette_create();
    const std::vector<coretest::Call> calls = take();
    ASSERT_EQ(calls.size(), 9u) << call_names(calls);
    EXPECT_TRUE(call_is(calls[4], "GetDC", {0}));
    EXPECT_TRUE(call_is(calls[5], "GetSystemPaletteEntries",
                        {calls[4].result, 0, 10, as_arg(&state.logical_palette.palPalEntry[0])}));
    EXPECT_TRUE(call_is(calls[6], "GetSystemPaletteEntries",
                        {calls[4].result, 246, 10, as_arg(&state.logical_palette.palPalEntry[246])}));
    EXPECT_TRUE(call_is(calls[7], "ReleaseDC", {0, calls[4].result}));
    EXPECT_EQ(calls[8].function, "CreatePalette");

    EXPECT_TRUE(from_system(system, 0, 0, 10));
    EXPECT_TRUE(from_system(system, 246, 246, 10));
    EXPECT_TRUE(from_default(10, 245));
    for (int i = 0; i < 256; ++i) {
        const PALETTEENTRY& e = state.logical_palette.palPalEntry[i];
        const RGBQUAD quad{e.peBlue, e.peGreen, e.peRed, 0};
        ASSERT_TRUE(coretest::same_bytes(&quad, &state.rgb_color_table[i], 4)) << "entry " << i;
    }
    DeleteObject(palette);
}

TEST_F(ProbePalette, SixteenColourDisplayKeepsEightAtEachEnd) {
    probe::set_display_depth(4);
    const std::vector<PALETTEENTRY> system = marked_system_palette();
    probe::set_system_palette(0, 256, system.data());
    testenv::reset_library_state();
    watch_from_here();
    HPALETTE palette = palette_create();
    const std::vector<coretest::Call> calls = take();
    ASSERT_EQ(calls.size(), 9u) << call_names(calls);
    EXPECT_TRUE(call_is(calls[5], "GetSystemPaletteEntries",
                        {calls[4].result, 0, 8, as_arg(&state.logical_palette.palPalEntry[0])}));
    EXPECT_TRUE(call_is(calls[6], "GetSystemPaletteEntries",
                        {calls[4].result, 8, 8, as_arg(&state.logical_palette.palPalEntry[248])}));
    // What the device reports for its sixteen entries, asked the same way.
    std::vector<PALETTEENTRY> device(16);
    HDC screen = GetDC(nullptr);
    ASSERT_EQ(GetSystemPaletteEntries(screen, 0, 16, device.data()), 16u);
    ReleaseDC(nullptr, screen);
    EXPECT_TRUE(from_system(device, 0, 0, 8));
    EXPECT_TRUE(from_system(device, 248, 8, 8));
    EXPECT_TRUE(from_default(8, 247));
    DeleteObject(palette);
}

TEST_F(ProbePalette, EntriesAnimateTheRealizedPaletteOnEveryDisplay) {
    for (int depth : {8, 32}) {
        SCOPED_TRACE(depth);
        probe::reset();
        start(depth);
        const int32_t handle = testenv::make_selected_surface(7, 3);
        ASSERT_GE(handle, 0);
        const std::vector<uint8_t> info_before(state.slot_bitmap_info[handle],
                                               state.slot_bitmap_info[handle] + state.bitmap_info_size);
        const uint8_t rgb[9] = {10, 20, 30, 40, 50, 60, 70, 80, 90};
        watch_from_here();
        EXPECT_EQ(set_palette_entries(20, 3, rgb), RASTER_OK);
        const std::vector<coretest::Call> calls = take();
        ASSERT_EQ(calls.size(), 1u) << call_names(calls);
        EXPECT_TRUE(call_is(calls[0], "AnimatePalette",
                            {as_arg(palette_), 20, 3, as_arg(&state.logical_palette.palPalEntry[20])}));
        const uint8_t* table = state.slot_bitmap_info[handle] + 40;
        if (depth == 8) {
            // The table holds indices into the window's palette and stays so.
            EXPECT_TRUE(coretest::same_bytes(info_before.data(), state.slot_bitmap_info[handle], 552));
        } else {
            EXPECT_EQ(table[21 * 4 + 0], 60);  // blue, green, red of entry 21
            EXPECT_EQ(table[21 * 4 + 1], 50);
            EXPECT_EQ(table[21 * 4 + 2], 40);
        }
        probe::journal_enable(false);
        testenv::stop_library(palette_);
        started_ = false;
    }
}

TEST_F(ProbePalette, TwoHundredFiftySixReservedEntriesTakeTheFreeSlotsOfAnEightBitDisplay) {
    // Made on a deep display, the palette has every entry reserved for
    // animation; its colours are then all set, and the display turns to 8
    // bits. Entry 4 has static colour 2's colour: a reserved entry takes a
    // slot of its own all the same.
    start(32);
    ASSERT_GE(testenv::make_selected_surface(5, 3), 0);
    const std::vector<PALETTEENTRY> system = marked_system_palette();
    std::vector<uint8_t> rgb(768);
    for (int i = 0; i < 256; ++i) {
        rgb[i * 3 + 0] = static_cast<uint8_t>(i);
        rgb[i * 3 + 1] = static_cast<uint8_t>(i * 7 + 1);
        rgb[i * 3 + 2] = static_cast<uint8_t>(255 - i);
    }
    rgb[12] = 2;
    rgb[13] = 253;
    rgb[14] = 2 ^ 0x5A;
    ASSERT_EQ(set_palette_entries(0, 256, rgb.data()), RASTER_OK);
    probe::set_display_depth(8);
    probe::set_system_palette(0, 256, system.data());

    watch_from_here();
    EXPECT_EQ(palette_realize(palette_), RASTER_OK);
    const std::vector<coretest::Call> calls = take();
    ASSERT_EQ(calls.size(), 2u) << call_names(calls);
    EXPECT_TRUE(call_is(calls[0], "SelectPalette", {as_arg(state.window_dc), as_arg(palette_), FALSE}));
    EXPECT_TRUE(call_is(calls[1], "RealizePalette", {as_arg(state.window_dc)}));
    EXPECT_EQ(calls[1].result, 236) << "entries placed";

    // Entries 0..235 take slots 10..245 in order; the twenty static colours
    // (slots 0..9 and 246..255) stay as they were, flags and all.
    std::vector<PALETTEENTRY> now(256);
    probe::get_system_palette(0, 256, now.data());
    for (int slot = 0; slot < 256; ++slot) {
        const PALETTEENTRY& e = now[slot];
        if (slot < 10 || slot >= 246) {
            ASSERT_TRUE(coretest::same_bytes(&system[slot], &e, 4)) << "static slot " << slot;
            continue;
        }
        const int i = slot - 10;
        ASSERT_EQ(e.peRed, i == 4 ? 2 : i) << "slot " << slot;
        ASSERT_EQ(e.peGreen, i == 4 ? 253 : (i * 7 + 1) & 0xFF) << "slot " << slot;
        ASSERT_EQ(e.peBlue, i == 4 ? (2 ^ 0x5A) : 255 - i) << "slot " << slot;
    }
}

TEST_F(ProbePalette, NoActiveSurfaceMeansNoCallsAndNoChange) {
    start(8);
    const raster::LogPalette256 before = state.logical_palette;
    const uint8_t rgb[3] = {1, 2, 3};
    watch_from_here();
    EXPECT_EQ(set_palette_entries(50, 1, rgb), RASTER_OK);
    EXPECT_EQ(set_palette_entries(50, 5, nullptr), RASTER_REFUSED);
    EXPECT_EQ(set_palette_entries(250, 7, rgb), RASTER_REFUSED);
    EXPECT_TRUE(take().empty());
    EXPECT_TRUE(coretest::same_bytes(&before, &state.logical_palette, sizeof(before)));
}

}  // namespace
