// SDL2 doing the jobs of image_scale and image_place, for the benchmarks to
// measure against. Plain C++ only: no SDL type appears here.
#ifndef BENCH_PEERS_PIXEL_PEERS_H
#define BENCH_PEERS_PIXEL_PEERS_H

#include <cstdint>
#include <memory>
#include <vector>

namespace peers {

// Nearest-neighbour stretching of one 8-bit image (SDL_SoftStretch) into a
// set of destination sizes, each with its own 8-bit surface made up front.
class Stretch8 {
  public:
    struct Size {
        int width;
        int height;
    };
    // `pixels` holds width x height indices, top row first.
    Stretch8(const uint8_t* pixels, int width, int height, const std::vector<Size>& sizes);
    ~Stretch8();
    Stretch8(const Stretch8&) = delete;
    Stretch8& operator=(const Stretch8&) = delete;

    bool ok() const;
    // Stretches the source onto the whole of destination `which`; false on
    // an SDL error.
    bool stretch(int which);
    // Destination `which`, top row first, width x height bytes.
    std::vector<uint8_t> result(int which) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A colour-keyed blit of an 8-bit image with index 0 transparent onto an
// 8-bit target surface that shares its palette (so indices pass unchanged).
class KeyedBlit8 {
  public:
    // `pixels`: width x height indices, top row first. `run_length` asks SDL
    // to run-length encode the source (SDL_RLEACCEL); the encoding is done
    // here, by one blit before the target is cleared, so it is not counted
    // in later blits.
    KeyedBlit8(const uint8_t* pixels, int width, int height, int target_width, int target_height, bool run_length);
    ~KeyedBlit8();
    KeyedBlit8(const KeyedBlit8&) = delete;
    KeyedBlit8& operator=(const KeyedBlit8&) = delete;

    bool ok() const;
    // Fills the target with one index.
    void clear(uint8_t index);
    // Blits the image with its upper-left pixel at (x, y); false on error.
    bool blit(int x, int y);
    // The target, top row first, target_width x target_height bytes.
    std::vector<uint8_t> target() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace peers

#endif  // BENCH_PEERS_PIXEL_PEERS_H
