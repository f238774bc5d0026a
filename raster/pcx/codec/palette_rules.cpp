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
constexpr uint8_t kStandardColours[kColourMapBytes] = {
    0x00, 0x00, 0x00, 0x00, 0x00, 0xAA, 0x00, 0xAA, 0x00, 0x00, 0xAA, 0xAA, 0xAA, 0x00, 0x00, 0xAA,
    0x00, 0xAA, 0xAA, 0xAA, 0x00, 0xAA, 0xAA, 0xAA, 0x55, 0x55, 0x55, 0x55, 0x55, 0xFF, 0x55, 0xFF,
    0x55, 0x55, 0xFF, 0xFF, 0xFF, 0x55, 0x55, 0xFF, 0x55, 0xFF, 0xFF, 0xFF, 0x55, 0xFF, 0xFF, 0xFF,
};

}  // namespace

bool placeholder_colours(const uint8_t* header_colours, int32_t count) {
    for (int32_t i = 1; i < count; ++i) {
        if (std::memcmp(header_colours, header_colours + 3 * i, 3) != 0) return false;
    }
    return true;
}

bool wants_trailer(int32_t colours_used, const uint8_t* header_colours) {
    return colours_used > kHeaderColours || placeholder_colours(header_colours, colours_used);
}

int32_t colour_source(int32_t colours_used, const uint8_t* header_colours, bool has_trailer) {
    if (colours_used > kHeaderColours) return has_trailer ? PCX_COLOURS_TRAILER : PCX_COLOURS_HEADER;
    if (!placeholder_colours(header_colours, colours_used)) return PCX_COLOURS_HEADER;
    if (has_trailer) return PCX_COLOURS_TRAILER;
    return colours_used == 2 ? PCX_COLOURS_BLACK_WHITE : PCX_COLOURS_STANDARD;
}

int32_t source_colours(int32_t source, const uint8_t* header_colours, const uint8_t* trailer_colours, uint8_t* out) {
    switch (source) {
        case PCX_COLOURS_TRAILER:
            std::memcpy(out, trailer_colours, 3 * kTrailerColours);
            return kTrailerColours;
        case PCX_COLOURS_HEADER:
            std::memcpy(out, header_colours, 3 * kHeaderColours);
            return kHeaderColours;
        default:
            std::memcpy(out, kStandardColours, sizeof kStandardColours);
            // Black and white: the standard palette's first and last entries.
            if (source == PCX_COLOURS_BLACK_WHITE) std::memcpy(out + 3, kStandardColours + 3 * (kHeaderColours - 1), 3);
            return kHeaderColours;
    }
}

const uint8_t* trailer_in_memory(const uint8_t* data, size_t size) {
    if (size < kHeaderSize + kTrailerSize) return nullptr;
    const uint8_t* trailer = data + (size - kTrailerSize);
    return trailer[0] == kTrailerMarker ? trailer + kTrailerColoursAt : nullptr;
}

}  // namespace pcx
}  // namespace raster
