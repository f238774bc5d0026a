#include "pixel_support.h"

namespace pixeltest {

std::vector<uint8_t> noise(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t x = seed * 2654435761u + 12345u;
    for (auto& b : bytes) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(x >> 24);
    }
    return bytes;
}

std::vector<uint8_t> logo_like(int width, int height, uint32_t seed) {
    std::vector<uint8_t> image(static_cast<size_t>(width) * height, 0);
    const std::vector<uint8_t> dice = noise(4096, seed);
    size_t roll = 0;
    auto next = [&]() { return dice[roll++ % dice.size()]; };
    // One "letter" per 24 columns: a frame of vertical and horizontal strokes
    // with a colour of its own and a hole or two in the middle.
    for (int left = 2; left + 18 <= width; left += 24) {
        const uint8_t colour = static_cast<uint8_t>(10 + next() % 236);
        const uint8_t shade = static_cast<uint8_t>(10 + next() % 236);
        const int top = 3 + next() % 4;
        const int bottom = height - 3 - next() % 4;
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < left + 18; ++x) {
                const bool stroke_v = (x - left) < 4 || (x - left) >= 14 - (next() & 1);
                const bool stroke_h =
                    (y - top) < 3 || (bottom - y) <= 3 || (y * 2 > top + bottom - 2 && y * 2 < top + bottom + 3);
                if (!stroke_v && !stroke_h) continue;
                image[static_cast<size_t>(y) * width + x] = (x + y) % 7 == 0 ? shade : colour;
            }
        }
    }
    return image;
}

int64_t source_index(int64_t d, int64_t old_size, int64_t new_size) {
    if (new_size >= old_size) return ((d + 1) * old_size - 1) / new_size;
    return d * old_size / new_size;
}

std::vector<uint8_t> reference_scale(const std::vector<uint8_t>& source, int width, int height, int new_width,
                                     int new_height) {
    std::vector<uint8_t> out(static_cast<size_t>(new_width) * new_height);
    for (int r = 0; r < new_height; ++r) {
        const int64_t sr = source_index(r, height, new_height);
        for (int d = 0; d < new_width; ++d) {
            const int64_t sc = source_index(d, width, new_width);
            out[static_cast<size_t>(r) * new_width + d] = source[static_cast<size_t>(sr * width + sc)];
        }
    }
    return out;
}

std::vector<uint8_t> expected_steps(int64_t a, int64_t b) {
    const int64_t longer = a > b ? a : b;
    const int64_t shorter = a > b ? b : a;
    auto ceil_div = [](int64_t n, int64_t m) { return (n + m - 1) / m; };
    std::vector<uint8_t> bytes(static_cast<size_t>((longer + 7) / 8), 0);
    for (int64_t i = 0; i < longer; ++i) {
        if (ceil_div((i + 1) * shorter, longer) > ceil_div(i * shorter, longer)) {
            bytes[static_cast<size_t>(i / 8)] |= static_cast<uint8_t>(0x80 >> (i % 8));
        }
    }
    return bytes;
}

}  // namespace pixeltest
