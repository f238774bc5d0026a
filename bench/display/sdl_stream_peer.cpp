// The plainest way to show a program's own framebuffer with SDL2: one
// streaming texture, updated, copied and presented every frame, at most 60
// frames a second (the renderer's vertical blank where it has one, else a
// sleep). bench/display-cpu measures it beside the demo at the same size.
//
//   sdl-stream-peer WIDTH HEIGHT SECONDS WARM_UP_SECONDS
//
// Prints one line at the end: frames after the warm-up, their rate, and the
// processor time per frame, in the demo's own SCALING_SCROLLING_STATS words.
#include <SDL.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool ParsePositive(const char* text, int limit, int* value) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < 1 || v > limit) return false;
    *value = static_cast<int>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int width = 0, height = 0, seconds = 0, warmUp = 0;
    if (argc != 5 || !ParsePositive(argv[1], 8192, &width) || !ParsePositive(argv[2], 8192, &height) ||
        !ParsePositive(argv[3], 3600, &seconds) || !ParsePositive(argv[4], 3600, &warmUp) || warmUp >= seconds) {
        std::fprintf(stderr, "usage: sdl-stream-peer WIDTH HEIGHT SECONDS WARM_UP_SECONDS (warm-up < seconds)\n");
        return 2;
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "sdl-stream-peer: %s\n", SDL_GetError());
        return 1;
    }
    SDL_Window* window = SDL_CreateWindow("sdl-stream-peer", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width,
                                          height, SDL_WINDOW_SHOWN);
    SDL_Renderer* renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_PRESENTVSYNC) : nullptr;
    if (window != nullptr && renderer == nullptr) renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    SDL_Texture* texture =
        renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, width, height)
                 : nullptr;
    if (texture == nullptr) {
        std::fprintf(stderr, "sdl-stream-peer: %s\n", SDL_GetError());
        return 1;
    }
    SDL_RendererInfo info;
    const bool vsync = SDL_GetRendererInfo(renderer, &info) == 0 && (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;

    // Two pictures taken in turn, so every upload carries new pixels.
    std::vector<uint32_t> pixels[2];
    for (int k = 0; k < 2; ++k) {
        pixels[k].resize(static_cast<size_t>(width) * height);
        for (size_t i = 0; i < pixels[k].size(); ++i) pixels[k][i] = static_cast<uint32_t>(i * 2654435761u) >> (8 * k);
    }

    const auto period = std::chrono::microseconds(16667);
    const Clock::time_point start = Clock::now();
    const Clock::time_point countFrom = start + std::chrono::seconds(warmUp);
    const Clock::time_point end = start + std::chrono::seconds(seconds);
    Clock::time_point counted{};
    double cpuFrom = 0;
    long frames = -1;  // -1 until the warm-up is over
    Clock::time_point last = start;
    for (long n = 0;; ++n) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
        }
        const Clock::time_point now = Clock::now();
        if (now >= end) break;
        if (frames < 0 && now >= countFrom) {
            frames = 0;
            counted = now;
            cpuFrom = CpuSeconds();
        }
        SDL_UpdateTexture(texture, nullptr, pixels[n & 1].data(), width * static_cast<int>(sizeof(uint32_t)));
        SDL_RenderClear(renderer);
        SDL_RenderCopy(renderer, texture, nullptr, nullptr);
        SDL_RenderPresent(renderer);
        if (frames >= 0) ++frames;
        if (!vsync) {
            const Clock::time_point after = Clock::now();
            if (after - last < period) std::this_thread::sleep_for(period - (after - last));
            last = Clock::now();
        }
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - counted).count();
    const double cpu = CpuSeconds() - cpuFrom;
    std::fprintf(stderr, "sdl-stream-peer: %ld frames in %.2f s, %.1f a second, %.3f ms of processor time each\n",
                 frames, elapsed, frames / elapsed, frames > 0 ? cpu * 1000.0 / frames : 0.0);
    SDL_DestroyTexture(texture);
    SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
