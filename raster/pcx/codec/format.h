// What a PCX header says: the checks every header field passes before a
// pixel is decoded, the layout they name, and the facts a caller is told.
// Shared by the codec and the library's surface layer; no library state.
#ifndef RASTER_PCX_CODEC_FORMAT_H
#define RASTER_PCX_CODEC_FORMAT_H

#include <raster/pcx_codec.h>

#include <cstddef>
#include <cstdint>

#include "raster/pcx/codec/header.h"

namespace raster {
namespace pcx {

// Every layout the reader stores. The planar ones hold 1 bit per pixel in
// each of 1 to 4 planes (plane p gives bit p of the index); the packed ones
// hold 2 or 4 bits per pixel in one plane, most significant bits first.
// True colour has planes red, green, blue, and in the second kind a fourth
// (alpha or intensity).
enum Layout {
    kOneBit,
    kTwoPlane,
    kThreePlane,
    kFourPlane,
    kPackedTwoBit,
    kPackedFourBit,
    kEightBit,
    kTrueColour,
    kTrueColourFourPlanes
};

// What the header says about a picture, once it has passed every check.
struct Format {
    Layout layout;
    int32_t width;
    int32_t height;
    int32_t colours;      // 2, 4, 8, 16, 256, or PCX_TRUE_COLOUR
    uint32_t planes;      // 1 to 4
    uint32_t bits;        // bits per pixel in one plane: 1, 2, 4 or 8
    uint32_t bpl;         // BytesPerLine: bytes of one plane of one line
    uint32_t line_bytes;  // planes * bpl
};

inline uint32_t field16(const uint8_t* header, int offset) {
    return static_cast<uint32_t>(header[offset]) | (static_cast<uint32_t>(header[offset + 1]) << 8);
}

// Checks the 128 header bytes: PCX_OK with `format` filled; PCX_BAD_HEADER
// (not a PCX picture, or no extent); PCX_BAD_LAYOUT (a combination of
// planes and bits no reader stores, or BytesPerLine too small for the
// width). No limit on the line's length: callers with a fixed line buffer
// add their own.
int32_t classify(const uint8_t* header, Format& format);

// The header's fields into `facts` (which the caller has zeroed): size,
// origin, the raw fields and the notes they earn. `format` is the result of
// classify, or null when it refused the layout.
void header_facts(const uint8_t* header, const Format* format, pcx_facts& facts);

}  // namespace pcx
}  // namespace raster

#endif  // RASTER_PCX_CODEC_FORMAT_H
