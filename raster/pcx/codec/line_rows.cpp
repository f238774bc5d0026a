// The one loop from run-length data to rows.
#include "raster/pcx/codec/line_rows.h"

#include <cstring>

namespace raster {
namespace pcx {

LinesDone decode_lines(ByteSource& in, const LineRows& rows, LineBuffers buffers, int64_t lines, bool stop_at_end) {
    uint32_t carry = 0;
    uint8_t* row = rows.first_row;
    int64_t whole = 0;
    for (int64_t line = 0; line < lines; ++line) {
        if (in.exhausted && line >= rows.rows) break;
        carry = decode_line(in, buffers.line, rows.line_bytes, carry, buffers.older);
        if (!in.exhausted) whole = line + 1;
        const bool stored = line < rows.rows;
        if (stored) rows.writer(buffers.line, rows.bpl, rows.columns, row, rows.table);
        if (in.exhausted && stop_at_end) return LinesDone{whole, 0, row};
        // No step past the last stored row: it may lie outside the pixels.
        if (line + 1 < rows.rows) row += rows.row_step;
        if (carry != 0) std::memmove(buffers.line, buffers.line + rows.line_bytes, carry);
    }
    return LinesDone{whole, carry, row};
}

}  // namespace pcx
}  // namespace raster
