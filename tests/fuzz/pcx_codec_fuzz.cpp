// libFuzzer target for pcx_decode and pcx_inspect (the codec alone).
//
// Input: one control byte, then the bytes of a PCX file.
//   bits 0-1: format (indices, RGB, RGBA; 3 is RGBA too)
//   bits 2-4: bytes of padding after each row (0..7)
// Besides the sanitizers' own checks, the target stops on pcx_inspect and
// pcx_decode disagreeing (result, or any fact but those only decoding
// finds), on facts that contradict each other, on a byte written outside
// the rows, and on an 8-bit one-plane picture whose indices differ from a
// plain byte-at-a-time decoder's. Pictures above kMaxPixels are inspected
// only, so that no input needs more memory than the fuzzer's limit.
#include <raster/pcx_codec.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pcx_line_model.h"

namespace {

constexpr uint8_t kSentinel = 0xA5;
constexpr size_t kGuard = 32;
constexpr int64_t kMaxPixels = int64_t{1} << 22;
constexpr int32_t kFormats[4] = {PCX_FORMAT_INDICES, PCX_FORMAT_RGB, PCX_FORMAT_RGBA, PCX_FORMAT_RGBA};
constexpr int32_t kDecodeOnlyDamage = PCX_DAMAGE_SHORT_DATA | PCX_DAMAGE_RUN_PAST_END | PCX_DAMAGE_MISREAD_RUNS;

void check(bool ok) {
    if (!ok) std::abort();
}

// The facts both calls must agree on: everything but rows_decoded,
// data_bytes, the damage that only decoding finds and the extra-bytes note.
void check_same_facts(pcx_facts inspected, pcx_facts decoded) {
    decoded.damage &= ~kDecodeOnlyDamage;
    decoded.notes &= ~PCX_NOTE_EXTRA_BYTES;
    decoded.rows_decoded = 0;
    decoded.data_bytes = 0;
    check(std::memcmp(&inspected, &decoded, sizeof inspected) == 0);
}

// An 8-bit one-plane picture's indices: the plain decoder's lines for the
// rows that came whole from the data, the partial row's complete pixels,
// zeros after.
void check_indices(const uint8_t* file, size_t size, const pcx_facts& facts, const uint8_t* rows, size_t stride) {
    const size_t data_end = facts.colour_source == PCX_COLOURS_TRAILER ? size - 769 : size;
    const std::vector<uint8_t> stream(file + 128, file + data_end);
    const size_t line_bytes = static_cast<size_t>(facts.bytes_per_line);
    const size_t height = static_cast<size_t>(facts.height);
    const size_t width = static_cast<size_t>(facts.width);
    const pcxmodel::Decoded model =
        pcxmodel::model_lines(stream, line_bytes, height, std::vector<uint8_t>(line_bytes + 62, 0));
    check(static_cast<size_t>(facts.rows_decoded) == model.whole_lines);
    for (size_t r = 0; r < height; ++r) {
        const uint8_t* row = rows + r * stride;
        const size_t kept = r < model.whole_lines ? width : r == model.whole_lines ? std::min(model.got, width) : 0;
        check(std::memcmp(row, model.lines[r].data(), kept) == 0);
        for (size_t x = kept; x < width; ++x) check(row[x] == 0);
    }
}

void check_decoded(const uint8_t* file, size_t size, int32_t format, const pcx_facts& facts,
                   const std::vector<uint8_t>& block, size_t stride, size_t row_bytes) {
    check(facts.rows_decoded >= 0 && facts.rows_decoded <= facts.height);
    check((facts.rows_decoded < facts.height) == ((facts.damage & PCX_DAMAGE_SHORT_DATA) != 0));
    check(facts.data_bytes >= 0 && static_cast<size_t>(facts.data_bytes) <= size - 128);
    for (size_t i = 0; i < kGuard; ++i) check(block[i] == kSentinel && block[block.size() - 1 - i] == kSentinel);
    for (int32_t r = 0; r < facts.height; ++r) {
        const uint8_t* pad = block.data() + kGuard + static_cast<size_t>(r) * stride + row_bytes;
        for (size_t i = 0; i < stride - row_bytes; ++i) check(pad[i] == kSentinel);
    }
    // The model keeps every line: only pictures of modest height.
    if (format == PCX_FORMAT_INDICES && facts.bits_per_pixel == 8 && facts.planes == 1 && facts.height <= 4096) {
        check_indices(file, size, facts, block.data() + kGuard, stride);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An empty vector may hold no block at all: a picture has a byte at least.
    if (size < 2) return 0;
    const int32_t format = kFormats[data[0] & 3];
    const size_t padding = (data[0] >> 2) & 7;
    // A copy of exactly the picture's size, so that reading past it is caught.
    const std::vector<uint8_t> file(data + 1, data + size);
    pcx_facts inspected;
    const int32_t result = pcx_inspect(file.data(), file.size(), &inspected);
    check(result == PCX_OK || result == PCX_BAD_HEADER || result == PCX_BAD_LAYOUT);
    if (result == PCX_OK) check(inspected.width >= 1 && inspected.height >= 1 && inspected.colours >= 2);
    const int64_t pixels = int64_t{inspected.width} * inspected.height;
    if (result == PCX_OK && pixels > kMaxPixels) return 0;

    const size_t width = result == PCX_OK ? static_cast<size_t>(inspected.width) : 1;
    const size_t height = result == PCX_OK ? static_cast<size_t>(inspected.height) : 1;
    const size_t row_bytes = width * static_cast<size_t>(format);
    const size_t stride = row_bytes + padding;
    std::vector<uint8_t> block(2 * kGuard + stride * height, kSentinel);
    pcx_facts decoded;
    const int32_t got = pcx_decode(file.data(), file.size(), format, block.data() + kGuard, stride * height,
                                   static_cast<ptrdiff_t>(stride), &decoded);
    if (result == PCX_OK && format == PCX_FORMAT_INDICES && inspected.colours > 256) {
        check(got == RASTER_REFUSED);
        return 0;
    }
    check(got == result);
    check_same_facts(inspected, decoded);
    if (got != PCX_OK) {
        check(block == std::vector<uint8_t>(block.size(), kSentinel));
        return 0;
    }
    check_decoded(file.data(), file.size(), format, decoded, block, stride, row_bytes);
    return 0;
}
