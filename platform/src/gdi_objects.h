// GDI objects: bitmaps, palettes, fonts, stock brushes and pens, and device
// contexts, with the bitmap layout every DIB call validates first.
#ifndef STANDIN_GDI_OBJECTS_H
#define STANDIN_GDI_OBJECTS_H

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "handles.h"

namespace standin {

// What a BITMAPINFO describes, validated once.
struct DibLayout {
    int width = 0;
    int height = 0;  // always positive
    bool top_down = false;
    int bpp = 0;
    DWORD compression = BI_RGB;
    DWORD masks[3] = {0, 0, 0};  // red, green, blue (16 and 32 bpp)
    size_t stride = 0;
    size_t image_size = 0;
    int colors = 0;               // colour-table entries (indexed formats)
    const BYTE* table = nullptr;  // start of the colour table in the caller's block
};

// Checks a BITMAPINFO the way GDI does before using it; false means refuse.
bool parse_dib(const BITMAPINFO* info, UINT usage, DibLayout* out);

enum class DcKind { Screen, Window, Memory };

struct GdiObject {
    Kind kind;
    bool stock = false;
    bool deleted = false;  // deleted while selected: freed when deselected
    int selections = 0;    // DCs that have it selected (palettes, fonts)

    // Bitmap.
    DibLayout dib;
    std::unique_ptr<BYTE[]> bits;
    std::vector<RGBQUAD> color_table;
    uintptr_t selected_into = 0;  // the memory DC holding it, or 0

    // Palette.
    std::vector<PALETTEENTRY> entries;

    // Font.
    TEXTMETRICA metrics{};

    // Stock brushes and pens: the GetStockObject index.
    int stock_index = -1;

    // Device context.
    DcKind dc_kind = DcKind::Screen;
    uintptr_t window = 0;
    bool own_dc = false;
    uintptr_t bitmap = 0;
    uintptr_t font = 0;
    uintptr_t palette = 0;
    uintptr_t brush = 0;
    uintptr_t pen = 0;
    int stretch_mode = BLACKONWHITE;

    // Palette realized on a palette device: system palette slot of each
    // logical entry (-1: mapped onto a static colour, no slot of its own).
    std::vector<int> system_slots;
};

GdiObject* find_gdi(uintptr_t handle, Kind kind);
GdiObject* find_dc(HDC dc);
void install_stock_objects();

// GDI operations the USER32 half needs.
uintptr_t create_dc(DcKind kind, uintptr_t window);
void destroy_dc(uintptr_t dc);

// The system palette.
void default_system_palette(PALETTEENTRY* palette);
// The device's colour for system palette index i at the current depth.
PALETTEENTRY system_entry(int index);
int system_palette_size();

}  // namespace standin

#endif  // STANDIN_GDI_OBJECTS_H
