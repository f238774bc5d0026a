// GDI32: device contexts, stock objects, bitmap sections and palettes.
#include <climits>
#include <cstring>
#include <new>

#include "journal.h"
#include "state.h"

namespace standin {

namespace {

// Any live object of any GDI kind, deleted-but-selected ones included (a DC
// still draws with a palette whose deletion waits for its deselection).
GdiObject* find_any(uintptr_t handle) {
    State& s = state();
    auto it = s.gdi.find(handle);
    return it == s.gdi.end() ? nullptr : it->second.get();
}

void select_counted(uintptr_t* slot, uintptr_t handle) {
    if (*slot == handle) return;
    State& s = state();
    if (GdiObject* old = find_any(*slot)) {
        --old->selections;
        if (old->deleted && old->selections <= 0) s.gdi.erase(*slot);
    }
    *slot = handle;
    if (GdiObject* now = find_any(handle)) ++now->selections;
}

int bits_of_mask(DWORD mask, int* shift) {
    if (mask == 0) {
        *shift = 0;
        return 0;
    }
    int low = 0;
    while (((mask >> low) & 1) == 0) ++low;
    int count = 0;
    while (low + count < 32 && ((mask >> (low + count)) & 1) != 0) ++count;
    *shift = low;
    return count;
}

bool contiguous(DWORD mask) {
    int shift = 0;
    const int count = bits_of_mask(mask, &shift);
    const uint64_t expect = ((uint64_t{1} << count) - 1) << shift;
    return count > 0 && expect == mask;
}

}  // namespace

bool parse_dib(const BITMAPINFO* info, UINT usage, DibLayout* out) {
    if (info == nullptr || (usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS)) return false;
    const BITMAPINFOHEADER& hd = info->bmiHeader;
    if (hd.biSize != 40 && hd.biSize != 108 && hd.biSize != 124) return false;
    if (hd.biWidth <= 0 || hd.biHeight == 0 || hd.biHeight == INT32_MIN) return false;
    if (hd.biPlanes != 1) return false;
    const int bpp = hd.biBitCount;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;

    DibLayout d;
    d.width = hd.biWidth;
    d.height = hd.biHeight < 0 ? -hd.biHeight : hd.biHeight;
    d.top_down = hd.biHeight < 0;
    d.bpp = bpp;
    d.compression = hd.biCompression;
    const BYTE* base = reinterpret_cast<const BYTE*>(info);
    size_t table_offset = hd.biSize;
    if (hd.biCompression == BI_BITFIELDS) {
        if (bpp != 16 && bpp != 32) return false;
        // The three masks follow a 40-byte header and sit at the same place
        // inside the longer ones.
        std::memcpy(d.masks, base + 40, sizeof d.masks);
        if (hd.biSize == 40) table_offset += sizeof d.masks;
        for (DWORD mask : d.masks) {
            if (!contiguous(mask)) return false;
            if (bpp == 16 && mask > 0xFFFF) return false;
        }
        if ((d.masks[0] & d.masks[1]) || (d.masks[0] & d.masks[2]) || (d.masks[1] & d.masks[2])) return false;
    } else if (hd.biCompression == BI_RGB) {
        if (bpp == 16) {
            d.masks[0] = 0x7C00;
            d.masks[1] = 0x03E0;
            d.masks[2] = 0x001F;
        } else if (bpp == 32 || bpp == 24) {
            d.masks[0] = 0xFF0000;
            d.masks[1] = 0x00FF00;
            d.masks[2] = 0x0000FF;
        }
    } else {
        return false;  // run-length and embedded formats are not supported
    }
    if (bpp <= 8) {
        const DWORD full = DWORD{1} << bpp;
        d.colors = static_cast<int>(hd.biClrUsed == 0 || hd.biClrUsed > full ? full : hd.biClrUsed);
    } else {
        d.colors = 0;
    }
    d.table = base + table_offset;
    const uint64_t stride = ((static_cast<uint64_t>(d.width) * bpp + 31) / 32) * 4;
    const uint64_t size = stride * static_cast<uint64_t>(d.height);
    if (size > 0x7FFFFFFF) return false;
    d.stride = static_cast<size_t>(stride);
    d.image_size = static_cast<size_t>(size);
    *out = d;
    return true;
}

namespace {

// GetDC and ReleaseDC come in pairs, often once per call of a drawing
// routine. The last released DC's object and map entry are kept and given to
// the next DC made, so such a pair takes no heap memory.
using GdiNode = std::map<uintptr_t, std::unique_ptr<GdiObject>>::node_type;
GdiNode& spare_dc() {
    static GdiNode spare;
    return spare;
}

}  // namespace

uintptr_t create_dc(DcKind kind, uintptr_t window) {
    State& s = state();
    const uintptr_t handle = new_handle(Kind::Dc);
    GdiObject* raw = nullptr;
    if (!spare_dc().empty()) {
        GdiNode node = std::move(spare_dc());
        node.key() = handle;
        *node.mapped() = GdiObject{};
        raw = s.gdi.insert(std::move(node)).position->second.get();
    } else {
        auto dc = std::make_unique<GdiObject>();
        raw = dc.get();
        s.gdi[handle] = std::move(dc);
    }
    raw->kind = Kind::Dc;
    raw->dc_kind = kind;
    raw->window = window;
    select_counted(&raw->font, s.stock[SYSTEM_FONT]);
    select_counted(&raw->palette, s.stock[DEFAULT_PALETTE]);
    raw->brush = s.stock[0];  // WHITE_BRUSH
    raw->pen = s.stock[7];    // BLACK_PEN
    if (kind == DcKind::Memory) raw->bitmap = s.stock_bitmap;
    return handle;
}

void destroy_dc(uintptr_t handle) {
    State& s = state();
    GdiObject* dc = find_gdi(handle, Kind::Dc);
    if (dc == nullptr) return;
    if (GdiObject* bitmap = find_any(dc->bitmap)) {
        if (bitmap->selected_into == handle) bitmap->selected_into = 0;
    }
    select_counted(&dc->font, 0);
    select_counted(&dc->palette, 0);
    GdiNode node = s.gdi.extract(handle);
    if (spare_dc().empty()) spare_dc() = std::move(node);
}

}  // namespace standin

using namespace standin;

HDC WINAPI CreateCompatibleDC(HDC dc) {
    return JournalEntry("CreateCompatibleDC", dc).run([&]() -> HDC {
        if (take_fault(probe::Fault::CreateCompatibleDC)) {
            set_error(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        if (dc != nullptr && find_dc(dc) == nullptr) {
            set_error(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        return as<HDC>(create_dc(DcKind::Memory, 0));
    });
}

BOOL WINAPI DeleteDC(HDC dc) {
    return JournalEntry("DeleteDC", dc).run([&]() -> BOOL {
        GdiObject* object = find_dc(dc);
        // DCs from GetDC go back through ReleaseDC, never DeleteDC.
        if (object == nullptr || object->dc_kind != DcKind::Memory) {
            set_error(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        destroy_dc(h(dc));
        return TRUE;
    });
}

HGDIOBJ WINAPI GetStockObject(int index) {
    return JournalEntry("GetStockObject", index).run([&]() -> HGDIOBJ {
        State& s = state();
        auto it = s.stock.find(index);
        return it == s.stock.end() ? nullptr : as<HGDIOBJ>(it->second);
    });
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
    return JournalEntry("SelectObject", dc, object).run([&]() -> HGDIOBJ {
        State& s = state();
        GdiObject* target = find_dc(dc);
        GdiObject* item = find_any(h(object));
        if (target == nullptr || item == nullptr || item->deleted) {
            set_error(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        uintptr_t previous = 0;
        switch (item->kind) {
            case Kind::Bitmap: {
                // Bitmaps go into memory DCs only, and into one at a time.
                if (target->dc_kind != DcKind::Memory) return nullptr;
                const bool shared_stock = h(object) == s.stock_bitmap;
                if (!shared_stock && item->selected_into != 0 && item->selected_into != h(dc)) {
                    return nullptr;
                }
                previous = target->bitmap;
                if (GdiObject* old = find_any(previous)) {
                    if (old->selected_into == h(dc)) old->selected_into = 0;
                }
                target->bitmap = h(object);
                if (!shared_stock) item->selected_into = h(dc);
                break;
            }
            case Kind::Font:
                previous = target->font;
                select_counted(&target->font, h(object));
                break;
            case Kind::OtherGdi: {
                uintptr_t& slot = item->stock_index <= 5 ? target->brush : target->pen;
                previous = slot;
                slot = h(object);
                break;
            }
            default:
                // Palettes need SelectPalette; DCs are not selectable.
                set_error(ERROR_INVALID_PARAMETER);
                return nullptr;
        }
        return as<HGDIOBJ>(previous);
    });
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    return JournalEntry("DeleteObject", object).run([&]() -> BOOL {
        State& s = state();
        GdiObject* item = find_any(h(object));
        if (item == nullptr || item->deleted || item->kind == Kind::Dc) {
            set_error(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (item->stock) return TRUE;  // stock objects ignore deletion
        if (item->kind == Kind::Bitmap && item->selected_into != 0) return FALSE;
        if (item->selections > 0) {
            // Still selected into a DC: gone for the program now, freed when the
            // DC lets go of it.
            item->deleted = true;
            return TRUE;
        }
        s.gdi.erase(h(object));
        return TRUE;
    });
}

BOOL WINAPI GetTextMetricsA(HDC dc, LPTEXTMETRICA metrics) {
    return JournalEntry("GetTextMetricsA", dc, metrics).run([&]() -> BOOL {
        GdiObject* target = find_dc(dc);
        if (target == nullptr || metrics == nullptr) {
            set_error(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        GdiObject* font = find_any(target->font);
        if (font == nullptr) return FALSE;
        *metrics = font->metrics;
        return TRUE;
    });
}

int WINAPI GetDeviceCaps(HDC dc, int index) {
    return JournalEntry("GetDeviceCaps", dc, index).run([&]() -> int {
        if (find_dc(dc) == nullptr) return 0;
        const int depth = state().depth;
        const bool palette_device = depth <= 8;
        int result = 0;
        switch (index) {
            case BITSPIXEL:
                result = depth;
                break;
            case PLANES:
                result = 1;
                break;
            case NUMCOLORS:
                result = palette_device ? (depth == 8 ? 20 : (1 << depth)) : -1;
                break;
            case RASTERCAPS:
                // RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT
                // | RC_STRETCHDIB, plus RC_PALETTE on a palette device.
                result = 0x0001 | 0x0008 | 0x0080 | 0x0200 | 0x0800 | 0x2000 | (palette_device ? RC_PALETTE : 0);
                break;
            case SIZEPALETTE:
                result = palette_device ? (1 << depth) : 0;
                break;
            case NUMRESERVED:
                result = palette_device ? (depth == 8 ? 20 : (1 << depth)) : 0;
                break;
            case 8:  // HORZRES
                result = 1920;
                break;
            case 10:  // VERTRES
                result = 1080;
                break;
            case VREFRESH: {
                // 1 stands for the hardware's default rate, as Win32 reports it
                // when the rate is not known.
                const int rate = state().display ? state().display->refresh_rate() : 0;
                result = rate > 1 ? rate : 1;
                break;
            }
            case 88:  // LOGPIXELSX
            case 90:  // LOGPIXELSY
                result = 96;
                break;
            default:
                result = 0;
                break;
        }
        return result;
    });
}

HBITMAP WINAPI CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset) {
    return JournalEntry("CreateDIBSection", dc, info, usage, bits, section, offset).run([&]() -> HBITMAP {
        State& s = state();
        auto refuse = [&](DWORD error) -> HBITMAP {
            set_error(error);
            if (bits != nullptr) *bits = nullptr;
            return nullptr;
        };
        if (take_fault(probe::Fault::CreateDIBSection)) return refuse(ERROR_NOT_ENOUGH_MEMORY);
        DibLayout layout;
        if (!parse_dib(info, usage, &layout)) return refuse(ERROR_INVALID_PARAMETER);
        // Sections backed by file mappings are not offered.
        if (section != nullptr) return refuse(ERROR_INVALID_PARAMETER);
        GdiObject* target = find_dc(dc);
        if (usage == DIB_PAL_COLORS && target == nullptr) return refuse(ERROR_INVALID_HANDLE);

        auto bitmap = std::make_unique<GdiObject>();
        bitmap->kind = Kind::Bitmap;
        bitmap->bits.reset(new (std::nothrow) BYTE[layout.image_size]());
        if (!bitmap->bits) return refuse(ERROR_NOT_ENOUGH_MEMORY);
        // The section keeps its own copy of the colour table; the caller's block
        // may change or go away.
        for (int i = 0; i < layout.colors; ++i) {
            RGBQUAD color{0, 0, 0, 0};
            if (usage == DIB_RGB_COLORS) {
                std::memcpy(&color, layout.table + 4 * i, 4);
            } else {
                WORD index = 0;
                std::memcpy(&index, layout.table + 2 * i, 2);
                const GdiObject* palette = find_any(target->palette);
                if (palette != nullptr && index < palette->entries.size()) {
                    const PALETTEENTRY& e = palette->entries[index];
                    color = RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
                }
            }
            bitmap->color_table.push_back(color);
        }
        layout.table = nullptr;
        bitmap->dib = layout;
        void* pixels = bitmap->bits.get();
        const uintptr_t handle = new_handle(Kind::Bitmap);
        s.gdi[handle] = std::move(bitmap);
        if (bits != nullptr) *bits = pixels;
        return as<HBITMAP>(handle);
    });
}

UINT WINAPI GetSystemPaletteEntries(HDC dc, UINT start, UINT count, LPPALETTEENTRY entries) {
    return JournalEntry("GetSystemPaletteEntries", dc, start, count, entries).run([&]() -> UINT {
        if (find_dc(dc) == nullptr) return 0;
        const UINT size = static_cast<UINT>(system_palette_size());
        if (size == 0) return 0;  // not a palette device
        if (entries == nullptr) return size;
        if (start >= size) return 0;
        const UINT n = count < size - start ? count : size - start;
        for (UINT i = 0; i < n; ++i) entries[i] = system_entry(static_cast<int>(start + i));
        return n;
    });
}

HPALETTE WINAPI CreatePalette(const LOGPALETTE* palette) {
    return JournalEntry("CreatePalette", palette).run([&]() -> HPALETTE {
        if (take_fault(probe::Fault::CreatePalette)) {
            set_error(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        if (palette == nullptr || palette->palVersion != 0x300 || palette->palNumEntries == 0) {
            set_error(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        auto object = std::make_unique<GdiObject>();
        object->kind = Kind::Palette;
        object->entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
        const uintptr_t handle = new_handle(Kind::Palette);
        state().gdi[handle] = std::move(object);
        return as<HPALETTE>(handle);
    });
}

HPALETTE WINAPI SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground) {
    return JournalEntry("SelectPalette", dc, palette, forceBackground).run([&]() -> HPALETTE {
        GdiObject* target = find_dc(dc);
        if (target == nullptr || find_gdi(h(palette), Kind::Palette) == nullptr) {
            set_error(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        const uintptr_t previous = target->palette;
        select_counted(&target->palette, h(palette));
        return as<HPALETTE>(previous);
    });
}

// On a palette device the realized palette's entries take the system slots
// that are not static, in order; an entry equal to a static colour maps onto
// it unless it is reserved for animation or asks not to be collapsed.
UINT WINAPI RealizePalette(HDC dc) {
    return JournalEntry("RealizePalette", dc).run([&]() -> UINT {
        State& s = state();
        GdiObject* target = find_dc(dc);
        if (target == nullptr) return GDI_ERROR;
        GdiObject* palette = find_any(target->palette);
        const int size = system_palette_size();
        if (palette == nullptr || palette->stock || size < 256 || target->dc_kind == DcKind::Memory) {
            return 0;
        }
        palette->system_slots.assign(palette->entries.size(), -1);
        int next = 10;
        UINT placed = 0;
        for (size_t i = 0; i < palette->entries.size(); ++i) {
            const PALETTEENTRY& e = palette->entries[i];
            if (e.peFlags & PC_EXPLICIT) continue;
            if (!(e.peFlags & (PC_RESERVED | PC_NOCOLLAPSE))) {
                bool is_static = false;
                for (int k = 0; k < 256 && !is_static; k = (k == 9 ? 246 : k + 1)) {
                    const PALETTEENTRY& st = s.system_palette[k];
                    is_static = st.peRed == e.peRed && st.peGreen == e.peGreen && st.peBlue == e.peBlue;
                }
                if (is_static) continue;
            }
            if (next >= 246) break;
            s.system_palette[next] = PALETTEENTRY{e.peRed, e.peGreen, e.peBlue, 0};
            palette->system_slots[i] = next++;
            ++placed;
        }
        return placed;
    });
}

BOOL WINAPI AnimatePalette(HPALETTE palette, UINT start, UINT count, const PALETTEENTRY* entries) {
    return JournalEntry("AnimatePalette", palette, start, count, entries).run([&]() -> BOOL {
        State& s = state();
        GdiObject* object = find_gdi(h(palette), Kind::Palette);
        if (object == nullptr || entries == nullptr || start >= object->entries.size()) {
            set_error(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        const size_t n = count < object->entries.size() - start ? count : object->entries.size() - start;
        for (size_t i = 0; i < n; ++i) {
            PALETTEENTRY& e = object->entries[start + i];
            if (!(e.peFlags & PC_RESERVED)) continue;
            e.peRed = entries[i].peRed;
            e.peGreen = entries[i].peGreen;
            e.peBlue = entries[i].peBlue;
            if (start + i < object->system_slots.size() && object->system_slots[start + i] >= 0) {
                s.system_palette[object->system_slots[start + i]] = PALETTEENTRY{e.peRed, e.peGreen, e.peBlue, 0};
            }
        }
        return TRUE;
    });
}

int WINAPI SetStretchBltMode(HDC dc, int mode) {
    return JournalEntry("SetStretchBltMode", dc, mode).run([&]() -> int {
        GdiObject* target = find_dc(dc);
        if (target == nullptr || mode < BLACKONWHITE || mode > HALFTONE) {
            set_error(ERROR_INVALID_PARAMETER);
            return 0;
        }
        const int previous = target->stretch_mode;
        target->stretch_mode = mode;
        return previous;
    });
}
