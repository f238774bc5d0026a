// USER32 windows: classes, the system's icons and cursors, creating,
// showing, resizing and destroying windows, painting and window DCs.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "journal.h"
#include "state.h"
#include "user/user.h"

namespace standin {

namespace {

std::string lower(const char* text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
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

// The class a window is created with: by atom (a value below 0x10000 in
// place of the name) or by name, in any case.
const WindowClass* find_class(LPCSTR className) {
    State& s = state();
    if (className == nullptr) return nullptr;
    if (h(className) < 0x10000) {
        const WindowClass* found = nullptr;
        for (auto& entry : s.classes) {
            if (entry.second.atom == h(className)) found = &entry.second;
        }
        return found;
    }
    auto it = s.classes.find(lower(className));
    return it != s.classes.end() ? &it->second : nullptr;
}

// A new window of class `cls` in the state, sized as asked (or as a probe
// forces its client area), with its own DC where the class asks for one.
Window& add_window(const WindowClass& cls, LPCSTR windowName, DWORD style, int x, int y, int width, int height) {
    State& s = state();
    auto window = std::make_unique<Window>();
    const uintptr_t hwnd = new_handle(Kind::Window);
    window->handle = hwnd;
    window->class_name = cls.name;
    window->class_style = cls.wc.style;
    window->proc = cls.wc.lpfnWndProc;
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
    if (s.probe.forced_client_width > 0 && s.probe.forced_client_height > 0) {
        client_w = s.probe.forced_client_width;
        client_h = s.probe.forced_client_height;
        window->outer_width = client_w + 2 * frame;
        window->outer_height = client_h + 2 * frame + caption;
    }
    window->client_width = client_w;
    window->client_height = client_h;
    window->framebuffer.assign(static_cast<size_t>(client_w) * static_cast<size_t>(client_h), 0);
    Window& added = *window;
    s.windows[hwnd] = std::move(window);
    s.last_window = hwnd;
    if (cls.wc.style & CS_OWNDC) {
        added.own_dc = create_dc(DcKind::Window, hwnd);
        s.gdi[added.own_dc]->own_dc = true;
    }
    return added;
}

}  // namespace

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

}  // namespace standin

using namespace standin;

ATOM WINAPI RegisterClassA(const WNDCLASSA* wc) {
    return JournalEntry("RegisterClassA", wc).run([&]() -> ATOM {
        State& s = state();
        if (wc == nullptr || wc->lpfnWndProc == nullptr || wc->lpszClassName == nullptr ||
            h(wc->lpszClassName) < 0x10000 || wc->lpszClassName[0] == '\0') {
            set_error(ERROR_INVALID_PARAMETER);
            return 0;
        }
        const std::string key = lower(wc->lpszClassName);
        if (s.classes.count(key) != 0) {
            set_error(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
        WindowClass entry;
        entry.wc = *wc;
        entry.name = wc->lpszClassName;
        entry.wc.lpszClassName = nullptr;  // the caller's string may not outlive the call
        entry.wc.lpszMenuName = nullptr;
        entry.atom = static_cast<ATOM>(0xC000 + s.classes.size());
        s.classes[key] = entry;
        return entry.atom;
    });
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
    return JournalEntry("LoadIconA", instance, name).run([&]() -> HICON {
        return static_cast<HICON>(shared_resource(Kind::Icon, instance, name));
    });
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    return JournalEntry("LoadCursorA", instance, name).run([&]() -> HCURSOR {
        return static_cast<HCURSOR>(shared_resource(Kind::Cursor, instance, name));
    });
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                            int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    return JournalEntry("CreateWindowExA", exStyle, className, windowName, style, x, y, width, height, parent, menu,
                        instance, param)
        .run([&]() -> HWND {
            const WindowClass* cls = find_class(className);
            if (cls == nullptr) {
                set_error(ERROR_CANNOT_FIND_WND_CLASS);
                return nullptr;
            }
            if (parent != nullptr && find_window(parent) == nullptr) {
                set_error(ERROR_INVALID_WINDOW_HANDLE);
                return nullptr;
            }
            choose_display();
            Window& window = add_window(*cls, windowName, style, x, y, width, height);
            open_display_window(window);
            const uintptr_t hwnd = window.handle;
            CREATESTRUCTA create{};
            create.lpCreateParams = param;
            create.hInstance = instance;
            create.hMenu = menu;
            create.hwndParent = parent;
            create.cy = window.outer_height;
            create.cx = window.outer_width;
            create.y = window.y;
            create.x = window.x;
            create.style = static_cast<LONG>(style);
            create.lpszName = windowName;
            create.lpszClass = className;
            create.dwExStyle = exStyle;
            if (send(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
                destroy_window(hwnd);
                return nullptr;
            }
            if (find_window(as<HWND>(hwnd)) == nullptr) return nullptr;
            if (style & WS_VISIBLE) show(hwnd, SW_SHOW);
            return as<HWND>(hwnd);
        });
}

BOOL WINAPI ShowWindow(HWND hwnd, int cmdShow) {
    return JournalEntry("ShowWindow", hwnd, cmdShow).run([&]() -> BOOL {
        Window* window = find_window(hwnd);
        if (window == nullptr) {
            set_error(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        const BOOL was_visible = window->visible ? TRUE : FALSE;
        show(h(hwnd), cmdShow);
        return was_visible;
    });
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
    return JournalEntry("UpdateWindow", hwnd).run([&]() -> BOOL {
        Window* window = find_window(hwnd);
        if (window == nullptr) {
            set_error(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (!is_empty(window->update)) send(h(hwnd), WM_PAINT, 0, 0);
        return TRUE;
    });
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return JournalEntry("DefWindowProcA", hwnd, message, wParam, lParam).run([&]() -> LRESULT {
        Window* window = find_window(hwnd);
        if (window == nullptr) return 0;
        switch (message) {
            case WM_CLOSE:
                destroy_window(h(hwnd));
                return 0;
            case WM_PAINT:
                validate(*window);
                return 0;
            case WM_NCCREATE:
                return TRUE;
            default:
                return 0;
        }
    });
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
    return JournalEntry("DestroyWindow", hwnd).run([&]() -> BOOL {
        if (!destroy_window(h(hwnd))) {
            set_error(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        return TRUE;
    });
}

HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
    return JournalEntry("BeginPaint", hwnd, ps).run([&]() -> HDC {
        Window* window = find_window(hwnd);
        if (window == nullptr || ps == nullptr) {
            set_error(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        const uintptr_t dc = window->own_dc != 0 ? window->own_dc : create_dc(DcKind::Window, h(hwnd));
        std::memset(ps, 0, sizeof *ps);
        ps->hdc = as<HDC>(dc);
        // No background brush is painted here: fErase tells the window it still
        // has to erase what InvalidateRect asked to be erased.
        ps->fErase = window->erase_pending ? TRUE : FALSE;
        ps->rcPaint = is_empty(window->update) ? RECT{0, 0, 0, 0} : window->update;
        validate(*window);
        return as<HDC>(dc);
    });
}

BOOL WINAPI EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
    return JournalEntry("EndPaint", hwnd, ps).run([&]() -> BOOL {
        Window* window = find_window(hwnd);
        if (window == nullptr || ps == nullptr) return FALSE;
        // A common DC from BeginPaint goes back here; the window's own DC stays.
        if (h(ps->hdc) != window->own_dc) {
            GdiObject* dc = find_dc(ps->hdc);
            if (dc != nullptr && dc->dc_kind == DcKind::Window && dc->window == h(hwnd)) destroy_dc(h(ps->hdc));
        }
        return TRUE;
    });
}

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    return JournalEntry("InvalidateRect", hwnd, rect, erase).run([&]() -> BOOL {
        State& s = state();
        if (hwnd == nullptr) {
            for (auto& entry : s.windows) invalidate(*entry.second, nullptr, erase != FALSE);
            return TRUE;
        }
        Window* window = find_window(hwnd);
        if (window == nullptr) {
            set_error(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        invalidate(*window, rect, erase != FALSE);
        return TRUE;
    });
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
    return JournalEntry("GetClientRect", hwnd, rect).run([&]() -> BOOL {
        Window* window = find_window(hwnd);
        if (window == nullptr || rect == nullptr) {
            set_error(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        *rect = RECT{0, 0, window->client_width, window->client_height};
        return TRUE;
    });
}

HDC WINAPI GetDC(HWND hwnd) {
    return JournalEntry("GetDC", hwnd).run([&]() -> HDC {
        if (hwnd == nullptr) return as<HDC>(create_dc(DcKind::Screen, 0));
        Window* window = find_window(hwnd);
        if (window == nullptr) {
            set_error(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        if (window->own_dc != 0) return as<HDC>(window->own_dc);
        return as<HDC>(create_dc(DcKind::Window, h(hwnd)));
    });
}

int WINAPI ReleaseDC(HWND hwnd, HDC dc) {
    return JournalEntry("ReleaseDC", hwnd, dc).run([&]() -> int {
        GdiObject* object = find_dc(dc);
        if (object == nullptr || object->dc_kind == DcKind::Memory) return 0;
        // A class or window's own DC stays for the window's life.
        if (object->own_dc) return 1;
        destroy_dc(h(dc));
        return 1;
    });
}
