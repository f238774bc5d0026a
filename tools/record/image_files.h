// Writing recorded frames: one PNG per frame, and an animated GIF whose
// frames keep every colour exactly (each frame has at most 256 colours).
#ifndef TOOLS_RECORD_IMAGE_FILES_H
#define TOOLS_RECORD_IMAGE_FILES_H

#include <cstdint>
#include <string>
#include <vector>

struct GifFileType;

namespace record {

// One frame: 0x00RRGGBB per pixel, rows top first.
struct Frame {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// Writes an 8-bit RGB PNG. Returns false (with a message in *error) on
// failure.
bool write_png(const std::string& path, const Frame& frame, std::string* error);

// An animated GIF written frame by frame, looping forever.
class GifWriter {
  public:
    GifWriter() = default;
    ~GifWriter();
    GifWriter(const GifWriter&) = delete;
    GifWriter& operator=(const GifWriter&) = delete;

    // Opens the file for frames of the given size; delay in hundredths of a
    // second per frame.
    bool open(const std::string& path, int width, int height, int delay_centiseconds, std::string* error);
    // Adds a frame with its own exact colour map. Fails for a frame of
    // another size or with more than 256 colours.
    bool add(const Frame& frame, std::string* error);
    // Finishes the file.
    bool close(std::string* error);

  private:
    GifFileType* gif_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int delay_ = 0;
    bool first_ = true;
};

}  // namespace record

#endif  // TOOLS_RECORD_IMAGE_FILES_H
