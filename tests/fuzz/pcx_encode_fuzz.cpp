// libFuzzer target for pcx_encode: pixels, palettes and sizes from the input
// are encoded and decoded again with pcx_decode, which must give back the
// same pixels and colours, with nothing damaged or noted. Also: the size a
// query gives is what is written, one byte less writes nothing, and a
// buffer for the worst case gets the same bytes. Links the codec alone.
//
// Input: byte 0 the format and palette kind, bytes 1..4 the size, byte 5
// the colours, byte 6 the row padding; then the palette (768 bytes), then
// the pixels, taken again from the start when the input runs out.
#include <raster/pcx_codec.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Pictures of at most this many pixels keep each run small and fast.
constexpr size_t kMostPixels = 1 << 16;
constexpr size_t kHeader = 7;

void require(bool condition) {
    if (!condition) std::abort();
}

struct Picture {
    int32_t width = 0, height = 0, format = 0, colours = 0;
    ptrdiff_t stride = 0;
    std::vector<uint8_t> pixels, palette;
    bool indices_fit = true;
};

Picture picture_from(const uint8_t* data, size_t size) {
    Picture p;
    const int32_t formats[] = {PCX_FORMAT_INDICES, PCX_FORMAT_RGB, PCX_FORMAT_RGBA, PCX_FORMAT_INDICES};
    p.format = formats[data[0] & 3];
    p.width = 1 + ((data[1] | data[2] << 8) % 600);
    p.height = 1 + ((data[3] | data[4] << 8) % 600);
    if (static_cast<size_t>(p.width) * p.height > kMostPixels) p.height = static_cast<int32_t>(kMostPixels / p.width);
    p.colours = 2 + data[5] % 255;
    p.stride = static_cast<ptrdiff_t>(p.width) * p.format + data[6] % 5;
    p.palette.assign(768, 0);
    for (size_t i = 0; i < 768; ++i) p.palette[i] = data[(kHeader + i) % size];
    if ((data[0] & 4) != 0) {  // black and white: the 1-bit layout
        p.colours = 2;
        const uint8_t black_white[6] = {0, 0, 0, 255, 255, 255};
        std::memcpy(p.palette.data(), black_white, 6);
    }
    // Pixels: the input's bytes, reduced below the colours unless the
    // input asks for raw indices (which pcx_encode must refuse if one is
    // too large).
    const bool raw = (data[0] & 8) != 0;
    p.pixels.assign(static_cast<size_t>(p.stride) * p.height, 0xEE);
    const size_t first = kHeader + 768 < size ? kHeader + 768 : 0;
    size_t at = first;
    for (int32_t y = 0; y < p.height; ++y) {
        for (ptrdiff_t x = 0; x < static_cast<ptrdiff_t>(p.width) * p.format; ++x) {
            uint8_t value = data[at];
            at = at + 1 < size ? at + 1 : first;
            if (p.format == PCX_FORMAT_INDICES && !raw) value = static_cast<uint8_t>(value % p.colours);
            if (p.format == PCX_FORMAT_INDICES && value >= p.colours) p.indices_fit = false;
            p.pixels[static_cast<size_t>(y * p.stride + x)] = value;
        }
    }
    return p;
}

size_t encode(const Picture& p, uint8_t* out, size_t capacity) {
    return pcx_encode(p.pixels.data(), p.width, p.height, p.stride, p.format, p.palette.data(), p.colours, out,
                      capacity);
}

void check_round_trip(const Picture& p, const std::vector<uint8_t>& file) {
    const size_t row = static_cast<size_t>(p.width) * p.format;
    std::vector<uint8_t> decoded(row * p.height);
    pcx_facts facts;
    require(pcx_decode(file.data(), file.size(), p.format, decoded.data(), decoded.size(), static_cast<ptrdiff_t>(row),
                       &facts) == PCX_OK);
    require(facts.damage == 0 && facts.notes == 0 && facts.rows_decoded == p.height);
    require(facts.width == p.width && facts.height == p.height);
    for (int32_t y = 0; y < p.height; ++y) {
        require(std::memcmp(decoded.data() + y * row, p.pixels.data() + y * p.stride, row) == 0);
    }
    if (p.format == PCX_FORMAT_INDICES) {
        require(std::memcmp(facts.palette, p.palette.data(), static_cast<size_t>(p.colours) * 3) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeader) return 0;
    const Picture p = picture_from(data, size);
    const size_t bytes = encode(p, nullptr, 0);
    require((bytes == 0) == !p.indices_fit);
    if (bytes == 0) return 0;

    std::vector<uint8_t> file(bytes, 0x5A);
    require(encode(p, file.data(), bytes - 1) == bytes);  // one byte short: nothing written
    for (uint8_t b : file) require(b == 0x5A);
    require(encode(p, file.data(), bytes) == bytes);
    std::vector<uint8_t> roomy(128 + 769 + 8 * (static_cast<size_t>(p.width) + 2) * p.height, 0x5A);
    require(encode(p, roomy.data(), roomy.size()) == bytes);
    require(std::memcmp(roomy.data(), file.data(), bytes) == 0 && roomy[bytes] == 0x5A);
    check_round_trip(p, file);
    return 0;
}
