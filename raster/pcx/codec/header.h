// The PCX file's fixed facts, each named once: where every header field
// lies, the header's and the trailer's sizes, and the bytes of the
// run-length code. The reader, the writer and the library's surface layer
// all take them from here (the sizes are the public header's, which
// programs outside the codec use). Constants only (no function), so that any file,
// whatever instruction set it is built for, may include it.
#ifndef RASTER_PCX_CODEC_HEADER_H
#define RASTER_PCX_CODEC_HEADER_H

#include <raster/pcx_codec.h>

#include <cstddef>
#include <cstdint>

namespace raster {
namespace pcx {

// ---- the 128-byte header: field offsets (16-bit fields are little-endian) ----

constexpr uint32_t kHeaderSize = PCX_HEADER_BYTES;
constexpr int kManufacturerAt = 0;    // 1 byte: kManufacturer
constexpr int kVersionAt = 1;         // 1 byte: 5 for pictures with a 256-colour trailer
constexpr int kEncodingAt = 2;        // 1 byte: kRunLengthEncoding
constexpr int kBitsAt = 3;            // 1 byte: bits per pixel in one plane
constexpr int kXMinAt = 4;            // 16 bits: left column
constexpr int kYMinAt = 6;            // 16 bits: top row
constexpr int kXMaxAt = 8;            // 16 bits: right column, inclusive
constexpr int kYMaxAt = 10;           // 16 bits: bottom row, inclusive
constexpr int kHorizontalDpiAt = 12;  // 16 bits
constexpr int kVerticalDpiAt = 14;    // 16 bits
constexpr int kColourMapAt = 16;      // 16 colours, red, green, blue
constexpr int kPlanesAt = 65;         // 1 byte: colour planes
constexpr int kBytesPerLineAt = 66;   // 16 bits: bytes of one plane of one line
constexpr int kPaletteInfoAt = 68;    // 16 bits: 1 colour, 2 grey

constexpr uint8_t kManufacturer = 10;
constexpr uint8_t kRunLengthEncoding = 1;
// The versions writers have used (0, 2, 3, 4, 5); 5 is the one whose
// 256-colour pictures carry the trailer, and the one the encoder writes.
constexpr uint8_t kKnownVersions[] = {0, 2, 3, 4, 5};
constexpr uint8_t kTrailerVersion = 5;
constexpr int32_t kHeaderColours = 16;
constexpr size_t kColourMapBytes = 3 * kHeaderColours;

// ---- the 256-colour trailer: the file's last 769 bytes -----------------------

constexpr uint32_t kTrailerSize = PCX_TRAILER_BYTES;
constexpr uint8_t kTrailerMarker = 0x0C;  // its first byte
constexpr int kTrailerColoursAt = 1;      // 256 colours, red, green, blue
constexpr int32_t kTrailerColours = 256;

// ---- the run-length code ------------------------------------------------------

// A byte of kRunFlag or more is a run header: its low six bits count the
// copies of the byte after it. Any other byte stands for itself.
constexpr uint8_t kRunFlag = 0xC0;
constexpr uint8_t kRunCountMask = 0x3F;
constexpr uint32_t kLongestRun = 63;

}  // namespace pcx
}  // namespace raster

#endif  // RASTER_PCX_CODEC_HEADER_H
