// The loop that turns a picture's run-length data into rows, shared by
// pcx_decode (rows top down into the caller's pixels) and pcx_display (rows
// bottom-up into a surface, through scanline_buffer): one line at a time
// into a line buffer, the row writer on the pixels a row stores, and the
// bytes the last run wrote past the line's end carried to the next line.
#ifndef RASTER_PCX_CODEC_LINE_ROWS_H
#define RASTER_PCX_CODEC_LINE_ROWS_H

#include <cstddef>
#include <cstdint>

#include "raster/pcx/codec/line_decoder.h"
#include "raster/pcx/codec/rows.h"

namespace raster {
namespace pcx {

// Where the decoded lines go.
struct LineRows {
    RowWriter writer;
    const uint8_t* table;  // for the writer
    uint32_t bpl;          // bytes of one plane of one line
    uint32_t line_bytes;   // all planes of one line
    int32_t columns;       // pixels each row stores
    int64_t rows;          // rows stored: the first lines
    uint8_t* first_row;    // the destination of the first line's row
    ptrdiff_t row_step;    // from one row's destination to the next (negative: bottom-up)
};

// `line` holds line_bytes + kMaxRunOvershoot bytes, `older` line_bytes (see
// LineDecoder).
struct LineBuffers {
    uint8_t* line;
    uint8_t* older;
};

struct LinesDone {
    int64_t whole;   // lines the data gave whole
    uint32_t carry;  // bytes the last run wrote past the last line
    uint8_t* row;    // the destination of the row after the whole ones (the one the data ended in)
};

// Decodes `lines` lines (rows.rows of them stored, the rest only decoded).
// When the data ends part way through a line, that line's row is stored as
// the decoder left the line (its older bytes past what the data gave); then
// with `stop_at_end` nothing more is done, and without it the rows still to
// be stored get the same line, and lines past them are not decoded.
LinesDone decode_lines(ByteSource& in, const LineRows& rows, LineBuffers buffers, int64_t lines, bool stop_at_end);

}  // namespace pcx
}  // namespace raster

#endif  // RASTER_PCX_CODEC_LINE_ROWS_H
