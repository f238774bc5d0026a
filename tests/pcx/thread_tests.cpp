// The codec on four threads at once, each decoding and encoding pictures
// of its own over and over, while the main thread reads pictures into
// surfaces and copies between them through the library. Every thread's
// pixels and files must be exact every time. CI also runs this program built with ThreadSanitizer.
#include <gtest/gtest.h>

#include <raster/raster.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "library_env.h"
#include "pcx_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;
using pcxwrite::Layout;

constexpr int kRounds = 40;

struct Job {
    Bytes file;
    Bytes expected;  // RGBA
    int width;
    int height;
};

// A picture in `layout` (indexed of `colours`, or true colour when 0) and
// its RGBA pixels worked out from what was given to the writer.
Job make_job(Layout layout, int colours, int width, int height, int seed) {
    pcxwrite::Picture p;
    p.width = width;
    p.height = height;
    for (int i = 0; i < 768; ++i) p.palette[i] = static_cast<uint8_t>(i * 5 + seed);
    Job job{{}, {}, width, height};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (colours == 0) {
                const uint8_t rgb[3] = {static_cast<uint8_t>(x * 3 + seed), static_cast<uint8_t>(y * 7),
                                        static_cast<uint8_t>(x * y)};
                p.rgb.insert(p.rgb.end(), rgb, rgb + 3);
                job.expected.insert(job.expected.end(), {rgb[0], rgb[1], rgb[2], 255});
            } else {
                const uint8_t index = static_cast<uint8_t>((x * 13 + y * 5 + seed) % colours);
                p.indices.push_back(index);
                job.expected.insert(job.expected.end(),
                                    {p.palette[index * 3], p.palette[index * 3 + 1], p.palette[index * 3 + 2], 255});
            }
        }
    }
    pcxwrite::Options o;
    o.layout = layout;
    job.file = pcxwrite::encode(p, o);
    return job;
}

// The job's RGBA pixels as pcx_encode writes them: asked for the size,
// then encoded into exactly that much.
Bytes encode_rgba(const Job& job) {
    const ptrdiff_t row = static_cast<ptrdiff_t>(job.width) * 4;
    const size_t size =
        pcx_encode(job.expected.data(), job.width, job.height, row, PCX_FORMAT_RGBA, nullptr, 0, nullptr, 0);
    Bytes file(size);
    if (pcx_encode(job.expected.data(), job.width, job.height, row, PCX_FORMAT_RGBA, nullptr, 0, file.data(), size) !=
        size) {
        file.clear();
    }
    return file;
}

// Decodes the job kRounds times and encodes its pixels as often; the number
// of rounds whose result, pixels or file were wrong. `encoded` is the file
// the main thread made before any thread started.
int code_rounds(const Job& job, const Bytes& encoded) {
    int wrong = 0;
    const size_t row = static_cast<size_t>(job.width) * 4;
    Bytes rgba(row * static_cast<size_t>(job.height));
    for (int round = 0; round < kRounds; ++round) {
        std::memset(rgba.data(), round, rgba.size());
        pcx_facts facts;
        const int32_t result = pcx_decode(job.file.data(), job.file.size(), PCX_FORMAT_RGBA, rgba.data(), rgba.size(),
                                          static_cast<ptrdiff_t>(row), &facts);
        if (result != PCX_OK || facts.damage != 0 || rgba != job.expected || encode_rgba(job) != encoded) ++wrong;
    }
    return wrong;
}

TEST(PcxThreads, FourDecodersBesideTheLibrary) {
    const Job jobs[4] = {make_job(Layout::EightBit, 256, 203, 31, 1), make_job(Layout::FourPlane, 16, 77, 45, 2),
                         make_job(Layout::TrueColor, 0, 129, 33, 3), make_job(Layout::OneBit, 2, 301, 17, 4)};
    for (const Job& job : jobs) ASSERT_FALSE(job.file.empty());
    Bytes encoded[4];
    for (int t = 0; t < 4; ++t) {
        encoded[t] = encode_rgba(jobs[t]);
        ASSERT_GT(encoded[t].size(), 128u);
    }
    std::atomic<int> wrong[4] = {};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            while (!go) std::this_thread::yield();
            wrong[t] = code_rounds(jobs[t], encoded[t]);
        });
    }

    // Meanwhile: the 8-bit picture into a 32-bit surface from memory, copied
    // to a second surface and read back.
    const HPALETTE palette = testenv::start_library();
    surface_set_depth(32);
    const int32_t shown = surface_create(203, 31);
    const int32_t copy = surface_create(203, 31);
    int main_wrong = 0;
    go = true;
    for (int round = 0; round < kRounds; ++round) {
        surface_select(shown);
        pcx_set_buffer(jobs[0].file.data(), static_cast<uint32_t>(jobs[0].file.size()));
        const int32_t result = pcx_display(nullptr, PCX_FROM_BUFFER | PCX_REPORT_DAMAGE);
        pcx_set_buffer(nullptr, 0);
        surface_copy(0, 202, 0, 30, 0, 30, shown, copy);
        Bytes rgb(203 * 31 * 3);
        surface_read_rgb(copy, 0, 202, 0, 30, rgb.data());
        bool same = result == PCX_OK;
        for (size_t i = 0; same && i < 203 * 31; ++i) same = std::memcmp(&rgb[i * 3], &jobs[0].expected[i * 4], 3) == 0;
        if (!same) ++main_wrong;
    }
    for (std::thread& thread : threads) thread.join();
    testenv::stop_library(palette);
    EXPECT_EQ(main_wrong, 0);
    for (int t = 0; t < 4; ++t) EXPECT_EQ(wrong[t].load(), 0) << "thread " << t;
}

}  // namespace
