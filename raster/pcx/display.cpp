// The library's PCX operations: pcx_display decodes a picture, from a file
// or from a block in memory, into the active surface at any depth and loads
// its colours into the library palette; pcx_info tells a picture's size;
// pcx_set_buffer points the in-memory reads at a caller's block. The header
// checks, palette rules, line decoder and row writers are the codec's; this
// layer adds the file blocks, the placement, the library palette and
// scanline_buffer's line limit.
//
// Every header field is checked before the first pixel is stored: a call
// either stores the picture (cut at the right and bottom edges) or refuses
// it with nothing stored and no palette entry changed. The decoder never
// writes past the longest line scanline_buffer can hold, and never reads
// past the bytes a block delivered.
#include <raster/raster.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "raster/pcx/codec/format.h"
#include "raster/pcx/codec/line_rows.h"
#include "raster/pcx/codec/palette_rules.h"
#include "raster/pcx/codec/rows.h"
#include "raster/state.h"

namespace {

using raster::state;
using namespace raster::pcx;

// scanline_buffer is scratch_area: the longest line leaves room for a run's
// overshoot.
constexpr uint32_t kMaxLineBytes = raster::kScratchSize - kMaxRunOvershoot;
// 8-bit surfaces keep pictures in entries 10..245, clear of the system's
// static colours.
constexpr int32_t kPictureFirstEntry = 10;
constexpr int32_t kPictureEntryCount = 236;

// The codec's checks, and lines that fit scanline_buffer.
int32_t classify_for_surface(const uint8_t* header, Format& format) {
    const int32_t result = classify(header, format);
    if (result == PCX_OK && format.line_bytes > kMaxLineBytes) return PCX_BAD_LAYOUT;
    return result;
}

// Reads the 128 header bytes into `header`: from the file, which stays open
// in `file` when the result is PCX_OK, or from the caller's block.
int32_t read_header(const char* filename, bool from_file, uint8_t* header, HANDLE& file) {
    if (!from_file) {
        if (state.work_buffer_pointer == nullptr || state.work_buffer_size < kHeaderSize) return PCX_BAD_HEADER;
        std::memcpy(header, state.work_buffer_pointer, kHeaderSize);
        return PCX_OK;
    }
    if (filename == nullptr) return PCX_OPEN_FAILED;
    file = CreateFileA(filename, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return PCX_OPEN_FAILED;
    state.bytes_read = 0;
    ReadFile(file, header, kHeaderSize, &state.bytes_read, nullptr);
    if (state.bytes_read < kHeaderSize) {
        CloseHandle(file);
        return PCX_BAD_HEADER;
    }
    return PCX_OK;
}

struct Picture {
    Format format;
    bool from_file;
    int32_t flags;
};

// ---- palette stage -------------------------------------------------------------

// Loads the 769-byte trailer into scanline_buffer; true when all of it was
// there, behind the header, and it starts with the marker.
bool fetch_trailer(const Picture& pic) {
    uint8_t* trailer = state.scratch_area;
    uint32_t got = 0;
    if (pic.from_file) {
        const DWORD at = SetFilePointer(state.pcx_file, -static_cast<LONG>(kTrailerSize), nullptr, FILE_END);
        if (at != INVALID_SET_FILE_POINTER && at >= kHeaderSize) {
            state.bytes_read = 0;
            ReadFile(state.pcx_file, trailer, kTrailerSize, &state.bytes_read, nullptr);
            got = state.bytes_read;
        }
        SetFilePointer(state.pcx_file, static_cast<LONG>(kHeaderSize), nullptr, FILE_BEGIN);
    } else if (state.work_buffer_size >= kHeaderSize + kTrailerSize) {
        std::memcpy(trailer, state.work_buffer_pointer + (state.work_buffer_size - kTrailerSize), kTrailerSize);
        got = kTrailerSize;
    }
    return got >= kTrailerSize && trailer[0] == kTrailerMarker;
}

// A 256-colour picture's trailer, in scanline_buffer: reduced to fit
// entries 10..245 of an 8-bit surface unless the indices are kept; deeper
// surfaces take all 256.
void load_trailer_colours(int32_t flags, bool eight_bit_surface) {
    uint8_t* colours = state.scratch_area + kTrailerColoursAt;
    if ((flags & PCX_KEEP_INDICES) == 0) palette_reduce(kPictureFirstEntry, kPictureEntryCount, colours);
    if (eight_bit_surface) {
        set_palette_entries(kPictureFirstEntry, kPictureEntryCount, colours + kPictureFirstEntry * 3);
    } else {
        set_palette_entries(0, kTrailerColours, colours);
    }
}

// The picture's colours into the library palette, by the palette rules:
// 8-bit surfaces take 16 entries from 10 on (the trailer's 256-colour
// palette: 10..245), deeper surfaces the colours' own entries from 0 on.
void palette_stage(const Picture& pic) {
    const int32_t colours_used = pic.format.colours;
    if ((pic.flags & PCX_KEEP_PALETTE) != 0 || colours_used > kTrailerColours) return;
    const bool eight_bit_surface = state.active_bpp <= 8;
    const uint8_t* header_colours = state.pcx_header + kColourMapAt;
    const bool has_trailer = wants_trailer(colours_used, header_colours) && fetch_trailer(pic);
    const int32_t source = colour_source(colours_used, header_colours, has_trailer);
    if (source == PCX_COLOURS_TRAILER && colours_used == kTrailerColours) {
        load_trailer_colours(pic.flags, eight_bit_surface);
        return;
    }
    uint8_t colours[3 * kTrailerColours];
    const int32_t count = source_colours(source, header_colours, state.scratch_area + kTrailerColoursAt, colours);
    set_palette_entries(eight_bit_surface ? kPictureFirstEntry : 0, eight_bit_surface ? kHeaderColours : count,
                        colours);
}

// ---- decoding ----------------------------------------------------------------------

// File mode: the next block of the file into work_buffer.
bool read_block(ByteSource& source) {
    state.bytes_read = 0;
    ReadFile(state.pcx_file, state.work_buffer, raster::kWorkBufferSize, &state.bytes_read, nullptr);
    const uint32_t got = state.bytes_read > raster::kWorkBufferSize ? raster::kWorkBufferSize : state.bytes_read;
    if (got == 0) return false;
    source.next = state.work_buffer;
    source.end = state.work_buffer + got;
    return true;
}

ByteSource picture_source(bool from_file) {
    ByteSource in;
    if (from_file) {
        in.fetch = read_block;
    } else {
        in.next = state.work_buffer_pointer + kHeaderSize;
        in.end = state.work_buffer_pointer + state.work_buffer_size;
    }
    return in;
}

// Where the picture lands and how much of it the surface shows.
struct Placement {
    int64_t rows;
    int32_t columns;
    uint8_t* top_row;  // the destination of the picture's top row
};

// Decodes the picture's top `rows` rows through scanline_buffer into the
// surface, then, when `all_rows`, the rest of its lines without storing
// them; true when the data ended before the lines did. A line cut short
// keeps scanline_buffer's older bytes, and so do the rows after it.
bool decode_into_surface(ByteSource& in, const Format& format, RowWriter writer, const Placement& place,
                         bool all_rows) {
    uint8_t older[kMaxLineBytes];
    const LineRows rows{writer,        state.native_color_table,
                        format.bpl,    format.line_bytes,
                        place.columns, place.rows,
                        place.top_row, -static_cast<ptrdiff_t>(state.active_stride)};
    decode_lines(in, rows, LineBuffers{state.scratch_area, older}, all_rows ? format.height : place.rows, false);
    return in.exhausted;
}

// The row writer for the layout at the active depth, and the bytes of one
// pixel there.
RowWriter writer_for_surface(Layout layout, int32_t& pixel_bytes) {
    SurfaceDepth depth = kDepth32;
    pixel_bytes = 4;
    if (state.active_bpp == 8) {
        depth = kDepth8;
        pixel_bytes = 1;
    } else if (state.active_bpp == 16) {
        depth = kDepth16;
        pixel_bytes = 2;
    } else if (state.active_bpp == 24) {
        depth = kDepth24;
        pixel_bytes = 3;
    }
    return surface_row_writer(layout, depth);
}

// Placement: the picture may be cut at the right and bottom edges, but must
// start on the surface and leave a pixel on it.
bool place_picture(const Format& format, int32_t flags, int32_t pixel_bytes, Placement& place) {
    const uint8_t* header = state.pcx_header;
    const bool at_position = (flags & PCX_AT_POSITION) != 0;
    const int64_t x0 = at_position ? state.graphics_x : static_cast<int64_t>(field16(header, kXMinAt));
    const int64_t y0 = at_position ? state.graphics_y : static_cast<int64_t>(field16(header, kYMinAt));
    if (x0 < 0 || y0 < 0) return false;
    int64_t rows = format.height;
    if (y0 + rows > state.active_height) rows = state.active_height - y0;
    int64_t columns = format.width;
    if (x0 + columns > state.active_width) columns = state.active_width - x0;
    if (rows <= 0 || columns <= 0) return false;
    place.rows = rows;
    place.columns = static_cast<int32_t>(columns);
    place.top_row = state.active_bits + static_cast<size_t>(state.active_max_y - y0) * state.active_stride +
                    static_cast<size_t>(x0) * pixel_bytes;
    return true;
}

int32_t finish(bool from_file, int32_t result) {
    if (from_file) CloseHandle(state.pcx_file);
    return result;
}

}  // namespace

extern "C" {

int32_t pcx_set_buffer(const uint8_t* data, uint32_t size) {
    if (data == nullptr) {
        if (size != 0) return RASTER_REFUSED;
        state.work_buffer_pointer = state.work_buffer;
        state.work_buffer_size = raster::kWorkBufferSize;
        return RASTER_OK;
    }
    state.work_buffer_pointer = data;
    state.work_buffer_size = size;
    return RASTER_OK;
}

int32_t pcx_info(const char* filename, int32_t flags, int32_t* width, int32_t* height, int32_t* colours) {
    if (width == nullptr || height == nullptr || colours == nullptr) return RASTER_REFUSED;
    const bool from_file = (flags & PCX_FROM_BUFFER) == 0;
    uint8_t header[kHeaderSize];
    HANDLE file = INVALID_HANDLE_VALUE;
    const int32_t opened = read_header(filename, from_file, header, file);
    if (opened != PCX_OK) return opened;
    if (from_file) CloseHandle(file);
    Format format{};
    const int32_t result = classify_for_surface(header, format);
    if (result != PCX_OK) return result;
    *width = format.width;
    *height = format.height;
    *colours = format.colours;
    return PCX_OK;
}

int32_t pcx_display(const char* filename, int32_t flags) {
    if (state.active_slot < 0) return PCX_OK;

    const bool from_file = (flags & PCX_FROM_BUFFER) == 0;
    const int32_t opened = read_header(filename, from_file, state.pcx_header, state.pcx_file);
    if (opened != PCX_OK) return opened;
    Format format{};
    const int32_t classified = classify_for_surface(state.pcx_header, format);
    if (classified != PCX_OK) return finish(from_file, classified);

    int32_t pixel_bytes = 0;
    const RowWriter writer = writer_for_surface(format.layout, pixel_bytes);
    Placement place{};
    if (!place_picture(format, flags, pixel_bytes, place)) return finish(from_file, PCX_OUTSIDE);
    if (writer == nullptr) return finish(from_file, PCX_BAD_LAYOUT);

    // Deeper surfaces convert indices through native_color_table, which
    // set_palette_entries rebuilds: their colours go in first. Colour
    // reduction renumbers the stored pixels: 8-bit surfaces take theirs last.
    const Picture pic{format, from_file, flags};
    if (state.active_bpp > 8) palette_stage(pic);
    ByteSource in = picture_source(from_file);
    const bool report = (flags & PCX_REPORT_DAMAGE) != 0;
    const bool short_data = decode_into_surface(in, format, writer, place, report);
    if (state.active_bpp <= 8) palette_stage(pic);
    return finish(from_file, report && short_data ? PCX_DAMAGED : PCX_OK);
}

}  // extern "C"
