// The stretch kernels of every table this machine runs (the plain C one,
// SSE2 even where AVX2 would be chosen, and AVX2 where the processor has
// it), called directly on sentinel-filled rows and compared pixel for pixel
// with what each kernel is defined to write, worked out here one pixel at a
// time. StretchDIBits reaches only the chosen table, and on an AVX2 machine
// never SSE2's four-runs-at-a-time shuffles (run lengths 3, 5, 6 and 7).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "stretch/kernels.h"

namespace standin {
namespace {

constexpr uint32_t kSentinel = 0xA5C3E1;
constexpr size_t kMargin = 9;  // sentinel pixels before and after each row

std::vector<const StretchKernels*> tables() {
    std::vector<const StretchKernels*> all = {&kReferenceKernels};
    if (const StretchKernels* sse2 = sse2_kernels()) all.push_back(sse2);
    if (const StretchKernels* avx2 = avx2_kernels()) all.push_back(avx2);
    return all;
}

uint32_t colour(size_t i) { return static_cast<uint32_t>(0x010203u * (i + 1) ^ (i << 17)) & 0xFFFFFFu; }

// A destination row of `width` pixels inside sentinels; `shift` moves it off
// any alignment the buffer had.
struct Row {
    std::vector<uint32_t> pixels;
    size_t at;
    Row(size_t width, size_t shift) : pixels(width + 2 * kMargin + 8, kSentinel), at(kMargin + shift) {}
    uint32_t* out() { return pixels.data() + at; }
    std::vector<uint32_t> expect(const std::vector<uint32_t>& row) const {
        std::vector<uint32_t> all(pixels.size(), kSentinel);
        std::copy(row.begin(), row.end(), all.begin() + static_cast<long>(at));
        return all;
    }
};

TEST(StretchKernels, TheChosenTableIsTheWidestThisMachineRuns) {
    const std::vector<const StretchKernels*> all = tables();
    // RASTER_CPU caps the choice: CI runs the suites again with plain and
    // with sse2.
    const std::string cap = std::getenv("RASTER_CPU") != nullptr ? std::getenv("RASTER_CPU") : "";
    const StretchKernels* expected = all.back();
    if (cap == "plain") expected = all.front();
    if (cap == "sse2" && expected == avx2_kernels()) expected = sse2_kernels();
    EXPECT_STREQ(stretch_kernels().name, expected->name);
}

TEST(StretchKernels, EightBitRowsLookUpEveryIndexOnceOrTwice) {
    std::vector<uint32_t> colors(256);
    for (size_t i = 0; i < colors.size(); ++i) colors[i] = colour(i);
    std::vector<uint8_t> indices(70);
    for (size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<uint8_t>(i * 73 + 5);
    for (const StretchKernels* k : tables()) {
        for (size_t width = 0; width <= 37; ++width) {
            SCOPED_TRACE(std::string(k->name) + ", " + std::to_string(width) + " indices");
            std::vector<uint32_t> once, twice;
            for (size_t i = 0; i < width; ++i) {
                once.push_back(colors[indices[i + 3]]);
                twice.insert(twice.end(), 2, colors[indices[i + 3]]);
            }
            Row a(width, width % 4);
            k->lookup_row(colors.data(), indices.data() + 3, width, a.out());
            EXPECT_EQ(a.pixels, a.expect(once));
            Row b(2 * width, width % 3);
            k->lookup_doubled(colors.data(), indices.data() + 3, width, b.out());
            EXPECT_EQ(b.pixels, b.expect(twice));
        }
    }
}

// Runs of one length (1 to 13) between a first and last run of other
// lengths, as a clipped enlargement has them, and rows of mixed lengths up
// to 4, 8, 12 and beyond.
TEST(StretchKernels, ReplicatedRunsFillExactlyTheirColumns) {
    std::vector<std::vector<int32_t>> layouts;
    for (int32_t n = 1; n <= 13; ++n) {
        for (size_t runs : {1, 2, 3, 4, 5, 6, 9, 10, 13, 17, 18, 25}) {
            for (int32_t edge : {n, 1, n + 1}) {
                std::vector<int32_t> count(runs, n);
                count.front() = edge;
                count.back() = n > 1 ? n - 1 : 2;
                layouts.push_back(count);
            }
        }
    }
    for (int32_t longest : {2, 4, 7, 8, 11, 12, 16}) {
        std::vector<int32_t> count;
        for (int32_t i = 0; i < 23; ++i) count.push_back(1 + (i * 5) % longest);
        layouts.push_back(count);
    }
    for (const StretchKernels* k : tables()) {
        for (const std::vector<int32_t>& count : layouts) {
            Runs runs;
            runs.count = count.data();
            runs.runs = count.size();
            std::vector<uint32_t> colors, expected;
            for (size_t i = 0; i < count.size(); ++i) {
                colors.push_back(colour(i + 40));
                expected.insert(expected.end(), static_cast<size_t>(count[i]), colors.back());
                runs.longest = std::max(runs.longest, count[i]);
            }
            runs.width = expected.size();
            runs.uniform = count.size() > 2 ? count[1] : 0;
            for (size_t i = 2; i + 1 < count.size(); ++i) {
                if (count[i] != count[1]) runs.uniform = 0;
            }
            SCOPED_TRACE(std::string(k->name) + ": " + std::to_string(count.size()) + " runs, first " +
                         std::to_string(count.front()) + ", uniform " + std::to_string(runs.uniform) + ", longest " +
                         std::to_string(runs.longest));
            Row row(runs.width, count.size() % 5);
            k->replicate(colors.data(), runs, row.out());
            EXPECT_EQ(row.pixels, row.expect(expected));
        }
    }
}

TEST(StretchKernels, StreamedAndWideRowsAreExactCopiesAtAnyAlignment) {
    std::vector<uint32_t> line(300);
    for (size_t i = 0; i < line.size(); ++i) line[i] = colour(i);
    int tried = 0;
    for (const StretchKernels* k : tables()) {
        for (auto store : {k->stream_row, k->wide_row}) {
            if (store == nullptr) continue;
            ++tried;
            for (size_t width : {0, 1, 3, 4, 7, 8, 15, 16, 17, 31, 32, 33, 47, 64, 95, 131, 257}) {
                for (size_t shift = 0; shift < 8; ++shift) {
                    SCOPED_TRACE(std::string(k->name) + ", " + std::to_string(width) + " pixels, shifted by " +
                                 std::to_string(shift));
                    Row row(width, shift);
                    store(line.data() + shift, width, row.out());
                    if (store == k->stream_row) k->finish_streaming();
                    EXPECT_EQ(row.pixels,
                              row.expect(std::vector<uint32_t>(line.begin() + static_cast<long>(shift),
                                                               line.begin() + static_cast<long>(shift + width))));
                }
            }
        }
    }
    // Streaming comes with SSE2, wide stores with AVX2.
    EXPECT_EQ(tried, static_cast<int>(tables().size()) - 1 + (avx2_kernels() != nullptr ? 1 : 0));
}

}  // namespace
}  // namespace standin
