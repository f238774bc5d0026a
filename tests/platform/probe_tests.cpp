// The probe itself: journal, faults, cut reads, bookkeeping and reset.
#include <gtest/gtest.h>
#include <standin/probe.h>
#include <unistd.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace probe = standin::probe;

namespace {

class Probe : public ::testing::Test {
  protected:
    void SetUp() override { probe::reset(); }
};

std::intptr_t ip(const void* p) { return reinterpret_cast<std::intptr_t>(p); }

TEST_F(Probe, JournalRecordsEveryArgumentAndResultInOrder) {
    HDC before = GetDC(nullptr);  // not recorded: the journal is off
    probe::journal_enable(true);
    HDC screen = GetDC(nullptr);
    const int bits = GetDeviceCaps(screen, BITSPIXEL);
    HGDIOBJ font = GetStockObject(OEM_FIXED_FONT);
    HGDIOBJ old = SelectObject(screen, font);
    ReleaseDC(nullptr, screen);
    probe::journal_enable(false);
    ReleaseDC(nullptr, before);  // not recorded either

    const std::vector<probe::Call> calls = probe::journal_take();
    ASSERT_EQ(probe::journal_names(calls),
              (std::vector<std::string>{"GetDC", "GetDeviceCaps", "GetStockObject", "SelectObject", "ReleaseDC"}));
    EXPECT_EQ(calls[0].args, std::vector<std::intptr_t>{0});
    EXPECT_EQ(calls[0].result, ip(screen));
    EXPECT_EQ(calls[1].args, (std::vector<std::intptr_t>{ip(screen), BITSPIXEL}));
    EXPECT_EQ(calls[1].result, bits);
    EXPECT_EQ(calls[2].args, std::vector<std::intptr_t>{OEM_FIXED_FONT});
    EXPECT_EQ(calls[2].result, ip(font));
    EXPECT_EQ(calls[3].args, (std::vector<std::intptr_t>{ip(screen), ip(font)}));
    EXPECT_EQ(calls[3].result, ip(old));
    EXPECT_EQ(calls[4].args, (std::vector<std::intptr_t>{0, ip(screen)}));
    EXPECT_EQ(calls[4].result, 1);
    EXPECT_TRUE(probe::journal_take().empty()) << "taking clears";
}

TEST_F(Probe, JournalKeepsNegativeArgumentsAndFailures) {
    probe::journal_enable(true);
    SetFilePointer(nullptr, -769, nullptr, FILE_END);
    const std::vector<probe::Call> calls = probe::journal_take();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args, (std::vector<std::intptr_t>{0, -769, 0, FILE_END}));
    EXPECT_EQ(calls[0].result, static_cast<std::intptr_t>(INVALID_SET_FILE_POINTER));
}

LRESULT CALLBACK calls_inside(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) ReleaseDC(hwnd, GetDC(hwnd));
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

TEST_F(Probe, CallsMadeInsideACallFollowIt) {
    probe::select_backend(probe::Backend::Headless);
    WNDCLASSA wc{};
    wc.lpfnWndProc = calls_inside;
    wc.lpszClassName = "inside";
    RegisterClassA(&wc);
    probe::journal_enable(true);
    HWND hwnd =
        CreateWindowExA(0, "inside", "t", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    const std::vector<probe::Call> calls = probe::journal_take();
    EXPECT_EQ(probe::journal_names(calls),
              (std::vector<std::string>{"CreateWindowExA", "GetDC", "ReleaseDC", "DefWindowProcA"}));
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].result, ip(hwnd)) << "the result is filled in when the call returns";
    EXPECT_EQ(calls[0].args.size(), 12u);
}

TEST_F(Probe, EachFaultFailsOnlyTheNextCall) {
    HDC screen = GetDC(nullptr);
    probe::fail_next(probe::Fault::CreateCompatibleDC);
    EXPECT_EQ(CreateCompatibleDC(nullptr), nullptr);
    HDC memory = CreateCompatibleDC(nullptr);
    EXPECT_NE(memory, nullptr);
    DeleteDC(memory);

    probe::fail_next(probe::Fault::GlobalAlloc);
    EXPECT_EQ(GlobalAlloc(GHND, 8), nullptr);
    HGLOBAL block = GlobalAlloc(GHND, 8);
    EXPECT_NE(block, nullptr);
    GlobalFree(block);

    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[256];
    } info{};
    info.header = BITMAPINFOHEADER{40, 4, 4, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    probe::fail_next(probe::Fault::CreateDIBSection);
    EXPECT_EQ(CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0),
              nullptr);
    EXPECT_EQ(bits, nullptr);
    HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    EXPECT_NE(bitmap, nullptr);
    DeleteObject(bitmap);

    struct {
        LOGPALETTE header;
    } palette{{0x300, 1, {{1, 2, 3, 0}}}};
    probe::fail_next(probe::Fault::CreatePalette);
    EXPECT_EQ(CreatePalette(&palette.header), nullptr);
    HPALETTE made = CreatePalette(&palette.header);
    EXPECT_NE(made, nullptr);
    DeleteObject(made);

    char self[512];
    GetModuleFileNameA(nullptr, self, sizeof self);
    probe::fail_next(probe::Fault::CreateFileA);
    EXPECT_EQ(CreateFileA(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    HANDLE file = CreateFileA(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(probe::live_gdi_objects(), 0);
    EXPECT_EQ(probe::live_global_blocks(), 0);
    EXPECT_EQ(probe::open_files(), 0);
}

TEST_F(Probe, CutReadsDeliverAtMostNBytesInAll) {
    char self[512];
    GetModuleFileNameA(nullptr, self, sizeof self);
    HANDLE file = CreateFileA(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    probe::cut_reads_after(10);
    BYTE buffer[16];
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(file, buffer, 6, &got, nullptr));
    EXPECT_EQ(got, 6u);
    EXPECT_TRUE(ReadFile(file, buffer, 6, &got, nullptr));
    EXPECT_EQ(got, 4u);
    EXPECT_TRUE(ReadFile(file, buffer, 6, &got, nullptr));
    EXPECT_EQ(got, 0u);
    probe::cut_reads_after(-1);
    EXPECT_TRUE(ReadFile(file, buffer, 6, &got, nullptr));
    EXPECT_EQ(got, 6u);
    HANDLE again = CreateFileA(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    BYTE expected[16];
    SetFilePointer(again, 10, nullptr, FILE_BEGIN);
    ReadFile(again, expected, 6, &got, nullptr);
    EXPECT_EQ(std::vector<BYTE>(buffer, buffer + 6), std::vector<BYTE>(expected, expected + 6))
        << "reading goes on where the cut stopped";
    CloseHandle(again);
    CloseHandle(file);
}

TEST_F(Probe, ResetForgetsObjectsButKeepsTheirMemoryReadable) {
    HDC screen = GetDC(nullptr);
    struct {
        BITMAPINFOHEADER header;
    } info{{40, 4, 4, 1, 24, BI_RGB, 0, 0, 0, 0, 0}};
    void* bits = nullptr;
    CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    GlobalAlloc(GHND, 4);
    probe::set_display_depth(8);
    probe::journal_enable(true);
    probe::fail_next(probe::Fault::GlobalAlloc);
    EXPECT_EQ(probe::live_gdi_objects(), 2);
    probe::reset();
    EXPECT_EQ(probe::live_gdi_objects(), 0);
    EXPECT_EQ(probe::live_global_blocks(), 0);
    EXPECT_EQ(probe::display_depth(), 32);
    EXPECT_EQ(static_cast<BYTE*>(bits)[47], 0) << "the old section's pixels are still there";
    EXPECT_EQ(ReleaseDC(nullptr, screen), 0) << "forgotten";
    HGLOBAL block = GlobalAlloc(GHND, 4);
    EXPECT_NE(block, nullptr) << "the armed fault went with the reset";
    EXPECT_TRUE(probe::journal_take().empty()) << "journal off and empty";
    GlobalFree(block);
}

}  // namespace
