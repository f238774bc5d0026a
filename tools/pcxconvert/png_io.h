// PNG files in memory, through libpng, for pcx2png and png2pcx.
#ifndef TOOLS_PCXCONVERT_PNG_IO_H
#define TOOLS_PCXCONVERT_PNG_IO_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pngio {

enum class Kind { Palette, Rgb, Rgba };

// A picture to write: one byte a pixel (an index) for Palette, written at
// `bit_depth` (1, 2, 4 or 8) with `palette` (red, green, blue triples);
// three or four bytes a pixel for Rgb and Rgba. Rows top first, `stride`
// bytes apart.
struct Picture {
    Kind kind = Kind::Rgb;
    int width = 0;
    int height = 0;
    const uint8_t* pixels = nullptr;
    ptrdiff_t stride = 0;
    int bit_depth = 8;
    std::vector<uint8_t> palette;
};

// The PNG file's bytes; false with libpng's reason in `error`; throws
// std::bad_alloc when there is no memory for the file.
bool write(const Picture& picture, std::vector<uint8_t>* out, std::string* error);

// A PNG read back for png2pcx. `channels` 1: one index a pixel into
// `palette` (palette pictures, and grey ones with a grey ramp as palette);
// 3: red, green, blue; 4: and alpha. 16-bit samples are scaled to 8 bits.
struct Image {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<uint8_t> palette;  // channels 1: red, green, blue triples
    std::vector<uint8_t> pixels;   // width * channels bytes a row, top row first
    bool transparent = false;      // channels 4 and some alpha below 255
};

class Reader {
  public:
    Reader();
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // The header: size and kind. False with the reason in `error`.
    bool open(const uint8_t* data, size_t size, std::string* error);
    int width() const { return width_; }
    int height() const { return height_; }
    // The pixels. With `alpha`, a picture with transparency (an alpha
    // channel or a transparent colour) comes as 4 channels; without, its
    // transparency is dropped and it comes as indices or red, green, blue.
    bool read(bool alpha, Image* image, std::string* error);

    // The bytes libpng reads from.
    struct Source {
        const uint8_t* data = nullptr;
        size_t size = 0;
        size_t position = 0;
    };

  private:
    int channels_for(bool alpha);

    void* png_ = nullptr;
    void* info_ = nullptr;
    Source source_;
    std::string message_;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace pngio

#endif  // TOOLS_PCXCONVERT_PNG_IO_H
