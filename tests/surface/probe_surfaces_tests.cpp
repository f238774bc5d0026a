// Surface creation, selection and destruction, watched through the
// stand-in: the calls, their order and arguments, failures and displays of
// every depth.
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
using coretest::kAny;
using coretest::read16;
using coretest::read32;
using raster::state;
namespace probe = standin::probe;

namespace {

using ProbeSurfaces = coretest::ProbeTest;

::testing::AssertionResult holds_indices(const uint8_t* table) {
    for (int i = 0; i < 256; ++i) {
        if (read16(table + i * 2) != i) return ::testing::AssertionFailure() << "index entry " << i;
    }
    return ::testing::AssertionSuccess();
}

TEST_F(ProbeSurfaces, CreateOnDisplaysWithAndWithoutAPalette) {
    struct Case {
        int depth;
        intptr_t block, usage;
    };
    for (const Case c : {Case{32, 1064, DIB_RGB_COLORS}, Case{8, 552, DIB_PAL_COLORS}}) {
        SCOPED_TRACE(c.depth);
        probe::reset();
        start(c.depth);
        watch_from_here();
        const int32_t handle = surface_create(7, 3);
        ASSERT_EQ(handle, 0);
        const std::vector<coretest::Call> calls = take();
        ASSERT_EQ(calls.size(), 7u) << call_names(calls);
        EXPECT_TRUE(call_is(calls[0], "GlobalAlloc", {GMEM_MOVEABLE | GMEM_ZEROINIT, c.block}));
        EXPECT_TRUE(call_is(calls[1], "GlobalLock", {calls[0].result}));
        EXPECT_TRUE(call_is(calls[2], "GetDC", {0}));
        EXPECT_TRUE(call_is(calls[3], "GetDeviceCaps", {calls[2].result, BITSPIXEL}));
        EXPECT_TRUE(call_is(calls[4], "GetDeviceCaps", {calls[2].result, PLANES}));
        EXPECT_TRUE(call_is(calls[5], "ReleaseDC", {0, calls[2].result}));
        EXPECT_TRUE(
            call_is(calls[6], "CreateDIBSection", {as_arg(state.window_dc), calls[1].result, c.usage, kAny, 0, 0}));
        EXPECT_EQ(as_arg(state.slot_memory[0]), calls[0].result);
        EXPECT_EQ(as_arg(state.slot_bitmap_info[0]), calls[1].result);
        EXPECT_EQ(as_arg(state.slot_bitmap[0]), calls[6].result);
        const uint8_t* info = state.slot_bitmap_info[0];
        if (c.depth == 8) {
            EXPECT_TRUE(holds_indices(info + 40));
        } else {
            EXPECT_TRUE(coretest::same_bytes(state.rgb_color_table, info + 40, 1024));
        }
        probe::journal_enable(false);
        testenv::stop_library(palette_);
        started_ = false;
    }
}

TEST_F(ProbeSurfaces, FailedAllocationsReturnMinusTwoAndKeepNothing) {
    start(32);
    const int blocks = probe::live_global_blocks();
    const int objects = probe::live_gdi_objects();
    watch_from_here();

    probe::fail_next(probe::Fault::GlobalAlloc);
    EXPECT_EQ(surface_create(7, 3), RASTER_NO_MEMORY);
    EXPECT_EQ(call_names(take()), "GlobalAlloc");
    EXPECT_EQ(state.slot_bits[0], nullptr);

    probe::fail_next(probe::Fault::CreateDIBSection);
    EXPECT_EQ(surface_create(7, 3), RASTER_NO_MEMORY);
    const std::vector<coretest::Call> calls = take();
    ASSERT_GE(calls.size(), 4u) << call_names(calls);
    const coretest::Call& alloc = calls.front();
    EXPECT_EQ(calls[calls.size() - 3].function, "CreateDIBSection");
    EXPECT_TRUE(call_is(calls[calls.size() - 2], "GlobalUnlock", {alloc.result}));
    EXPECT_TRUE(call_is(calls[calls.size() - 1], "GlobalFree", {alloc.result}));
    EXPECT_EQ(state.slot_bits[0], nullptr);
    EXPECT_EQ(probe::live_global_blocks(), blocks);
    EXPECT_EQ(probe::live_gdi_objects(), objects);

    // Sizes that cannot be stored are refused before anything is asked for.
    EXPECT_EQ(surface_create(0, 3), RASTER_NO_MEMORY);
    EXPECT_EQ(surface_create(3, -3), RASTER_NO_MEMORY);
    EXPECT_EQ(surface_create(65536, 32768), RASTER_NO_MEMORY);
    EXPECT_TRUE(take().empty());

    EXPECT_EQ(surface_create(7, 3), 0);
}

TEST_F(ProbeSurfaces, SelectAndDeselectPutTheDcsOwnBitmapBack) {
    start(32);
    const int32_t a = surface_create(5, 3);
    const int32_t b = surface_create(6, 4);
    HDC memory = state.memory_dc;
    const HGDIOBJ own = probe::selected_bitmap(memory);
    ASSERT_NE(own, nullptr);
    watch_from_here();

    EXPECT_EQ(surface_select(a), RASTER_OK);
    std::vector<coretest::Call> calls = take();
    ASSERT_FALSE(calls.empty());
    EXPECT_TRUE(call_is(calls[0], "SelectObject", {as_arg(memory), as_arg(state.slot_bitmap[a])}));
    EXPECT_EQ(state.saved_bitmap, own);

    EXPECT_EQ(surface_select(b), RASTER_OK);
    calls = take();
    ASSERT_FALSE(calls.empty());
    EXPECT_TRUE(call_is(calls[0], "SelectObject", {as_arg(memory), as_arg(state.slot_bitmap[b])}));
    EXPECT_EQ(calls[0].result, as_arg(state.slot_bitmap[a]));
    EXPECT_EQ(state.saved_bitmap, own);
    EXPECT_EQ(probe::selected_bitmap(memory), state.slot_bitmap[b]);

    EXPECT_EQ(surface_deselect(), RASTER_OK);
    calls = take();
    ASSERT_EQ(calls.size(), 1u) << call_names(calls);
    EXPECT_TRUE(call_is(calls[0], "SelectObject", {as_arg(memory), as_arg(own)}));
    EXPECT_EQ(probe::selected_bitmap(memory), own);
    EXPECT_EQ(state.saved_bitmap, nullptr);
    EXPECT_EQ(state.active_slot, -1);

    // Refused selections touch neither the DC nor the active surface.
    EXPECT_EQ(surface_select(-2), RASTER_BAD_HANDLE);
    EXPECT_EQ(surface_select(9), RASTER_FREE_SLOT);
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(probe::selected_bitmap(memory), own);
}

TEST_F(ProbeSurfaces, DestroyReleasesTheBitmapAndTheBlock) {
    start(32);
    const int blocks = probe::live_global_blocks();
    const int objects = probe::live_gdi_objects();
    const int32_t handle = surface_create(5, 3);
    EXPECT_EQ(probe::live_global_blocks(), blocks + 1);
    EXPECT_EQ(probe::live_gdi_objects(), objects + 1);
    HBITMAP bitmap = state.slot_bitmap[handle];
    HGLOBAL memory = state.slot_memory[handle];
    watch_from_here();
    EXPECT_EQ(surface_destroy(handle), RASTER_OK);
    const std::vector<coretest::Call> calls = take();
    ASSERT_EQ(calls.size(), 3u) << call_names(calls);
    EXPECT_TRUE(call_is(calls[0], "DeleteObject", {as_arg(bitmap)}));
    EXPECT_TRUE(call_is(calls[1], "GlobalUnlock", {as_arg(memory)}));
    EXPECT_TRUE(call_is(calls[2], "GlobalFree", {as_arg(memory)}));
    EXPECT_EQ(probe::live_global_blocks(), blocks);
    EXPECT_EQ(probe::live_gdi_objects(), objects);
}

// Deeper surfaces describe their pixels by masks or not at all, so their
// colour usage is RGB even on a palette display, and their blocks hold what
// is written into them.
TEST_F(ProbeSurfaces, DeepSurfacesOnAPaletteDisplayUseRgbColours) {
    start(8);
    struct Case {
        int bits;
        intptr_t block;
    };
    for (const Case c : {Case{16, 552}, Case{24, 552}, Case{32, 552}}) {
        SCOPED_TRACE(c.bits);
        ASSERT_EQ(surface_set_depth(c.bits), RASTER_OK);
        watch_from_here();
        const int32_t handle = surface_create(5, 3);
        ASSERT_GE(handle, 0);
        const std::vector<coretest::Call> calls = take();
        ASSERT_EQ(calls.size(), 3u) << call_names(calls);
        EXPECT_TRUE(call_is(calls[0], "GlobalAlloc", {GMEM_MOVEABLE | GMEM_ZEROINIT, c.block}));
        EXPECT_TRUE(call_is(calls[2], "CreateDIBSection",
                            {as_arg(state.window_dc), calls[1].result, DIB_RGB_COLORS, kAny, 0, 0}));
    }
    // After a 24-bit selection the settings say 40 bytes; masks need 56.
    ASSERT_EQ(surface_select(1), RASTER_OK);
    ASSERT_EQ(state.bitmap_info_size, 40u);
    ASSERT_EQ(surface_set_depth(16), RASTER_OK);
    watch_from_here();
    const int32_t masked = surface_create(5, 3);
    ASSERT_GE(masked, 0);
    std::vector<coretest::Call> calls = take();
    ASSERT_FALSE(calls.empty());
    EXPECT_TRUE(call_is(calls[0], "GlobalAlloc", {GMEM_MOVEABLE | GMEM_ZEROINIT, 56}));
    EXPECT_EQ(read32(state.slot_bitmap_info[masked] + 48), 0x001Fu);
    // A 24-bit surface after a 32-bit selection gets biSize 108 and a block
    // that holds the whole V4 header.
    ASSERT_EQ(surface_select(2), RASTER_OK);
    ASSERT_EQ(surface_set_depth(24), RASTER_OK);
    take();
    ASSERT_GE(surface_create(5, 3), 0);
    calls = take();
    ASSERT_FALSE(calls.empty());
    EXPECT_TRUE(call_is(calls[0], "GlobalAlloc", {GMEM_MOVEABLE | GMEM_ZEROINIT, 108}));
}

TEST_F(ProbeSurfaces, EightBitSurfaceAfterAWideSelectionGetsItsTable) {
    start(8);
    ASSERT_EQ(surface_set_depth(16), RASTER_OK);
    const int32_t wide = surface_create(5, 3);
    ASSERT_EQ(surface_select(wide), RASTER_OK);
    ASSERT_EQ(state.header_size, 108u);
    ASSERT_EQ(surface_set_depth(8), RASTER_OK);
    watch_from_here();
    const int32_t handle = surface_create(7, 3);
    ASSERT_GE(handle, 0);
    const std::vector<coretest::Call> calls = take();
    // The display is asked first, to size the block.
    ASSERT_EQ(calls.size(), 11u) << call_names(calls);
    EXPECT_EQ(calls[0].function, "GetDC");
    EXPECT_TRUE(call_is(calls[4], "GlobalAlloc", {GMEM_MOVEABLE | GMEM_ZEROINIT, 552}));
    EXPECT_TRUE(
        call_is(calls[10], "CreateDIBSection", {as_arg(state.window_dc), calls[5].result, DIB_PAL_COLORS, kAny, 0, 0}));
    EXPECT_EQ(read32(state.slot_bitmap_info[handle]), 40u);
    EXPECT_TRUE(holds_indices(state.slot_bitmap_info[handle] + 40));
}

// The display may change depth while the program runs. A block made for
// indices has no room for an RGB table: it keeps indices, and the colour
// usage says so.
TEST_F(ProbeSurfaces, DisplayGrowingDeeperNeverOverrunsAnIndexBlock) {
    start(8);
    const int32_t early = surface_create(7, 3);
    ASSERT_GE(early, 0);
    probe::set_display_depth(32);
    watch_from_here();
    const int32_t late = surface_create(5, 2);
    ASSERT_GE(late, 0);
    const std::vector<coretest::Call> calls = take();
    ASSERT_EQ(calls.size(), 7u) << call_names(calls);
    EXPECT_TRUE(call_is(calls[0], "GlobalAlloc", {GMEM_MOVEABLE | GMEM_ZEROINIT, 552}));
    EXPECT_TRUE(
        call_is(calls[6], "CreateDIBSection", {as_arg(state.window_dc), calls[1].result, DIB_PAL_COLORS, kAny, 0, 0}));
    EXPECT_TRUE(holds_indices(state.slot_bitmap_info[late] + 40));

    for (int32_t handle : {early, late}) {
        ASSERT_EQ(surface_select(handle), RASTER_OK);
        EXPECT_EQ(state.color_usage, static_cast<uint32_t>(DIB_PAL_COLORS));
        EXPECT_EQ(state.bitmap_info_size, 552u);
        const uint8_t rgb[6] = {1, 2, 3, 4, 5, 6};
        EXPECT_EQ(set_palette_entries(20, 2, rgb), RASTER_OK);
        EXPECT_EQ(surface_reset_colors(), RASTER_OK);
        EXPECT_TRUE(holds_indices(state.slot_bitmap_info[handle] + 40));
    }
    surface_deselect();
}

// The other way round: surfaces made for RGB tables switch to indices when
// selected on a palette display, as the settings say.
TEST_F(ProbeSurfaces, DisplayDroppingToAPaletteSwitchesToIndices) {
    start(32);
    const int32_t handle = surface_create(7, 3);
    ASSERT_GE(handle, 0);
    probe::set_display_depth(8);
    ASSERT_EQ(surface_select(handle), RASTER_OK);
    EXPECT_EQ(state.color_usage, static_cast<uint32_t>(DIB_PAL_COLORS));
    EXPECT_EQ(state.bitmap_info_size, 552u);
    EXPECT_EQ(surface_reset_colors(), RASTER_OK);
    EXPECT_TRUE(holds_indices(state.slot_bitmap_info[handle] + 40));
    surface_deselect();
}

}  // namespace
