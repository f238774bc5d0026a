// Pictures and reference results shared by the pixel and palette-reduction
// suites.
#ifndef TESTS_SUPPORT_PIXEL_SUPPORT_H
#define TESTS_SUPPORT_PIXEL_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pixeltest {

// Deterministic bytes from a seed (a small linear congruential generator, so
// every platform sees the same pictures).
std::vector<uint8_t> noise(size_t size, uint32_t seed);

// A logo-like image buffer: letter-sized blobs and strokes in indices
// 10..245 on a background of index 0, bottom row first.
std::vector<uint8_t> logo_like(int width, int height, uint32_t seed);

// Nearest-neighbour reference for image scaling, from the sampling rules:
// enlarging takes source element floor(((d + 1) * old - 1) / new), shrinking
// floor(d * old / new), independently per direction.
int64_t source_index(int64_t d, int64_t old_size, int64_t new_size);
std::vector<uint8_t> reference_scale(const std::vector<uint8_t>& source, int width, int height, int new_width,
                                     int new_height);

// Expected step table for old size a and new size b: bit i of the longer
// side is 1 when ceil((i + 1) * S / L) > ceil(i * S / L), packed most
// significant bit first, unused trailing bits 0.
std::vector<uint8_t> expected_steps(int64_t a, int64_t b);

}  // namespace pixeltest

#endif  // TESTS_SUPPORT_PIXEL_SUPPORT_H
