// The SDL2 display: each window is a real, resizable SDL window showing the
// client framebuffer. A frame reaches the screen the next time the program
// asks for messages after drawing it; presentation waits for the display's
// vertical blank, which paces an idle loop that draws one frame per pass.
#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>

#include "internal.h"

namespace standin {

namespace {

struct SdlWindow {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int texture_width = 0;
    int texture_height = 0;
    bool vsync = false;
    std::chrono::steady_clock::time_point last_present{};
};

class SdlDisplay : public Display {
  public:
    ~SdlDisplay() override { SDL_QuitSubSystem(SDL_INIT_VIDEO); }

    bool create_window(Window& window) override {
        auto data = std::make_unique<SdlWindow>();
        data->window = SDL_CreateWindow(window.title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                        std::max(window.client_width, 1), std::max(window.client_height, 1),
                                        SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
        if (data->window == nullptr) return false;
        data->renderer = SDL_CreateRenderer(data->window, -1, SDL_RENDERER_PRESENTVSYNC);
        if (data->renderer == nullptr) data->renderer = SDL_CreateRenderer(data->window, -1, SDL_RENDERER_SOFTWARE);
        if (data->renderer == nullptr) {
            SDL_DestroyWindow(data->window);
            return false;
        }
        SDL_RendererInfo info;
        if (SDL_GetRendererInfo(data->renderer, &info) == 0)
            data->vsync = (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
        by_id_[SDL_GetWindowID(data->window)] = window.handle;
        window.backend_data = data.release();
        return true;
    }

    void destroy_window(Window& window) override {
        SdlWindow* data = static_cast<SdlWindow*>(window.backend_data);
        if (data == nullptr) return;
        by_id_.erase(SDL_GetWindowID(data->window));
        if (data->texture != nullptr) SDL_DestroyTexture(data->texture);
        SDL_DestroyRenderer(data->renderer);
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
        if (data == nullptr || !window.framebuffer_changed || !window.visible || window.minimized ||
            window.framebuffer.empty()) {
            return;
        }
        window.framebuffer_changed = false;
        if (data->texture == nullptr || data->texture_width != window.client_width ||
            data->texture_height != window.client_height) {
            if (data->texture != nullptr) SDL_DestroyTexture(data->texture);
            data->texture = SDL_CreateTexture(data->renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                              window.client_width, window.client_height);
            data->texture_width = window.client_width;
            data->texture_height = window.client_height;
            if (data->texture == nullptr) return;
        }
        SDL_UpdateTexture(data->texture, nullptr, window.framebuffer.data(),
                          window.client_width * static_cast<int>(sizeof(uint32_t)));
        SDL_RenderClear(data->renderer);
        SDL_RenderCopy(data->renderer, data->texture, nullptr, nullptr);
        SDL_RenderPresent(data->renderer);
        if (!data->vsync) {
            // No vertical blank to wait for (a software renderer, a virtual
            // display): keep to about 60 frames a second all the same.
            const auto period = std::chrono::microseconds(16667);
            const auto now = std::chrono::steady_clock::now();
            if (now - data->last_present < period) std::this_thread::sleep_for(period - (now - data->last_present));
            data->last_present = std::chrono::steady_clock::now();
        }
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
};

}  // namespace

std::unique_ptr<Display> make_sdl_display(std::string* error) {
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
    return std::make_unique<SdlDisplay>();
}

}  // namespace standin
