// Creating, selecting, deselecting and destroying surfaces, and the
// bitmap-info blocks of every depth.
#include <gtest/gtest.h>

#include <raster/raster.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "core_helpers.h"
#include "library_env.h"
#include "raster/state.h"

using coretest::read16;
using coretest::read32;
using raster::state;

namespace {

using Surfaces = coretest::LibraryTest;

bool any_slot_in_use() {
    for (int32_t slot = 0; slot < raster::kSlotCount; ++slot) {
        if (state.slot_bits[slot] != nullptr) return true;
    }
    return false;
}

// The colour table an 8-bit surface gets on the display the tests run on.
::testing::AssertionResult holds_display_colour_table(const uint8_t* info) {
    if (device_color_bits() <= 8) {
        for (int i = 0; i < 256; ++i) {
            if (read16(info + 40 + i * 2) != i) return ::testing::AssertionFailure() << "index entry " << i;
        }
        return ::testing::AssertionSuccess();
    }
    return coretest::same_bytes(state.rgb_color_table, info + 40, 1024);
}

TEST_F(Surfaces, WidthsAreRaisedToMultiplesOfFour) {
    struct Case {
        int32_t width, slot_width;
    };
    for (const Case c :
         {Case{320, 320}, Case{1600, 1600}, Case{321, 324}, Case{322, 324}, Case{323, 324}, Case{1, 4}, Case{5, 8}}) {
        SCOPED_TRACE(c.width);
        const int32_t handle = surface_create(c.width, 3);
        ASSERT_GE(handle, 0);
        EXPECT_EQ(state.slot_width[handle], c.slot_width);
        EXPECT_EQ(state.slot_max_x[handle], c.slot_width - 1);
        EXPECT_EQ(state.slot_height[handle], 3);
        EXPECT_EQ(state.slot_max_y[handle], 2);
        EXPECT_EQ(state.slot_min_x[handle], 0);
        EXPECT_EQ(state.slot_min_y[handle], 0);
        EXPECT_EQ(state.slot_bpp[handle], 8);
        const uint8_t* info = state.slot_bitmap_info[handle];
        EXPECT_EQ(read32(info + 0), 40u);
        EXPECT_EQ(read32(info + 4), static_cast<uint32_t>(c.slot_width));
        EXPECT_EQ(read32(info + 8), 3u);
        EXPECT_EQ(read16(info + 12), 1);
        EXPECT_EQ(read16(info + 14), 8);
        EXPECT_EQ(read32(info + 16), 0u);
        EXPECT_TRUE(holds_display_colour_table(info));
        surface_destroy(handle);
    }
}

TEST_F(Surfaces, ThirtyTwoSlotsThenTheLowestFreedIsReused) {
    for (int32_t expected = 0; expected < 32; ++expected) ASSERT_EQ(surface_create(3, 2), expected);
    EXPECT_EQ(surface_create(3, 2), RASTER_NO_FREE_SLOT);
    surface_destroy(9);
    surface_destroy(5);
    EXPECT_EQ(surface_create(3, 2), 5);
    EXPECT_EQ(surface_create(3, 2), 9);
    EXPECT_EQ(surface_create(3, 2), RASTER_NO_FREE_SLOT);
}

TEST_F(Surfaces, RefusesSizesBelowOneOrTooLargeAndTakesNoSlot) {
    struct Case {
        int32_t width, height;
    };
    for (const Case c : {Case{0, 5}, Case{5, 0}, Case{-4, 5}, Case{5, -1}, Case{INT32_MIN, 3}, Case{INT32_MAX, 1},
                         Case{65536, 32768}, Case{46344, 46344}}) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height);
        EXPECT_EQ(surface_create(c.width, c.height), RASTER_NO_MEMORY);
        EXPECT_FALSE(any_slot_in_use());
    }
    // At 32 bits a size that fits at 8 bits overflows.
    ASSERT_EQ(surface_set_depth(32), RASTER_OK);
    EXPECT_EQ(surface_create(32768, 16384), RASTER_NO_MEMORY);
    EXPECT_FALSE(any_slot_in_use());
    EXPECT_EQ(surface_create(3, 2), 0);
}

TEST_F(Surfaces, SelectCopiesTheSlotIntoTheActiveState) {
    const int32_t other = surface_create(4, 4);
    const int32_t handle = surface_create(7, 5);
    ASSERT_EQ(handle, 1);
    EXPECT_EQ(surface_select(handle), RASTER_OK);
    EXPECT_EQ(state.active_slot, 1);
    EXPECT_EQ(state.active_bpp, 8);
    EXPECT_EQ(state.active_width, 8);
    EXPECT_EQ(state.active_stride, 8);
    EXPECT_EQ(state.active_height, 5);
    EXPECT_EQ(state.active_max_y, 4);
    EXPECT_EQ(state.active_size, 40);
    EXPECT_EQ(state.active_bits, state.slot_bits[handle]);
    EXPECT_EQ(state.active_bitmap_info, state.slot_bitmap_info[handle]);
    EXPECT_EQ(state.clip_min_x, 0);
    EXPECT_EQ(state.clip_max_x, 7);
    EXPECT_EQ(state.clip_min_y, 0);
    EXPECT_EQ(state.clip_max_y, 4);
    EXPECT_EQ(state.pixel_format_index, 0);
    EXPECT_EQ(state.header_size, 40u);
    const bool palette_display = device_color_bits() <= 8;
    EXPECT_EQ(state.bitmap_info_size, palette_display ? 552u : 1064u);
    EXPECT_EQ(state.color_usage, palette_display ? 1u : 0u);
    // The bottom row comes first in memory.
    EXPECT_EQ(testenv::pixel_address(handle, 0, 4), state.active_bits);
    EXPECT_EQ(testenv::pixel_address(handle, 0, 0), state.active_bits + 4 * 8);
    (void)other;
}

TEST_F(Surfaces, SelectSettingsFollowTheDepth) {
    struct Case {
        int32_t bits;
        int32_t stride, format_index;
        uint32_t header_size, info_size;
    };
    for (const Case c : {Case{16, 16, 4, 108, 108}, Case{24, 24, 8, 40, 40}, Case{32, 32, 12, 108, 108}}) {
        SCOPED_TRACE(c.bits);
        ASSERT_EQ(surface_set_depth(c.bits), RASTER_OK);
        const int32_t handle = surface_create(7, 3);
        ASSERT_GE(handle, 0);
        ASSERT_EQ(surface_select(handle), RASTER_OK);
        EXPECT_EQ(state.active_bpp, c.bits);
        EXPECT_EQ(state.active_stride, c.stride);
        EXPECT_EQ(state.active_size, c.stride * 3);
        EXPECT_EQ(state.pixel_format_index, c.format_index);
        EXPECT_EQ(state.header_size, c.header_size);
        EXPECT_EQ(state.bitmap_info_size, c.info_size);
        EXPECT_EQ(state.color_usage, 0u);
        surface_deselect();
        surface_destroy(handle);
    }
}

TEST_F(Surfaces, SelectRefusesBadHandlesAndFreeSlotsWithoutChange) {
    const int32_t handle = surface_create(5, 3);
    ASSERT_EQ(surface_select(handle), RASTER_OK);
    const uint8_t* bits = state.active_bits;
    EXPECT_EQ(surface_select(-2), RASTER_BAD_HANDLE);
    EXPECT_EQ(surface_select(-1), RASTER_BAD_HANDLE);
    EXPECT_EQ(surface_select(32), RASTER_BAD_HANDLE);
    EXPECT_EQ(surface_select(INT32_MIN), RASTER_BAD_HANDLE);
    EXPECT_EQ(surface_select(3), RASTER_FREE_SLOT);
    EXPECT_EQ(state.active_slot, handle);
    EXPECT_EQ(state.active_bits, bits);
}

TEST_F(Surfaces, TheActiveSurfaceSurvivesDestroyUntilDeselected) {
    const int32_t handle = surface_create(5, 3);
    ASSERT_EQ(surface_select(handle), RASTER_OK);
    EXPECT_EQ(surface_destroy(handle), RASTER_OK);
    EXPECT_NE(state.slot_bits[handle], nullptr);
    EXPECT_EQ(surface_deselect(), RASTER_OK);
    EXPECT_EQ(state.active_slot, -1);
    EXPECT_EQ(surface_destroy(handle), RASTER_OK);
    EXPECT_EQ(state.slot_bits[handle], nullptr);
    // Destroying again, or a handle out of range, does nothing.
    EXPECT_EQ(surface_destroy(handle), RASTER_OK);
    EXPECT_EQ(surface_destroy(-1), RASTER_OK);
    EXPECT_EQ(surface_destroy(40), RASTER_OK);
}

TEST_F(Surfaces, SetDepthAcceptsOnlyTheFourDepths) {
    for (int32_t bits : {0, 1, 4, 7, 9, 15, 12, 64, -8, 256 + 8}) {
        SCOPED_TRACE(bits);
        EXPECT_EQ(surface_set_depth(bits), RASTER_REFUSED);
        EXPECT_EQ(state.creation_bpp, 8);
    }
    for (int32_t bits : {16, 24, 32, 8}) {
        EXPECT_EQ(surface_set_depth(bits), RASTER_OK);
        EXPECT_EQ(state.creation_bpp, bits);
        const int32_t handle = surface_create(3, 2);
        EXPECT_EQ(state.slot_bpp[handle], bits);
        EXPECT_EQ(read16(state.slot_bitmap_info[handle] + 14), bits);
        surface_destroy(handle);
    }
}

TEST_F(Surfaces, MaskedDepthsCarryTheirMasks) {
    ASSERT_EQ(surface_set_depth(16), RASTER_OK);
    const int32_t s16 = surface_create(5, 3);
    ASSERT_EQ(surface_set_depth(32), RASTER_OK);
    const int32_t s32 = surface_create(5, 3);
    ASSERT_EQ(surface_set_depth(24), RASTER_OK);
    const int32_t s24 = surface_create(5, 3);
    ASSERT_GE(s24, 0);

    const uint8_t* info = state.slot_bitmap_info[s16];
    EXPECT_EQ(read32(info + 0), 40u);  // created with 8-bit settings in force
    EXPECT_EQ(read32(info + 16), 3u);
    EXPECT_EQ(read32(info + 40), 0xF800u);
    EXPECT_EQ(read32(info + 44), 0x07E0u);
    EXPECT_EQ(read32(info + 48), 0x001Fu);
    EXPECT_EQ(read32(info + 52), 0u);

    info = state.slot_bitmap_info[s32];
    EXPECT_EQ(read32(info + 16), 3u);
    EXPECT_EQ(read32(info + 40), 0x00FF0000u);
    EXPECT_EQ(read32(info + 44), 0x0000FF00u);
    EXPECT_EQ(read32(info + 48), 0x000000FFu);
    EXPECT_EQ(read32(info + 52), 0xFF000000u);

    info = state.slot_bitmap_info[s24];
    EXPECT_EQ(read32(info + 0), 40u);
    EXPECT_EQ(read16(info + 14), 24);
    EXPECT_EQ(read32(info + 16), 0u);
}

// A 16 or 32-bit surface created while a 16 or 32-bit surface is active gets
// a V4 header off NT, a plain one with the masks on NT.
TEST_F(Surfaces, HeaderFollowsThePlatformAfterAWideSelection) {
    ASSERT_EQ(surface_set_depth(32), RASTER_OK);
    const int32_t first = surface_create(5, 3);
    ASSERT_EQ(surface_select(first), RASTER_OK);
    ASSERT_EQ(surface_set_depth(16), RASTER_OK);
    const int32_t second = surface_create(5, 3);
    ASSERT_GE(second, 0);
    const uint8_t* info = state.slot_bitmap_info[second];
    EXPECT_EQ(read32(info + 0), state.nt_platform == 1 ? 40u : 108u);
    EXPECT_EQ(read32(info + 40), 0xF800u);
    EXPECT_EQ(read32(info + 48), 0x001Fu);
}

// Blocks sized for the surface selected last would be too small for what a
// surface of another depth writes: a table after a 24-bit selection (40-byte
// settings), masks after one too. Each block fits its own depth.
TEST_F(Surfaces, BlocksFitTheDepthBeingCreatedWhateverWasSelectedLast) {
    ASSERT_EQ(surface_set_depth(24), RASTER_OK);
    const int32_t deep = surface_create(5, 3);
    ASSERT_EQ(surface_select(deep), RASTER_OK);
    ASSERT_EQ(state.bitmap_info_size, 40u);

    ASSERT_EQ(surface_set_depth(8), RASTER_OK);
    const int32_t indexed = surface_create(5, 3);
    ASSERT_GE(indexed, 0);
    EXPECT_EQ(read32(state.slot_bitmap_info[indexed]), 40u);
    EXPECT_TRUE(holds_display_colour_table(state.slot_bitmap_info[indexed]));

    ASSERT_EQ(surface_set_depth(16), RASTER_OK);
    const int32_t masked = surface_create(5, 3);
    ASSERT_GE(masked, 0);
    EXPECT_EQ(read32(state.slot_bitmap_info[masked] + 40), 0xF800u);
    EXPECT_EQ(read32(state.slot_bitmap_info[masked] + 48), 0x001Fu);

    // An 8-bit surface after a 32-bit selection (108-byte settings) too.
    ASSERT_EQ(surface_set_depth(32), RASTER_OK);
    const int32_t wide = surface_create(5, 3);
    ASSERT_EQ(surface_select(wide), RASTER_OK);
    ASSERT_EQ(surface_set_depth(8), RASTER_OK);
    const int32_t indexed_again = surface_create(9, 2);
    ASSERT_GE(indexed_again, 0);
    EXPECT_EQ(read32(state.slot_bitmap_info[indexed_again]), 40u);
    EXPECT_TRUE(holds_display_colour_table(state.slot_bitmap_info[indexed_again]));
    // Selected, it shows the library palette like any 8-bit surface.
    ASSERT_EQ(surface_select(indexed_again), RASTER_OK);
    EXPECT_EQ(surface_reset_colors(), RASTER_OK);
    EXPECT_TRUE(holds_display_colour_table(state.slot_bitmap_info[indexed_again]));
}

TEST_F(Surfaces, InitFreesEverySlotAndResetsTheSettings) {
    const int32_t a = surface_create(5, 3);
    ASSERT_EQ(surface_set_depth(16), RASTER_OK);
    const int32_t b = surface_create(5, 3);
    ASSERT_EQ(surface_select(b), RASTER_OK);
    state.graphics_x = 4;
    // Keep the blocks so the test can release them after the re-init.
    const raster::LibraryState kept = state;

    surface_deselect();
    raster_shutdown();  // surfaces remain: nothing happens
    EXPECT_NE(state.memory_dc, nullptr);
    raster_init();
    EXPECT_FALSE(any_slot_in_use());
    EXPECT_EQ(state.active_slot, -1);
    EXPECT_EQ(state.creation_bpp, 8);
    EXPECT_EQ(state.header_size, 40u);
    EXPECT_EQ(state.graphics_x, 0);
    EXPECT_EQ(state.pixel_format_index, 0);
    // The other slot fields keep their stale values.
    EXPECT_EQ(state.slot_width[b], 8);
    EXPECT_EQ(state.slot_bpp[b], 16);

    // Release what the re-init forgot, through the library itself.
    for (int32_t handle : {a, b}) {
        state.slot_bits[handle] = kept.slot_bits[handle];
        surface_destroy(handle);
    }
    DeleteDC(kept.memory_dc);
}

}  // namespace
