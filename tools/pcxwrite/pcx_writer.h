// PCX writer: turns an indexed or true-colour picture into PCX file bytes in
// any of the layouts the raster library reads. Used by the tests to make
// their pictures and by the picture generator for the demo's files.
#ifndef TOOLS_PCX_WRITER_H
#define TOOLS_PCX_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

namespace pcxwrite {

enum class Layout {
    OneBit,          // 1 plane, 1 bit per pixel: indices 0..1
    TwoPlane,        // 2 planes, 1 bit per pixel each: indices 0..3
    ThreePlane,      // 3 planes, 1 bit per pixel each: indices 0..7
    FourPlane,       // 4 planes, 1 bit per pixel each: indices 0..15
    PackedTwoBit,    // 1 plane, 2 bits per pixel: indices 0..3
    PackedFourBit,   // 1 plane, 4 bits per pixel: indices 0..15
    EightBit,        // 1 plane, 8 bits per pixel: indices 0..255
    TrueColor,       // 3 planes (red, green, blue), 8 bits each
    TrueColorAlpha,  // 4 planes (red, green, blue, alpha), 8 bits each
};

struct Picture {
    int width = 0;
    int height = 0;
    // Indexed layouts: width * height palette indices, top row first.
    std::vector<uint8_t> indices;
    // TrueColor(Alpha): width * height * 3 bytes red, green, blue, top row
    // first.
    std::vector<uint8_t> rgb;
    // TrueColorAlpha: width * height alpha bytes; empty means all 255.
    std::vector<uint8_t> alpha;
    // Colours for the indexed layouts: 256 triples red, green, blue. The
    // first 16 also go into the header's colour map.
    std::vector<uint8_t> palette = std::vector<uint8_t>(768, 0);
};

struct Options {
    Layout layout = Layout::EightBit;
    // 5 writes the 769-byte 256-colour trailer (any but the true-colour
    // layouts);
    // any other version relies on the 16-colour header map alone.
    int version = 5;
    uint16_t xmin = 0;  // picture origin written into the header
    uint16_t ymin = 0;
    // Bytes per plane line; 0 picks the smallest even count that holds the
    // width (so odd widths get a pad byte). A larger value pads each line.
    int bytes_per_line = 0;
    // false: every run stops at the end of a scan line (the common practice);
    // true: the whole picture is one stream and runs cross line ends.
    bool runs_cross_lines = false;
    // Value of the pad bytes beyond the width.
    uint8_t pad_value = 0;
};

// The file's bytes. An empty result means the picture does not fit the
// layout (wrong buffer sizes, an index too large for it, or a size beyond
// the format's 16-bit fields).
std::vector<uint8_t> encode(const Picture& picture, const Options& options);

// Writes bytes to a file; false on failure.
bool write_file(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace pcxwrite

#endif  // TOOLS_PCX_WRITER_H
