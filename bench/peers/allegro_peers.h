// Allegro 4 doing the library's jobs on memory bitmaps (no display: the
// library is started with SYSTEM_NONE), for the benchmarks to measure
// against. Plain C++ only: no Allegro type or macro appears here.
#ifndef BENCH_PEERS_ALLEGRO_PEERS_H
#define BENCH_PEERS_ALLEGRO_PEERS_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace peers {

// blit of a slice of one 8-bit bitmap onto another of the slice's size.
class AllegroSliceBlit {
  public:
    // `pixels`: width x height indices, top row first.
    AllegroSliceBlit(const uint8_t* pixels, int width, int height, int slice_width, int slice_height);
    ~AllegroSliceBlit();
    AllegroSliceBlit(const AllegroSliceBlit&) = delete;
    AllegroSliceBlit& operator=(const AllegroSliceBlit&) = delete;

    bool ok() const;
    // Copies columns left .. left + slice_width - 1 onto the whole target.
    void blit(int left);
    // The target, top row first.
    std::vector<uint8_t> target() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// stretch_blit of one 8-bit bitmap onto whole 8-bit bitmaps of other sizes.
class AllegroStretch8 {
  public:
    struct Size {
        int width;
        int height;
    };
    // `pixels`: width x height indices, top row first.
    AllegroStretch8(const uint8_t* pixels, int width, int height, const std::vector<Size>& sizes);
    ~AllegroStretch8();
    AllegroStretch8(const AllegroStretch8&) = delete;
    AllegroStretch8& operator=(const AllegroStretch8&) = delete;

    bool ok() const;
    void stretch(int which);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A masked 8-bit sprite (index 0 is Allegro's 8-bit mask colour) drawn onto
// an 8-bit bitmap, with draw_sprite or, run-length encoded up front, with
// draw_rle_sprite.
class AllegroSprite8 {
  public:
    // `pixels`: width x height indices, top row first.
    AllegroSprite8(const uint8_t* pixels, int width, int height, int target_width, int target_height, bool run_length);
    ~AllegroSprite8();
    AllegroSprite8(const AllegroSprite8&) = delete;
    AllegroSprite8& operator=(const AllegroSprite8&) = delete;

    bool ok() const;
    void clear(uint8_t index);
    // Draws the sprite with its upper-left pixel at (x, y).
    void draw(int x, int y);
    // The target, top row first.
    std::vector<uint8_t> target() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Presenting an 8-bit picture: blit into a 32-bit bitmap through the
// palette (Allegro's colour conversion), then stretch_blit onto a 32-bit
// bitmap of the window's size (one to one, the conversion writes the window
// directly).
class AllegroPresent8 {
  public:
    // `pixels`: width x height indices, top row first; `rgb`: 256 triples.
    AllegroPresent8(const uint8_t* pixels, int width, int height, const uint8_t* rgb, int window_width,
                    int window_height);
    ~AllegroPresent8();
    AllegroPresent8(const AllegroPresent8&) = delete;
    AllegroPresent8& operator=(const AllegroPresent8&) = delete;

    bool ok() const;
    void present();
    // The window bitmap, top row first, 0x00RRGGBB.
    std::vector<uint32_t> window() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Reads the PCX picture in `data` from memory (load_pcx_pf on a packfile
// over the bytes; true colour converted to 32 bits) and frees it. Returns
// width * height, or 0 when Allegro refuses the picture.
long allegro_load_pcx_from_memory(const uint8_t* data, size_t size);

}  // namespace peers

#endif  // BENCH_PEERS_ALLEGRO_PEERS_H
