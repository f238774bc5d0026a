// A plain model of the PCX run-length decoder, a byte at a time, for the
// reader's tests and the fuzzer to hold its fast paths against.
#ifndef TESTS_SUPPORT_PCX_LINE_MODEL_H
#define TESTS_SUPPORT_PCX_LINE_MODEL_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace pcxmodel {

// The model decodes a byte at a time into a copy of scratch_area. A run may
// write past the line's end; those bytes start the next line. When the data
// ends part way through a line, the line keeps the older bytes beyond what
// it got, and every later line, having nothing left to decode, repeats it.
struct Decoded {
    std::vector<std::vector<uint8_t>> lines;
    std::vector<uint8_t> scratch_after;
    size_t whole_lines = 0;  // lines decoded before the data ended
    size_t got = 0;          // bytes the line cut short got (carried bytes included)
    size_t used = 0;         // stream bytes read
    size_t carry = 0;        // bytes the last run wrote past the last line
};

inline Decoded model_lines(const std::vector<uint8_t>& stream, size_t line_bytes, size_t rows,
                           const std::vector<uint8_t>& scratch_before) {
    const size_t n = stream.size();
    std::vector<uint8_t> line = scratch_before;
    std::vector<std::vector<uint8_t>> lines;
    size_t p = 0;
    size_t carry = 0;
    size_t whole_lines = rows;
    size_t got = 0;
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
            if (ended && whole_lines == rows) {
                whole_lines = r;
                got = out;
            }
        }
        lines.emplace_back(line.begin(), line.begin() + static_cast<long>(line_bytes));
        std::copy(line.begin() + static_cast<long>(line_bytes), line.begin() + static_cast<long>(line_bytes + carry),
                  line.begin());
    }
    return {lines, line, whole_lines, got, p, carry};
}

// A random stream of single bytes and runs of every count (0 and 63
// included), values often at or above 0xC0, with stretches of each kind.
// A run-heavy stream is mostly short runs (up to 16, the decoder's store
// width, and at times just past it) among one or two single bytes, as
// pictures of few colours are, so that whole chunks of input are runs.
// An escaped stream is single bytes, those of 0xC0 and above written as
// runs of one (as in 1-bit pictures), with a rare run of another count.
enum class Flavour { Mixed, RunHeavy, Escaped };

inline std::vector<uint8_t> random_stream(std::mt19937& dice, size_t output_bytes, Flavour flavour) {
    const bool run_heavy = flavour == Flavour::RunHeavy;
    std::vector<uint8_t> stream;
    size_t made = 0;
    while (made < output_bytes) {
        if (flavour == Flavour::Escaped) {
            const uint32_t count = dice() % 48 == 0 ? dice() % 64 : 1;
            const uint8_t value = static_cast<uint8_t>(dice() % 3 == 0 ? 0xC0 + dice() % 64 : dice() % 0xC0);
            if (count != 1 || value >= 0xC0) stream.push_back(static_cast<uint8_t>(0xC0 | count));
            stream.push_back(value);
            made += count;
            continue;
        }
        const uint32_t kind = dice() % 16;
        if (run_heavy && kind >= 4) {
            uint32_t count = dice() % 17;
            if (kind == 15 && dice() % 4 == 0) count = 17 + dice() % 47;
            stream.push_back(static_cast<uint8_t>(0xC0 | count));
            stream.push_back(static_cast<uint8_t>(dice() % 3 == 0 ? 0xC0 + dice() % 64 : dice()));
            made += count;
            continue;
        }
        if (kind < 7) {
            const uint32_t stretch = run_heavy ? 1 + dice() % 2 : 1 + dice() % 24;
            for (uint32_t k = 0; k < stretch; ++k) stream.push_back(static_cast<uint8_t>(dice() % 0xC0));
            made += stretch;
        } else {
            uint32_t count = dice() % 8;
            if (kind == 15) count = dice() % 64;
            if (kind == 14) count = 12 + dice() % 10;  // around the 16-byte step
            stream.push_back(static_cast<uint8_t>(0xC0 | count));
            stream.push_back(static_cast<uint8_t>(dice() % 4 == 0 ? 0xC0 + dice() % 64 : dice()));
            made += count;
        }
    }
    return stream;
}

}  // namespace pcxmodel

#endif
