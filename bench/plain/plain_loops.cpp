#include "plain_loops.h"

#include <cstring>
#include <vector>

namespace plain {

void place(const uint8_t* buffer, int width, int height, uint8_t* lower_left, ptrdiff_t stride) {
    for (int r = 0; r < height; ++r) {
        const uint8_t* s = buffer + static_cast<ptrdiff_t>(r) * width;
        uint8_t* d = lower_left + r * stride;
        for (int x = 0; x < width; ++x) {
            if (s[x] != 0) d[x] = s[x];
        }
    }
}

void place_select(const uint8_t* buffer, int width, int height, uint8_t* lower_left, ptrdiff_t stride) {
    for (int r = 0; r < height; ++r) {
        const uint8_t* s = buffer + static_cast<ptrdiff_t>(r) * width;
        uint8_t* d = lower_left + r * stride;
        for (int x = 0; x < width; ++x) d[x] = s[x] != 0 ? s[x] : d[x];
    }
}

namespace {

int64_t scale_index(int64_t d, int64_t old_size, int64_t new_size) {
    if (new_size >= old_size) return ((d + 1) * old_size - 1) / new_size;
    return d * old_size / new_size;
}

// GDI's rule: enlarging, the source index under the destination index's
// centre; shrinking, the last of its run across a row, the first down it.
int64_t gdi_index(int64_t d, int64_t source_size, int64_t dest_size, bool columns) {
    if (source_size < dest_size) return ((2 * d + 1) * source_size - 1) / (2 * dest_size);
    if (columns) return (2 * source_size * (d + 1) - dest_size) / (2 * dest_size);
    return (2 * source_size * d + dest_size) / (2 * dest_size);
}

}  // namespace

void scale(const uint8_t* source, uint8_t* dest, int width, int height, int new_width, int new_height) {
    int32_t column[8192];
    for (int d = 0; d < new_width; ++d) column[d] = static_cast<int32_t>(scale_index(d, width, new_width));
    for (int r = 0; r < new_height; ++r) {
        const uint8_t* row = source + scale_index(r, height, new_height) * width;
        uint8_t* out = dest + static_cast<ptrdiff_t>(r) * new_width;
        for (int d = 0; d < new_width; ++d) out[d] = row[column[d]];
    }
}

void present(const uint8_t* pixels, int width, int height, ptrdiff_t stride, const uint32_t* colors, uint32_t* out,
             int dest_width, int dest_height) {
    int32_t column[4096];
    for (int d = 0; d < dest_width; ++d) column[d] = static_cast<int32_t>(gdi_index(d, width, dest_width, true));
    int64_t previous = -1;
    for (int r = 0; r < dest_height; ++r, out += dest_width) {
        const int64_t from_top = gdi_index(r, height, dest_height, false);
        if (from_top == previous) {
            std::memcpy(out, out - dest_width, static_cast<size_t>(dest_width) * 4);
            continue;
        }
        previous = from_top;
        const uint8_t* row = pixels + (height - 1 - from_top) * stride;
        if (dest_width == width) {
            for (int d = 0; d < dest_width; ++d) out[d] = colors[row[d]];
        } else {
            for (int d = 0; d < dest_width; ++d) out[d] = colors[row[column[d]]];
        }
    }
}

bool pcx_decode(const uint8_t* file, size_t size, uint8_t* bits, ptrdiff_t stride, uint8_t low_base) {
    if (size < 128 || file[0] != 10 || file[2] != 1) return false;
    const int depth = file[3];
    const int width = (file[8] | file[9] << 8) - (file[4] | file[5] << 8) + 1;
    const int height = (file[10] | file[11] << 8) - (file[6] | file[7] << 8) + 1;
    const int planes = file[65];
    const int line_bytes = file[66] | file[67] << 8;
    const bool one_bit = depth == 1 && planes == 1;
    const bool four_plane = depth == 1 && planes == 4;
    const bool indexed = depth == 8 && planes == 1;
    const bool true_colour = depth == 8 && planes == 3;
    if (!(one_bit || four_plane || indexed || true_colour) || width < 1 || height < 1) return false;
    if (line_bytes * 8 < width * (depth == 1 ? 1 : 8)) return false;

    std::vector<uint8_t> line(static_cast<size_t>(line_bytes) * planes);
    const uint8_t* in = file + 128;
    const uint8_t* end = file + size;
    for (int y = 0; y < height; ++y) {
        size_t n = 0;
        while (n < line.size()) {
            if (in >= end) return false;
            uint8_t value = *in++;
            size_t count = 1;
            if ((value & 0xC0) == 0xC0) {
                if (in >= end) return false;
                count = value & 0x3F;
                value = *in++;
            }
            while (count-- > 0 && n < line.size()) line[n++] = value;
        }
        uint8_t* out = bits + (height - 1 - y) * stride;
        if (indexed) {
            std::memcpy(out, line.data(), static_cast<size_t>(width));
        } else if (one_bit) {
            for (int x = 0; x < width; ++x)
                out[x] = static_cast<uint8_t>(low_base + ((line[x >> 3] >> (7 - (x & 7))) & 1));
        } else if (four_plane) {
            for (int x = 0; x < width; ++x) {
                uint8_t index = 0;
                for (int p = 0; p < 4; ++p) {
                    index |= static_cast<uint8_t>(((line[p * line_bytes + (x >> 3)] >> (7 - (x & 7))) & 1) << p);
                }
                out[x] = static_cast<uint8_t>(low_base + index);
            }
        } else {
            for (int x = 0; x < width; ++x) {
                out[4 * x] = line[2 * line_bytes + x];
                out[4 * x + 1] = line[line_bytes + x];
                out[4 * x + 2] = line[x];
            }
        }
    }
    return true;
}

namespace {

// One line of `count` bytes from the stream at `in`; runs longer than what
// the line still needs are cut. False when the stream ends first.
bool decode_line(const uint8_t*& in, const uint8_t* end, uint8_t* line, size_t count) {
    size_t n = 0;
    while (n < count) {
        if (in >= end) return false;
        uint8_t value = *in++;
        size_t run = 1;
        if ((value & 0xC0) == 0xC0) {
            if (in >= end) return false;
            run = value & 0x3F;
            value = *in++;
        }
        while (run-- > 0 && n < count) line[n++] = value;
    }
    return true;
}

void put_colour(uint8_t* rgba, const uint8_t* colour) {
    rgba[0] = colour[0];
    rgba[1] = colour[1];
    rgba[2] = colour[2];
    rgba[3] = 255;
}

}  // namespace

bool pcx_decode_rgba(const uint8_t* file, size_t size, uint8_t* rgba) {
    if (size < 128 || file[0] != 10) return false;
    const int depth = file[3];
    const int width = (file[8] | file[9] << 8) - (file[4] | file[5] << 8) + 1;
    const int height = (file[10] | file[11] << 8) - (file[6] | file[7] << 8) + 1;
    const int planes = file[65];
    const int line_bytes = file[66] | file[67] << 8;
    const bool indexed = depth == 8 && planes == 1;
    if (!((depth == 1 && (planes == 1 || planes == 4)) || indexed || (depth == 8 && planes == 3))) return false;
    if (width < 1 || height < 1 || line_bytes * 8 < width * depth) return false;
    if (indexed && (size < 128 + 769 || file[size - 769] != 12)) return false;
    const uint8_t* colours = indexed ? file + size - 768 : file + 16;
    std::vector<uint8_t> line(static_cast<size_t>(line_bytes) * planes);
    const uint8_t* in = file + 128;
    for (int y = 0; y < height; ++y) {
        if (!decode_line(in, file + size, line.data(), line.size())) return false;
        uint8_t* out = rgba + static_cast<size_t>(y) * width * 4;
        for (int x = 0; x < width; ++x, out += 4) {
            if (depth == 8 && planes == 3) {
                const uint8_t colour[3] = {line[x], line[line_bytes + x], line[2 * line_bytes + x]};
                put_colour(out, colour);
            } else if (indexed) {
                put_colour(out, colours + line[x] * 3);
            } else {
                int index = 0;
                for (int p = 0; p < planes; ++p) index |= ((line[p * line_bytes + (x >> 3)] >> (7 - (x & 7))) & 1) << p;
                put_colour(out, colours + index * 3);
            }
        }
    }
    return true;
}

size_t pcx_encode(const uint8_t* pixels, int width, int height, bool rgb, const uint8_t* palette, uint8_t* out) {
    const int planes = rgb ? 3 : 1;
    const int line_bytes = width + (width & 1);
    std::memset(out, 0, 128);
    const uint8_t header[16] = {10,
                                5,
                                1,
                                8,
                                0,
                                0,
                                0,
                                0,
                                static_cast<uint8_t>(width - 1),
                                static_cast<uint8_t>((width - 1) >> 8),
                                static_cast<uint8_t>(height - 1),
                                static_cast<uint8_t>((height - 1) >> 8),
                                72,
                                0,
                                72,
                                0};
    std::memcpy(out, header, sizeof header);
    if (!rgb) std::memcpy(out + 16, palette, 48);
    out[65] = static_cast<uint8_t>(planes);
    out[66] = static_cast<uint8_t>(line_bytes);
    out[67] = static_cast<uint8_t>(line_bytes >> 8);
    out[68] = 1;
    size_t at = 128;
    std::vector<uint8_t> line(static_cast<size_t>(line_bytes));
    for (int y = 0; y < height; ++y) {
        for (int p = 0; p < planes; ++p) {
            const uint8_t* row = pixels + static_cast<size_t>(y) * width * planes;
            for (int x = 0; x < width; ++x) line[x] = row[x * planes + p];
            line[line_bytes - 1] = line[width - 1];
            for (int x = 0; x < line_bytes;) {
                int run = 1;
                while (x + run < line_bytes && run < 63 && line[x + run] == line[x]) ++run;
                if (run > 1 || line[x] >= 0xC0) out[at++] = static_cast<uint8_t>(0xC0 | run);
                out[at++] = line[x];
                x += run;
            }
        }
    }
    if (!rgb) {
        out[at++] = 12;
        std::memcpy(out + at, palette, 768);
        at += 768;
    }
    return at;
}

}  // namespace plain
