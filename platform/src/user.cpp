// USER32: window classes, windows, the message queue, painting and DCs.
//
// One thread, one queue. Messages Win32 sends (WM_CREATE, WM_SIZE,
// WM_SETFOCUS, WM_PAINT from UpdateWindow, WM_DESTROY) call the window
// procedure directly; posted ones wait in the queue. PeekMessageA first
// lets the display put the last frame on screen and collect its events,
// then hands out posted messages, then WM_QUIT, then WM_PAINT for a window
// with an invalid part, and otherwise runs the idle hook and reports an
// empty queue.
#include <signal.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "internal.h"

namespace standin {

namespace {

volatile sig_atomic_t g_close_requested = 0;

void on_close_signal(int) { g_close_requested = 1; }

// SIGINT and SIGTERM close the window the ordinary way, so the program ends
// through WM_CLOSE and its own clean-up. A second signal, arriving while
// the first is still unanswered, ends the process (the handler resets).
void install_signal_handlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = on_close_signal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

DWORD tick_count() {
    using namespace std::chrono;
    return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::string lower(const char* text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool is_empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

LRESULT send(uintptr_t hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = find_window(as<HWND>(hwnd));
    if (window == nullptr || window->proc == nullptr) return 0;
    return window->proc(as<HWND>(hwnd), message, wParam, lParam);
}

void invalidate(Window& window, const RECT* rect, bool erase) {
    if (!window.visible || window.minimized) return;
    RECT r{0, 0, window.client_width, window.client_height};
    if (rect != nullptr) {
        r.left = std::max(r.left, rect->left);
        r.top = std::max(r.top, rect->top);
        r.right = std::min(r.right, rect->right);
        r.bottom = std::min(r.bottom, rect->bottom);
    }
    if (is_empty(r)) return;
    if (is_empty(window.update)) {
        window.update = r;
    } else {
        window.update.left = std::min(window.update.left, r.left);
        window.update.top = std::min(window.update.top, r.top);
        window.update.right = std::max(window.update.right, r.right);
        window.update.bottom = std::max(window.update.bottom, r.bottom);
    }
    if (erase) window.erase_pending = true;
}

void validate(Window& window) {
    window.update = RECT{0, 0, 0, 0};
    window.erase_pending = false;
}

// New client size; the old picture is kept where it still fits.
void set_client_size(Window& window, int width, int height) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    const int keep_w = std::min(width, window.client_width);
    const int keep_h = std::min(height, window.client_height);
    for (int y = 0; y < keep_h && !window.framebuffer.empty(); ++y) {
        std::memcpy(&pixels[static_cast<size_t>(y) * width],
                    &window.framebuffer[static_cast<size_t>(y) * window.client_width],
                    static_cast<size_t>(keep_w) * sizeof(uint32_t));
    }
    window.outer_width += width - window.client_width;
    window.outer_height += height - window.client_height;
    window.client_width = width;
    window.client_height = height;
    window.framebuffer.swap(pixels);
    window.framebuffer_changed = true;
}

void minimize(uintptr_t hwnd) {
    Window* window = find_window(as<HWND>(hwnd));
    if (window == nullptr || window->minimized) return;
    window->restored_width = window->client_width;
    window->restored_height = window->client_height;
    window->minimized = true;
    window->client_width = 0;
    window->client_height = 0;
    window->framebuffer.clear();
    validate(*window);
    send(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
}

void resize(uintptr_t hwnd, int width, int height) {
    Window* window = find_window(as<HWND>(hwnd));
    if (window == nullptr) return;
    width = std::max(width, 0);
    height = std::max(height, 0);
    const int old_w = window->minimized ? 0 : window->client_width;
    const int old_h = window->minimized ? 0 : window->client_height;
    if (window->minimized) {
        window->minimized = false;
        window->client_width = 0;
        window->client_height = 0;
    }
    set_client_size(*window, width, height);
    const bool redraw_all = window->class_style & (CS_HREDRAW | CS_VREDRAW);
    if (redraw_all || old_w == 0 || old_h == 0) {
        invalidate(*window, nullptr, true);
    } else {
        // Only the newly uncovered strips need painting.
        RECT right{old_w, 0, width, height};
        RECT bottom{0, old_h, width, height};
        invalidate(*window, &right, true);
        invalidate(*window, &bottom, true);
    }
    send(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
}

void restore(uintptr_t hwnd) {
    Window* window = find_window(as<HWND>(hwnd));
    if (window == nullptr || !window->minimized) return;
    resize(hwnd, window->restored_width, window->restored_height);
}

bool destroy_window(uintptr_t hwnd) {
    State& s = state();
    Window* window = find_window(as<HWND>(hwnd));
    if (window == nullptr) return false;
    if (window->destroying) return true;
    window->destroying = true;
    if (s.display) s.display->show_window(*window, false);
    send(hwnd, WM_DESTROY, 0, 0);
    window = find_window(as<HWND>(hwnd));
    if (window == nullptr) return true;
    if (s.display) s.display->destroy_window(*window);
    // Every DC of the window dies with it, its own DC included.
    std::vector<uintptr_t> dcs;
    for (auto& entry : s.gdi) {
        if (entry.second->kind == Kind::Dc && entry.second->window == hwnd) dcs.push_back(entry.first);
    }
    for (uintptr_t dc : dcs) destroy_dc(dc);
    s.posted.erase(std::remove_if(s.posted.begin(), s.posted.end(), [hwnd](const MSG& m) { return h(m.hwnd) == hwnd; }),
                   s.posted.end());
    s.display_events.erase(std::remove_if(s.display_events.begin(), s.display_events.end(),
                                          [hwnd](const DisplayEvent& e) { return e.window == hwnd; }),
                           s.display_events.end());
    s.windows.erase(hwnd);
    return true;
}

void post(uintptr_t hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg{};
    msg.hwnd = as<HWND>(hwnd);
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = tick_count();
    state().posted.push_back(msg);
}

void show(uintptr_t hwnd, int command) {
    State& s = state();
    Window* window = find_window(as<HWND>(hwnd));
    if (window == nullptr) return;
    if (command == SW_HIDE) {
        if (!window->visible) return;
        window->visible = false;
        validate(*window);
        if (s.display) s.display->show_window(*window, false);
        return;
    }
    const bool to_minimized = command == SW_MINIMIZE || command == SW_SHOWMINIMIZED || command == 7;
    if (!window->visible) {
        window->visible = true;
        if (s.display) s.display->show_window(*window, true);
        if (!to_minimized) {
            invalidate(*window, nullptr, true);
            send(hwnd, WM_SETFOCUS, 0, 0);
            window = find_window(as<HWND>(hwnd));
            if (window == nullptr) return;
            send(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(window->client_width, window->client_height));
            return;
        }
    }
    if (to_minimized) {
        minimize(hwnd);
    } else {
        restore(hwnd);
    }
}

bool in_range(UINT message, UINT low, UINT high) {
    return (low == 0 && high == 0) || (message >= low && message <= high);
}

// Whatever would make PeekMessageA hand out a message: posted messages, the
// quit message, display events, a close signal or a window to repaint.
bool input_pending() {
    const State& s = state();
    if (!s.posted.empty() || s.quit_posted || !s.display_events.empty() || g_close_requested) return true;
    for (const auto& entry : s.windows) {
        if (!is_empty(entry.second->update)) return true;
    }
    return false;
}

bool window_matches(uintptr_t msg_window, HWND filter) {
    if (filter == nullptr) return true;
    if (h(filter) == static_cast<uintptr_t>(-1)) return msg_window == 0;
    return msg_window == h(filter);
}

}  // namespace

void choose_display() {
    State& s = state();
    if (s.display) return;
    probe::Backend choice = s.backend_choice;
    if (choice == probe::Backend::Auto) {
        const char* env = std::getenv("SCALING_SCROLLING_HEADLESS");
        const bool headless = env != nullptr && env[0] != '\0' && std::strcmp(env, "0") != 0;
        choice = headless ? probe::Backend::Headless : probe::Backend::Sdl;
    }
    if (choice == probe::Backend::Headless) {
        s.display = make_headless_display();
    } else {
#ifdef __EMSCRIPTEN__
        s.display = make_web_display();
#else
        std::string error;
        s.display = make_sdl_display(&error);
        if (!s.display) {
            std::fprintf(stderr,
                         "%s: cannot open a display (%s); to run without one, set SCALING_SCROLLING_HEADLESS=1 "
                         "or start it under xvfb-run\n",
                         program_invocation_short_name, error.c_str());
            std::exit(2);
        }
#endif
    }
    install_signal_handlers();
    start_frame_stats();
}

void process_display_events() {
    State& s = state();
    if (g_close_requested) {
        g_close_requested = 0;
        if (s.last_window != 0) s.display_events.push_back(DisplayEvent{DisplayEvent::Close, s.last_window, 0, 0});
    }
    if (s.display) {
        for (auto& entry : s.windows) s.display->present(*entry.second);
        s.display->pump(s.display_events);
    }
    while (!s.display_events.empty()) {
        const DisplayEvent event = s.display_events.front();
        s.display_events.pop_front();
        Window* window = find_window(as<HWND>(event.window));
        if (window == nullptr) continue;
        switch (event.type) {
            case DisplayEvent::Resize:
                resize(event.window, event.width, event.height);
                break;
            case DisplayEvent::Minimize:
                minimize(event.window);
                break;
            case DisplayEvent::Restore:
                restore(event.window);
                break;
            case DisplayEvent::Focus:
                send(event.window, WM_SETFOCUS, 0, 0);
                break;
            case DisplayEvent::Close:
                // The close box: the program hears WM_CLOSE through its loop.
                post(event.window, WM_CLOSE, 0, 0);
                break;
            case DisplayEvent::Expose:
                invalidate(*window, nullptr, false);
                break;
        }
    }
}

}  // namespace standin

using namespace standin;

ATOM WINAPI RegisterClassA(const WNDCLASSA* wc) {
    JournalEntry j("RegisterClassA", wc);
    State& s = state();
    if (wc == nullptr || wc->lpfnWndProc == nullptr || wc->lpszClassName == nullptr || h(wc->lpszClassName) < 0x10000 ||
        wc->lpszClassName[0] == '\0') {
        set_error(ERROR_INVALID_PARAMETER);
        return j.done<ATOM>(0);
    }
    const std::string key = lower(wc->lpszClassName);
    if (s.classes.count(key) != 0) {
        set_error(ERROR_CLASS_ALREADY_EXISTS);
        return j.done<ATOM>(0);
    }
    WindowClass entry;
    entry.wc = *wc;
    entry.name = wc->lpszClassName;
    entry.wc.lpszClassName = nullptr;  // the caller's string may not outlive the call
    entry.wc.lpszMenuName = nullptr;
    entry.atom = static_cast<ATOM>(0xC000 + s.classes.size());
    s.classes[key] = entry;
    return j.done(entry.atom);
}

static HANDLE shared_resource(Kind kind, HINSTANCE instance, LPCSTR name) {
    State& s = state();
    const uintptr_t id = h(name);
    // Only the system's own icons and cursors exist: the program has no
    // resources of its own.
    if (instance != nullptr || id < 32512 || id > 32767) {
        s.last_error = 1813;  // ERROR_RESOURCE_TYPE_NOT_FOUND
        return nullptr;
    }
    const uint64_t key = (static_cast<uint64_t>(kind) << 32) | id;
    auto it = s.shared_resources.find(key);
    if (it == s.shared_resources.end()) it = s.shared_resources.emplace(key, new_handle(kind)).first;
    return as<HANDLE>(it->second);
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    JournalEntry j("LoadIconA", instance, name);
    return j.done(static_cast<HICON>(shared_resource(Kind::Icon, instance, name)));
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    JournalEntry j("LoadCursorA", instance, name);
    return j.done(static_cast<HCURSOR>(shared_resource(Kind::Cursor, instance, name)));
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                            int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    JournalEntry j("CreateWindowExA", exStyle, className, windowName, style, x, y, width, height, parent, menu,
                   instance, param);
    State& s = state();
    const WindowClass* cls = nullptr;
    if (className != nullptr && h(className) < 0x10000) {
        for (auto& entry : s.classes) {
            if (entry.second.atom == h(className)) cls = &entry.second;
        }
    } else if (className != nullptr) {
        auto it = s.classes.find(lower(className));
        if (it != s.classes.end()) cls = &it->second;
    }
    if (cls == nullptr) {
        set_error(ERROR_CANNOT_FIND_WND_CLASS);
        return j.done<HWND>(nullptr);
    }
    if (parent != nullptr && find_window(parent) == nullptr) {
        set_error(ERROR_INVALID_WINDOW_HANDLE);
        return j.done<HWND>(nullptr);
    }
    choose_display();

    auto window = std::make_unique<Window>();
    const uintptr_t hwnd = new_handle(Kind::Window);
    window->handle = hwnd;
    window->class_name = cls->name;
    window->class_style = cls->wc.style;
    window->proc = cls->wc.lpfnWndProc;
    window->title = windowName != nullptr ? windowName : "";
    window->style = style;
    window->x = x == CW_USEDEFAULT ? 0 : x;
    window->y = (x == CW_USEDEFAULT || y == CW_USEDEFAULT) ? 0 : y;
    window->outer_width = width == CW_USEDEFAULT ? 640 : std::max(width, 0);
    window->outer_height = width == CW_USEDEFAULT ? 480 : std::max(height, 0);
    // The frame: 4 pixels of sizing border on each side, a 19-pixel caption
    // under the top border (23 pixels in all above the client area).
    const int frame = (style & WS_THICKFRAME) ? 4 : ((style & WS_CAPTION) ? 3 : 0);
    const int caption = (style & WS_CAPTION) == WS_CAPTION ? 19 : 0;
    int client_w = std::max(window->outer_width - 2 * frame, 0);
    int client_h = std::max(window->outer_height - 2 * frame - caption, 0);
    if (s.forced_client_width > 0 && s.forced_client_height > 0) {
        client_w = s.forced_client_width;
        client_h = s.forced_client_height;
        window->outer_width = client_w + 2 * frame;
        window->outer_height = client_h + 2 * frame + caption;
    }
    window->client_width = client_w;
    window->client_height = client_h;
    window->framebuffer.assign(static_cast<size_t>(client_w) * static_cast<size_t>(client_h), 0);
    Window* raw = window.get();
    s.windows[hwnd] = std::move(window);
    s.last_window = hwnd;
    if (cls->wc.style & CS_OWNDC) {
        raw->own_dc = create_dc(DcKind::Window, hwnd);
        s.gdi[raw->own_dc]->own_dc = true;
    }
    if (!s.display->create_window(*raw)) {
        std::fprintf(stderr,
                     "%s: cannot open a window on the display; to run without one, set "
                     "SCALING_SCROLLING_HEADLESS=1 or start it under xvfb-run\n",
                     program_invocation_short_name);
        std::exit(2);
    }

    CREATESTRUCTA create{};
    create.lpCreateParams = param;
    create.hInstance = instance;
    create.hMenu = menu;
    create.hwndParent = parent;
    create.cy = raw->outer_height;
    create.cx = raw->outer_width;
    create.y = raw->y;
    create.x = raw->x;
    create.style = static_cast<LONG>(style);
    create.lpszName = windowName;
    create.lpszClass = className;
    create.dwExStyle = exStyle;
    if (send(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        destroy_window(hwnd);
        return j.done<HWND>(nullptr);
    }
    if (find_window(as<HWND>(hwnd)) == nullptr) return j.done<HWND>(nullptr);
    if (style & WS_VISIBLE) show(hwnd, SW_SHOW);
    return j.done(as<HWND>(hwnd));
}

BOOL WINAPI ShowWindow(HWND hwnd, int cmdShow) {
    JournalEntry j("ShowWindow", hwnd, cmdShow);
    Window* window = find_window(hwnd);
    if (window == nullptr) {
        set_error(ERROR_INVALID_WINDOW_HANDLE);
        return j.done<BOOL>(FALSE);
    }
    const BOOL was_visible = window->visible ? TRUE : FALSE;
    show(h(hwnd), cmdShow);
    return j.done(was_visible);
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
    JournalEntry j("UpdateWindow", hwnd);
    Window* window = find_window(hwnd);
    if (window == nullptr) {
        set_error(ERROR_INVALID_WINDOW_HANDLE);
        return j.done<BOOL>(FALSE);
    }
    if (!is_empty(window->update)) send(h(hwnd), WM_PAINT, 0, 0);
    return j.done<BOOL>(TRUE);
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
    JournalEntry j("PeekMessageA", msg, hwnd, filterMin, filterMax, removeMsg);
    State& s = state();
    if (msg == nullptr) return j.done<BOOL>(FALSE);
    process_display_events();
    const bool remove = (removeMsg & PM_REMOVE) != 0;
    for (auto it = s.posted.begin(); it != s.posted.end(); ++it) {
        if (window_matches(h(it->hwnd), hwnd) && in_range(it->message, filterMin, filterMax)) {
            *msg = *it;
            if (remove) s.posted.erase(it);
            return j.done<BOOL>(TRUE);
        }
    }
    if (s.quit_posted && in_range(WM_QUIT, filterMin, filterMax) && window_matches(0, hwnd)) {
        MSG quit{};
        quit.message = WM_QUIT;
        quit.wParam = static_cast<WPARAM>(s.quit_code);
        quit.time = tick_count();
        *msg = quit;
        if (remove) s.quit_posted = false;
        return j.done<BOOL>(TRUE);
    }
    if (in_range(WM_PAINT, filterMin, filterMax)) {
        for (auto& entry : s.windows) {
            if (!is_empty(entry.second->update) && window_matches(entry.first, hwnd)) {
                MSG paint{};
                paint.hwnd = as<HWND>(entry.first);
                paint.message = WM_PAINT;
                paint.time = tick_count();
                *msg = paint;
                return j.done<BOOL>(TRUE);
            }
        }
    }
    if (s.idle_hook) {
        std::function<void()> hook = s.idle_hook;
        hook();
    }
    return j.done<BOOL>(FALSE);
}

DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                       DWORD wakeMask) {
    JournalEntry j("MsgWaitForMultipleObjects", count, handles, waitAll, milliseconds, wakeMask);
    using Clock = std::chrono::steady_clock;
    State& s = state();
    // Timers are the only objects to wait for; waiting for all of them at
    // once is not modelled.
    if (count > MAXIMUM_WAIT_OBJECTS || (count > 0 && handles == nullptr) || waitAll) {
        set_error(waitAll ? ERROR_CALL_NOT_IMPLEMENTED : ERROR_INVALID_PARAMETER);
        return j.done<DWORD>(WAIT_FAILED);
    }
    WaitableTimer* timers[MAXIMUM_WAIT_OBJECTS];
    for (DWORD i = 0; i < count; ++i) {
        timers[i] = find_timer(handles[i]);
        if (timers[i] == nullptr) {
            set_error(ERROR_INVALID_HANDLE);
            return j.done<DWORD>(WAIT_FAILED);
        }
    }
    const bool forever = milliseconds == INFINITE;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : milliseconds);
    for (;;) {
        const Clock::time_point now = Clock::now();
        // The lowest index wins, and every object comes before input.
        for (DWORD i = 0; i < count; ++i) {
            if (timer_signalled(*timers[i], now)) {
                take_signal(*timers[i]);
                count_frame_wake();
                return j.done<DWORD>(WAIT_OBJECT_0 + i);
            }
        }
        if (wakeMask != 0 && input_pending()) return j.done<DWORD>(WAIT_OBJECT_0 + count);
        // Unpaced, a wait that would sleep ends at once.
        if ((!forever && now >= deadline) || !s.paced) return j.done<DWORD>(WAIT_TIMEOUT);
        Clock::time_point wake = forever ? Clock::time_point::max() : deadline;
        for (DWORD i = 0; i < count; ++i) {
            if (timers[i]->armed) wake = std::min(wake, timers[i]->due);
        }
        // Never more than a second at a time, so a close signal that
        // arrives while nothing else stirs is seen all the same.
        wake = std::min(wake, now + std::chrono::seconds(1));
        if (s.display) {
            s.display->wait(wake);
            // What woke the display is collected now (it would otherwise
            // end every later wait at once); it is handled as usual when the
            // program next asks for messages.
            s.display->pump(s.display_events);
        } else {
            std::this_thread::sleep_until(wake);
        }
    }
}

BOOL WINAPI PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    JournalEntry j("PostMessageA", hwnd, message, wParam, lParam);
    if (hwnd != nullptr && find_window(hwnd) == nullptr) {
        set_error(ERROR_INVALID_WINDOW_HANDLE);
        return j.done<BOOL>(FALSE);
    }
    post(h(hwnd), message, wParam, lParam);
    return j.done<BOOL>(TRUE);
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
    JournalEntry j("TranslateMessage", msg);
    // No keyboard input is modelled, so there is never a character to make.
    return j.done<BOOL>(FALSE);
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    JournalEntry j("DispatchMessageA", msg);
    if (msg == nullptr || msg->hwnd == nullptr || find_window(msg->hwnd) == nullptr) return j.done<LRESULT>(0);
    return j.done(send(h(msg->hwnd), msg->message, msg->wParam, msg->lParam));
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    JournalEntry j("DefWindowProcA", hwnd, message, wParam, lParam);
    Window* window = find_window(hwnd);
    if (window == nullptr) return j.done<LRESULT>(0);
    switch (message) {
        case WM_CLOSE:
            destroy_window(h(hwnd));
            return j.done<LRESULT>(0);
        case WM_PAINT:
            validate(*window);
            return j.done<LRESULT>(0);
        case WM_NCCREATE:
            return j.done<LRESULT>(TRUE);
        default:
            return j.done<LRESULT>(0);
    }
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
    JournalEntry j("DestroyWindow", hwnd);
    if (!destroy_window(h(hwnd))) {
        set_error(ERROR_INVALID_WINDOW_HANDLE);
        return j.done<BOOL>(FALSE);
    }
    return j.done<BOOL>(TRUE);
}

void WINAPI PostQuitMessage(int exitCode) {
    JournalEntry j("PostQuitMessage", exitCode);
    State& s = state();
    s.quit_posted = true;
    s.quit_code = exitCode;
}

HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
    JournalEntry j("BeginPaint", hwnd, ps);
    Window* window = find_window(hwnd);
    if (window == nullptr || ps == nullptr) {
        set_error(ERROR_INVALID_WINDOW_HANDLE);
        return j.done<HDC>(nullptr);
    }
    const uintptr_t dc = window->own_dc != 0 ? window->own_dc : create_dc(DcKind::Window, h(hwnd));
    std::memset(ps, 0, sizeof *ps);
    ps->hdc = as<HDC>(dc);
    // No background brush is painted here: fErase tells the window it still
    // has to erase what InvalidateRect asked to be erased.
    ps->fErase = window->erase_pending ? TRUE : FALSE;
    ps->rcPaint = is_empty(window->update) ? RECT{0, 0, 0, 0} : window->update;
    validate(*window);
    return j.done(as<HDC>(dc));
}

BOOL WINAPI EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
    JournalEntry j("EndPaint", hwnd, ps);
    Window* window = find_window(hwnd);
    if (window == nullptr || ps == nullptr) return j.done<BOOL>(FALSE);
    // A common DC from BeginPaint goes back here; the window's own DC stays.
    if (h(ps->hdc) != window->own_dc) {
        GdiObject* dc = find_dc(ps->hdc);
        if (dc != nullptr && dc->dc_kind == DcKind::Window && dc->window == h(hwnd)) destroy_dc(h(ps->hdc));
    }
    return j.done<BOOL>(TRUE);
}

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    JournalEntry j("InvalidateRect", hwnd, rect, erase);
    State& s = state();
    if (hwnd == nullptr) {
        for (auto& entry : s.windows) invalidate(*entry.second, nullptr, erase != FALSE);
        return j.done<BOOL>(TRUE);
    }
    Window* window = find_window(hwnd);
    if (window == nullptr) {
        set_error(ERROR_INVALID_WINDOW_HANDLE);
        return j.done<BOOL>(FALSE);
    }
    invalidate(*window, rect, erase != FALSE);
    return j.done<BOOL>(TRUE);
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
    JournalEntry j("GetClientRect", hwnd, rect);
    Window* window = find_window(hwnd);
    if (window == nullptr || rect == nullptr) {
        set_error(ERROR_INVALID_WINDOW_HANDLE);
        return j.done<BOOL>(FALSE);
    }
    *rect = RECT{0, 0, window->client_width, window->client_height};
    return j.done<BOOL>(TRUE);
}

HDC WINAPI GetDC(HWND hwnd) {
    JournalEntry j("GetDC", hwnd);
    if (hwnd == nullptr) return j.done(as<HDC>(create_dc(DcKind::Screen, 0)));
    Window* window = find_window(hwnd);
    if (window == nullptr) {
        set_error(ERROR_INVALID_WINDOW_HANDLE);
        return j.done<HDC>(nullptr);
    }
    if (window->own_dc != 0) return j.done(as<HDC>(window->own_dc));
    return j.done(as<HDC>(create_dc(DcKind::Window, h(hwnd))));
}

int WINAPI ReleaseDC(HWND hwnd, HDC dc) {
    JournalEntry j("ReleaseDC", hwnd, dc);
    GdiObject* object = find_dc(dc);
    if (object == nullptr || object->dc_kind == DcKind::Memory) return j.done(0);
    // A class or window's own DC stays for the window's life.
    if (object->own_dc) return j.done(1);
    destroy_dc(h(dc));
    return j.done(1);
}
