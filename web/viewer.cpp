// PCX viewer for the web page: a small Win32 program on the raster library.
//
// The page hands it a file's bytes (ViewerOpen, called from the page's
// script, posts them to the window as a private message); the window
// procedure decodes the picture with the PCX codec into red, green, blue
// and alpha bytes, so that every picture keeps its exact colours, and
// draws them stretched to fit the window with its proportions kept, on
// black. What was shown (with any damage or notes the codec found), or why
// the codec refused the file, goes back to the page in one line.
//
// A multi-page (DCX) file is kept while it is open: its table is listed
// once, its first page shown, and the page asks for others (ViewerPage).
// Each page is named as a picture is, after "page N of M: ", with what is
// wrong with the table where it touches that page (a page lost to a file
// cut short, pages that overlap).
#include <emscripten.h>
#include <windows.h>

#include <raster/raster.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// The window's messages answered as the demo answers them.
#include "demo/window/palette_window.h"

namespace {

const char kClassName[] = "PcxViewer";
const char kCaption[] = "PCX Viewer";
// wParam: size in bytes; lParam: the block, from malloc (the window frees it).
constexpr UINT kOpenMessage = WM_USER + 1;
// wParam: the page of the open multi-page file to show, from 0.
constexpr UINT kPageMessage = WM_USER + 2;
// Pictures of more pixels are not held (a damaged header may claim
// 65536 x 65536); 4 bytes each, so at most 256 MiB.
constexpr int64_t kMaxPixels = int64_t{1} << 26;

HWND viewerWindow;
PaletteWindow window;
int32_t background = -1;  // 4 x 1 black surface, stretched behind the picture
uint8_t* picture;         // blue, green, red, unused: a top-down 32-bit DIB's bits
int32_t pictureWidth;
int32_t pictureHeight;
// The open multi-page file: its bytes (from malloc) and its table.
uint8_t* dcxData;
std::vector<pcx_dcx_page> dcxPages;

// page and pages are 0 for a file of one picture.
EM_JS(void, ReportToPage, (const char* text, int shown, int damaged, int page, int pages), {
    if (Module.onViewerReport) Module.onViewerReport(UTF8ToString(text), shown != 0, damaged != 0, page, pages);
});

// What OpenPicture shows, for the page.
struct Report {
    std::string text;
    bool shown;
    bool damaged;
};

// The result's words and its name, which the page's tests look for.
std::string RefusalText(int32_t result) {
    const char* name = result == PCX_BAD_HEADER     ? " (PCX_BAD_HEADER)"
                       : result == PCX_BAD_LAYOUT   ? " (PCX_BAD_LAYOUT)"
                       : result == RASTER_NO_MEMORY ? " (RASTER_NO_MEMORY)"
                                                    : "";
    return std::string("not shown: ") + pcx_result_text(result) + name;
}

// "; damaged: ...; note: ..." for what the codec found, in its words.
std::string Findings(const pcx_facts& facts) {
    std::string text;
    for (int32_t bit = 1; bit != 0 && bit <= facts.damage; bit <<= 1) {
        if ((facts.damage & bit) == 0) continue;
        text += std::string("; damaged: ") + pcx_damage_text(bit);
        if (bit == PCX_DAMAGE_SHORT_DATA) {
            text += " (after row " + std::to_string(facts.rows_decoded) + " of " + std::to_string(facts.height) + ")";
        }
    }
    for (int32_t bit = 1; bit != 0 && bit <= facts.notes; bit <<= 1) {
        if ((facts.notes & bit) != 0) text += std::string("; note: ") + pcx_note_text(bit);
    }
    return text;
}

void DropPicture() {
    std::free(picture);
    picture = nullptr;
}

// Red, green, blue, alpha to the DIB's blue, green, red, unused.
void ToDibOrder(uint8_t* pixels, size_t count) {
    for (size_t i = 0; i < count; ++i, pixels += 4) std::swap(pixels[0], pixels[2]);
}

// The picture decoded whole, or the reason it is not shown.
Report OpenPicture(const uint8_t* data, uint32_t size) {
    DropPicture();
    pcx_facts facts;
    int32_t result = pcx_inspect(data, size, &facts);
    std::string text;
    const int64_t pixels = int64_t{facts.width} * facts.height;
    uint8_t* rgba = nullptr;
    if (result == PCX_OK && pixels <= kMaxPixels) rgba = static_cast<uint8_t*>(std::malloc(size_t(pixels) * 4));
    if (result == PCX_OK && rgba == nullptr) {
        text = "not shown: " + std::to_string(facts.width) + " x " + std::to_string(facts.height) +
               " pixels is too large to hold";
    } else if (result == PCX_OK) {
        const size_t row = static_cast<size_t>(facts.width) * 4;
        result = pcx_decode(data, size, PCX_FORMAT_RGBA, rgba, row * size_t(facts.height), ptrdiff_t(row), &facts);
    }
    if (result != PCX_OK) {
        std::free(rgba);
        rgba = nullptr;
        text = RefusalText(result);
    }
    if (rgba != nullptr) {
        ToDibOrder(rgba, size_t(pixels));
        picture = rgba;
        pictureWidth = facts.width;
        pictureHeight = facts.height;
        const std::string colours =
            facts.colour_source == 0 ? std::string("true colour") : std::to_string(facts.colours) + " colours";
        text = std::to_string(facts.width) + " x " + std::to_string(facts.height) + " pixels, " + colours +
               Findings(facts);
    }
    return Report{text, picture != nullptr, picture != nullptr && facts.damage != 0};
}

void DropFile() {
    std::free(dcxData);
    dcxData = nullptr;
    dcxPages.clear();
}

// "; damaged: ..." for each fault of the table in `faults`.
std::string TableFindings(int32_t faults) {
    std::string text;
    for (int32_t bit = 1; bit != 0 && bit <= faults; bit <<= 1) {
        if ((faults & bit) != 0) text += std::string("; damaged: ") + pcx_dcx_fault_text(bit);
    }
    return text;
}

// A page of the open multi-page file: lost (the file ends before it), not
// a picture, or decoded as a picture is.
Report OpenPage(size_t index) {
    pcx_dcx_page& page = dcxPages[index];
    Report report{"", false, true};
    if ((page.faults & PCX_DCX_PAST_END) != 0) {
        DropPicture();
        report.text = std::string("lost: ") + pcx_dcx_fault_text(PCX_DCX_PAST_END);
        return report;
    }
    const uint8_t* data = dcxData + page.offset;
    const size_t extent = static_cast<size_t>(page.extent);
    pcx_dcx_check_page(data, std::min<size_t>(extent, 128), &page);
    if ((page.faults & PCX_DCX_NOT_PCX) != 0) {
        DropPicture();
        report.text = std::string("not shown: ") + pcx_dcx_fault_text(PCX_DCX_NOT_PCX);
        return report;
    }
    report = OpenPicture(data, static_cast<uint32_t>(extent));
    if (report.shown && page.faults != 0) {
        report.text += TableFindings(page.faults);
        report.damaged = true;
    }
    return report;
}

void ShowPage(size_t index) {
    if (index >= dcxPages.size()) return;
    const Report report = OpenPage(index);
    const std::string text =
        "page " + std::to_string(index + 1) + " of " + std::to_string(dcxPages.size()) + ": " + report.text;
    ReportToPage(text.c_str(), report.shown, report.damaged, static_cast<int>(index + 1),
                 static_cast<int>(dcxPages.size()));
    InvalidateRect(viewerWindow, nullptr, FALSE);
}

// A multi-page file is kept (the window frees it when the next one opens);
// a picture is decoded and let go.
void OpenFile(uint8_t* data, uint32_t size) {
    DropFile();
    pcx_dcx_facts facts;
    if (!pcx_is_dcx(data, size) || pcx_dcx_list(data, size, size, &facts, nullptr, 0) != PCX_OK) {
        const Report report = OpenPicture(data, size);
        std::free(data);
        ReportToPage(report.text.c_str(), report.shown, report.damaged, 0, 0);
        InvalidateRect(viewerWindow, nullptr, FALSE);
        return;
    }
    dcxPages.resize(static_cast<size_t>(facts.pages));
    pcx_dcx_list(data, size, size, &facts, dcxPages.data(), facts.pages);
    dcxData = data;
    if (dcxPages.empty()) {
        DropPicture();
        const std::string text = "not shown: " + std::string(pcx_dcx_fault_text(PCX_DCX_NO_PAGES));
        ReportToPage(text.c_str(), false, false, 0, 0);
        InvalidateRect(viewerWindow, nullptr, FALSE);
        return;
    }
    ShowPage(0);
}

// The largest rectangle of the picture's proportions inside the client
// area, centred; black around it.
void Paint() {
    if (window.clientWidth < 1 || window.clientHeight < 1) return;
    surface_select(background);
    present(0, 3, 0, 0, 0, window.clientWidth - 1, 0, window.clientHeight - 1);
    if (picture == nullptr) return;
    const double scale = std::min(static_cast<double>(window.clientWidth) / pictureWidth,
                                  static_cast<double>(window.clientHeight) / pictureHeight);
    const int32_t width = std::max<int32_t>(1, static_cast<int32_t>(pictureWidth * scale + 0.5));
    const int32_t height = std::max<int32_t>(1, static_cast<int32_t>(pictureHeight * scale + 0.5));
    const int32_t left = (window.clientWidth - width) / 2;
    const int32_t top = (window.clientHeight - height) / 2;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = pictureWidth;
    info.bmiHeader.biHeight = -pictureHeight;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetStretchBltMode(window.dc, COLORONCOLOR);
    StretchDIBits(window.dc, left, top, width, height, 0, 0, pictureWidth, pictureHeight, picture, &info,
                  DIB_RGB_COLORS, SRCCOPY);
}

// A loop of its own, not the demo shell's: the shell paces and presents a moving scene, this paints one decoded picture
// and sleeps until a message comes.
LRESULT OnOpen(WPARAM wParam, LPARAM lParam) {
    OpenFile(reinterpret_cast<uint8_t*>(lParam), static_cast<uint32_t>(wParam));
    return 0;
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandlePaletteWindowMessage(&window, hwnd, message, lParam, Paint, &result)) return result;
    if (message == kOpenMessage) return OnOpen(wParam, lParam);
    if (message == kPageMessage) {
        ShowPage(static_cast<size_t>(wParam));
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

// Called by the page with a block from malloc holding a file's bytes; the
// window takes it over.
extern "C" EMSCRIPTEN_KEEPALIVE int ViewerOpen(uint8_t* data, uint32_t size) {
    if (viewerWindow == nullptr || !PostMessageA(viewerWindow, kOpenMessage, size, reinterpret_cast<LPARAM>(data))) {
        std::free(data);
        return 0;
    }
    return 1;
}

// Called by the page to show a page (from 1) of the open multi-page file;
// 0 when no such page is open.
extern "C" EMSCRIPTEN_KEEPALIVE int ViewerPage(int32_t page) {
    if (viewerWindow == nullptr || page < 1 || static_cast<size_t>(page) > dcxPages.size()) return 0;
    return PostMessageA(viewerWindow, kPageMessage, static_cast<WPARAM>(page - 1), 0) ? 1 : 0;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int nCmdShow) {
    WNDCLASSA wc{};
    wc.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = hInstance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    RegisterClassA(&wc);
    viewerWindow = CreateWindowExA(0, kClassName, kCaption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 640, 480,
                                   nullptr, nullptr, hInstance, nullptr);
    if (viewerWindow == nullptr) return 1;

    raster_init();
    surface_set_depth(8);
    background = surface_create(4, 1);

    ShowWindow(viewerWindow, nCmdShow);
    UpdateWindow(viewerWindow);

    // Nothing moves between files: with the queue empty the viewer sleeps
    // until a message comes.
    MSG msg;
    while (true) {
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
            continue;
        }
        if (msg.message == WM_QUIT) break;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    DropPicture();
    DropFile();
    surface_deselect();
    surface_destroy(background);
    raster_shutdown();
    viewerWindow = nullptr;
    return static_cast<int>(msg.wParam);
}
