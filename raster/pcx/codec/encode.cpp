// pcx_encode: pixels in memory to a PCX file in memory, on any thread.
//
// Every argument, and every index of an indexed picture, is checked before a
// byte is written, so a refused call leaves `out` as it was. A buffer large
// enough for the worst case (every byte escaped) is written in one pass; any
// other is written only after a counting pass has shown that it holds the
// file.
#include <raster/pcx_codec.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "raster/pcx/codec/encode_lines.h"
#include "raster/pcx/codec/header.h"
#include "raster/pcx/codec/palette_rules.h"

namespace {

using namespace raster::pcx;
using raster::pcx_encoder::LineCoder;

constexpr uint16_t kDotsPerInch = 72;
constexpr uint16_t kColourPalette = 1;  // PaletteInfo: colour, not grey
constexpr int32_t kLargestSide = 65536;
constexpr size_t kLargestLineBytes = 65534;  // BytesPerLine: 16 bits, even

// What one call writes, worked out from its arguments.
struct Plan {
    const uint8_t* pixels;
    int32_t width;
    int32_t height;
    ptrdiff_t stride;
    int32_t format;  // also the bytes a pixel takes in `pixels`
    const uint8_t* palette;
    int32_t colours;
    int32_t bits;       // per pixel and plane: 1 or 8
    int32_t planes;     // 1, 3 or 4
    size_t line_bytes;  // BytesPerLine
    bool trailer;       // the 769-byte, 256-colour trailer follows the data
};

// The header's 16 colours as this picture would carry them (its first
// colours, then black); readers would take them for a placeholder when
// they are all one colour, so such a palette goes in the trailer.
bool header_is_placeholder(const uint8_t* palette, int32_t colours) {
    uint8_t header[kColourMapBytes] = {};
    std::memcpy(header, palette, static_cast<size_t>(colours < kHeaderColours ? colours : kHeaderColours) * 3);
    return placeholder_colours(header, kHeaderColours);
}

bool black_then_white(const uint8_t* palette, int32_t colours) {
    static constexpr uint8_t kBlackWhite[6] = {0, 0, 0, 255, 255, 255};
    return colours == 2 && std::memcmp(palette, kBlackWhite, sizeof kBlackWhite) == 0;
}

// The planes and bits of the layout for an indexed picture.
void choose_indexed_layout(Plan& plan) {
    if (black_then_white(plan.palette, plan.colours)) {
        plan.bits = 1;
        plan.planes = 1;
    } else if (plan.colours <= kHeaderColours && !header_is_placeholder(plan.palette, plan.colours)) {
        plan.bits = 1;
        plan.planes = 4;
    } else {
        plan.bits = 8;
        plan.planes = 1;
        plan.trailer = true;
    }
}

// False for arguments pcx_encode refuses; otherwise the plan filled in.
bool make_plan(Plan& plan) {
    if (plan.pixels == nullptr || plan.width < 1 || plan.height < 1) return false;
    if (plan.width > kLargestSide || plan.height > kLargestSide) return false;
    if (plan.format != PCX_FORMAT_INDICES && plan.format != PCX_FORMAT_RGB && plan.format != PCX_FORMAT_RGBA) {
        return false;
    }
    if (plan.stride < static_cast<ptrdiff_t>(plan.width) * plan.format) return false;
    plan.trailer = false;
    if (plan.format == PCX_FORMAT_INDICES) {
        if (plan.palette == nullptr || plan.colours < 2 || plan.colours > kTrailerColours) return false;
        choose_indexed_layout(plan);
    } else {
        plan.bits = 8;
        plan.planes = plan.format;
    }
    const size_t width = static_cast<size_t>(plan.width);
    const size_t used = plan.bits == 1 ? (width + 7) / 8 : width;
    plan.line_bytes = used + (used & 1);
    return plan.line_bytes <= kLargestLineBytes;
}

// True when every index is below the picture's number of colours.
bool indices_fit(const Plan& plan) {
    if (plan.colours >= kTrailerColours) return true;
    const uint8_t limit = static_cast<uint8_t>(plan.colours);
    for (int32_t y = 0; y < plan.height; ++y) {
        const uint8_t* row = plan.pixels + y * plan.stride;
        uint8_t highest = 0;
        for (int32_t x = 0; x < plan.width; ++x) highest = row[x] > highest ? row[x] : highest;
        if (highest >= limit) return false;
    }
    return true;
}

void put16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void write_header(const Plan& plan, uint8_t* header) {
    std::memset(header, 0, kHeaderSize);
    header[kManufacturerAt] = kManufacturer;
    header[kVersionAt] = kTrailerVersion;
    header[kEncodingAt] = kRunLengthEncoding;
    header[kBitsAt] = static_cast<uint8_t>(plan.bits);
    put16(header + kXMaxAt, static_cast<uint32_t>(plan.width - 1));  // Xmin and Ymin stay 0
    put16(header + kYMaxAt, static_cast<uint32_t>(plan.height - 1));
    put16(header + kHorizontalDpiAt, kDotsPerInch);
    put16(header + kVerticalDpiAt, kDotsPerInch);
    if (plan.format == PCX_FORMAT_INDICES) {
        const int32_t shown = plan.colours < kHeaderColours ? plan.colours : kHeaderColours;
        std::memcpy(header + kColourMapAt, plan.palette, static_cast<size_t>(shown) * 3);
    }
    header[kPlanesAt] = static_cast<uint8_t>(plan.planes);
    put16(header + kBytesPerLineAt, static_cast<uint32_t>(plan.line_bytes));
    put16(header + kPaletteInfoAt, kColourPalette);
}

void write_trailer(const Plan& plan, uint8_t* trailer) {
    trailer[0] = kTrailerMarker;
    std::memcpy(trailer + kTrailerColoursAt, plan.palette, static_cast<size_t>(plan.colours) * 3);
    std::memset(trailer + kTrailerColoursAt + plan.colours * 3, 0,
                static_cast<size_t>(kTrailerColours - plan.colours) * 3);
}

// Calls visit(plane line, bytes) for every plane of every row, top row
// first, making the plane lines in `scratch` (planes * line_bytes bytes)
// where the row cannot be coded as it is.
template <typename Visit>
void for_each_plane_line(const Plan& plan, const LineCoder& coder, uint8_t* scratch, Visit&& visit) {
    const size_t width = static_cast<size_t>(plan.width);
    for (int32_t y = 0; y < plan.height; ++y) {
        const uint8_t* row = plan.pixels + y * plan.stride;
        const uint8_t* line = scratch;
        if (plan.bits == 1) {
            raster::pcx_encoder::bit_planes(row, plan.width, plan.planes, scratch, plan.line_bytes);
        } else if (plan.format != PCX_FORMAT_INDICES) {
            coder.byte_planes(row, plan.width, plan.format, scratch, plan.line_bytes);
        } else if (plan.line_bytes == width) {
            line = row;
        } else {
            std::memcpy(scratch, row, width);
            scratch[width] = row[width - 1];  // the pad byte continues the row's last run
        }
        for (int32_t p = 0; p < plan.planes; ++p) visit(line + p * plan.line_bytes, plan.line_bytes);
    }
}

// The file's size: header, coded lines, trailer.
uint64_t counted_size(const Plan& plan, const LineCoder& coder, uint8_t* scratch) {
    uint64_t bytes = kHeaderSize + (plan.trailer ? kTrailerSize : 0);
    for_each_plane_line(plan, coder, scratch,
                        [&](const uint8_t* line, size_t count) { bytes += coder.count_bytes(line, count); });
    return bytes;
}

// The most a file of this plan can take: every byte of every plane line
// escaped.
uint64_t largest_size(const Plan& plan) {
    return kHeaderSize + (plan.trailer ? kTrailerSize : 0) +
           uint64_t{2} * plan.line_bytes * static_cast<uint64_t>(plan.planes) * static_cast<uint64_t>(plan.height);
}

// Writes the file into `out`, which holds at least `room` bytes and at least
// the file; returns its size.
size_t write_file(const Plan& plan, const LineCoder& coder, uint8_t* scratch, uint8_t* out, size_t room) {
    write_header(plan, out);
    size_t written = kHeaderSize;
    for_each_plane_line(plan, coder, scratch, [&](const uint8_t* line, size_t count) {
        written += coder.encode(line, count, out + written, room - written);
    });
    if (plan.trailer) {
        write_trailer(plan, out + written);
        written += kTrailerSize;
    }
    return written;
}

size_t encode(const Plan& plan, uint8_t* out, size_t capacity) {
    const std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[plan.line_bytes * plan.planes]);
    if (!scratch) return 0;
    const LineCoder& coder = raster::pcx_encoder::line_coder();
    if (out != nullptr && largest_size(plan) <= capacity) return write_file(plan, coder, scratch.get(), out, capacity);
    const uint64_t size = counted_size(plan, coder, scratch.get());
    if (size > SIZE_MAX) return 0;
    if (out != nullptr && size <= capacity) write_file(plan, coder, scratch.get(), out, capacity);
    return static_cast<size_t>(size);
}

}  // namespace

extern "C" size_t pcx_encode(const void* pixels, int32_t width, int32_t height, ptrdiff_t stride, int32_t format,
                             const uint8_t* palette, int32_t colours, void* out, size_t capacity) {
    Plan plan{static_cast<const uint8_t*>(pixels), width, height, stride, format, palette, colours, 0, 0, 0, false};
    if (!make_plan(plan) || (plan.format == PCX_FORMAT_INDICES && !indices_fit(plan))) return 0;
    return encode(plan, static_cast<uint8_t*>(out), capacity);
}
