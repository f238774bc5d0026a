// Header checks and the layout choice.
#include "raster/pcx/codec/format.h"

#include <algorithm>
#include <iterator>

namespace raster {
namespace pcx {

namespace {

struct LayoutChoice {
    Layout layout;
    int32_t colours;
};

// The layout for `bits` per pixel in `planes` planes; false for a
// combination no reader stores.
bool choose_layout(uint32_t bits, uint32_t planes, LayoutChoice& choice) {
    if (bits == 1 && planes >= 1 && planes <= 4) {
        choice = {static_cast<Layout>(kOneBit + (planes - 1)), 1 << planes};
    } else if (bits == 2 && planes == 1) {
        choice = {kPackedTwoBit, 4};
    } else if (bits == 4 && planes == 1) {
        choice = {kPackedFourBit, 16};
    } else if (bits == 8 && planes == 1) {
        choice = {kEightBit, 256};
    } else if (bits == 8 && planes == 3) {
        choice = {kTrueColour, PCX_TRUE_COLOUR};
    } else if (bits == 8 && planes == 4) {
        choice = {kTrueColourFourPlanes, PCX_TRUE_COLOUR};
    } else {
        return false;
    }
    return true;
}

// Bytes of one plane that hold `width` pixels of `bits` each.
uint32_t bytes_for_width(uint32_t width, uint32_t bits) { return (width * bits + 7) / 8; }

}  // namespace

int32_t classify(const uint8_t* header, Format& format) {
    if (header[kManufacturerAt] != kManufacturer) return PCX_BAD_HEADER;
    // The fields are unsigned; a right or bottom edge before the left or
    // top one describes no picture.
    const int32_t width =
        static_cast<int32_t>(field16(header, kXMaxAt)) - static_cast<int32_t>(field16(header, kXMinAt)) + 1;
    const int32_t height =
        static_cast<int32_t>(field16(header, kYMaxAt)) - static_cast<int32_t>(field16(header, kYMinAt)) + 1;
    if (width < 1 || height < 1) return PCX_BAD_HEADER;

    const uint32_t bits = header[kBitsAt];
    const uint32_t planes = header[kPlanesAt];
    LayoutChoice choice{};
    if (!choose_layout(bits, planes, choice)) return PCX_BAD_LAYOUT;
    const uint32_t bpl = field16(header, kBytesPerLineAt);
    if (bpl < bytes_for_width(static_cast<uint32_t>(width), bits)) return PCX_BAD_LAYOUT;
    format = Format{choice.layout, width, height, choice.colours, planes, bits, bpl, planes * bpl};
    return PCX_OK;
}

void header_facts(const uint8_t* header, const Format* format, pcx_facts& facts) {
    facts.x_min = static_cast<int32_t>(field16(header, kXMinAt));
    facts.y_min = static_cast<int32_t>(field16(header, kYMinAt));
    facts.width = static_cast<int32_t>(field16(header, kXMaxAt)) - facts.x_min + 1;
    facts.height = static_cast<int32_t>(field16(header, kYMaxAt)) - facts.y_min + 1;
    facts.bits_per_pixel = header[kBitsAt];
    facts.planes = header[kPlanesAt];
    facts.bytes_per_line = static_cast<int32_t>(field16(header, kBytesPerLineAt));
    facts.version = header[kVersionAt];
    facts.encoding = header[kEncodingAt];
    facts.h_dpi = static_cast<int32_t>(field16(header, kHorizontalDpiAt));
    facts.v_dpi = static_cast<int32_t>(field16(header, kVerticalDpiAt));
    const uint8_t* known_end = std::end(kKnownVersions);
    if (std::find(std::begin(kKnownVersions), known_end, header[kVersionAt]) == known_end) {
        facts.notes |= PCX_NOTE_UNKNOWN_VERSION;
    }
    if (facts.encoding != kRunLengthEncoding) facts.notes |= PCX_NOTE_UNKNOWN_ENCODING;
    if (format == nullptr) return;
    facts.colours = format->colours;
    // Writers round a line up to an even number of bytes; an odd count, or
    // more than that rounding, is unusual but loses nothing.
    const uint32_t needed = bytes_for_width(static_cast<uint32_t>(format->width), format->bits);
    if ((format->bpl & 1) != 0 || format->bpl > needed + (needed & 1)) facts.notes |= PCX_NOTE_ODD_LINE_BYTES;
}

}  // namespace pcx
}  // namespace raster
