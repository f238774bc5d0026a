// The built-in palette, the three colour tables and how palette changes
// reach the surfaces.
#include <gtest/gtest.h>

#include <raster/raster.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core_helpers.h"
#include "library_env.h"
#include "raster/state.h"

using coretest::read16;
using coretest::same_bytes;
using raster::state;

namespace {

using Palette = coretest::LibraryTest;

struct Rgb {
    int r, g, b;
};

Rgb default_entry(int index) {
    return Rgb{raster::default_palette[index * 3], raster::default_palette[index * 3 + 1],
               raster::default_palette[index * 3 + 2]};
}

// A VGA DAC value (6 bits) widened to 8 bits, rounding down.
int widen(int six_bits) { return six_bits * 255 / 63; }

void expect_entry(int index, Rgb expected) {
    SCOPED_TRACE(::testing::Message() << "entry " << index);
    const Rgb actual = default_entry(index);
    EXPECT_EQ(actual.r, expected.r);
    EXPECT_EQ(actual.g, expected.g);
    EXPECT_EQ(actual.b, expected.b);
}

TEST(DefaultPalette, TextColoursAndHueGroupsAreTheWidenedVgaColours) {
    // Entries 10..25 are VGA 0..15: 0x2A and 0x15 are the DAC's two levels.
    expect_entry(10, {0, 0, 0});
    expect_entry(11, {0, 0, widen(0x2A)});
    expect_entry(16, {widen(0x2A), widen(0x15), 0});  // brown, not dark yellow
    expect_entry(18, {widen(0x15), widen(0x15), widen(0x15)});
    expect_entry(24, {widen(0x3F), widen(0x3F), widen(0x15)});
    expect_entry(25, {255, 255, 255});
    // Entries 30..245 are VGA 32..247; spot entries from each of the nine
    // groups, with the DAC values of the VGA power-on palette.
    expect_entry(30, {0, 0, widen(63)});                        // VGA 32: blue
    expect_entry(31, {widen(16), 0, widen(63)});                // VGA 33
    expect_entry(38, {widen(63), 0, 0});                        // VGA 40: red
    expect_entry(41, {widen(63), widen(47), 0});                // VGA 43
    expect_entry(50, {0, widen(63), widen(63)});                // VGA 52: cyan
    expect_entry(53, {0, widen(16), widen(63)});                // VGA 55
    expect_entry(54 + 1, {widen(39), widen(31), widen(63)});    // VGA 57
    expect_entry(78 + 5, {widen(63), widen(45), widen(58)});    // VGA 85
    expect_entry(102 + 13, {widen(21), widen(28), 0});          // VGA 117
    expect_entry(126 + 9, {widen(28), widen(17), widen(14)});   // VGA 137
    expect_entry(150 + 23, {widen(20), widen(22), widen(28)});  // VGA 175
    expect_entry(174 + 14, {widen(8), widen(16), 0});           // VGA 190
    expect_entry(198 + 18, {widen(8), widen(16), widen(12)});   // VGA 218
    expect_entry(222 + 11, {widen(16), widen(15), widen(11)});  // VGA 235
    expect_entry(245, {widen(11), widen(12), widen(16)});       // VGA 247
}

// Every entry of 30..245 against the VGA's DAC values. The nine groups'
// 6-bit levels come from the VGA power-on palette; the walk round the hue
// circle is written here as three piecewise ramps, one per channel.
TEST(DefaultPalette, AllHueGroupsFollowTheVgaRamps) {
    const int vga_levels[9][5] = {{0, 16, 31, 47, 63}, {31, 39, 47, 55, 63}, {45, 49, 54, 58, 63},
                                  {0, 7, 14, 21, 28},  {14, 17, 21, 24, 28}, {20, 22, 24, 26, 28},
                                  {0, 4, 8, 12, 16},   {8, 10, 12, 14, 16},  {11, 12, 13, 15, 16}};
    auto red = [](int p) { return p <= 4 ? p : p <= 12 ? 4 : p <= 16 ? 16 - p : 0; };
    auto green = [](int p) { return p <= 8 ? 0 : p <= 12 ? p - 8 : p <= 20 ? 4 : 24 - p; };
    auto blue = [](int p) { return p <= 4 ? 4 : p <= 8 ? 8 - p : p <= 16 ? 0 : p <= 20 ? p - 16 : 4; };
    for (int g = 0; g < 9; ++g) {
        for (int p = 0; p < 24; ++p) {
            const int* v = vga_levels[g];
            expect_entry(30 + g * 24 + p, {widen(v[red(p)]), widen(v[green(p)]), widen(v[blue(p)])});
        }
    }
}

TEST(DefaultPalette, StaticColoursAndGreys) {
    expect_entry(0, {0, 0, 0});
    expect_entry(7, {192, 192, 192});
    expect_entry(8, {192, 220, 192});
    expect_entry(9, {164, 200, 240});
    for (int i = 0; i < 4; ++i) expect_entry(26 + i, {i * 85, i * 85, i * 85});
    expect_entry(246, {255, 251, 240});
    expect_entry(247, {160, 160, 164});
    expect_entry(248, {128, 128, 128});
    expect_entry(249, {255, 0, 0});
    expect_entry(252, {0, 0, 255});
    expect_entry(255, {255, 255, 255});
}

TEST_F(Palette, CreateMirrorsTheLogicalPaletteIntoTheColourTable) {
    const int32_t depth = device_color_bits();
    const int first_own = depth == 8 ? 10 : depth < 8 ? 8 : 0;
    EXPECT_EQ(state.logical_palette.palVersion, 0x300);
    EXPECT_EQ(state.logical_palette.palNumEntries, 256);
    for (int i = 0; i < 256; ++i) {
        SCOPED_TRACE(i);
        const PALETTEENTRY& entry = state.logical_palette.palPalEntry[i];
        const RGBQUAD& quad = state.rgb_color_table[i];
        EXPECT_EQ(quad.rgbRed, entry.peRed);
        EXPECT_EQ(quad.rgbGreen, entry.peGreen);
        EXPECT_EQ(quad.rgbBlue, entry.peBlue);
        EXPECT_EQ(quad.rgbReserved, 0);
        if (i >= first_own && i <= 255 - first_own) {
            EXPECT_EQ(entry.peFlags, PC_RESERVED);
            const Rgb expected = default_entry(i);
            EXPECT_EQ(entry.peRed, expected.r);
            EXPECT_EQ(entry.peGreen, expected.g);
            EXPECT_EQ(entry.peBlue, expected.b);
        }
    }
}

// Triples that differ in every channel and from entry to entry.
std::vector<uint8_t> triples(int count, int seed) {
    std::vector<uint8_t> rgb(static_cast<size_t>(count) * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 37 + seed);
    return rgb;
}

TEST_F(Palette, EntriesOnAn8BitSurfaceReachTheTablesAndTheSurface) {
    const int32_t handle = testenv::make_selected_surface(7, 3);
    ASSERT_GE(handle, 0);
    const std::vector<uint8_t> native_before(state.native_color_table, state.native_color_table + 1024);
    const raster::LogPalette256 logical_before = state.logical_palette;
    const std::vector<uint8_t> rgb = triples(236, 5);

    EXPECT_EQ(set_palette_entries(10, 236, rgb.data()), RASTER_OK);

    for (int i = 0; i < 256; ++i) {
        SCOPED_TRACE(i);
        const PALETTEENTRY& entry = state.logical_palette.palPalEntry[i];
        if (i < 10 || i > 245) {
            EXPECT_TRUE(same_bytes(&logical_before.palPalEntry[i], &entry, 4));
            continue;
        }
        const uint8_t* t = &rgb[static_cast<size_t>(i - 10) * 3];
        EXPECT_EQ(entry.peRed, t[0]);
        EXPECT_EQ(entry.peGreen, t[1]);
        EXPECT_EQ(entry.peBlue, t[2]);
        EXPECT_EQ(entry.peFlags, PC_RESERVED);
        EXPECT_EQ(state.rgb_color_table[i].rgbRed, t[0]);
        EXPECT_EQ(state.rgb_color_table[i].rgbGreen, t[1]);
        EXPECT_EQ(state.rgb_color_table[i].rgbBlue, t[2]);
        EXPECT_EQ(state.rgb_color_table[i].rgbReserved, 0);
    }
    EXPECT_TRUE(same_bytes(native_before.data(), state.native_color_table, 1024));
    const uint8_t* table = state.slot_bitmap_info[handle] + 40;
    if (state.color_usage == DIB_RGB_COLORS) {
        EXPECT_TRUE(same_bytes(state.rgb_color_table, table, 1024));
    } else {
        for (int i = 0; i < 256; ++i) EXPECT_EQ(read16(table + i * 2), i);
    }
}

TEST_F(Palette, EntriesWithoutAnActiveSurfaceChangeNothing) {
    const raster::LibraryState before = state;
    const std::vector<uint8_t> rgb = triples(20, 1);
    EXPECT_EQ(set_palette_entries(10, 20, rgb.data()), RASTER_OK);
    EXPECT_TRUE(same_bytes(&before.logical_palette, &state.logical_palette, sizeof(state.logical_palette)));
    EXPECT_TRUE(same_bytes(before.rgb_color_table, state.rgb_color_table, 1024));
    EXPECT_TRUE(same_bytes(before.native_color_table, state.native_color_table, 1024));
}

TEST_F(Palette, RefusesRunsOutsideThePalette) {
    const int32_t handle = testenv::make_selected_surface(5, 3);
    ASSERT_GE(handle, 0);
    std::vector<uint8_t> surface_info(state.slot_bitmap_info[handle], state.slot_bitmap_info[handle] + 552);
    const raster::LibraryState before = state;
    const std::vector<uint8_t> rgb = triples(300, 2);
    struct Case {
        int32_t first, count;
    };
    for (const Case c : {Case{-1, 2}, Case{10, -1}, Case{250, 7}, Case{256, 1}, Case{0, 257}, Case{1, INT32_MAX},
                         Case{INT32_MAX, 1}, Case{INT32_MIN, 5}, Case{300, 0}}) {
        SCOPED_TRACE(::testing::Message() << c.first << ", " << c.count);
        EXPECT_EQ(set_palette_entries(c.first, c.count, rgb.data()), RASTER_REFUSED);
    }
    EXPECT_EQ(set_palette_entries(10, 1, nullptr), RASTER_REFUSED);
    EXPECT_TRUE(same_bytes(&before.logical_palette, &state.logical_palette, sizeof(state.logical_palette)));
    EXPECT_TRUE(same_bytes(before.rgb_color_table, state.rgb_color_table, 1024));
    EXPECT_TRUE(same_bytes(before.native_color_table, state.native_color_table, 1024));
    EXPECT_TRUE(same_bytes(surface_info.data(), state.slot_bitmap_info[handle], surface_info.size()));
    // The last entry alone, and an empty run at the end, are fine.
    EXPECT_EQ(set_palette_entries(255, 1, rgb.data()), RASTER_OK);
    EXPECT_EQ(state.logical_palette.palPalEntry[255].peBlue, rgb[2]);
    EXPECT_EQ(set_palette_entries(256, 0, rgb.data()), RASTER_OK);
}

TEST_F(Palette, SixteenBitNativeValues) {
    ASSERT_EQ(surface_set_depth(16), RASTER_OK);
    ASSERT_GE(testenv::make_selected_surface(5, 3), 0);
    std::vector<uint8_t> rgb = triples(256, 9);
    const uint8_t fixed[3][3] = {{255, 255, 255}, {255, 0, 0}, {0, 255, 0}};
    std::memcpy(&rgb[0], fixed, sizeof(fixed));
    EXPECT_EQ(set_palette_entries(0, 256, rgb.data()), RASTER_OK);
    EXPECT_EQ(read16(state.native_color_table + 0), 0xFFFF);
    EXPECT_EQ(read16(state.native_color_table + 2), 0xF800);
    EXPECT_EQ(read16(state.native_color_table + 4), 0x07E0);
    for (int i = 3; i < 256; ++i) {
        SCOPED_TRACE(i);
        const uint8_t* t = &rgb[static_cast<size_t>(i) * 3];
        const int expected = (t[0] / 8) * 2048 + (t[1] / 4) * 32 + t[2] / 8;
        EXPECT_EQ(read16(state.native_color_table + i * 2), expected);
    }
}

TEST_F(Palette, DeepSurfacesGetFillRedGreenBlueEntries) {
    for (int32_t bits : {24, 32}) {
        SCOPED_TRACE(bits);
        ASSERT_EQ(surface_set_depth(bits), RASTER_OK);
        const int32_t handle = testenv::make_selected_surface(5, 3);
        ASSERT_GE(handle, 0);
        // Selecting rebuilds the whole table from the logical palette.
        for (int i = 0; i < 256; ++i) {
            const PALETTEENTRY& e = state.logical_palette.palPalEntry[i];
            const uint8_t expected[4] = {0, e.peRed, e.peGreen, e.peBlue};
            ASSERT_TRUE(same_bytes(expected, state.native_color_table + i * 4, 4)) << "entry " << i;
        }
        const std::vector<uint8_t> rgb = triples(5, 3);
        const std::vector<uint8_t> before(state.native_color_table, state.native_color_table + 1024);
        EXPECT_EQ(set_palette_entries(100, 5, rgb.data()), RASTER_OK);
        std::vector<uint8_t> expected = before;
        for (int i = 0; i < 5; ++i) {
            expected[(100 + i) * 4] = 0;
            std::memcpy(&expected[(100 + i) * 4 + 1], &rgb[i * 3], 3);
        }
        EXPECT_TRUE(same_bytes(expected.data(), state.native_color_table, 1024));
        surface_deselect();
        surface_destroy(handle);
    }
}

// Selection brings a surface's colours up to date with the palette as it
// is now, whatever changed while another surface was active.
TEST_F(Palette, SelectingAnEightBitSurfaceCopiesTheCurrentColoursIntoIt) {
    const int32_t stale = testenv::make_selected_surface(5, 3);
    ASSERT_GE(stale, 0);
    if (state.color_usage != DIB_RGB_COLORS) GTEST_SKIP() << "on a palette display the table holds fixed indices";
    ASSERT_GE(testenv::make_selected_surface(9, 2), 0);
    const std::vector<uint8_t> rgb = triples(236, 11);
    ASSERT_EQ(set_palette_entries(10, 236, rgb.data()), RASTER_OK);
    uint8_t* info = state.slot_bitmap_info[stale];
    const std::vector<uint8_t> header(info, info + 40);
    ASSERT_FALSE(same_bytes(state.rgb_color_table, info + 40, 1024)) << "the surface was never stale";

    EXPECT_EQ(surface_select(stale), RASTER_OK);
    EXPECT_TRUE(same_bytes(state.rgb_color_table, info + 40, 1024));
    EXPECT_TRUE(same_bytes(header.data(), info, header.size()));
}

TEST_F(Palette, SelectingASixteenBitSurfaceRebuildsItsNativeValues) {
    ASSERT_EQ(surface_set_depth(16), RASTER_OK);
    const int32_t wide = testenv::make_selected_surface(5, 3);
    ASSERT_GE(wide, 0);
    ASSERT_EQ(surface_set_depth(8), RASTER_OK);
    ASSERT_GE(testenv::make_selected_surface(7, 3), 0);
    // Changed while an 8-bit surface is active: no native value follows.
    const std::vector<uint8_t> rgb = triples(236, 23);
    ASSERT_EQ(set_palette_entries(10, 236, rgb.data()), RASTER_OK);
    std::memset(state.native_color_table, 0xA5, sizeof(state.native_color_table));

    EXPECT_EQ(surface_select(wide), RASTER_OK);
    for (int i = 0; i < 256; ++i) {
        const PALETTEENTRY& e = state.logical_palette.palPalEntry[i];
        const int expected = (e.peRed >> 3) << 11 | (e.peGreen >> 2) << 5 | e.peBlue >> 3;
        ASSERT_EQ(read16(state.native_color_table + i * 2), expected) << "entry " << i;
    }
}

TEST_F(Palette, ResetColorsRewritesAnEightBitTableOnly) {
    const int32_t handle = testenv::make_selected_surface(5, 3);
    ASSERT_GE(handle, 0);
    uint8_t* info = state.slot_bitmap_info[handle];
    const std::vector<uint8_t> fresh(info, info + 552);
    std::memset(info + 40, 0x5A, 512);
    EXPECT_EQ(surface_reset_colors(), RASTER_OK);
    EXPECT_TRUE(same_bytes(fresh.data(), info, fresh.size()));

    surface_deselect();
    ASSERT_EQ(surface_set_depth(16), RASTER_OK);
    const int32_t wide = testenv::make_selected_surface(5, 3);
    ASSERT_GE(wide, 0);
    const std::vector<uint8_t> block(state.slot_bitmap_info[wide], state.slot_bitmap_info[wide] + 56);
    const std::vector<uint8_t> native(state.native_color_table, state.native_color_table + 1024);
    EXPECT_EQ(surface_reset_colors(), RASTER_OK);
    EXPECT_TRUE(same_bytes(block.data(), state.slot_bitmap_info[wide], block.size()));
    EXPECT_TRUE(same_bytes(native.data(), state.native_color_table, 1024));
}

}  // namespace
