#include "pcx_writer.h"

#include <cstddef>
#include <fstream>

namespace pcxwrite {

namespace {

constexpr int kHeaderSize = 128;
constexpr int kTrailerSize = 769;
constexpr int kMaxRun = 63;

struct LayoutInfo {
    int planes;
    int bits_per_pixel;
    int max_index;  // largest index the layout can hold (TrueColor: unused)
};

LayoutInfo info_of(Layout layout) {
    switch (layout) {
        case Layout::OneBit:
            return {1, 1, 1};
        case Layout::TwoPlane:
            return {2, 1, 3};
        case Layout::ThreePlane:
            return {3, 1, 7};
        case Layout::FourPlane:
            return {4, 1, 15};
        case Layout::PackedTwoBit:
            return {1, 2, 3};
        case Layout::PackedFourBit:
            return {1, 4, 15};
        case Layout::EightBit:
            return {1, 8, 255};
        case Layout::TrueColor:
            return {3, 8, 0};
        case Layout::TrueColorAlpha:
            return {4, 8, 0};
    }
    return {1, 8, 255};
}

// Bytes one plane needs for the width, before any padding.
int plane_bytes_needed(Layout layout, int width) {
    const int bits = info_of(layout).bits_per_pixel;
    return (width * bits + 7) / 8;
}

bool true_colour(Layout layout) { return layout == Layout::TrueColor || layout == Layout::TrueColorAlpha; }

void put16(std::vector<uint8_t>& out, size_t at, int value) {
    out[at] = static_cast<uint8_t>(value & 0xFF);
    out[at + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

// One decoded scan line: every plane, each bytes_per_line long.
void build_line(const Picture& picture, const Options& options, int bytes_per_line, int row,
                std::vector<uint8_t>& line) {
    const LayoutInfo info = info_of(options.layout);
    const int width = picture.width;
    const int needed = plane_bytes_needed(options.layout, width);
    line.assign(static_cast<size_t>(info.planes) * bytes_per_line, 0);
    for (int plane = 0; plane < info.planes; ++plane) {
        uint8_t* out = line.data() + static_cast<size_t>(plane) * bytes_per_line;
        for (int b = needed; b < bytes_per_line; ++b) out[b] = options.pad_value;
        for (int x = 0; x < width; ++x) {
            const size_t pixel = static_cast<size_t>(row) * width + x;
            if (true_colour(options.layout)) {
                if (plane < 3) {
                    out[x] = picture.rgb[pixel * 3 + plane];
                } else {
                    out[x] = picture.alpha.empty() ? 255 : picture.alpha[pixel];
                }
            } else if (info.planes > 1 || info.bits_per_pixel == 1) {
                // Planar: plane p holds bit p of each index.
                const int bit = (picture.indices[pixel] >> plane) & 1;
                out[x / 8] = static_cast<uint8_t>(out[x / 8] | (bit << (7 - x % 8)));
            } else {
                // Packed, most significant bits first.
                const int bits = info.bits_per_pixel;
                const int at = x * bits;
                const int shift = 8 - bits - at % 8;
                out[at / 8] = static_cast<uint8_t>(out[at / 8] | (picture.indices[pixel] << shift));
            }
        }
    }
}

// Appends the run-length encoding of bytes [begin, end).
void encode_stream(const uint8_t* begin, const uint8_t* end, std::vector<uint8_t>& out) {
    const uint8_t* p = begin;
    while (p < end) {
        const uint8_t value = *p;
        int run = 1;
        while (p + run < end && run < kMaxRun && p[run] == value) ++run;
        if (run == 1 && value < 0xC0) {
            out.push_back(value);
        } else {
            out.push_back(static_cast<uint8_t>(0xC0 | run));
            out.push_back(value);
        }
        p += run;
    }
}

}  // namespace

std::vector<uint8_t> encode(const Picture& picture, const Options& options) {
    const LayoutInfo info = info_of(options.layout);
    const int width = picture.width;
    const int height = picture.height;
    if (width < 1 || height < 1) return {};
    if (static_cast<long>(options.xmin) + width - 1 > 0xFFFF) return {};
    if (static_cast<long>(options.ymin) + height - 1 > 0xFFFF) return {};
    const size_t pixels = static_cast<size_t>(width) * height;
    if (true_colour(options.layout)) {
        if (picture.rgb.size() != pixels * 3) return {};
        if (!picture.alpha.empty() && picture.alpha.size() != pixels) return {};
    } else {
        if (picture.indices.size() != pixels) return {};
        for (uint8_t index : picture.indices) {
            if (index > info.max_index) return {};
        }
    }
    if (picture.palette.size() != 768) return {};

    const int needed = plane_bytes_needed(options.layout, width);
    int bytes_per_line = options.bytes_per_line;
    if (bytes_per_line == 0) bytes_per_line = needed + (needed & 1);
    if (bytes_per_line < needed || bytes_per_line > 0xFFFF) return {};

    std::vector<uint8_t> out(kHeaderSize, 0);
    out[0] = 10;
    out[1] = static_cast<uint8_t>(options.version);
    out[2] = 1;
    out[3] = static_cast<uint8_t>(info.bits_per_pixel);
    put16(out, 4, options.xmin);
    put16(out, 6, options.ymin);
    put16(out, 8, options.xmin + width - 1);
    put16(out, 10, options.ymin + height - 1);
    put16(out, 12, 72);
    put16(out, 14, 72);
    for (int i = 0; i < 48; ++i) out[16 + i] = picture.palette[i];
    out[65] = static_cast<uint8_t>(info.planes);
    put16(out, 66, bytes_per_line);
    put16(out, 68, 1);

    std::vector<uint8_t> line;
    if (options.runs_cross_lines) {
        std::vector<uint8_t> all;
        all.reserve(static_cast<size_t>(height) * info.planes * bytes_per_line);
        for (int row = 0; row < height; ++row) {
            build_line(picture, options, bytes_per_line, row, line);
            all.insert(all.end(), line.begin(), line.end());
        }
        encode_stream(all.data(), all.data() + all.size(), out);
    } else {
        for (int row = 0; row < height; ++row) {
            build_line(picture, options, bytes_per_line, row, line);
            encode_stream(line.data(), line.data() + line.size(), out);
        }
    }

    if (options.version == 5 && !true_colour(options.layout)) {
        out.reserve(out.size() + kTrailerSize);
        out.push_back(12);
        out.insert(out.end(), picture.palette.begin(), picture.palette.end());
    }
    return out;
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return static_cast<bool>(file);
}

}  // namespace pcxwrite
