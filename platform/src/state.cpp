// The stand-in's state, its handles, stock objects and the system palette.
#include "state.h"

#include <cstring>

namespace standin {

namespace {

uintptr_t g_serial = 0;

// Objects dropped by reset(). They stay allocated (and reachable, so leak
// checkers stay quiet) because the program may still hold pointers into
// them, such as the pixel pointer of a bitmap section.
struct Graveyard {
    std::vector<std::unique_ptr<State>> states;
};
Graveyard& graveyard() {
    static Graveyard* g = new Graveyard;
    return *g;
}

std::unique_ptr<State>& state_slot() {
    static std::unique_ptr<State> s;
    return s;
}

// The 20 static colours of a 256-colour display: ten at the start and ten at
// the end of the system palette.
const PALETTEENTRY kStaticLow[10] = {
    {0, 0, 0, 0},     {128, 0, 0, 0},   {0, 128, 0, 0},     {128, 128, 0, 0},   {0, 0, 128, 0},
    {128, 0, 128, 0}, {0, 128, 128, 0}, {192, 192, 192, 0}, {192, 220, 192, 0}, {166, 202, 240, 0},
};
const PALETTEENTRY kStaticHigh[10] = {
    {255, 251, 240, 0}, {160, 160, 164, 0}, {128, 128, 128, 0}, {255, 0, 0, 0},   {0, 255, 0, 0},
    {255, 255, 0, 0},   {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0}, {255, 255, 255, 0},
};

TEXTMETRICA make_metrics(LONG height, LONG ascent, LONG internal, LONG external, LONG average, LONG maximum,
                         LONG weight, BYTE pitch_family, BYTE charset) {
    TEXTMETRICA tm{};
    tm.tmHeight = height;
    tm.tmAscent = ascent;
    tm.tmDescent = height - ascent;
    tm.tmInternalLeading = internal;
    tm.tmExternalLeading = external;
    tm.tmAveCharWidth = average;
    tm.tmMaxCharWidth = maximum;
    tm.tmWeight = weight;
    tm.tmOverhang = 0;
    tm.tmDigitizedAspectX = 96;
    tm.tmDigitizedAspectY = 96;
    tm.tmFirstChar = 0x20;
    tm.tmLastChar = 0xFF;
    tm.tmDefaultChar = 0x1F;
    tm.tmBreakChar = 0x20;
    tm.tmPitchAndFamily = pitch_family;
    tm.tmCharSet = charset;
    return tm;
}

}  // namespace

State& state() {
    std::unique_ptr<State>& s = state_slot();
    if (!s) {
        s = std::make_unique<State>();
        default_system_palette(s->system_palette);
        install_stock_objects();
    }
    return *s;
}

uintptr_t new_handle(Kind kind) {
    ++g_serial;
    return (g_serial << 8) | static_cast<uintptr_t>(kind);
}

bool take_fault(probe::Fault fault) {
    bool& armed = state().probe.fail[static_cast<int>(fault)];
    const bool was = armed;
    armed = false;
    return was;
}

void forget_everything() {
    std::unique_ptr<State>& s = state_slot();
    if (s) {
        // Take the backend's windows off the screen; the rest is kept as is.
        if (s->display) {
            for (auto& entry : s->windows) s->display->destroy_window(*entry.second);
        }
        graveyard().states.push_back(std::move(s));
    }
    state();
}

void default_system_palette(PALETTEENTRY* palette) {
    std::memset(palette, 0, 256 * sizeof(PALETTEENTRY));
    std::memcpy(palette, kStaticLow, sizeof kStaticLow);
    std::memcpy(palette + 246, kStaticHigh, sizeof kStaticHigh);
}

int system_palette_size() {
    const int depth = state().depth;
    return depth <= 8 ? (1 << depth) : 0;
}

// A device with fewer than 256 colours keeps the lower half of its palette
// from the start of the 256-entry table and the upper half from its end, so
// the same static colours serve both (16 colours: 0-7 and 248-255).
PALETTEENTRY system_entry(int index) {
    const int size = system_palette_size();
    const State& s = state();
    if (size == 0 || size == 256) return s.system_palette[index & 255];
    if (index < size / 2) return s.system_palette[index];
    return s.system_palette[256 - size + index];
}

void install_stock_objects() {
    State& s = *state_slot();
    auto add = [&s](int index, std::unique_ptr<GdiObject> object) {
        object->stock = true;
        const uintptr_t handle = new_handle(object->kind);
        s.gdi[handle] = std::move(object);
        if (index >= 0) s.stock[index] = handle;
        return handle;
    };
    auto font = [&](int index, const TEXTMETRICA& tm) {
        auto object = std::make_unique<GdiObject>();
        object->kind = Kind::Font;
        object->metrics = tm;
        add(index, std::move(object));
    };
    // Pitch-and-family: FF_MODERN (0x30) for the fixed fonts, FF_SWISS (0x20)
    // for the proportional ones; bit 0 set means variable pitch.
    font(OEM_FIXED_FONT, make_metrics(12, 10, 0, 0, 8, 8, 400, 0x30, 255));
    font(ANSI_FIXED_FONT, make_metrics(13, 11, 0, 0, 8, 8, 400, 0x30, 0));
    font(ANSI_VAR_FONT, make_metrics(13, 11, 0, 0, 5, 12, 400, 0x21, 0));
    font(SYSTEM_FONT, make_metrics(16, 13, 3, 0, 7, 14, 700, 0x21, 0));
    font(14 /* DEVICE_DEFAULT_FONT */, make_metrics(16, 13, 3, 0, 7, 14, 700, 0x21, 0));
    font(SYSTEM_FIXED_FONT, make_metrics(15, 12, 0, 0, 8, 8, 400, 0x30, 0));
    font(17 /* DEFAULT_GUI_FONT */, make_metrics(13, 11, 0, 0, 5, 11, 400, 0x21, 0));

    // Brushes (0..5) and pens (6..8) and the null pen: present so that
    // GetStockObject answers, but nothing here draws with them.
    for (int index : {0, 1, 2, 3, 4, 5, 6, 7, 8}) {
        auto object = std::make_unique<GdiObject>();
        object->kind = Kind::OtherGdi;
        object->stock_index = index;
        add(index, std::move(object));
    }

    auto palette = std::make_unique<GdiObject>();
    palette->kind = Kind::Palette;
    palette->entries.assign(kStaticLow, kStaticLow + 10);
    palette->entries.insert(palette->entries.end(), kStaticHigh, kStaticHigh + 10);
    add(DEFAULT_PALETTE, std::move(palette));

    // The 1 x 1 monochrome bitmap every new memory DC starts with.
    auto bitmap = std::make_unique<GdiObject>();
    bitmap->kind = Kind::Bitmap;
    bitmap->dib.width = 1;
    bitmap->dib.height = 1;
    bitmap->dib.bpp = 1;
    bitmap->dib.stride = 4;
    bitmap->dib.image_size = 4;
    bitmap->bits.reset(new BYTE[4]());
    s.stock_bitmap = add(-1, std::move(bitmap));
}

GdiObject* find_gdi(uintptr_t handle, Kind kind) {
    State& s = state();
    auto it = s.gdi.find(handle);
    if (it == s.gdi.end() || it->second->kind != kind || it->second->deleted) return nullptr;
    return it->second.get();
}

GdiObject* find_dc(HDC dc) { return find_gdi(h(dc), Kind::Dc); }

Window* find_window(HWND hwnd) {
    State& s = state();
    auto it = s.windows.find(h(hwnd));
    if (it == s.windows.end()) return nullptr;
    return it->second.get();
}

}  // namespace standin
