// USER32 in the stand-in on the headless display: window creation, the
// messages Win32 sends and posts, painting and validation, the private DC,
// resizing and closing.
#include <gtest/gtest.h>
#include <standin/probe.h>
#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

namespace probe = standin::probe;

namespace {

struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Seen> g_seen;
HDC g_create_dc = nullptr;
HDC g_paint_dc = nullptr;

std::string name(UINT message) {
    switch (message) {
        case WM_CREATE:
            return "WM_CREATE";
        case WM_DESTROY:
            return "WM_DESTROY";
        case WM_SIZE:
            return "WM_SIZE";
        case WM_SETFOCUS:
            return "WM_SETFOCUS";
        case WM_PAINT:
            return "WM_PAINT";
        case WM_CLOSE:
            return "WM_CLOSE";
        case WM_USER:
            return "WM_USER";
        default:
            return std::to_string(message);
    }
}

std::vector<std::string> names() {
    std::vector<std::string> out;
    for (const Seen& s : g_seen) out.push_back(name(s.message));
    return out;
}

// The demo's kind of window procedure: private DC at WM_CREATE, painting
// through BeginPaint/EndPaint, quit on WM_DESTROY.
LRESULT CALLBACK recording_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    g_seen.push_back(Seen{message, wParam, lParam});
    switch (message) {
        case WM_CREATE:
            g_create_dc = GetDC(hwnd);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            g_paint_dc = BeginPaint(hwnd, &ps);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_DESTROY:
            ReleaseDC(hwnd, g_create_dc);
            PostQuitMessage(3);
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

class Windows : public ::testing::Test {
  protected:
    void SetUp() override {
        probe::reset();
        probe::select_backend(probe::Backend::Headless);
        g_seen.clear();
        g_create_dc = g_paint_dc = nullptr;
    }
    HWND create(UINT style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW, const char* cls = "demo") {
        WNDCLASSA wc{};
        wc.style = style;
        wc.lpfnWndProc = recording_proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.lpszClassName = cls;
        EXPECT_NE(RegisterClassA(&wc), 0);
        return CreateWindowExA(0, cls, "Scaling and Scrolling", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 320,
                               200, nullptr, nullptr, wc.hInstance, nullptr);
    }
    // Takes messages until none is waiting; returns what the loop saw.
    std::vector<std::string> drain(HWND hwnd) {
        std::vector<std::string> loop;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            loop.push_back(name(msg.message));
            if (msg.message == WM_QUIT) {
                quit_code_ = static_cast<int>(msg.wParam);
                break;
            }
            DispatchMessageA(&msg);
        }
        (void)hwnd;
        return loop;
    }
    int quit_code_ = -1;
};

TEST_F(Windows, FullRunMessageOrderFromCreateToQuit) {
    HWND hwnd = create();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(names(), std::vector<std::string>{"WM_CREATE"}) << "sent before CreateWindowExA returns";
    const CREATESTRUCTA* cs = reinterpret_cast<const CREATESTRUCTA*>(g_seen[0].lParam);
    EXPECT_NE(cs, nullptr);
    EXPECT_EQ(probe::main_window(), hwnd);

    ShowWindow(hwnd, SW_SHOWDEFAULT);
    ASSERT_EQ(names(), (std::vector<std::string>{"WM_CREATE", "WM_SETFOCUS", "WM_SIZE"}));
    EXPECT_EQ(g_seen[2].wParam, static_cast<WPARAM>(SIZE_RESTORED));
    EXPECT_EQ(LOWORD(g_seen[2].lParam), 312);
    EXPECT_EQ(HIWORD(g_seen[2].lParam), 173);
    UpdateWindow(hwnd);
    EXPECT_EQ(names().back(), "WM_PAINT") << "sent at once";
    EXPECT_EQ(g_paint_dc, g_create_dc) << "CS_OWNDC: one DC for GetDC and BeginPaint";
    const size_t before = g_seen.size();
    UpdateWindow(hwnd);
    EXPECT_EQ(g_seen.size(), before) << "nothing invalid, no paint";

    int frames = 0;
    probe::set_idle_hook([&] {
        if (++frames == 3) probe::post_close(hwnd);
    });
    std::vector<std::string> loop;
    MSG msg;
    while (true) {
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) continue;
        loop.push_back(name(msg.message));
        if (msg.message == WM_QUIT) break;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    EXPECT_EQ(frames, 3);
    EXPECT_EQ(loop, (std::vector<std::string>{"WM_CLOSE", "18"}));  // 18 is WM_QUIT
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_EQ(names().back(), "WM_DESTROY") << "DefWindowProcA closed it with DestroyWindow";
    EXPECT_FALSE(probe::window_exists(hwnd));
    EXPECT_EQ(probe::main_window(), nullptr);
    EXPECT_EQ(probe::live_gdi_objects(), 0);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "WM_QUIT comes once";
}

TEST_F(Windows, ClientAreaOfTheDemoWindow) {
    HWND hwnd = create();
    RECT rect{9, 9, 9, 9};
    ASSERT_TRUE(GetClientRect(hwnd, &rect));
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, 312);
    EXPECT_EQ(rect.bottom, 173);
    int w = 0, h = 0;
    EXPECT_EQ(probe::client_pixels(hwnd, &w, &h).size(), 312u * 173u);
    EXPECT_EQ(w, 312);
    EXPECT_EQ(h, 173);
    EXPECT_FALSE(GetClientRect(nullptr, &rect));
}

TEST_F(Windows, ForcedClientSize) {
    probe::set_client_size(33, 21);
    HWND hwnd = create();
    RECT rect;
    GetClientRect(hwnd, &rect);
    EXPECT_EQ(rect.right, 33);
    EXPECT_EQ(rect.bottom, 21);
}

TEST_F(Windows, PostedMessagesComeBeforePaintAndPaintOnlyWhenInvalid) {
    HWND hwnd = create();
    ShowWindow(hwnd, SW_SHOW);
    PostMessageA(hwnd, WM_USER, 1, 2);
    PostMessageA(hwnd, WM_USER, 3, 4);
    EXPECT_EQ(drain(hwnd), (std::vector<std::string>{"WM_USER", "WM_USER", "WM_PAINT"}));
    EXPECT_EQ(g_seen.back().message, static_cast<UINT>(WM_PAINT));
    EXPECT_EQ(g_seen[g_seen.size() - 2].wParam, 3u);
    EXPECT_EQ(probe::update_rect(hwnd).right, 0) << "BeginPaint validated";
    EXPECT_TRUE(drain(hwnd).empty());

    RECT part{10, 20, 30, 40};
    InvalidateRect(hwnd, &part, FALSE);
    RECT other{5, 25, 15, 35};
    InvalidateRect(hwnd, &other, FALSE);
    const RECT update = probe::update_rect(hwnd);
    EXPECT_EQ(update.left, 5);
    EXPECT_EQ(update.top, 20);
    EXPECT_EQ(update.right, 30);
    EXPECT_EQ(update.bottom, 40);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT)) << "paint stays until validated";
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    EXPECT_EQ(ps.rcPaint.left, 5);
    EXPECT_EQ(ps.rcPaint.bottom, 40);
    EndPaint(hwnd, &ps);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));

    EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0x999), WM_USER, 0, 0));
    EXPECT_TRUE(PostMessageA(nullptr, WM_USER + 1, 0, 0)) << "a thread message";
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, nullptr);
}

TEST_F(Windows, QuitWaitsForPostedMessagesButNotForPaint) {
    HWND hwnd = create();
    ShowWindow(hwnd, SW_SHOW);
    PostMessageA(hwnd, WM_USER, 0, 0);
    PostQuitMessage(5);
    EXPECT_EQ(drain(hwnd), (std::vector<std::string>{"WM_USER", "18"}));
    EXPECT_EQ(quit_code_, 5);
}

TEST_F(Windows, OwnDcLivesWithTheWindow) {
    HWND hwnd = create();
    HDC dc = GetDC(hwnd);
    EXPECT_EQ(dc, g_create_dc);
    EXPECT_EQ(ReleaseDC(hwnd, dc), 1);
    EXPECT_EQ(GetDC(hwnd), dc) << "releasing the own DC does nothing";
    EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 32);
    DestroyWindow(hwnd);
    EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 0) << "gone with the window";
}

TEST_F(Windows, CommonDcsAreFreshAndReleased) {
    HWND hwnd = create(0, "plain");
    HDC a = GetDC(hwnd);
    HDC b = GetDC(hwnd);
    EXPECT_NE(a, b);
    EXPECT_EQ(probe::live_gdi_objects(), 3);  // the one from WM_CREATE too
    EXPECT_EQ(ReleaseDC(hwnd, a), 1);
    EXPECT_EQ(ReleaseDC(hwnd, b), 1);
    EXPECT_EQ(ReleaseDC(hwnd, g_create_dc), 1);
    EXPECT_EQ(probe::live_gdi_objects(), 0);
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    EXPECT_EQ(probe::live_gdi_objects(), 0) << "EndPaint gave back BeginPaint's DC";
}

TEST_F(Windows, ResizeWithRedrawStylesInvalidatesEverything) {
    HWND hwnd = create();
    ShowWindow(hwnd, SW_SHOW);
    drain(hwnd);
    g_seen.clear();
    probe::post_resize(hwnd, 100, 60);
    drain(hwnd);
    ASSERT_EQ(names(), (std::vector<std::string>{"WM_SIZE", "WM_PAINT"}));
    EXPECT_EQ(LOWORD(g_seen[0].lParam), 100);
    EXPECT_EQ(HIWORD(g_seen[0].lParam), 60);
    int w = 0, h = 0;
    EXPECT_EQ(probe::client_pixels(hwnd, &w, &h).size(), 6000u);

    // Without the redraw styles only the uncovered part becomes invalid.
    HWND plain = create(CS_OWNDC, "plain");
    ShowWindow(plain, SW_SHOW);
    drain(plain);
    probe::post_resize(plain, 400, 173);
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    const RECT update = probe::update_rect(plain);
    EXPECT_EQ(update.left, 312);
    EXPECT_EQ(update.right, 400);
    EXPECT_EQ(update.top, 0);
    EXPECT_EQ(update.bottom, 173);
}

TEST_F(Windows, MinimiseAndRestore) {
    HWND hwnd = create();
    ShowWindow(hwnd, SW_SHOW);
    drain(hwnd);
    g_seen.clear();
    probe::post_minimize(hwnd);
    EXPECT_TRUE(drain(hwnd).empty()) << "nothing to paint while minimised";
    ASSERT_EQ(names(), std::vector<std::string>{"WM_SIZE"});
    EXPECT_EQ(g_seen[0].wParam, static_cast<WPARAM>(SIZE_MINIMIZED));
    EXPECT_EQ(g_seen[0].lParam, 0);
    int w = 1, h = 1;
    EXPECT_TRUE(probe::client_pixels(hwnd, &w, &h).empty());
    EXPECT_EQ(w, 0);
    RECT rect;
    GetClientRect(hwnd, &rect);
    EXPECT_EQ(rect.right, 0);
    EXPECT_EQ(rect.bottom, 0);
    probe::post_restore(hwnd);
    drain(hwnd);
    EXPECT_EQ(names(), (std::vector<std::string>{"WM_SIZE", "WM_SIZE", "WM_PAINT"}));
    EXPECT_EQ(LOWORD(g_seen[1].lParam), 312);
    EXPECT_EQ(HIWORD(g_seen[1].lParam), 173);
}

TEST_F(Windows, FocusFromTheDisplayIsSent) {
    HWND hwnd = create();
    ShowWindow(hwnd, SW_SHOW);
    drain(hwnd);
    g_seen.clear();
    probe::post_focus(hwnd);
    drain(hwnd);
    EXPECT_EQ(names(), std::vector<std::string>{"WM_SETFOCUS"});
}

TEST_F(Windows, CreationFailures) {
    EXPECT_EQ(CreateWindowExA(0, "nope", "", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    HWND hwnd = create();
    ASSERT_NE(hwnd, nullptr);
    WNDCLASSA again{};
    again.lpfnWndProc = recording_proc;
    again.lpszClassName = "DEMO";
    EXPECT_EQ(RegisterClassA(&again), 0) << "class names ignore case";
    EXPECT_FALSE(DestroyWindow(reinterpret_cast<HWND>(0x1234)));
    EXPECT_TRUE(DestroyWindow(hwnd));
    EXPECT_FALSE(DestroyWindow(hwnd));
    EXPECT_EQ(LoadIconA(nullptr, IDI_APPLICATION), LoadIconA(nullptr, IDI_APPLICATION));
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
}

LRESULT CALLBACK refusing_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    g_seen.push_back(Seen{message, wParam, lParam});
    if (message == WM_CREATE) return -1;
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

TEST_F(Windows, WmCreateReturningMinusOneDestroysTheWindow) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = refusing_proc;
    wc.lpszClassName = "refuse";
    RegisterClassA(&wc);
    EXPECT_EQ(CreateWindowExA(0, "refuse", "", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(names(), (std::vector<std::string>{"WM_CREATE", "WM_DESTROY"}));
    EXPECT_EQ(probe::main_window(), nullptr);
}

}  // namespace

// What a paced frame loop relies on: a waitable timer ends the wait when it
// is due and not before, input ends it at once, a satisfied wait takes the
// signal, and with pacing off (the probe's default) nothing ever sleeps.
TEST_F(Windows, MessageWaitsForTimersAndInput) {
    using Clock = std::chrono::steady_clock;
    const auto ms_since = [](Clock::time_point t) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
    };
    HWND hwnd = create();
    drain(hwnd);
    EXPECT_EQ(GetDeviceCaps(GetDC(hwnd), VREFRESH), 1) << "a headless display has no rate of its own";
    HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    ASSERT_NE(timer, nullptr);
    probe::set_pacing(true);

    Clock::time_point start = Clock::now();
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &timer, FALSE, 30, QS_ALLINPUT), WAIT_TIMEOUT) << "never set";
    EXPECT_GE(ms_since(start), 30);

    LARGE_INTEGER due;
    due.QuadPart = -4000000;  // 400 ms from now: room for a busy machine between the two waits
    start = Clock::now();
    ASSERT_TRUE(SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE));
    PostMessageA(hwnd, WM_USER, 0, 0);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &timer, FALSE, INFINITE, QS_ALLINPUT), WAIT_OBJECT_0 + 1);
    EXPECT_LT(ms_since(start), 400) << "a posted message ends the wait at once";
    EXPECT_EQ(drain(hwnd), std::vector<std::string>{"WM_USER"});
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &timer, FALSE, INFINITE, QS_ALLINPUT), WAIT_OBJECT_0);
    EXPECT_GE(ms_since(start), 400);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &timer, FALSE, 0, QS_ALLINPUT), WAIT_TIMEOUT) << "the signal was taken";

    HANDLE not_a_timer = GetModuleHandleA(nullptr);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &not_a_timer, FALSE, 0, QS_ALLINPUT), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    probe::set_pacing(false);
    due.QuadPart = -100000000;  // 10 s
    ASSERT_TRUE(SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE));
    start = Clock::now();
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &timer, FALSE, INFINITE, QS_ALLINPUT), WAIT_OBJECT_0);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &timer, FALSE, INFINITE, QS_ALLINPUT), WAIT_TIMEOUT);
    EXPECT_LT(ms_since(start), 1000) << "unpaced, nothing sleeps";

    EXPECT_TRUE(CloseHandle(timer));
    EXPECT_FALSE(CloseHandle(timer));
}
