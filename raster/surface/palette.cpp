// The library palette and its three forms: the logical palette shared with
// the window, the DIB colour table of 8-bit surfaces and the pixel values of
// deeper surfaces.
#include <raster/raster.h>

#include <cstdint>

#include "raster/state.h"
#include "raster/surface/internal.h"

using raster::state;

namespace {

struct PaletteBytes {
    uint8_t rgb[768];
};

// The twenty colours a 256-colour display keeps for itself.
constexpr uint8_t kStaticLow[10][3] = {{0, 0, 0},     {128, 0, 0},   {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
                                       {128, 0, 128}, {0, 128, 128}, {192, 192, 192}, {192, 220, 192}, {164, 200, 240}};
constexpr uint8_t kStaticHigh[10][3] = {{255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},
                                        {0, 255, 0},     {255, 255, 0},   {0, 0, 255},     {255, 0, 255},
                                        {0, 255, 255},   {255, 255, 255}};
// The sixteen text-mode colours, then four greys.
constexpr uint8_t kSixteen[16][3] = {{0, 0, 0},     {0, 0, 170},    {0, 170, 0},    {0, 170, 170},
                                     {170, 0, 0},   {170, 0, 170},  {170, 85, 0},   {170, 170, 170},
                                     {85, 85, 85},  {85, 85, 255},  {85, 255, 85},  {85, 255, 255},
                                     {255, 85, 85}, {255, 85, 255}, {255, 255, 85}, {255, 255, 255}};
constexpr uint8_t kGreys[4] = {0, 85, 170, 255};

// Nine groups of 24 hues; each group has five levels m < s < t < u < M.
constexpr uint8_t kGroupLevels[9][5] = {{0, 64, 125, 190, 255}, {125, 157, 190, 222, 255}, {182, 198, 218, 234, 255},
                                        {0, 28, 56, 85, 113},   {56, 68, 85, 97, 113},     {80, 89, 97, 105, 113},
                                        {0, 16, 32, 48, 64},    {32, 40, 48, 56, 64},      {44, 48, 52, 60, 64}};
// Once around the hue circle from blue: the level (0 = m .. 4 = M) that red,
// green and blue take at each of the 24 steps.
constexpr uint8_t kHueWalk[24][3] = {{0, 0, 4}, {1, 0, 4}, {2, 0, 4}, {3, 0, 4}, {4, 0, 4}, {4, 0, 3},
                                     {4, 0, 2}, {4, 0, 1}, {4, 0, 0}, {4, 1, 0}, {4, 2, 0}, {4, 3, 0},
                                     {4, 4, 0}, {3, 4, 0}, {2, 4, 0}, {1, 4, 0}, {0, 4, 0}, {0, 4, 1},
                                     {0, 4, 2}, {0, 4, 3}, {0, 4, 4}, {0, 3, 4}, {0, 2, 4}, {0, 1, 4}};

constexpr PaletteBytes build_default_palette() {
    PaletteBytes palette{};
    int entry = 0;
    auto put = [&palette, &entry](uint8_t red, uint8_t green, uint8_t blue) {
        palette.rgb[entry * 3 + 0] = red;
        palette.rgb[entry * 3 + 1] = green;
        palette.rgb[entry * 3 + 2] = blue;
        ++entry;
    };
    for (const auto& c : kStaticLow) put(c[0], c[1], c[2]);
    for (const auto& c : kSixteen) put(c[0], c[1], c[2]);
    for (uint8_t grey : kGreys) put(grey, grey, grey);
    for (const auto& levels : kGroupLevels) {
        for (const auto& step : kHueWalk) put(levels[step[0]], levels[step[1]], levels[step[2]]);
    }
    for (const auto& c : kStaticHigh) put(c[0], c[1], c[2]);
    return palette;
}

constexpr PaletteBytes kDefaultPalette = build_default_palette();
static_assert(sizeof(kDefaultPalette.rgb) == 3 * (10 + 16 + 4 + 9 * 24 + 10), "the rows fill 256 entries");

uint16_t to_565(uint8_t red, uint8_t green, uint8_t blue) {
    return static_cast<uint16_t>(((red >> 3) << 11) | ((green >> 2) << 5) | (blue >> 3));
}

void set_native_entry(int32_t bpp, int index, uint8_t red, uint8_t green, uint8_t blue, uint8_t fill) {
    uint8_t* table = state.native_color_table;
    if (bpp == 16) {
        const uint16_t value = to_565(red, green, blue);
        table[index * 2] = static_cast<uint8_t>(value);
        table[index * 2 + 1] = static_cast<uint8_t>(value >> 8);
    } else {
        table[index * 4 + 0] = fill;
        table[index * 4 + 1] = red;
        table[index * 4 + 2] = green;
        table[index * 4 + 3] = blue;
    }
}

void fill_from_default(int first, int last) {
    for (int i = first; i <= last; ++i) {
        PALETTEENTRY& entry = state.logical_palette.palPalEntry[i];
        entry.peRed = kDefaultPalette.rgb[i * 3 + 0];
        entry.peGreen = kDefaultPalette.rgb[i * 3 + 1];
        entry.peBlue = kDefaultPalette.rgb[i * 3 + 2];
        entry.peFlags = PC_RESERVED;  // so that AnimatePalette may change it
    }
}

}  // namespace

namespace raster {

const uint8_t (&default_palette)[768] = kDefaultPalette.rgb;

namespace detail {

void write_index_table(uint8_t* table) {
    for (int i = 0; i < 256; ++i) {
        table[i * 2] = static_cast<uint8_t>(i);
        table[i * 2 + 1] = 0;
    }
}

void write_rgb_table(uint8_t* table) {
    for (int i = 0; i < 256; ++i) {
        const RGBQUAD& quad = state.rgb_color_table[i];
        table[i * 4 + 0] = quad.rgbBlue;
        table[i * 4 + 1] = quad.rgbGreen;
        table[i * 4 + 2] = quad.rgbRed;
        table[i * 4 + 3] = quad.rgbReserved;
    }
}

void rebuild_native_color_table(int32_t bpp) {
    if (bpp != 16 && bpp != 24 && bpp != 32) return;
    for (int i = 0; i < 256; ++i) {
        const PALETTEENTRY& entry = state.logical_palette.palPalEntry[i];
        set_native_entry(bpp, i, entry.peRed, entry.peGreen, entry.peBlue, 0);
    }
}

uint8_t* active_color_table(uint32_t bytes) {
    if (state.active_bitmap_info == nullptr) return nullptr;
    if (static_cast<uint64_t>(state.header_size) + bytes > state.active_info_size) return nullptr;
    return state.active_bitmap_info + state.header_size;
}

}  // namespace detail
}  // namespace raster

using namespace raster::detail;

extern "C" {

HPALETTE palette_create(void) {
    const int32_t depth = device_color_bits();
    PALETTEENTRY* entries = state.logical_palette.palPalEntry;
    if (depth == 8) {
        // The display keeps its twenty static colours; ours must match them
        // so that the palette maps onto the system palette one to one.
        HDC screen = GetDC(nullptr);
        GetSystemPaletteEntries(screen, 0, 10, &entries[0]);
        GetSystemPaletteEntries(screen, 246, 10, &entries[246]);
        ReleaseDC(nullptr, screen);
        fill_from_default(10, 245);
    } else if (depth < 8) {
        HDC screen = GetDC(nullptr);
        GetSystemPaletteEntries(screen, 0, 8, &entries[0]);
        GetSystemPaletteEntries(screen, 8, 8, &entries[248]);
        ReleaseDC(nullptr, screen);
        fill_from_default(8, 247);
    } else {
        fill_from_default(0, 255);
    }
    for (int i = 0; i < 256; ++i) {
        state.rgb_color_table[i] = RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
    }
    return CreatePalette(reinterpret_cast<const LOGPALETTE*>(&state.logical_palette));
}

int32_t palette_realize(HPALETTE palette) {
    state.realized_palette = palette;
    HPALETTE previous = SelectPalette(state.window_dc, palette, FALSE);
    RealizePalette(state.window_dc);
    // Only the window's own palette is put back at shutdown.
    if (state.saved_palette == nullptr) state.saved_palette = previous;
    return RASTER_OK;
}

int32_t set_palette_entries(int32_t first, int32_t count, const uint8_t* rgb_triples) {
    if (first < 0 || count < 0 || first > 256 || count > 256 - first) return RASTER_REFUSED;
    if (count > 0 && rgb_triples == nullptr) return RASTER_REFUSED;
    if (state.active_slot < 0 || count == 0) return RASTER_OK;

    for (int32_t i = 0; i < count; ++i) {
        const uint8_t* rgb = rgb_triples + i * 3;
        state.logical_palette.palPalEntry[first + i] = PALETTEENTRY{rgb[0], rgb[1], rgb[2], PC_RESERVED};
        state.rgb_color_table[first + i] = RGBQUAD{rgb[2], rgb[1], rgb[0], 0};
    }
    if (state.active_bpp <= 8 && state.color_usage == DIB_RGB_COLORS) {
        uint8_t* table = active_color_table(kRgbTableBytes);
        if (table != nullptr) write_rgb_table(table);
    }
    AnimatePalette(state.realized_palette, static_cast<UINT>(first), static_cast<UINT>(count),
                   &state.logical_palette.palPalEntry[first]);
    if (state.active_bpp == 16 || state.active_bpp == 24 || state.active_bpp == 32) {
        for (int32_t i = 0; i < count; ++i) {
            const uint8_t* rgb = rgb_triples + i * 3;
            set_native_entry(state.active_bpp, first + i, rgb[0], rgb[1], rgb[2], state.native_fill_byte);
        }
    }
    return RASTER_OK;
}

int32_t surface_reset_colors(void) {
    if (state.active_slot < 0 || state.active_bpp != 8) return RASTER_OK;
    if (state.color_usage != DIB_RGB_COLORS) {
        uint8_t* table = active_color_table(kIndexTableBytes);
        if (table != nullptr) write_index_table(table);
    } else {
        uint8_t* table = active_color_table(kRgbTableBytes);
        if (table != nullptr) write_rgb_table(table);
    }
    return RASTER_OK;
}

}  // extern "C"
