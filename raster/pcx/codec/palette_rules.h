// Where an indexed picture's colours come from: the header's 16, the
// 769-byte trailer's 256, the standard 16, or black and white. Pure
// decisions on bytes the caller fetched, so that the codec and the
// library's palette stage (which fetches the trailer from a file, and only
// when it is needed) follow the same rules.
#ifndef RASTER_PCX_CODEC_PALETTE_RULES_H
#define RASTER_PCX_CODEC_PALETTE_RULES_H

#include <cstddef>
#include <cstdint>

namespace raster {
namespace pcx {

// True when the first `count` header colours (red, green, blue) are all one
// colour: a placeholder some writers leave, not the picture's palette.
// Readers then look for the trailer, or show standard colours, so the
// encoder never writes such a header for a picture's own colours.
bool placeholder_colours(const uint8_t* header_colours, int32_t count);

// True when the picture's colours may come from the trailer, so that it is
// worth fetching: always for 256 colours, and for fewer when the header's
// colours are a placeholder (all one colour).
bool wants_trailer(int32_t colours_used, const uint8_t* header_colours);

// PCX_COLOURS_* for an indexed picture of `colours_used` colours (2 .. 256)
// given whether a valid trailer was found.
int32_t colour_source(int32_t colours_used, const uint8_t* header_colours, bool has_trailer);

// The colours of `source` into `out` (red, green, blue): 16 entries, or 256
// for the trailer; returns that number. `trailer_colours` (the 768 bytes
// after the trailer's marker) is read only for PCX_COLOURS_TRAILER.
int32_t source_colours(int32_t source, const uint8_t* header_colours, const uint8_t* trailer_colours, uint8_t* out);

// The trailer of a picture held whole in memory: its 768 colour bytes, or
// null when the block is too short to hold a header and a trailer or the
// marker is missing.
const uint8_t* trailer_in_memory(const uint8_t* data, size_t size);

}  // namespace pcx
}  // namespace raster

#endif  // RASTER_PCX_CODEC_PALETTE_RULES_H
