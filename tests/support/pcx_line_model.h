// A plain model of the PCX run-length decoder, a byte at a time, for the
// reader's tests and the fuzzer to hold its fast paths against.
#ifndef TESTS_SUPPORT_PCX_LINE_MODEL_H
#define TESTS_SUPPORT_PCX_LINE_MODEL_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pcxmodel {

// The model decodes a byte at a time into a copy of scratch_area. A run may
// write past the line's end; those bytes start the next line. When the data
// ends part way through a line, the line keeps the older bytes beyond what
// it got, and every later line, having nothing left to decode, repeats it.
struct Decoded {
    std::vector<std::vector<uint8_t>> lines;
    std::vector<uint8_t> scratch_after;
};

inline Decoded model_lines(const std::vector<uint8_t>& stream, size_t line_bytes, size_t rows,
                           const std::vector<uint8_t>& scratch_before) {
    const size_t n = stream.size();
    std::vector<uint8_t> line = scratch_before;
    std::vector<std::vector<uint8_t>> lines;
    size_t p = 0;
    size_t carry = 0;
    for (size_t r = 0; r < rows; ++r) {
        if (carry >= line_bytes) {
            carry -= line_bytes;
        } else {
            size_t out = carry;
            bool ended = false;
            auto take = [&](uint8_t& byte) {
                if (p == n) return false;
                byte = stream[p++];
                return true;
            };
            while (out < line_bytes) {
                uint8_t byte = 0;
                if (!take(byte)) {
                    ended = true;
                    break;
                }
                if (byte < 0xC0) {
                    line[out++] = byte;
                    continue;
                }
                uint8_t value = 0;
                if (!take(value)) {
                    ended = true;
                    break;
                }
                for (int k = 0; k < (byte & 0x3F); ++k) line[out++] = value;
            }
            carry = ended ? 0 : out - line_bytes;
        }
        lines.emplace_back(line.begin(), line.begin() + static_cast<long>(line_bytes));
        std::copy(line.begin() + static_cast<long>(line_bytes), line.begin() + static_cast<long>(line_bytes + carry),
                  line.begin());
    }
    return {lines, line};
}

}  // namespace pcxmodel

#endif
