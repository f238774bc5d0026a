// pcx_inspect and pcx_decode: a picture held whole in memory, read with no
// state beyond the call's own.
#include <raster/pcx_codec.h>

#include <cstdlib>
#include <cstring>

#include "raster/pcx/codec/format.h"
#include "raster/pcx/codec/line_rows.h"
#include "raster/pcx/codec/palette_rules.h"
#include "raster/pcx/codec/rows.h"

namespace {

using namespace raster::pcx;

// The row writers read up to three bytes past a plane's useful ones; the
// line buffer's room for a run's overshoot already covers them, and this
// keeps a margin.
constexpr size_t kLineMargin = 16;

// A picture as far as its header and trailer tell.
struct Picture {
    pcx_facts facts;
    Format format;
    const uint8_t* data;
    // Where the run-length data ends: the trailer's start when the colours
    // come from the trailer, else the end of the block.
    const uint8_t* data_end;
    const uint8_t* block_end;
};

// A 256-colour picture whose trailer is lost: index i as grey i, so that
// its pixels still show the picture (its header's 16 colours would leave
// 240 of its indices black).
void grey_ramp(uint8_t* palette) {
    for (int32_t i = 0; i < kTrailerColours; ++i) std::memset(palette + 3 * i, i, 3);
}

// Colours of an indexed picture, as the palette rules choose them.
void take_colours(Picture& pic) {
    const size_t size = static_cast<size_t>(pic.block_end - pic.data);
    const uint8_t* header_colours = pic.data + kColourMapAt;
    const int32_t colours = pic.format.colours;
    const uint8_t* trailer = wants_trailer(colours, header_colours) ? trailer_in_memory(pic.data, size) : nullptr;
    const int32_t source = colour_source(colours, header_colours, trailer != nullptr);
    pic.facts.colour_source = source;
    if (source == PCX_COLOURS_TRAILER) pic.data_end = pic.block_end - kTrailerSize;
    if (colours > kHeaderColours && source != PCX_COLOURS_TRAILER) {
        pic.facts.damage |= PCX_DAMAGE_NO_TRAILER;
        grey_ramp(pic.facts.palette);
        return;
    }
    source_colours(source, header_colours, trailer, pic.facts.palette);
}

int32_t inspect(const uint8_t* data, size_t size, Picture& pic) {
    std::memset(&pic.facts, 0, sizeof pic.facts);
    pic.data = data;
    pic.block_end = data + size;
    pic.data_end = pic.block_end;
    if (size < kHeaderSize) return PCX_BAD_HEADER;
    const int32_t result = classify(data, pic.format);
    header_facts(data, result == PCX_OK ? &pic.format : nullptr, pic.facts);
    if (result != PCX_OK) return result;
    if (pic.format.colours <= kTrailerColours) take_colours(pic);
    return PCX_OK;
}

// Where the rows go. The format's value is its bytes per pixel.
struct Target {
    uint8_t* pixels;
    size_t stride;
    size_t row_bytes;
    size_t pixel_bytes;
};

// Whether `height` rows of `row_bytes`, `stride` apart, fit `capacity`,
// worked out so that nothing overflows, whatever the width of size_t.
bool rows_fit(const Format& format, size_t capacity, ptrdiff_t stride, size_t row_bytes) {
    if (stride <= 0 || static_cast<size_t>(stride) < row_bytes || capacity < row_bytes) return false;
    return static_cast<size_t>(format.height - 1) <= (capacity - row_bytes) / static_cast<size_t>(stride);
}

// Pixels of a line cut short whose every byte came from the data: those
// whose byte in the last plane is there.
size_t complete_pixels(const Format& format, uint32_t got) {
    const uint32_t last_plane = (format.planes - 1) * format.bpl;
    if (got <= last_plane) return 0;
    const size_t pixels = static_cast<size_t>(got - last_plane) * 8 / format.bits;
    return pixels < static_cast<size_t>(format.width) ? pixels : static_cast<size_t>(format.width);
}

// Fewer bytes than this left after the last row may be a writer's stray
// ones; see judge_rest.
constexpr uint64_t kStrayBytes = 16;

// One line as the data encodes it: the mean of the rows' encoded bytes, and
// no more than the line's decoded bytes.
uint64_t encoded_line(const Picture& pic) {
    const uint64_t mean = static_cast<uint64_t>(pic.facts.data_bytes) / static_cast<uint64_t>(pic.format.height);
    const uint64_t line = mean < pic.format.line_bytes ? mean : pic.format.line_bytes;
    return line > kStrayBytes ? line : kStrayBytes;
}

// The bytes left after the last row's data: none (or just the trailer), a
// few that lose nothing (PCX_NOTE_EXTRA_BYTES), or a sign that the runs
// were misread (PCX_DAMAGE_MISREAD_RUNS).
//
// Writers end the data with the last row: of 3,618 pictures written by
// netpbm (every ppmtopcx layout), ImageMagick (palette, bilevel, grey, true
// colour with and without alpha) and Pillow (1, L, P, RGB), 1 x 1 to
// 800 x 600, not one left a byte. What a file may still carry without harm
// is zero padding, a trailer (perhaps cut short: it starts with its marker)
// or a few stray bytes. A flipped byte that turns a single byte into a run
// header, or back, shifts every later token: the rows then take more data
// (and it ends before the last row: PCX_DAMAGE_SHORT_DATA) or less, and the
// bytes left over grow with every row after the flip. So at least one
// encoded line left is damage: 20 bytes flipped in a 400 x 340 true-colour
// picture left 500 to 2,000 bytes where one line encodes in about 490.
void judge_rest(Picture& pic, const uint8_t* after) {
    size_t rest = static_cast<size_t>(pic.data_end - after);
    if (rest == 0) return;
    const bool after_data = pic.data_end == pic.block_end;
    if (after_data && rest == kTrailerSize && after[0] == kTrailerMarker) return;
    const bool marked = after[0] == kTrailerMarker;
    while (rest > 0 && after[rest - 1] == 0) --rest;  // zero padding
    if (rest < encoded_line(pic) || (marked && rest <= kTrailerSize)) {
        pic.facts.notes |= PCX_NOTE_EXTRA_BYTES;
    } else {
        pic.facts.damage |= PCX_DAMAGE_MISREAD_RUNS;
    }
}

// After the data ends: the partly decoded row keeps its complete pixels,
// and the rest of it and every later row are zero.
void zero_after(const Picture& pic, const Target& target, uint8_t* row, uint32_t got) {
    const size_t kept = complete_pixels(pic.format, got) * target.pixel_bytes;
    std::memset(row + kept, 0, target.row_bytes - kept);
    for (int32_t y = pic.facts.rows_decoded + 1; y < pic.format.height; ++y) {
        row += target.stride;
        std::memset(row, 0, target.row_bytes);
    }
}

// Decodes every row into the target, recording rows_decoded, data_bytes
// and the damage and notes that only decoding finds.
void decode_rows(Picture& pic, const Target& target, RowWriter writer, const uint8_t* table, LineBuffers buffers) {
    const Format& f = pic.format;
    const uint8_t* const data_start = pic.data + kHeaderSize;
    ByteSource in;
    in.next = data_start;
    in.end = pic.data_end;
    const LineRows rows{writer,  table,    f.bpl,         f.line_bytes,
                        f.width, f.height, target.pixels, static_cast<ptrdiff_t>(target.stride)};
    const LinesDone done = decode_lines(in, rows, buffers, f.height, true);
    pic.facts.rows_decoded = static_cast<int32_t>(done.whole);
    pic.facts.data_bytes = in.next - data_start;
    if (in.exhausted) {
        pic.facts.damage |= PCX_DAMAGE_SHORT_DATA;
        zero_after(pic, target, done.row, in.stopped_at);
        return;
    }
    if (done.carry != 0) pic.facts.damage |= PCX_DAMAGE_RUN_PAST_END;
    judge_rest(pic, in.next);
}

// The table the format's writers look colours up in: the palette as it is
// for RGB, with an alpha of 255 added for RGBA.
const uint8_t* colour_table(const pcx_facts& facts, int32_t format, uint8_t (&rgba)[1024]) {
    if (format != PCX_FORMAT_RGBA) return facts.palette;
    for (int i = 0; i < kTrailerColours; ++i) {
        std::memcpy(rgba + 4 * i, facts.palette + 3 * i, 3);
        rgba[4 * i + 3] = 255;
    }
    return rgba;
}

int32_t decode_into(Picture& pic, int32_t format, const Target& target, RowWriter writer) {
    const size_t line_bytes = pic.format.line_bytes;
    uint8_t* block = static_cast<uint8_t*>(std::calloc(2 * line_bytes + kMaxRunOvershoot + kLineMargin, 1));
    if (block == nullptr) return RASTER_NO_MEMORY;
    uint8_t rgba[1024];
    const uint8_t* table = colour_table(pic.facts, format, rgba);
    decode_rows(pic, target, writer, table, LineBuffers{block, block + line_bytes + kMaxRunOvershoot + kLineMargin});
    std::free(block);
    return PCX_OK;
}

}  // namespace

extern "C" {

int32_t pcx_inspect(const void* data, size_t size, pcx_facts* facts) {
    if (data == nullptr || facts == nullptr) return RASTER_REFUSED;
    Picture pic;
    const int32_t result = inspect(static_cast<const uint8_t*>(data), size, pic);
    *facts = pic.facts;
    return result;
}

int32_t pcx_decode(const void* data, size_t size, int32_t format, void* pixels, size_t capacity, ptrdiff_t stride,
                   pcx_facts* facts) {
    if (data == nullptr || pixels == nullptr || facts == nullptr) return RASTER_REFUSED;
    if (format != PCX_FORMAT_INDICES && format != PCX_FORMAT_RGB && format != PCX_FORMAT_RGBA) return RASTER_REFUSED;
    Picture pic;
    int32_t result = inspect(static_cast<const uint8_t*>(data), size, pic);
    if (result == PCX_OK) {
        const RowWriter writer = codec_row_writer(pic.format.layout, format);
        const size_t pixel_bytes = static_cast<size_t>(format);
        const size_t row_bytes = static_cast<size_t>(pic.format.width) * pixel_bytes;
        if (writer == nullptr || !rows_fit(pic.format, capacity, stride, row_bytes)) return RASTER_REFUSED;
        const Target target{static_cast<uint8_t*>(pixels), static_cast<size_t>(stride), row_bytes, pixel_bytes};
        result = decode_into(pic, format, target, writer);
    }
    *facts = pic.facts;
    return result;
}

}  // extern "C"
