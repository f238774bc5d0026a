// GDI32 in the stand-in: DCs, stock objects, selection rules, bitmap
// sections and palettes.
#include <gtest/gtest.h>
#include <standin/probe.h>
#include <windows.h>

#include <cstring>
#include <vector>

namespace probe = standin::probe;

namespace {

class Gdi : public ::testing::Test {
  protected:
    void SetUp() override { probe::reset(); }
};

// A BITMAPINFO block with room for a V4 header and any colour table; the
// table (or the masks of a 40-byte header) starts right after biSize bytes.
struct Info {
    alignas(8) BYTE raw[108 + 1024 + 12];
    BITMAPV4HEADER& header() { return *reinterpret_cast<BITMAPV4HEADER*>(raw); }
    BYTE* after_header() { return raw + header().bV4Size; }
};

Info make_info(int width, int height, int bpp, DWORD size = 40, DWORD compression = BI_RGB) {
    Info info;
    std::memset(&info, 0, sizeof info);
    info.header().bV4Size = size;
    info.header().bV4Width = width;
    info.header().bV4Height = height;
    info.header().bV4Planes = 1;
    info.header().bV4BitCount = static_cast<WORD>(bpp);
    info.header().bV4V4Compression = compression;
    return info;
}

const BITMAPINFO* bmi(const Info& info) { return reinterpret_cast<const BITMAPINFO*>(info.raw); }

void set_masks(Info& info, DWORD red, DWORD green, DWORD blue) {
    const DWORD masks[3] = {red, green, blue};
    std::memcpy(info.raw + 40, masks, sizeof masks);  // same place for every header size
}

WORD* index_table(Info& info) { return reinterpret_cast<WORD*>(info.after_header()); }

bool same(const PALETTEENTRY& a, BYTE r, BYTE g, BYTE b) { return a.peRed == r && a.peGreen == g && a.peBlue == b; }

TEST_F(Gdi, ScreenDcWorksWithoutAnyWindowOrBackend) {
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);
    EXPECT_EQ(GetDeviceCaps(screen, PLANES), 1);
    EXPECT_EQ(GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE, 0);
    EXPECT_EQ(GetDeviceCaps(screen, SIZEPALETTE), 0);
    EXPECT_EQ(probe::live_gdi_objects(), 1);
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
    EXPECT_EQ(probe::live_gdi_objects(), 0);
    EXPECT_EQ(ReleaseDC(nullptr, screen), 0) << "a released DC is gone";
    EXPECT_EQ(probe::main_window(), nullptr);
}

TEST_F(Gdi, DeviceCapsFollowTheProbeDepth) {
    HDC screen = GetDC(nullptr);
    for (int depth : {4, 8, 15, 16, 24, 32}) {
        SCOPED_TRACE(depth);
        probe::set_display_depth(depth);
        EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES), depth);
        const bool palette = depth <= 8;
        EXPECT_EQ((GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE) != 0, palette);
        EXPECT_EQ(GetDeviceCaps(screen, SIZEPALETTE), palette ? 1 << depth : 0);
    }
    probe::set_display_depth(7);  // not a depth a display has: ignored
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);
    EXPECT_EQ(GetDeviceCaps(nullptr, BITSPIXEL), 0);
    ReleaseDC(nullptr, screen);
}

TEST_F(Gdi, StockFontsHaveFixedMetrics) {
    HDC screen = GetDC(nullptr);
    HGDIOBJ oem = GetStockObject(OEM_FIXED_FONT);
    ASSERT_NE(oem, nullptr);
    EXPECT_EQ(GetStockObject(OEM_FIXED_FONT), oem) << "stock objects are shared";
    TEXTMETRICA tm;
    ASSERT_TRUE(GetTextMetricsA(screen, &tm));
    EXPECT_EQ(tm.tmHeight, 16) << "a new DC holds the system font";
    const HGDIOBJ system = SelectObject(screen, oem);
    EXPECT_EQ(system, GetStockObject(SYSTEM_FONT));
    ASSERT_TRUE(GetTextMetricsA(screen, &tm));
    EXPECT_EQ(tm.tmHeight, 12);
    EXPECT_EQ(tm.tmExternalLeading, 0);
    EXPECT_EQ(tm.tmAveCharWidth, 8);
    EXPECT_EQ(tm.tmMaxCharWidth, 8);
    EXPECT_EQ(tm.tmAscent + tm.tmDescent, tm.tmHeight);
    EXPECT_EQ(SelectObject(screen, system), oem);
    EXPECT_FALSE(GetTextMetricsA(screen, nullptr));
    EXPECT_FALSE(GetTextMetricsA(nullptr, &tm));
    EXPECT_TRUE(DeleteObject(oem)) << "deleting a stock object is ignored";
    EXPECT_EQ(SelectObject(screen, oem), system);
    EXPECT_EQ(GetStockObject(9999), nullptr);
    ReleaseDC(nullptr, screen);
}

TEST_F(Gdi, BitmapsGoIntoOneMemoryDcAtATime) {
    HDC screen = GetDC(nullptr);
    HDC first = CreateCompatibleDC(nullptr);
    HDC second = CreateCompatibleDC(screen);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    Info info = make_info(3, 2, 24);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, bmi(info), DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);

    EXPECT_EQ(SelectObject(screen, bitmap), nullptr) << "not into a screen DC";
    const HGDIOBJ original = SelectObject(first, bitmap);
    ASSERT_NE(original, nullptr) << "a memory DC starts with its own 1x1 bitmap";
    EXPECT_EQ(probe::selected_bitmap(first), bitmap);
    EXPECT_EQ(SelectObject(second, bitmap), nullptr) << "already selected elsewhere";
    EXPECT_EQ(SelectObject(first, bitmap), bitmap) << "reselecting returns itself";
    EXPECT_FALSE(DeleteObject(bitmap)) << "a selected bitmap cannot be deleted";
    EXPECT_EQ(SelectObject(first, original), bitmap);
    EXPECT_NE(SelectObject(second, bitmap), nullptr) << "free again";
    EXPECT_TRUE(DeleteDC(second)) << "deleting the DC lets go of the bitmap";
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(bitmap)) << "already deleted";
    EXPECT_EQ(SelectObject(first, bitmap), nullptr);

    EXPECT_FALSE(DeleteDC(screen)) << "GetDC DCs are released, not deleted";
    EXPECT_FALSE(DeleteObject(first)) << "DCs are not GDI objects to DeleteObject";
    EXPECT_TRUE(DeleteDC(first));
    EXPECT_FALSE(DeleteDC(first));
    EXPECT_EQ(CreateCompatibleDC(reinterpret_cast<HDC>(0x12345)), nullptr);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(probe::live_gdi_objects(), 0);
}

TEST_F(Gdi, PalettesAreNotSelectedThroughSelectObject) {
    HDC screen = GetDC(nullptr);
    HGDIOBJ palette = GetStockObject(DEFAULT_PALETTE);
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(probe::selected_palette(screen), palette) << "a DC starts with the default palette";
    EXPECT_EQ(SelectObject(screen, palette), nullptr);
    EXPECT_EQ(SelectObject(screen, screen), nullptr);
    ReleaseDC(nullptr, screen);
}

TEST_F(Gdi, DibSectionLayoutsAreBottomUpWithPaddedZeroedRows) {
    HDC screen = GetDC(nullptr);
    struct Case {
        int bpp;
        int width;
        size_t stride;
    };
    for (const Case& c : {Case{8, 5, 8}, Case{16, 3, 8}, Case{24, 5, 16}, Case{32, 3, 12}, Case{8, 4, 4}}) {
        SCOPED_TRACE(c.bpp);
        const DWORD compression = (c.bpp == 16 || c.bpp == 32) ? BI_BITFIELDS : BI_RGB;
        Info info = make_info(c.width, 3, c.bpp, 40, compression);
        if (c.bpp == 16) set_masks(info, 0xF800, 0x07E0, 0x001F);
        if (c.bpp == 32) set_masks(info, 0xFF0000, 0xFF00, 0xFF);
        void* bits = reinterpret_cast<void*>(1);
        HBITMAP bitmap = CreateDIBSection(screen, bmi(info), DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(bitmap, nullptr);
        ASSERT_NE(bits, nullptr);
        const BYTE* pixels = static_cast<const BYTE*>(bits);
        for (size_t i = 0; i < c.stride * 3; ++i) ASSERT_EQ(pixels[i], 0) << "byte " << i;
        // Every byte of every padded row belongs to the caller (sanitizers
        // catch an allocation that is too short).
        std::memset(bits, 0x5A, c.stride * 3);
        EXPECT_TRUE(DeleteObject(bitmap));
    }
    ReleaseDC(nullptr, screen);
}

TEST_F(Gdi, DibSectionsTakeV4HeadersAndPaletteIndices) {
    HDC screen = GetDC(nullptr);
    Info v4 = make_info(2, 2, 32, 108, BI_BITFIELDS);
    v4.header().bV4RedMask = 0x00FF0000;
    v4.header().bV4GreenMask = 0x0000FF00;
    v4.header().bV4BlueMask = 0x000000FF;
    v4.header().bV4AlphaMask = 0xFF000000;
    void* bits = nullptr;
    HBITMAP a = CreateDIBSection(screen, bmi(v4), DIB_RGB_COLORS, &bits, nullptr, 0);
    EXPECT_NE(a, nullptr);

    Info indexed = make_info(3, 3, 8);
    WORD* indices = index_table(indexed);
    for (int i = 0; i < 256; ++i) indices[i] = static_cast<WORD>(i);
    HBITMAP b = CreateDIBSection(screen, bmi(indexed), DIB_PAL_COLORS, &bits, nullptr, 0);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(CreateDIBSection(nullptr, bmi(indexed), DIB_PAL_COLORS, &bits, nullptr, 0), nullptr)
        << "palette indices need a DC whose palette they index";
    EXPECT_NE(CreateDIBSection(nullptr, bmi(indexed), DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);

    Info top_down = make_info(3, -2, 24);
    EXPECT_NE(CreateDIBSection(screen, bmi(top_down), DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    ReleaseDC(nullptr, screen);
}

TEST_F(Gdi, InvalidDibHeadersAreRefusedWithNull) {
    HDC screen = GetDC(nullptr);
    struct Bad {
        const char* what;
        Info info;
        UINT usage;
    };
    std::vector<Bad> cases;
    cases.push_back({"header size 12", make_info(2, 2, 8, 12), DIB_RGB_COLORS});
    cases.push_back({"header size 41", make_info(2, 2, 8, 41), DIB_RGB_COLORS});
    cases.push_back({"zero width", make_info(0, 2, 8), DIB_RGB_COLORS});
    cases.push_back({"negative width", make_info(-2, 2, 8), DIB_RGB_COLORS});
    cases.push_back({"zero height", make_info(2, 0, 8), DIB_RGB_COLORS});
    cases.push_back({"7 bits", make_info(2, 2, 7), DIB_RGB_COLORS});
    cases.push_back({"bitfields at 8 bits", make_info(2, 2, 8, 40, BI_BITFIELDS), DIB_RGB_COLORS});
    cases.push_back({"bitfields with zero masks", make_info(2, 2, 16, 40, BI_BITFIELDS), DIB_RGB_COLORS});
    cases.push_back({"run-length", make_info(2, 2, 8, 40, 1), DIB_RGB_COLORS});
    cases.push_back({"usage 2", make_info(2, 2, 8), 2});
    cases.push_back({"too large", make_info(0x10000, 0x10000, 32), DIB_RGB_COLORS});
    Info planes = make_info(2, 2, 8);
    planes.header().bV4Planes = 2;
    cases.push_back({"two planes", planes, DIB_RGB_COLORS});
    for (const Bad& bad : cases) {
        SCOPED_TRACE(bad.what);
        void* bits = reinterpret_cast<void*>(1);
        EXPECT_EQ(CreateDIBSection(screen, bmi(bad.info), bad.usage, &bits, nullptr, 0), nullptr);
        EXPECT_EQ(bits, nullptr);
    }
    void* bits = nullptr;
    EXPECT_EQ(CreateDIBSection(screen, nullptr, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(probe::live_gdi_objects(), 1);  // only the screen DC
    ReleaseDC(nullptr, screen);
}

TEST_F(Gdi, SystemPaletteHasTwentyStaticColoursAtDepth8) {
    HDC screen = GetDC(nullptr);
    PALETTEENTRY entries[256];
    EXPECT_EQ(GetSystemPaletteEntries(screen, 0, 10, entries), 0u) << "no palette at 32 bits";
    probe::set_display_depth(8);
    ASSERT_EQ(GetSystemPaletteEntries(screen, 0, 256, entries), 256u);
    EXPECT_TRUE(same(entries[0], 0, 0, 0));
    EXPECT_TRUE(same(entries[1], 128, 0, 0));
    EXPECT_TRUE(same(entries[7], 192, 192, 192));
    EXPECT_TRUE(same(entries[9], 166, 202, 240));
    EXPECT_TRUE(same(entries[246], 255, 251, 240));
    EXPECT_TRUE(same(entries[249], 255, 0, 0));
    EXPECT_TRUE(same(entries[255], 255, 255, 255));
    EXPECT_EQ(GetSystemPaletteEntries(screen, 250, 10, entries), 6u) << "clipped at the end";
    EXPECT_EQ(GetSystemPaletteEntries(screen, 0, 0, nullptr), 256u);

    PALETTEENTRY mine[2] = {{1, 2, 3, 0}, {4, 5, 6, 0}};
    probe::set_system_palette(246, 2, mine);
    ASSERT_EQ(GetSystemPaletteEntries(screen, 246, 2, entries), 2u);
    EXPECT_TRUE(same(entries[0], 1, 2, 3));
    EXPECT_TRUE(same(entries[1], 4, 5, 6));

    probe::set_display_depth(4);
    ASSERT_EQ(GetSystemPaletteEntries(screen, 0, 16, entries), 16u);
    EXPECT_TRUE(same(entries[7], 192, 192, 192));
    EXPECT_TRUE(same(entries[15], 255, 255, 255)) << "upper half from the end of the table";
    EXPECT_TRUE(same(entries[9], 255, 0, 0));
    ReleaseDC(nullptr, screen);
}

std::vector<BYTE> logpalette(int count, BYTE flags) {
    std::vector<BYTE> block(4 + 4 * count);
    LOGPALETTE* lp = reinterpret_cast<LOGPALETTE*>(block.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = static_cast<WORD>(count);
    for (int i = 0; i < count; ++i) {
        lp->palPalEntry[i] =
            PALETTEENTRY{static_cast<BYTE>(i), static_cast<BYTE>(2 * i), static_cast<BYTE>(3 * i), flags};
    }
    return block;
}

TEST_F(Gdi, SelectPaletteReturnsTheOneItDisplaces) {
    HDC screen = GetDC(nullptr);
    std::vector<BYTE> block = logpalette(16, PC_RESERVED);
    HPALETTE mine = CreatePalette(reinterpret_cast<LOGPALETTE*>(block.data()));
    ASSERT_NE(mine, nullptr);
    HPALETTE standard = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
    EXPECT_EQ(SelectPalette(screen, mine, FALSE), standard);
    EXPECT_EQ(probe::selected_palette(screen), mine);
    EXPECT_EQ(SelectPalette(screen, mine, FALSE), mine);
    EXPECT_EQ(SelectPalette(screen, nullptr, FALSE), nullptr);
    EXPECT_EQ(SelectPalette(nullptr, mine, FALSE), nullptr);
    EXPECT_EQ(SelectPalette(screen, standard, FALSE), mine);

    LOGPALETTE* lp = reinterpret_cast<LOGPALETTE*>(block.data());
    lp->palVersion = 0x200;
    EXPECT_EQ(CreatePalette(lp), nullptr);
    lp->palVersion = 0x300;
    lp->palNumEntries = 0;
    EXPECT_EQ(CreatePalette(lp), nullptr);
    EXPECT_EQ(CreatePalette(nullptr), nullptr);
    EXPECT_TRUE(DeleteObject(mine));
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(probe::live_gdi_objects(), 0);
}

TEST_F(Gdi, DeletingASelectedPaletteWaitsForItsDc) {
    HDC screen = GetDC(nullptr);
    std::vector<BYTE> block = logpalette(4, PC_RESERVED);
    HPALETTE mine = CreatePalette(reinterpret_cast<LOGPALETTE*>(block.data()));
    SelectPalette(screen, mine, FALSE);
    EXPECT_TRUE(DeleteObject(mine));
    EXPECT_EQ(probe::live_gdi_objects(), 1) << "gone for the program";
    EXPECT_EQ(SelectPalette(screen, mine, FALSE), nullptr) << "its handle is no longer valid";
    const PALETTEENTRY entry{9, 9, 9, 0};
    EXPECT_FALSE(AnimatePalette(mine, 0, 1, &entry));
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(probe::live_gdi_objects(), 0);
}

TEST_F(Gdi, RealizedPaletteFillsTheFreeSystemSlotsAtDepth8) {
    probe::set_display_depth(8);
    HDC screen = GetDC(nullptr);
    std::vector<BYTE> block = logpalette(3, PC_RESERVED);
    HPALETTE mine = CreatePalette(reinterpret_cast<LOGPALETTE*>(block.data()));
    SelectPalette(screen, mine, FALSE);
    EXPECT_EQ(RealizePalette(screen), 3u);
    PALETTEENTRY entries[256];
    GetSystemPaletteEntries(screen, 0, 256, entries);
    EXPECT_TRUE(same(entries[0], 0, 0, 0)) << "static colours stay";
    EXPECT_TRUE(same(entries[10], 0, 0, 0));
    EXPECT_TRUE(same(entries[11], 1, 2, 3));
    EXPECT_TRUE(same(entries[12], 2, 4, 6));
    EXPECT_TRUE(same(entries[255], 255, 255, 255));

    const PALETTEENTRY changed{200, 100, 50, PC_RESERVED};
    EXPECT_TRUE(AnimatePalette(mine, 2, 1, &changed));
    GetSystemPaletteEntries(screen, 12, 1, entries);
    EXPECT_TRUE(same(entries[0], 200, 100, 50)) << "animation reaches the system palette";
    EXPECT_EQ(RealizePalette(nullptr), static_cast<UINT>(GDI_ERROR));
    ReleaseDC(nullptr, screen);
}

TEST_F(Gdi, AnimatePaletteChangesOnlyReservedEntries) {
    std::vector<BYTE> block = logpalette(6, 0);
    LOGPALETTE* lp = reinterpret_cast<LOGPALETTE*>(block.data());
    lp->palPalEntry[2].peFlags = PC_RESERVED;
    lp->palPalEntry[4].peFlags = PC_RESERVED;
    HPALETTE mine = CreatePalette(lp);
    const PALETTEENTRY fresh[4] = {{90, 91, 92, 0}, {93, 94, 95, 0}, {96, 97, 98, 0}, {99, 99, 99, 0}};
    EXPECT_TRUE(AnimatePalette(mine, 1, 4, fresh));
    EXPECT_FALSE(AnimatePalette(mine, 6, 1, fresh)) << "start past the end";
    EXPECT_TRUE(AnimatePalette(mine, 5, 9, fresh)) << "count is clipped to the palette";

    // Draw each entry through DIB_PAL_COLORS to see the palette's content.
    probe::select_backend(probe::Backend::Headless);
    probe::set_client_size(6, 1);
    WNDCLASSA wc{};
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "animate";
    RegisterClassA(&wc);
    HWND hwnd =
        CreateWindowExA(0, "animate", "", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HDC dc = GetDC(hwnd);
    SelectPalette(dc, mine, FALSE);
    Info info = make_info(6, 1, 8);
    WORD* indices = index_table(info);
    for (int i = 0; i < 256; ++i) indices[i] = static_cast<WORD>(i);
    const BYTE row[8] = {0, 1, 2, 3, 4, 5, 0, 0};
    EXPECT_EQ(StretchDIBits(dc, 0, 0, 6, 1, 0, 0, 6, 1, row, bmi(info), DIB_PAL_COLORS, SRCCOPY), 1);
    int w = 0, hgt = 0;
    std::vector<uint32_t> pixels = probe::client_pixels(hwnd, &w, &hgt);
    EXPECT_EQ(pixels, (std::vector<uint32_t>{0x000000, 0x010203, 0x5D5E5F, 0x030609, 0x636363, 0x050A0F}));
    EXPECT_EQ(w, 6);
    EXPECT_EQ(hgt, 1);
}

TEST_F(Gdi, StretchModeIsKeptPerDc) {
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(SetStretchBltMode(screen, COLORONCOLOR), BLACKONWHITE);
    EXPECT_EQ(probe::stretch_mode(screen), COLORONCOLOR);
    EXPECT_EQ(SetStretchBltMode(screen, HALFTONE), COLORONCOLOR);
    EXPECT_EQ(SetStretchBltMode(screen, 0), 0);
    EXPECT_EQ(SetStretchBltMode(screen, 5), 0);
    EXPECT_EQ(probe::stretch_mode(screen), HALFTONE);
    EXPECT_EQ(SetStretchBltMode(nullptr, COLORONCOLOR), 0);
    ReleaseDC(nullptr, screen);
}

TEST_F(Gdi, StretchDIBitsOntoTheScreenValidatesAndDrawsNothing) {
    HDC screen = GetDC(nullptr);
    Info info = make_info(4, 3, 24);
    const BYTE pixels[12 * 3] = {};
    EXPECT_EQ(StretchDIBits(screen, 0, 0, 8, 6, 0, 0, 4, 3, pixels, bmi(info), DIB_RGB_COLORS, SRCCOPY), 3);
    EXPECT_EQ(StretchDIBits(screen, 0, 0, 8, 6, 0, 1, 4, 2, pixels, bmi(info), DIB_RGB_COLORS, SRCCOPY), 2);
    EXPECT_EQ(StretchDIBits(screen, 0, 0, 8, 6, 0, 2, 4, 2, pixels, bmi(info), DIB_RGB_COLORS, SRCCOPY), 0)
        << "source rectangle beyond the bitmap";
    EXPECT_EQ(StretchDIBits(screen, 0, 0, 8, 6, 0, 0, 4, 3, nullptr, bmi(info), DIB_RGB_COLORS, SRCCOPY), 0);
    EXPECT_EQ(StretchDIBits(screen, 0, 0, 8, 6, 0, 0, 4, 3, pixels, nullptr, DIB_RGB_COLORS, SRCCOPY), 0);
    EXPECT_EQ(StretchDIBits(nullptr, 0, 0, 8, 6, 0, 0, 4, 3, pixels, bmi(info), DIB_RGB_COLORS, SRCCOPY), 0);
    EXPECT_EQ(StretchDIBits(screen, 0, 0, 8, 6, 0, 0, 4, 3, pixels, bmi(info), DIB_RGB_COLORS, 0), 0);
    ReleaseDC(nullptr, screen);
}

}  // namespace
