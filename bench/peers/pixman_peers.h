// pixman doing the library's jobs, for the benchmarks to measure against.
// Plain C++ only: no pixman type appears here.
#ifndef BENCH_PEERS_PIXMAN_PEERS_H
#define BENCH_PEERS_PIXMAN_PEERS_H

#include <cstdint>
#include <memory>
#include <vector>

namespace peers {

// An unscaled SRC composite of a slice of one 8-bit picture (held as a8)
// onto another of the slice's size.
class PixmanSliceBlt {
  public:
    // `pixels`: width x height bytes, top row first.
    PixmanSliceBlt(const uint8_t* pixels, int width, int height, int slice_width, int slice_height);
    ~PixmanSliceBlt();
    PixmanSliceBlt(const PixmanSliceBlt&) = delete;
    PixmanSliceBlt& operator=(const PixmanSliceBlt&) = delete;

    bool ok() const;
    bool blit(int left);
    // The target, top row first.
    std::vector<uint8_t> target() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Nearest-neighbour scaling of an 8-bit picture (held as a8) onto whole a8
// pictures of other sizes: one SRC composite each, through a scaling
// transform.
class PixmanScale8 {
  public:
    struct Size {
        int width;
        int height;
    };
    PixmanScale8(const uint8_t* pixels, int width, int height, const std::vector<Size>& sizes);
    ~PixmanScale8();
    PixmanScale8(const PixmanScale8&) = delete;
    PixmanScale8& operator=(const PixmanScale8&) = delete;

    bool ok() const;
    void scale(int which);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Presenting an 8-bit picture: an indexed (c8) picture composited with SRC
// onto a 32-bit copy of its size, which is then composited onto the
// window-sized x8r8g8b8 picture through a nearest-neighbour scaling
// transform (pixman's fast path for it). One to one, the first composite
// writes the window directly.
class PixmanPresent8 {
  public:
    // `pixels`: width x height indices, top row first; `rgb`: 256 triples.
    PixmanPresent8(const uint8_t* pixels, int width, int height, const uint8_t* rgb, int window_width,
                   int window_height);
    ~PixmanPresent8();
    PixmanPresent8(const PixmanPresent8&) = delete;
    PixmanPresent8& operator=(const PixmanPresent8&) = delete;

    bool ok() const;
    void present();
    // The window, top row first, 0x00RRGGBB.
    std::vector<uint32_t> window() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace peers

#endif  // BENCH_PEERS_PIXMAN_PEERS_H
