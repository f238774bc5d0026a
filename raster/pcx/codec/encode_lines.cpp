// The PCX encoder's plain per-line routines: the reference run coder, which
// every faster one must match byte for byte, and the plane makers.
#include "raster/pcx/codec/encode_lines.h"

#include <cstring>

#include "cpu/cpu.h"
#include "cpu/dispatch.h"

namespace raster {
namespace pcx_encoder {

namespace {

size_t run_length(const uint8_t* line, size_t left) {
    const size_t most = left < kLongestRun ? left : kLongestRun;
    size_t length = 1;
    while (length < most && line[length] == line[0]) ++length;
    return length;
}

// Eight indices, pixel 0 in the lowest byte, whatever the byte order.
uint64_t load_eight(const uint8_t* bytes) {
    uint64_t value = 0;
    if (fastpath::kLittleEndian) {
        std::memcpy(&value, bytes, sizeof value);
    } else {
        for (int i = 7; i >= 0; --i) value = value << 8 | bytes[i];
    }
    return value;
}

// Bit 0 of each of the eight bytes into one byte, byte 0's bit highest. The
// multiplier moves byte k's bit from position 8k to 63 - k; no two of the
// partial products meet, so nothing carries into the top byte.
uint8_t gather_bits(uint64_t eight) {
    return static_cast<uint8_t>(((eight & 0x0101010101010101u) * 0x8040201008040201u) >> 56);
}

void repeat_last(uint8_t* plane, size_t used, size_t line_bytes) {
    if (used < line_bytes) std::memset(plane + used, plane[used - 1], line_bytes - used);
}

}  // namespace

size_t encode_runs_plain(const uint8_t* line, size_t count, uint8_t* out, size_t /*room*/) {
    uint8_t* at = out;
    for (size_t i = 0; i < count;) {
        const uint8_t value = line[i];
        const size_t length = run_length(line + i, count - i);
        if (length > 1 || value >= kRunFlag) *at++ = static_cast<uint8_t>(kRunFlag | length);
        *at++ = value;
        i += length;
    }
    return static_cast<size_t>(at - out);
}

size_t count_runs_plain(const uint8_t* line, size_t count) {
    size_t bytes = 0;
    for (size_t i = 0; i < count;) {
        const size_t length = run_length(line + i, count - i);
        bytes += (length > 1 || line[i] >= kRunFlag) ? 2 : 1;
        i += length;
    }
    return bytes;
}

const LineCoder kPlainLineCoder{encode_runs_plain, count_runs_plain, byte_planes_plain};

namespace {

constexpr fastpath::Variant<LineCoder> kVariants[] = {
#if defined(FASTPATH_AVX2)
    {fastpath::Cpu::Avx2, &kAvx2LineCoder},
#endif
#if defined(__SSE2__)
    {fastpath::Cpu::Sse2, &kSse2LineCoder},
#endif
    {fastpath::Cpu::Plain, &kPlainLineCoder},
};

const fastpath::Dispatch<LineCoder>& dispatch() {
    // Built once, in a thread-safe way: the codec runs on any thread.
    static const fastpath::Dispatch<LineCoder> coders(kVariants, &LineCoder::encode, &LineCoder::count_bytes,
                                                      &LineCoder::byte_planes);
    return coders;
}

}  // namespace

const LineCoder* sse2_line_coder() { return dispatch().at(fastpath::Cpu::Sse2); }
const LineCoder* avx2_line_coder() { return dispatch().at(fastpath::Cpu::Avx2); }

const LineCoder& line_coder() {
    static const LineCoder& chosen = dispatch().chosen();
    return chosen;
}

void bit_planes(const uint8_t* indices, int32_t width, int32_t planes, uint8_t* line, size_t line_bytes) {
    const size_t whole = static_cast<size_t>(width) / 8;
    for (size_t b = 0; b < whole; ++b) {
        const uint64_t eight = load_eight(indices + b * 8);
        for (int32_t p = 0; p < planes; ++p) line[p * line_bytes + b] = gather_bits(eight >> p);
    }
    const size_t rest = static_cast<size_t>(width) % 8;
    if (rest != 0) {
        uint8_t last[8] = {};
        std::memcpy(last, indices + whole * 8, rest);
        const uint64_t eight = load_eight(last);
        for (int32_t p = 0; p < planes; ++p) line[p * line_bytes + whole] = gather_bits(eight >> p);
    }
    const size_t used = whole + (rest != 0 ? 1 : 0);
    for (int32_t p = 0; p < planes; ++p) repeat_last(line + p * line_bytes, used, line_bytes);
}

void byte_planes_plain(const uint8_t* pixels, int32_t width, int32_t channels, uint8_t* line, size_t line_bytes) {
    uint8_t* red = line;
    uint8_t* green = line + line_bytes;
    uint8_t* blue = line + 2 * line_bytes;
    int32_t x = 0;
    if (channels == 3 && fastpath::kLittleEndian) {
        // Four pixels from three words: each plane's four bytes gathered by
        // shifts and stored as one word.
        for (; x + 4 <= width; x += 4, pixels += 12) {
            uint32_t w[3];
            std::memcpy(w, pixels, sizeof w);
            const uint32_t r = (w[0] & 0xFF) | (w[0] >> 16 & 0xFF00) | (w[1] & 0xFF0000) | (w[2] << 16 & 0xFF000000);
            const uint32_t g =
                (w[0] >> 8 & 0xFF) | (w[1] << 8 & 0xFF00) | (w[1] >> 8 & 0xFF0000) | (w[2] << 8 & 0xFF000000);
            const uint32_t b = (w[0] >> 16 & 0xFF) | (w[1] & 0xFF00) | (w[2] << 16 & 0xFF0000) | (w[2] & 0xFF000000);
            std::memcpy(red + x, &r, 4);
            std::memcpy(green + x, &g, 4);
            std::memcpy(blue + x, &b, 4);
        }
    }
    finish_byte_planes(pixels, x, width, channels, line, line_bytes);
}

void finish_byte_planes(const uint8_t* pixels, int32_t from, int32_t width, int32_t channels, uint8_t* line,
                        size_t line_bytes) {
    uint8_t* red = line;
    uint8_t* green = line + line_bytes;
    uint8_t* blue = line + 2 * line_bytes;
    if (channels == 3) {
        for (int32_t x = from; x < width; ++x, pixels += 3) {
            red[x] = pixels[0];
            green[x] = pixels[1];
            blue[x] = pixels[2];
        }
    } else {
        uint8_t* alpha = line + 3 * line_bytes;
        for (int32_t x = from; x < width; ++x, pixels += 4) {
            red[x] = pixels[0];
            green[x] = pixels[1];
            blue[x] = pixels[2];
            alpha[x] = pixels[3];
        }
    }
    for (int32_t c = 0; c < channels; ++c) repeat_last(line + c * line_bytes, static_cast<size_t>(width), line_bytes);
}

}  // namespace pcx_encoder
}  // namespace raster
