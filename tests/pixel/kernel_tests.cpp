// The pixel kernels: every table this machine runs (the reference, SSE2
// where the build has it, AVX2 where the processor has it too) gives the
// reference's bytes, which are those of the plainest loop, at every width
// across the switch-overs at 8, 16, 32 and 64 bytes, and touches nothing
// around its rows.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "pixel_support.h"
#include "raster/pixel/kernels.h"

namespace pixel = raster::pixel;

namespace {

constexpr uint8_t kSentinel = 0xC3;
constexpr size_t kGuard = 40;  // sentinel bytes before and after each area

struct Variant {
    const char* name;
    const pixel::Kernels* table;
};

std::vector<Variant> variants() {
    std::vector<Variant> all{{"reference", &pixel::reference_kernels()}};
    if (pixel::sse2_kernels() != nullptr) all.push_back({"SSE2", pixel::sse2_kernels()});
    if (pixel::avx2_kernels() != nullptr) all.push_back({"AVX2", pixel::avx2_kernels()});
    return all;
}

TEST(PixelKernels, TheChosenTableIsTheWidestThisMachineRuns) {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    EXPECT_NE(pixel::sse2_kernels(), nullptr);
    EXPECT_EQ(pixel::avx2_kernels() != nullptr, __builtin_cpu_supports("avx2") != 0);
#endif
    const pixel::Kernels* widest = pixel::avx2_kernels() != nullptr   ? pixel::avx2_kernels()
                                   : pixel::sse2_kernels() != nullptr ? pixel::sse2_kernels()
                                                                      : &pixel::reference_kernels();
    // RASTER_CPU caps the choice: CI runs the suites again with plain and
    // with sse2.
    const std::string cap = std::getenv("RASTER_CPU") != nullptr ? std::getenv("RASTER_CPU") : "";
    if (cap == "plain") widest = &pixel::reference_kernels();
    if (cap == "sse2" && widest == pixel::avx2_kernels()) widest = pixel::sse2_kernels();
    EXPECT_EQ(&pixel::kernels(), widest);
}

// Indices with runs of zeros long enough for every skip (up to 64 bytes),
// whole runs of non-zero, and single ones between.
std::vector<uint8_t> indices(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes = pixeltest::noise(size, seed);
    for (size_t i = 0; i < size; ++i) {
        const size_t band = (i / 37) % 4;
        if (band == 0 || (band == 1 && bytes[i] % 3 == 0)) bytes[i] = 0;
        if (band == 2 && bytes[i] == 0) bytes[i] = 7;
    }
    return bytes;
}

TEST(PixelKernels, PlacementGivesThePlainLoopsBytes) {
    const int32_t height = 3;
    for (int32_t width = 1; width <= 150; ++width) {
        const size_t stride = static_cast<size_t>(width) + 7;  // a gap after each row
        const std::vector<uint8_t> buffer = indices(static_cast<size_t>(width) * height, 11u + width);
        std::vector<uint8_t> expected(2 * kGuard + stride * height, kSentinel);
        const std::vector<uint8_t> surface = pixeltest::noise(stride * height, 5u * width);
        for (size_t i = 0; i < surface.size(); ++i) expected[kGuard + i] = surface[i];
        const std::vector<uint8_t> before = expected;
        for (int32_t r = 0; r < height; ++r) {
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t index = buffer[static_cast<size_t>(r) * width + x];
                if (index != 0) expected[kGuard + r * stride + x] = index;
            }
        }
        for (const Variant& variant : variants()) {
            std::vector<uint8_t> area = before;
            variant.table->place8(buffer.data(), area.data() + kGuard, width, height, stride);
            ASSERT_EQ(area, expected) << variant.name << ", width " << width;
        }
    }
}

TEST(PixelKernels, RowCopiesGiveThePlainLoopsBytes) {
    const int64_t rows = 3;
    for (size_t bytes = 1; bytes <= 100; ++bytes) {
        const ptrdiff_t from_stride = static_cast<ptrdiff_t>(bytes) + 5;
        const ptrdiff_t to_stride = static_cast<ptrdiff_t>(bytes) + 11;
        const std::vector<uint8_t> from = pixeltest::noise(static_cast<size_t>(from_stride * rows), 3u * bytes);
        std::vector<uint8_t> expected(2 * kGuard + static_cast<size_t>(to_stride * rows), kSentinel);
        for (int64_t r = 0; r < rows; ++r) {
            for (size_t k = 0; k < bytes; ++k) expected[kGuard + r * to_stride + k] = from[r * from_stride + k];
        }
        for (const Variant& variant : variants()) {
            std::vector<uint8_t> to(expected.size(), kSentinel);
            variant.table->copy_rows(to.data() + kGuard, to_stride, from.data(), from_stride, rows, bytes);
            ASSERT_EQ(to, expected) << variant.name << ", " << bytes << " bytes a row";
        }
    }
}

}  // namespace
