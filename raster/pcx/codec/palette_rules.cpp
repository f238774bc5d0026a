// The palette rules: which colours an indexed picture brings.
#include "raster/pcx/codec/palette_rules.h"

#include <raster/pcx_codec.h>

#include <cstring>

#include "raster/pcx/codec/format.h"

namespace raster {
namespace pcx {

namespace {

// The 16-colour palette of pictures whose header gives none; 2-colour
// pictures take its first and last entries as black and white.
constexpr uint8_t kStandardColours[48] = {
    0x00, 0x00, 0x00, 0x00, 0x00, 0xAA, 0x00, 0xAA, 0x00, 0x00, 0xAA, 0xAA, 0xAA, 0x00, 0x00, 0xAA,
    0x00, 0xAA, 0xAA, 0xAA, 0x00, 0xAA, 0xAA, 0xAA, 0x55, 0x55, 0x55, 0x55, 0x55, 0xFF, 0x55, 0xFF,
    0x55, 0x55, 0xFF, 0xFF, 0xFF, 0x55, 0x55, 0xFF, 0x55, 0xFF, 0xFF, 0xFF, 0x55, 0xFF, 0xFF, 0xFF,
};

constexpr int32_t kHeaderEntries = 16;
constexpr int32_t kTrailerEntries = 256;

// A header whose first `count` entries are all one colour is a placeholder
// some writers leave, not the picture's palette.
bool header_colours_usable(const uint8_t* colours, int32_t count) {
    for (int32_t i = 1; i < count; ++i) {
        if (std::memcmp(colours, colours + 3 * i, 3) != 0) return true;
    }
    return false;
}

}  // namespace

bool wants_trailer(int32_t colours_used, const uint8_t* header_colours) {
    return colours_used > kHeaderEntries || !header_colours_usable(header_colours, colours_used);
}

int32_t colour_source(int32_t colours_used, const uint8_t* header_colours, bool has_trailer) {
    if (colours_used > kHeaderEntries) return has_trailer ? PCX_COLOURS_TRAILER : PCX_COLOURS_HEADER;
    if (header_colours_usable(header_colours, colours_used)) return PCX_COLOURS_HEADER;
    if (has_trailer) return PCX_COLOURS_TRAILER;
    return colours_used == 2 ? PCX_COLOURS_BLACK_WHITE : PCX_COLOURS_STANDARD;
}

int32_t source_colours(int32_t source, const uint8_t* header_colours, const uint8_t* trailer_colours, uint8_t* out) {
    switch (source) {
        case PCX_COLOURS_TRAILER:
            std::memcpy(out, trailer_colours, 3 * kTrailerEntries);
            return kTrailerEntries;
        case PCX_COLOURS_HEADER:
            std::memcpy(out, header_colours, 3 * kHeaderEntries);
            return kHeaderEntries;
        default:
            std::memcpy(out, kStandardColours, sizeof kStandardColours);
            if (source == PCX_COLOURS_BLACK_WHITE) std::memcpy(out + 3, kStandardColours + 45, 3);
            return kHeaderEntries;
    }
}

const uint8_t* trailer_in_memory(const uint8_t* data, size_t size) {
    if (size < kHeaderSize + kTrailerSize) return nullptr;
    const uint8_t* trailer = data + (size - kTrailerSize);
    return trailer[0] == kTrailerMarker ? trailer + 1 : nullptr;
}

}  // namespace pcx
}  // namespace raster
