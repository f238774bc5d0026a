// The SDL2 display: each window is a real, resizable SDL window showing the
// client framebuffer. A frame reaches the screen the next time the program
// asks for messages after drawing it, copied into the window's surface (no
// renderer: the pixels arrive exactly as drawn). Pacing is the program's own
// business: it sleeps in wait() between frames.
#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>

#include "display/display.h"
#include "x11.h"

namespace standin {

namespace {

struct SdlWindow {
    SDL_Window* window = nullptr;
};

// Whether a size change of `window` waits in SDL's queue. SDL invalidates
// the window surface as it queues the event, and frees it in the next
// SDL_GetWindowSurface, which a frame drawn before the event is handled
// would call. A full peek is taken as one.
bool resize_pending(SDL_Window* window) {
    constexpr int kPeek = 32;
    SDL_Event events[kPeek];
    const int count = SDL_PeepEvents(events, kPeek, SDL_PEEKEVENT, SDL_WINDOWEVENT, SDL_WINDOWEVENT);
    if (count >= kPeek) return true;
    const Uint32 id = SDL_GetWindowID(window);
    for (int i = 0; i < count; ++i) {
        if (events[i].window.windowID == id && (events[i].window.event == SDL_WINDOWEVENT_SIZE_CHANGED ||
                                                events[i].window.event == SDL_WINDOWEVENT_RESIZED)) {
            return true;
        }
    }
    return false;
}

class SdlDisplay : public Display {
  public:
    ~SdlDisplay() override { SDL_QuitSubSystem(SDL_INIT_VIDEO); }

    bool create_window(Window& window) override {
        auto data = std::make_unique<SdlWindow>();
        data->window = SDL_CreateWindow(window.title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                        std::max(window.client_width, 1), std::max(window.client_height, 1),
                                        SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
        if (data->window == nullptr) return false;
        by_id_[SDL_GetWindowID(data->window)] = window.handle;
        window.backend_data = data.release();
        return true;
    }

    void destroy_window(Window& window) override {
        SdlWindow* data = static_cast<SdlWindow*>(window.backend_data);
        if (data == nullptr) return;
        by_id_.erase(SDL_GetWindowID(data->window));
        window.framebuffer.take_back();
        SDL_DestroyWindow(data->window);
        delete data;
        window.backend_data = nullptr;
    }

    void show_window(Window& window, bool visible) override {
        SdlWindow* data = static_cast<SdlWindow*>(window.backend_data);
        if (data == nullptr) return;
        if (visible) {
            SDL_ShowWindow(data->window);
            SDL_RaiseWindow(data->window);
        } else {
            SDL_HideWindow(data->window);
        }
    }

    void pump(std::deque<DisplayEvent>& events) override {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            if (event.type == SDL_SYSWMEVENT) {
                for (const auto& entry : by_id_)
                    check_window_destroyed(event.syswm.msg, SDL_GetWindowFromID(entry.first));
                continue;
            }
            if (event.type == SDL_QUIT) {
                for (auto& entry : by_id_) events.push_back(DisplayEvent{DisplayEvent::Close, entry.second, 0, 0});
                continue;
            }
            if (event.type != SDL_WINDOWEVENT) continue;
            auto it = by_id_.find(event.window.windowID);
            if (it == by_id_.end()) continue;
            const uintptr_t hwnd = it->second;
            switch (event.window.event) {
                case SDL_WINDOWEVENT_CLOSE:
                    events.push_back(DisplayEvent{DisplayEvent::Close, hwnd, 0, 0});
                    break;
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                    // The window surface the framebuffer may live in is
                    // freed in the next SDL_GetWindowSurface: the pixels come
                    // back first.
                    if (Window* window = find_window(reinterpret_cast<HWND>(hwnd))) window->framebuffer.take_back();
                    events.push_back(DisplayEvent{DisplayEvent::Resize, hwnd, event.window.data1, event.window.data2});
                    break;
                case SDL_WINDOWEVENT_MINIMIZED:
                    events.push_back(DisplayEvent{DisplayEvent::Minimize, hwnd, 0, 0});
                    break;
                case SDL_WINDOWEVENT_RESTORED:
                    events.push_back(DisplayEvent{DisplayEvent::Restore, hwnd, 0, 0});
                    break;
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                    events.push_back(DisplayEvent{DisplayEvent::Focus, hwnd, 0, 0});
                    break;
                case SDL_WINDOWEVENT_EXPOSED:
                    events.push_back(DisplayEvent{DisplayEvent::Expose, hwnd, 0, 0});
                    break;
                default:
                    break;
            }
        }
    }

    void present(Window& window) override {
        SdlWindow* data = static_cast<SdlWindow*>(window.backend_data);
        if (data == nullptr) return;
        Framebuffer& framebuffer = window.framebuffer;
        // The window's own surface: on X11 a shared-memory image the server
        // copies from, with no GPU or renderer in the way. Where it has the
        // framebuffer's layout and size, the framebuffer is moved into it
        // once and drawn in there from then on. After a resize SDL frees it
        // in the next SDL_GetWindowSurface: the pixels come back first, here
        // if the resize has not yet been taken from the queue (pump takes
        // them back when it has).
        if (framebuffer.moved() && resize_pending(data->window)) framebuffer.take_back();
        if (!window.framebuffer_changed || !window.visible || window.minimized || framebuffer.empty()) return;
        window.framebuffer_changed = false;
        SDL_Surface* surface = SDL_GetWindowSurface(data->window);
        if (surface == nullptr) {
            // Said once, so that a window that stays blank is explained.
            if (!said_no_surface_) {
                std::fprintf(stderr, "%s: SDL gives the window no surface to draw in: %s\n",
                             program_invocation_short_name, SDL_GetError());
                said_no_surface_ = true;
            }
            return;
        }
        const int row_bytes = window.client_width * static_cast<int>(sizeof(uint32_t));
        if (surface->pixels == framebuffer.data()) {
            SDL_UpdateWindowSurface(data->window);
            return;
        }
        if (surface->format->format == SDL_PIXELFORMAT_RGB888 && surface->w == window.client_width &&
            surface->h == window.client_height && surface->pitch == row_bytes) {
            framebuffer.move_into(static_cast<uint32_t*>(surface->pixels));
            SDL_UpdateWindowSurface(data->window);
            return;
        }
        // Otherwise the framebuffer is copied. Until the stand-in hears of a
        // resize, only the part both sizes cover is drawn.
        const int width = std::min(surface->w, window.client_width);
        const int height = std::min(surface->h, window.client_height);
        if (width <= 0 || height <= 0) return;
        if (surface->format->format == SDL_PIXELFORMAT_RGB888) {
            auto* target = static_cast<uint8_t*>(surface->pixels);
            for (int y = 0; y < height; ++y) {
                std::memcpy(target + static_cast<size_t>(y) * surface->pitch,
                            framebuffer.data() + static_cast<size_t>(y) * window.client_width,
                            static_cast<size_t>(width) * sizeof(uint32_t));
            }
        } else {
            // A display of another depth: one conversion, straight into the
            // surface.
            SDL_ConvertPixels(width, height, SDL_PIXELFORMAT_RGB888, framebuffer.data(), row_bytes,
                              surface->format->format, surface->pixels, surface->pitch);
        }
        SDL_UpdateWindowSurface(data->window);
    }

    void wait(std::chrono::steady_clock::time_point until) override {
        const auto left = until - std::chrono::steady_clock::now();
        const long whole_ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(left).count());
        // SDL counts whole milliseconds: it sleeps on the display connection
        // for those, and the remainder is slept here.
        if (whole_ms > 0 && SDL_WaitEventTimeout(nullptr, static_cast<int>(whole_ms)) == 1) return;
        std::this_thread::sleep_until(until);
    }

    int refresh_rate() override {
        SDL_DisplayMode mode;
        if (SDL_GetCurrentDisplayMode(0, &mode) != 0) return 0;
        return mode.refresh_rate;
    }

    const char* name() const override { return "SDL2"; }

  private:
    std::map<Uint32, uintptr_t> by_id_;
    bool said_no_surface_ = false;
};

std::unique_ptr<Display> open_sdl(std::string* error) {
    // The stand-in turns SIGINT and SIGTERM into WM_CLOSE itself.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Probing for a display lets some system libraries complain on stderr
    // (a Wayland client without a runtime directory, for one); the failure
    // is reported here in one line of our own instead.
    std::fflush(stderr);
    const int saved_stderr = dup(2);
    const int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved_stderr >= 0 && null_fd >= 0) dup2(null_fd, 2);
    const int failed = SDL_InitSubSystem(SDL_INIT_VIDEO);
    std::fflush(stderr);
    if (saved_stderr >= 0 && null_fd >= 0) dup2(saved_stderr, 2);
    if (null_fd >= 0) close(null_fd);
    if (saved_stderr >= 0) close(saved_stderr);
    if (failed != 0) {
        *error = std::string("SDL: ") + SDL_GetError();
        return nullptr;
    }
    // SDL falls back to drivers that show nothing; the program must never
    // run invisibly unless someone asked for exactly that driver.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    const bool invisible =
        driver != nullptr && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
    if (invisible && (asked == nullptr || std::strcmp(asked, driver) != 0)) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        *error = std::string("SDL offers only its invisible '") + driver + "' video driver";
        return nullptr;
    }
    // On X11 a window surface is otherwise kept in a GPU texture wherever
    // SDL finds an accelerated renderer, which on a virtual display is
    // software GL: the display's own shared-memory images are far cheaper.
    // Other drivers (Wayland, KMSDRM) have no window surface of their own
    // and need that texture. SDL reads the hint at the first
    // SDL_GetWindowSurface.
    if (driver != nullptr && std::strcmp(driver, "x11") == 0) SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    watch_display_connection();
    return std::make_unique<SdlDisplay>();
}

}  // namespace

const DisplayBackend kWindowDisplay = {"sdl2", open_sdl};

}  // namespace standin
