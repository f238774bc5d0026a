// SDL2 doing the jobs of surface_copy and present, for the benchmarks to
// measure against. Plain C++ only: no SDL type appears here.
#ifndef BENCH_PEERS_CORE_PEERS_H
#define BENCH_PEERS_CORE_PEERS_H

#include <cstdint>
#include <memory>
#include <vector>

namespace peers {

// SDL_BlitSurface of a slice of one 8-bit surface into another of the slice's
// size; both share one palette, so indices pass unchanged.
class SliceBlit8 {
  public:
    // `pixels`: width x height indices, top row first.
    SliceBlit8(const uint8_t* pixels, int width, int height, int slice_width, int slice_height);
    ~SliceBlit8();
    SliceBlit8(const SliceBlit8&) = delete;
    SliceBlit8& operator=(const SliceBlit8&) = delete;

    bool ok() const;
    // Copies columns left .. left + slice_width - 1 of the top slice_height
    // rows onto the whole target; false on an SDL error.
    bool blit(int left);
    // The target, top row first, slice_width x slice_height bytes.
    std::vector<uint8_t> target() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Presenting an 8-bit picture in software: converted to 32-bit XRGB through
// its palette (SDL_ConvertSurfaceFormat), then stretched nearest-neighbour
// (SDL_BlitScaled) onto a 32-bit surface of the window's size.
class SoftPresent8 {
  public:
    // `pixels`: width x height indices, top row first; `rgb`: 256 triples.
    SoftPresent8(const uint8_t* pixels, int width, int height, const uint8_t* rgb, int window_width, int window_height);
    ~SoftPresent8();
    SoftPresent8(const SoftPresent8&) = delete;
    SoftPresent8& operator=(const SoftPresent8&) = delete;

    bool ok() const;
    // One whole presentation; false on an SDL error.
    bool present();
    // The window surface, top row first, one 0x00RRGGBB value per pixel.
    std::vector<uint32_t> window() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace peers

#endif  // BENCH_PEERS_CORE_PEERS_H
