// The demo's per-frame work of the library core: copying the 320 x 200 slice
// of the panorama into the frame surface, and presenting the frame onto the
// window. Each beside the plainest C loop for it, SDL2, Allegro 4 and pixman
// doing the same job in software, and the limit: memcpy of the slice's bytes
// in one block, memset of the window's bytes.
#include <benchmark/benchmark.h>

#include <standin/probe.h>

#include <raster/raster.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "allegro_peers.h"
#include "core_peers.h"
#include "headless_library.h"
#include "limits.h"
#include "pixman_peers.h"
#include "plain_loops.h"
#include "raster/state.h"

namespace {

using raster::state;
namespace probe = standin::probe;

constexpr int kPanoramaWidth = 1600;
constexpr int kFrameWidth = 320;
constexpr int kFrameHeight = 200;
constexpr int kLoop = 1280;  // scroll positions wrap here
constexpr int kStep = 8;

uint8_t sky(int x, int y) { return static_cast<uint8_t>(10 + (x * 3 + y * 7 + (x * y) % 13) % 236); }

// The library set up as the demo does it, on a headless window with a
// client area of the given size.
class Scene {
  public:
    Scene(int client_width, int client_height) : library_(client_width, client_height) {
        panorama_ = surface_create(kPanoramaWidth, kFrameHeight);
        frame_ = surface_create(kFrameWidth, kFrameHeight);
        if (ok()) {
            for (int y = 0; y < kFrameHeight; ++y) {
                for (int x = 0; x < kPanoramaWidth; ++x) *pixel(panorama_, x, y) = sky(x, y);
                for (int x = 0; x < kFrameWidth; ++x) *pixel(frame_, x, y) = sky(x, y);
            }
            surface_select(frame_);
            surface_reset_colors();
        }
    }
    ~Scene() {
        surface_deselect();
        if (panorama_ >= 0) surface_destroy(panorama_);
        if (frame_ >= 0) surface_destroy(frame_);
    }
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    bool ok() const { return library_.window() != nullptr && panorama_ >= 0 && frame_ >= 0; }
    int32_t panorama() const { return panorama_; }
    int32_t frame() const { return frame_; }
    HWND window() const { return library_.window(); }

    static uint8_t* pixel(int32_t handle, int x, int y) {
        return state.slot_bits[handle] +
               static_cast<size_t>(state.slot_height[handle] - 1 - y) * state.slot_width[handle] + x;
    }

  private:
    HeadlessLibrary library_;
    int32_t panorama_ = -1;
    int32_t frame_ = -1;
};

std::vector<uint8_t> panorama_top_first() {
    std::vector<uint8_t> rows(static_cast<size_t>(kPanoramaWidth) * kFrameHeight);
    for (int y = 0; y < kFrameHeight; ++y) {
        for (int x = 0; x < kPanoramaWidth; ++x) rows[static_cast<size_t>(y) * kPanoramaWidth + x] = sky(x, y);
    }
    return rows;
}

void BM_SliceCopy_surface_copy(benchmark::State& bench) {
    Scene scene(kFrameWidth, kFrameHeight);
    if (!scene.ok()) return bench.SkipWithError("library set-up failed");
    if (surface_copy(1272, 1272 + kFrameWidth - 1, 0, kFrameHeight - 1, 0, kFrameHeight - 1, scene.panorama(),
                     scene.frame()) != 0) {
        return bench.SkipWithError("the slice copy was refused");
    }
    int scroll = 0;
    for (auto _ : bench) {
        surface_copy(scroll, scroll + kFrameWidth - 1, 0, kFrameHeight - 1, 0, kFrameHeight - 1, scene.panorama(),
                     scene.frame());
        benchmark::DoNotOptimize(state.slot_bits[scene.frame()]);
        benchmark::ClobberMemory();
        scroll = (scroll + kStep) % kLoop;
    }
    bench.SetBytesProcessed(bench.iterations() * kFrameWidth * kFrameHeight);
}
BENCHMARK(BM_SliceCopy_surface_copy);

// The same rows with plain memcpy, each row's addresses stepped from the
// previous row's rather than worked out again: the per-row limit.
void BM_SliceCopy_row_memcpy(benchmark::State& bench) {
    Scene scene(kFrameWidth, kFrameHeight);
    if (!scene.ok()) return bench.SkipWithError("library set-up failed");
    // Called through a pointer the compiler cannot see through, so that this
    // stays the C library's memcpy rather than an inlined `rep movsq`, which
    // is far slower for 320-byte rows.
    void* (*volatile copy_row)(void*, const void*, size_t) = std::memcpy;
    const size_t from_stride = static_cast<size_t>(state.slot_width[scene.panorama()]);
    const size_t to_stride = static_cast<size_t>(state.slot_width[scene.frame()]);
    // Bottom row first: ascending addresses, as the rows lie in memory.
    uint8_t* const to_bottom = Scene::pixel(scene.frame(), 0, kFrameHeight - 1);
    const uint8_t* const from_bottom = Scene::pixel(scene.panorama(), 0, kFrameHeight - 1);
    int scroll = 0;
    for (auto _ : bench) {
        uint8_t* to = to_bottom;
        const uint8_t* from = from_bottom + scroll;
        for (int y = 0; y < kFrameHeight; ++y, to += to_stride, from += from_stride) copy_row(to, from, kFrameWidth);
        benchmark::ClobberMemory();
        scroll = (scroll + kStep) % kLoop;
    }
    bench.SetBytesProcessed(bench.iterations() * kFrameWidth * kFrameHeight);
}
BENCHMARK(BM_SliceCopy_row_memcpy);

void BM_SliceCopy_limit_memcpy(benchmark::State& bench) { limits::memcpy_bytes(bench, kFrameWidth * kFrameHeight); }
BENCHMARK(BM_SliceCopy_limit_memcpy);

// A peer's slice, top row first, against the library's for the same scroll
// position.
template <typename Peer>
bool same_slice(Peer& peer, int left) {
    Scene scene(kFrameWidth, kFrameHeight);
    if (surface_copy(left, left + kFrameWidth - 1, 0, kFrameHeight - 1, 0, kFrameHeight - 1, scene.panorama(),
                     scene.frame()) != 0) {
        return false;
    }
    const std::vector<uint8_t> theirs = peer.target();
    for (int y = 0; y < kFrameHeight; ++y) {
        if (std::memcmp(&theirs[static_cast<size_t>(y) * kFrameWidth], Scene::pixel(scene.frame(), 0, y),
                        kFrameWidth) != 0) {
            return false;
        }
    }
    return true;
}

// Times a peer's slice copies across the loop, once its slice has been
// checked against the library's.
template <typename Peer>
void time_peer_slices(benchmark::State& bench, Peer& peer) {
    int scroll = 0;
    for (auto _ : bench) {
        peer.blit(scroll);
        benchmark::ClobberMemory();
        scroll = (scroll + kStep) % kLoop;
    }
    bench.SetBytesProcessed(bench.iterations() * kFrameWidth * kFrameHeight);
}

void BM_SliceCopy_Allegro_blit(benchmark::State& bench) {
    const std::vector<uint8_t> panorama = panorama_top_first();
    peers::AllegroSliceBlit peer(panorama.data(), kPanoramaWidth, kFrameHeight, kFrameWidth, kFrameHeight);
    if (!peer.ok()) return bench.SkipWithError("Allegro bitmaps not made");
    peer.blit(952);
    if (!same_slice(peer, 952)) return bench.SkipWithError("Allegro slice differs from surface_copy's");
    time_peer_slices(bench, peer);
}
BENCHMARK(BM_SliceCopy_Allegro_blit);

void BM_SliceCopy_pixman_blt(benchmark::State& bench) {
    const std::vector<uint8_t> panorama = panorama_top_first();
    peers::PixmanSliceBlt peer(panorama.data(), kPanoramaWidth, kFrameHeight, kFrameWidth, kFrameHeight);
    if (!peer.ok() || !peer.blit(952)) return bench.SkipWithError("pixman_blt refused the slice");
    if (!same_slice(peer, 952)) return bench.SkipWithError("pixman slice differs from surface_copy's");
    time_peer_slices(bench, peer);
}
BENCHMARK(BM_SliceCopy_pixman_blt);

void BM_SliceCopy_SDL_BlitSurface(benchmark::State& bench) {
    const std::vector<uint8_t> panorama = panorama_top_first();
    peers::SliceBlit8 peer(panorama.data(), kPanoramaWidth, kFrameHeight, kFrameWidth, kFrameHeight);
    if (!peer.ok() || !peer.blit(952)) return bench.SkipWithError("SDL surfaces not made");
    // Same job, same bytes: the peer's slice must equal ours.
    if (!same_slice(peer, 952)) return bench.SkipWithError("SDL slice differs from surface_copy's");
    time_peer_slices(bench, peer);
}
BENCHMARK(BM_SliceCopy_SDL_BlitSurface);

void window_sizes(benchmark::internal::Benchmark* b) {
    b->Args({320, 200})->Args({640, 400})->Args({1920, 1080})->Args({3840, 2160});
}

std::vector<uint8_t> frame_top_first() {
    std::vector<uint8_t> frame(static_cast<size_t>(kFrameWidth) * kFrameHeight);
    for (int y = 0; y < kFrameHeight; ++y) {
        for (int x = 0; x < kFrameWidth; ++x) frame[static_cast<size_t>(y) * kFrameWidth + x] = sky(x, y);
    }
    return frame;
}

std::vector<uint8_t> frame_colours() {
    std::vector<uint8_t> rgb(768);
    std::memcpy(rgb.data(), raster::default_palette, rgb.size());
    return rgb;
}

// Pixels of a window-sized 0x00RRGGBB picture that differ from what present
// shows; reported, not asserted (peers round the nearest source pixel their
// own way at the edges of blocks, and Allegro keeps 6-bit colours).
template <typename Peer>
double pixels_differing_from_present(const Peer& peer, int width, int height) {
    Scene scene(width, height);
    present(0, kFrameWidth - 1, 0, kFrameHeight - 1, 0, width - 1, 0, height - 1);
    int w = 0, h = 0;
    const std::vector<uint32_t> ours = probe::client_pixels(scene.window(), &w, &h);
    const std::vector<uint32_t> theirs = peer.window();
    double differing = 0;
    for (size_t i = 0; i < ours.size() && i < theirs.size(); ++i) differing += ours[i] != theirs[i] ? 1 : 0;
    return differing;
}

void BM_Present_present(benchmark::State& bench) {
    const int width = static_cast<int>(bench.range(0));
    const int height = static_cast<int>(bench.range(1));
    Scene scene(width, height);
    if (!scene.ok()) return bench.SkipWithError("library set-up failed");
    for (auto _ : bench) {
        present(0, kFrameWidth - 1, 0, kFrameHeight - 1, 0, width - 1, 0, height - 1);
        benchmark::ClobberMemory();
    }
    bench.SetItemsProcessed(bench.iterations() * width * height);
}
BENCHMARK(BM_Present_present)->Apply(window_sizes);

// Makes a peer's window of the benchmark's size from the frame, counts the
// pixels its first present shows differently from the library's, and times
// its presents. Allegro's and pixman's present cannot fail once made;
// SDL's reports whether its blit went through.
bool presented(peers::SoftPresent8& peer) { return peer.present(); }
template <class Peer>
bool presented(Peer& peer) {
    peer.present();
    return true;
}

template <class Peer>
void time_peer_presents(benchmark::State& bench, const char* not_made) {
    const int width = static_cast<int>(bench.range(0));
    const int height = static_cast<int>(bench.range(1));
    const std::vector<uint8_t> frame = frame_top_first();
    const std::vector<uint8_t> rgb = frame_colours();
    Peer peer(frame.data(), kFrameWidth, kFrameHeight, rgb.data(), width, height);
    if (!peer.ok() || !presented(peer)) return bench.SkipWithError(not_made);
    bench.counters["differing_pixels"] = pixels_differing_from_present(peer, width, height);
    for (auto _ : bench) {
        peer.present();
        benchmark::ClobberMemory();
    }
    bench.SetItemsProcessed(bench.iterations() * width * height);
}

void BM_Present_SDL_convert_and_BlitScaled(benchmark::State& bench) {
    time_peer_presents<peers::SoftPresent8>(bench, "SDL surfaces not made");
}
BENCHMARK(BM_Present_SDL_convert_and_BlitScaled)->Apply(window_sizes);

void BM_Present_Allegro_blit_and_stretch_blit(benchmark::State& bench) {
    time_peer_presents<peers::AllegroPresent8>(bench, "Allegro bitmaps not made");
}
BENCHMARK(BM_Present_Allegro_blit_and_stretch_blit)->Apply(window_sizes);

void BM_Present_pixman_composite(benchmark::State& bench) {
    time_peer_presents<peers::PixmanPresent8>(bench, "pixman images not made");
}
BENCHMARK(BM_Present_pixman_composite)->Apply(window_sizes);

// The plain row-reusing stretch, on the frame surface's own bits, into a
// framebuffer of the window's size; it must show what present shows.
void BM_Present_plain_loop(benchmark::State& bench) {
    const int width = static_cast<int>(bench.range(0));
    const int height = static_cast<int>(bench.range(1));
    Scene scene(width, height);
    if (!scene.ok()) return bench.SkipWithError("library set-up failed");
    uint32_t colours[256];
    for (int i = 0; i < 256; ++i) {
        const uint8_t* c = raster::default_palette + 3 * i;
        colours[i] = (uint32_t{c[0]} << 16) | (uint32_t{c[1]} << 8) | c[2];
    }
    const uint8_t* bits = state.slot_bits[scene.frame()];
    const ptrdiff_t stride = state.slot_width[scene.frame()];
    std::vector<uint32_t> out(static_cast<size_t>(width) * height);
    plain::present(bits, kFrameWidth, kFrameHeight, stride, colours, out.data(), width, height);
    present(0, kFrameWidth - 1, 0, kFrameHeight - 1, 0, width - 1, 0, height - 1);
    int w = 0, h = 0;
    if (probe::client_pixels(scene.window(), &w, &h) != out) {
        return bench.SkipWithError("the plain loop's pixels differ from present's");
    }
    for (auto _ : bench) {
        plain::present(bits, kFrameWidth, kFrameHeight, stride, colours, out.data(), width, height);
        benchmark::ClobberMemory();
    }
    bench.SetItemsProcessed(bench.iterations() * width * height);
}
BENCHMARK(BM_Present_plain_loop)->Apply(window_sizes);

void BM_Present_limit_memset(benchmark::State& bench) {
    const size_t pixels = static_cast<size_t>(bench.range(0)) * static_cast<size_t>(bench.range(1));
    limits::memset_bytes(bench, pixels * 4);
    bench.SetItemsProcessed(bench.iterations() * static_cast<int64_t>(pixels));
}
BENCHMARK(BM_Present_limit_memset)->Apply(window_sizes);

// The same bytes by memcpy: one window row, made once and kept in the
// caches, copied onto every row (the least a stretch that reuses rows must
// write, with the C library's fastest copy).
void BM_Present_limit_row_memcpy(benchmark::State& bench) {
    const size_t width = static_cast<size_t>(bench.range(0));
    const size_t height = static_cast<size_t>(bench.range(1));
    void* (*volatile copy)(void*, const void*, size_t) = std::memcpy;
    const std::vector<uint32_t> row(width, 0x123456u);
    std::vector<uint32_t> window(width * height);
    for (auto _ : bench) {
        for (size_t y = 0; y < height; ++y) copy(&window[y * width], row.data(), width * 4);
        benchmark::ClobberMemory();
    }
    bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations() * width * height * 4));
    bench.SetItemsProcessed(static_cast<int64_t>(bench.iterations() * width * height));
}
BENCHMARK(BM_Present_limit_row_memcpy)->Apply(window_sizes);

}  // namespace
