// image_scale and image_place on the demo's 264 x 40 logo, beside the
// plainest C loops for them, SDL2's nearest-neighbour SDL_SoftStretch and
// colour-keyed blits, Allegro 4's stretch_blit and masked sprites, pixman's
// nearest-neighbour scaling, and memcpy of the bytes written (the limit).
#include <benchmark/benchmark.h>

#include <raster/raster.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "allegro_peers.h"
#include "limits.h"
#include "pixel_peers.h"
#include "pixman_peers.h"
#include "plain_loops.h"
#include "raster/state.h"

namespace {

constexpr int kLogoWidth = 264;
constexpr int kLogoHeight = 40;
constexpr int kFrameWidth = 320;
constexpr int kFrameHeight = 200;
constexpr int kLogoBottom = 80;  // the row the demo places the first logo on

// A logo-like picture, top row first: one letter-shaped block per 24
// columns, strokes in a few colours, counters and gaps of index 0 between.
std::vector<uint8_t> logo_top_first() {
    std::vector<uint8_t> image(static_cast<size_t>(kLogoWidth) * kLogoHeight, 0);
    uint32_t dice = 12345;
    auto roll = [&dice]() {
        dice = dice * 1664525u + 1013904223u;
        return dice >> 24;
    };
    for (int left = 3; left + 18 <= kLogoWidth; left += 24) {
        const uint8_t ink = static_cast<uint8_t>(10 + roll() % 236);
        const uint8_t shade = static_cast<uint8_t>(10 + roll() % 236);
        const int top = 4 + static_cast<int>(roll() % 4);
        const int bottom = kLogoHeight - 4 - static_cast<int>(roll() % 4);
        const int middle = (top + bottom) / 2;
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < left + 18; ++x) {
                const int c = x - left;
                const bool stem = c < 4 || (c >= 14 && (y < middle || (roll() & 3) != 0));
                const bool bar = y - top < 3 || bottom - y <= 3 || (y >= middle - 1 && y <= middle + 1 && c < 12);
                if (stem || bar) image[static_cast<size_t>(y) * kLogoWidth + x] = (x + y) % 9 == 0 ? shade : ink;
            }
        }
    }
    return image;
}

// The same picture as an image buffer: bottom row first.
std::vector<uint8_t> logo_buffer() {
    const std::vector<uint8_t> top = logo_top_first();
    std::vector<uint8_t> buffer(top.size());
    for (int r = 0; r < kLogoHeight; ++r) {
        std::memcpy(&buffer[static_cast<size_t>(r) * kLogoWidth],
                    &top[static_cast<size_t>(kLogoHeight - 1 - r) * kLogoWidth], kLogoWidth);
    }
    return buffer;
}

std::vector<peers::Stretch8::Size> zoom_sizes() {
    std::vector<peers::Stretch8::Size> sizes;
    for (int n = 1; n <= 9; ++n) sizes.push_back({kLogoWidth * n / 10, kLogoHeight * n / 10});
    return sizes;
}

int64_t zoom_pixels() {
    int64_t total = 0;
    for (const auto& s : zoom_sizes()) total += static_cast<int64_t>(s.width) * s.height;
    return total;
}

// The library set up as the demo has it: one 8-bit 320 x 200 frame surface,
// selected.
class Frame {
  public:
    Frame() {
        dc_ = GetDC(nullptr);
        set_window_dc(dc_);
        palette_ = palette_create();
        palette_realize(palette_);
        raster_init();
        handle_ = surface_create(kFrameWidth, kFrameHeight);
        if (handle_ >= 0) {
            surface_select(handle_);
            surface_reset_colors();
        }
    }
    ~Frame() {
        surface_deselect();
        if (handle_ >= 0) surface_destroy(handle_);
        raster_shutdown();
        if (palette_ != nullptr) DeleteObject(palette_);
        if (dc_ != nullptr) ReleaseDC(nullptr, dc_);
    }
    bool ok() const { return handle_ >= 0; }

    // The address of pixel (x, y) and the distance between rows going up.
    static uint8_t* pixel(int x, int y) {
        const raster::LibraryState& s = raster::state;
        return s.active_bits + static_cast<ptrdiff_t>(s.active_max_y - y) * s.active_stride + x;
    }
    static ptrdiff_t stride() { return raster::state.active_stride; }

    // Clears the frame to one index through a full-size placement.
    void clear(uint8_t index) {
        const std::vector<uint8_t> fill(static_cast<size_t>(kFrameWidth) * kFrameHeight, index);
        move_to(0, kFrameHeight - 1);
        image_place(fill.data(), kFrameWidth, kFrameHeight);
    }
    // The frame, top row first, through a full-size capture.
    std::vector<uint8_t> rows_top_first() {
        std::vector<uint8_t> bottom_first(static_cast<size_t>(kFrameWidth) * kFrameHeight);
        move_to(0, kFrameHeight - 1);
        image_capture(bottom_first.data(), kFrameWidth, kFrameHeight);
        std::vector<uint8_t> top(bottom_first.size());
        for (int r = 0; r < kFrameHeight; ++r) {
            std::memcpy(&top[static_cast<size_t>(r) * kFrameWidth],
                        &bottom_first[static_cast<size_t>(kFrameHeight - 1 - r) * kFrameWidth], kFrameWidth);
        }
        return top;
    }

  private:
    HDC dc_ = nullptr;
    HPALETTE palette_ = nullptr;
    int32_t handle_ = -1;
};

void BM_ImageScale_LogoNineZooms(benchmark::State& state) {
    const std::vector<uint8_t> logo = logo_buffer();
    const std::vector<peers::Stretch8::Size> sizes = zoom_sizes();
    std::vector<std::vector<uint8_t>> scaled;
    for (const auto& s : sizes) scaled.emplace_back(static_cast<size_t>(s.width) * s.height);
    for (auto _ : state) {
        for (size_t i = 0; i < sizes.size(); ++i) {
            image_scale(logo.data(), scaled[i].data(), kLogoWidth, kLogoHeight, sizes[i].width, sizes[i].height);
        }
        benchmark::DoNotOptimize(scaled.back().data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * zoom_pixels());
}
BENCHMARK(BM_ImageScale_LogoNineZooms);

void BM_SdlSoftStretch8_LogoNineZooms(benchmark::State& state) {
    const std::vector<uint8_t> logo = logo_top_first();
    const std::vector<peers::Stretch8::Size> sizes = zoom_sizes();
    peers::Stretch8 peer(logo.data(), kLogoWidth, kLogoHeight, sizes);
    if (!peer.ok()) {
        state.SkipWithError("SDL surfaces not created");
        return;
    }
    for (auto _ : state) {
        for (size_t i = 0; i < sizes.size(); ++i) {
            if (!peer.stretch(static_cast<int>(i))) {
                state.SkipWithError("SDL_SoftStretch failed");
                return;
            }
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * zoom_pixels());
}
BENCHMARK(BM_SdlSoftStretch8_LogoNineZooms);

void BM_ImageScale_plain_loop(benchmark::State& state) {
    const std::vector<uint8_t> logo = logo_buffer();
    const std::vector<peers::Stretch8::Size> sizes = zoom_sizes();
    std::vector<std::vector<uint8_t>> scaled, ours;
    for (const auto& s : sizes) {
        scaled.emplace_back(static_cast<size_t>(s.width) * s.height);
        ours.emplace_back(scaled.back().size());
    }
    for (size_t i = 0; i < sizes.size(); ++i) {
        plain::scale(logo.data(), scaled[i].data(), kLogoWidth, kLogoHeight, sizes[i].width, sizes[i].height);
        image_scale(logo.data(), ours[i].data(), kLogoWidth, kLogoHeight, sizes[i].width, sizes[i].height);
    }
    if (scaled != ours) return state.SkipWithError("the plain loop's pixels differ from image_scale's");
    for (auto _ : state) {
        for (size_t i = 0; i < sizes.size(); ++i) {
            plain::scale(logo.data(), scaled[i].data(), kLogoWidth, kLogoHeight, sizes[i].width, sizes[i].height);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * zoom_pixels());
}
BENCHMARK(BM_ImageScale_plain_loop);

void BM_ImageScale_Allegro_stretch_blit(benchmark::State& state) {
    const std::vector<uint8_t> logo = logo_top_first();
    std::vector<peers::AllegroStretch8::Size> sizes;
    for (const auto& s : zoom_sizes()) sizes.push_back({s.width, s.height});
    peers::AllegroStretch8 peer(logo.data(), kLogoWidth, kLogoHeight, sizes);
    if (!peer.ok()) return state.SkipWithError("Allegro bitmaps not made");
    for (auto _ : state) {
        for (size_t i = 0; i < sizes.size(); ++i) peer.stretch(static_cast<int>(i));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * zoom_pixels());
}
BENCHMARK(BM_ImageScale_Allegro_stretch_blit);

void BM_ImageScale_pixman_nearest(benchmark::State& state) {
    const std::vector<uint8_t> logo = logo_top_first();
    std::vector<peers::PixmanScale8::Size> sizes;
    for (const auto& s : zoom_sizes()) sizes.push_back({s.width, s.height});
    peers::PixmanScale8 peer(logo.data(), kLogoWidth, kLogoHeight, sizes);
    if (!peer.ok()) return state.SkipWithError("pixman images not made");
    for (auto _ : state) {
        for (size_t i = 0; i < sizes.size(); ++i) peer.scale(static_cast<int>(i));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * zoom_pixels());
}
BENCHMARK(BM_ImageScale_pixman_nearest);

void BM_ImageScale_limit_memcpy(benchmark::State& state) {
    limits::memcpy_bytes(state, static_cast<size_t>(zoom_pixels()));
}
BENCHMARK(BM_ImageScale_limit_memcpy);

void BM_ImagePlace_LogoIndexZeroTransparent(benchmark::State& state) {
    Frame frame;
    if (!frame.ok()) {
        state.SkipWithError("frame surface not created");
        return;
    }
    const std::vector<uint8_t> logo = logo_buffer();
    const int x = (kFrameWidth - kLogoWidth) / 2;
    frame.clear(1);
    for (auto _ : state) {
        move_to(x, kLogoBottom);
        image_place(logo.data(), kLogoWidth, kLogoHeight);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kLogoWidth * kLogoHeight);

    // Same pixels as SDL's keyed blit, or the comparison means nothing.
    peers::KeyedBlit8 peer(logo_top_first().data(), kLogoWidth, kLogoHeight, kFrameWidth, kFrameHeight, false);
    peer.clear(1);
    peer.blit(x, kLogoBottom - kLogoHeight + 1);
    if (!peer.ok() || peer.target() != frame.rows_top_first()) state.SkipWithError("placement differs from SDL's");
}
BENCHMARK(BM_ImagePlace_LogoIndexZeroTransparent);

// The plainest placement loops on the same frame surface; each must leave
// the same pixels as image_place.
using PlainPlace = void (*)(const uint8_t*, int, int, uint8_t*, ptrdiff_t);

void plain_place(benchmark::State& state, PlainPlace place) {
    Frame frame;
    if (!frame.ok()) return state.SkipWithError("frame surface not created");
    const std::vector<uint8_t> logo = logo_buffer();
    const int x = (kFrameWidth - kLogoWidth) / 2;
    frame.clear(1);
    move_to(x, kLogoBottom);
    image_place(logo.data(), kLogoWidth, kLogoHeight);
    const std::vector<uint8_t> ours = frame.rows_top_first();
    frame.clear(1);
    uint8_t* lower_left = Frame::pixel(x, kLogoBottom);
    const ptrdiff_t stride = Frame::stride();
    place(logo.data(), kLogoWidth, kLogoHeight, lower_left, stride);
    if (frame.rows_top_first() != ours) return state.SkipWithError("the plain loop's pixels differ from image_place's");
    for (auto _ : state) {
        place(logo.data(), kLogoWidth, kLogoHeight, lower_left, stride);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kLogoWidth * kLogoHeight);
}

// if (s != 0) d = s;
void BM_ImagePlace_plain_if_loop(benchmark::State& state) { plain_place(state, plain::place); }
BENCHMARK(BM_ImagePlace_plain_if_loop);

// d = s != 0 ? s : d;
void BM_ImagePlace_plain_select_loop(benchmark::State& state) { plain_place(state, plain::place_select); }
BENCHMARK(BM_ImagePlace_plain_select_loop);

void allegro_sprite(benchmark::State& state, bool run_length) {
    const std::vector<uint8_t> logo = logo_top_first();
    peers::AllegroSprite8 peer(logo.data(), kLogoWidth, kLogoHeight, kFrameWidth, kFrameHeight, run_length);
    if (!peer.ok()) return state.SkipWithError("Allegro bitmaps not made");
    const int x = (kFrameWidth - kLogoWidth) / 2;
    // Same pixels as image_place, or the comparison means nothing.
    {
        Frame frame;
        frame.clear(1);
        move_to(x, kLogoBottom);
        image_place(logo_buffer().data(), kLogoWidth, kLogoHeight);
        peer.clear(1);
        peer.draw(x, kLogoBottom - kLogoHeight + 1);
        if (!frame.ok() || peer.target() != frame.rows_top_first()) {
            return state.SkipWithError("Allegro's sprite differs from image_place");
        }
    }
    for (auto _ : state) {
        peer.draw(x, kLogoBottom - kLogoHeight + 1);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kLogoWidth * kLogoHeight);
}

void BM_ImagePlace_Allegro_draw_sprite(benchmark::State& state) { allegro_sprite(state, false); }
BENCHMARK(BM_ImagePlace_Allegro_draw_sprite);

void BM_ImagePlace_Allegro_draw_rle_sprite(benchmark::State& state) { allegro_sprite(state, true); }
BENCHMARK(BM_ImagePlace_Allegro_draw_rle_sprite);

void BM_ImagePlace_limit_memcpy(benchmark::State& state) {
    limits::memcpy_bytes(state, static_cast<size_t>(kLogoWidth) * kLogoHeight);
}
BENCHMARK(BM_ImagePlace_limit_memcpy);

void sdl_keyed_blit(benchmark::State& state, bool run_length) {
    const std::vector<uint8_t> logo = logo_top_first();
    peers::KeyedBlit8 peer(logo.data(), kLogoWidth, kLogoHeight, kFrameWidth, kFrameHeight, run_length);
    if (!peer.ok()) {
        state.SkipWithError("SDL surfaces not created");
        return;
    }
    const int x = (kFrameWidth - kLogoWidth) / 2;
    peer.clear(1);
    for (auto _ : state) {
        if (!peer.blit(x, kLogoBottom - kLogoHeight + 1)) {
            state.SkipWithError("SDL_BlitSurface failed");
            return;
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kLogoWidth * kLogoHeight);
}

void BM_SdlColorKeyBlit8_Logo(benchmark::State& state) { sdl_keyed_blit(state, false); }
BENCHMARK(BM_SdlColorKeyBlit8_Logo);

void BM_SdlColorKeyBlit8Rle_Logo(benchmark::State& state) { sdl_keyed_blit(state, true); }
BENCHMARK(BM_SdlColorKeyBlit8Rle_Logo);

}  // namespace
