// SDL2 composing one whole frame of the demo in software, for the frame
// benchmark to measure against: the sky slice blitted from the panorama, the
// logo stretched to its zoom level and blitted with colour 0 keyed out, and
// the finished 8-bit frame converted to 32 bits and stretched to the window's
// size. Plain C++ only: no SDL type appears here.
#ifndef BENCH_PEERS_FRAME_PEERS_H
#define BENCH_PEERS_FRAME_PEERS_H

#include <cstdint>
#include <memory>
#include <vector>

namespace peers {

class SdlFrame {
  public:
    // `panorama`: 1600 x 200 indices; `logo1`, `logo2`: logo_width x
    // logo_height indices; all rows top first. `rgb`: 256 triples.
    SdlFrame(const uint8_t* panorama, const uint8_t* logo1, const uint8_t* logo2, int logo_width, int logo_height,
             const uint8_t* rgb, int window_width, int window_height);
    ~SdlFrame();
    SdlFrame(const SdlFrame&) = delete;
    SdlFrame& operator=(const SdlFrame&) = delete;

    bool ok() const;
    // Composes and presents the frame for one scroll position (a multiple
    // of 8 in 0..1272), the logos at the levels the demo gives it; false on
    // an SDL error.
    bool compose(int scroll_x);
    // The 320 x 200 frame of indices, top row first.
    std::vector<uint8_t> frame() const;
    // The window-sized result, 0x00RRGGBB, top row first.
    std::vector<uint32_t> window() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace peers

#endif  // BENCH_PEERS_FRAME_PEERS_H
