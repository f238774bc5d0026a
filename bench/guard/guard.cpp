// raster-guard: the ratios that define this project's speed, measured in one
// process, each against a reference doing the same job (the C library's
// memcpy, the plainest correct loop, zlib at its defaults), and held to the
// limits in bench/guard/limits.txt. A ratio, not a time: a busy or slow
// machine slows both sides alike. The two sides take turns, many short
// repetitions each, and each keeps its fastest, which a noisy neighbour can
// only make slower.
//
//   raster-guard [--only NAME] [LIMITS_FILE]
//                                  (default: limits.txt beside this file)
//
// Prints the table; exits 1 when a ratio is over its limit (naming it), 2
// when the limits file is missing, a ratio has no limit, or a limit's ratio
// could not be measured (no headless window for presenting).
// RASTER_GUARD_SLOW=NAME runs that ratio's fast side twice a repetition: a
// deliberately slowed kernel, for the guard's own test.
#include <raster/pcx_codec.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench_pictures.h"
#include "../headless_library.h"
#include "plain_loops.h"
#include "png_io.h"
#include "raster/pixel/kernels.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

struct Ratio {
    std::string name;
    std::string what;
    std::function<void()> fast;
    std::function<void()> reference;
};

double seconds(const std::function<void()>& job, int times) {
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < times; ++i) job();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The fastest of `rounds` turns each, taken in turn; each turn repeats the
// job until it has run about a millisecond, so the clock's grain is small
// beside it.
double measure(const Ratio& ratio, bool slowed, int rounds) {
    const std::function<void()> fast = slowed ? std::function<void()>([&] {
        ratio.fast();
        ratio.fast();
    })
                                              : ratio.fast;
    int times = 1;
    while (seconds(ratio.reference, times) < 1e-3 && times < (1 << 20)) times *= 2;
    double best_fast = 1e30, best_reference = 1e30;
    for (int round = 0; round < rounds; ++round) {
        best_fast = std::min(best_fast, seconds(fast, times));
        best_reference = std::min(best_reference, seconds(ratio.reference, times));
    }
    return best_fast / best_reference;
}

// Anything the compiler might drop reaches memory through here.
volatile uint8_t g_sink;
void keep(const Bytes& bytes) { g_sink = bytes[bytes.size() / 2]; }

std::vector<Ratio> ratios() {
    std::vector<Ratio> list;
    // The demo's slice: 320 x 200 bytes out of a 2560-wide panorama.
    auto panorama = std::make_shared<Bytes>(size_t{2560} * 200, 5);
    auto frame = std::make_shared<Bytes>(size_t{320} * 200);
    list.push_back({"copy", "row copy of 320 x 200 / memcpy per row",
                    [=] {
                        raster::pixel::kernels().copy_rows(frame->data(), 320, panorama->data() + 1272, 2560, 200, 320);
                        keep(*frame);
                    },
                    [=] {
                        void* (*volatile copy)(void*, const void*, size_t) = std::memcpy;
                        for (size_t y = 0; y < 200; ++y)
                            copy(frame->data() + y * 320, panorama->data() + 1272 + y * 2560, 320);
                        keep(*frame);
                    }});
    // A logo with transparent gaps placed onto the frame.
    auto logo = std::make_shared<Bytes>(size_t{264} * 40);
    for (size_t i = 0; i < logo->size(); ++i) (*logo)[i] = (i % 264) / 8 % 3 == 0 ? 0 : uint8_t(i);
    list.push_back({"place", "placement of 264 x 40 / plain loop",
                    [=] {
                        raster::pixel::kernels().place8(logo->data(), frame->data(), 264, 40, 320);
                        keep(*frame);
                    },
                    [=] {
                        plain::place(logo->data(), 264, 40, frame->data(), 320);
                        keep(*frame);
                    }});
    // The demo's frame stretched onto a 1920 x 1080 headless window (colours
    // looked up, rows repeated) against memset of that window's 32-bit
    // framebuffer bytes: presenting only writes them, once each.
    auto library = std::make_shared<HeadlessLibrary>(1920, 1080);
    const int32_t shown = surface_create(320, 200);
    if (library->window() != nullptr && shown >= 0) {
        surface_select(shown);
        uint8_t* bits = raster::state.slot_bits[shown];
        for (size_t i = 0; i < size_t{320} * 200; ++i) bits[i] = static_cast<uint8_t>(i * 7 + i / 320);
        // It must draw, or the ratio would time a call that does nothing.
        standin::probe::fill_client(library->window(), 0x123456);
        present(0, 319, 0, 199, 0, 1919, 0, 1079);
        int width = 0, height = 0;
        const std::vector<uint32_t> drawn = standin::probe::client_pixels(library->window(), &width, &height);
        const bool draws =
            width == 1920 && height == 1080 && std::count(drawn.begin(), drawn.end(), uint32_t{0x123456}) == 0;
        auto framebuffer = std::make_shared<Bytes>(size_t{1920} * 1080 * 4);
        if (draws)
            list.push_back({"present", "320 x 200 presented onto 1920 x 1080 / memset of its bytes",
                            [library] { present(0, 319, 0, 199, 0, 1919, 0, 1079); },
                            [=] {
                                void* (*volatile fill)(void*, int, size_t) = std::memset;
                                fill(framebuffer->data(), 3, framebuffer->size());
                                keep(*framebuffer);
                            }});
    }
    // The 8-bit picture decoded, and encoded back.
    const benchpictures::PictureShape shape = benchpictures::shape_of(benchpictures::kIndexed2048);
    auto pcx = std::make_shared<Bytes>(benchpictures::make_pcx(benchpictures::kIndexed2048));
    auto indices = std::make_shared<Bytes>(size_t(shape.width) * size_t(shape.height));
    // The picture decoded once now, so that the encoder is timed on it
    // however the ratios are chosen (--only encode would otherwise encode
    // zeros, which is no measure of anything).
    {
        pcx_facts facts;
        pcx_decode(pcx->data(), pcx->size(), PCX_FORMAT_INDICES, indices->data(), indices->size(), shape.width, &facts);
    }
    list.push_back({"decode", "8-bit 2048 x 2048 PCX decoded / plain decoder",
                    [=] {
                        pcx_facts facts;
                        pcx_decode(pcx->data(), pcx->size(), PCX_FORMAT_INDICES, indices->data(), indices->size(),
                                   shape.width, &facts);
                        keep(*indices);
                    },
                    [=] {
                        plain::pcx_decode(pcx->data(), pcx->size(), indices->data() + (shape.height - 1) * shape.width,
                                          -shape.width, 0);
                        keep(*indices);
                    }});
    auto palette = std::make_shared<Bytes>(768, 3);
    auto encoded = std::make_shared<Bytes>(indices->size() * 2 + 4096);
    list.push_back({"encode", "8-bit 2048 x 2048 PCX encoded / plain encoder",
                    [=] {
                        pcx_encode(indices->data(), shape.width, shape.height, shape.width, PCX_FORMAT_INDICES,
                                   palette->data(), 256, encoded->data(), encoded->size());
                        keep(*encoded);
                    },
                    [=] {
                        plain::pcx_encode(indices->data(), shape.width, shape.height, false, palette->data(),
                                          encoded->data());
                        keep(*encoded);
                    }});
    // The same indices as a PNG file: the writer against zlib's defaults
    // on the bytes alone (no filter, no chunks).
    auto writer = std::make_shared<pngio::Writer>();
    auto png = std::make_shared<Bytes>();
    auto deflated = std::make_shared<Bytes>(compressBound(static_cast<uLong>(indices->size())));
    list.push_back({"png", "8-bit 2048 x 2048 PNG written / zlib level 6 of its pixels",
                    [=] {
                        pngio::Picture picture;
                        picture.kind = pngio::Kind::Palette;
                        picture.width = shape.width, picture.height = shape.height;
                        picture.pixels = indices->data(), picture.stride = shape.width;
                        picture.palette.assign(palette->begin(), palette->end());
                        std::string error;
                        writer->write(picture, png.get(), &error);
                        keep(*png);
                    },
                    [=] {
                        uLongf size = static_cast<uLongf>(deflated->size());
                        compress2(deflated->data(), &size, indices->data(), static_cast<uLong>(indices->size()), 6);
                        keep(*deflated);
                    }});
    // A grainy true-colour picture (a ramp with noise of a few levels, as
    // scans and photographs are) as a PNG file: the writer's filter and run
    // encoder against zlib's run-length strategy on the same bytes alone.
    constexpr size_t kSide = 1024;
    auto colours = std::make_shared<Bytes>(kSide * kSide * 3);
    uint32_t noise = 36;
    for (size_t i = 0; i < colours->size(); ++i) {
        noise = noise * 1103515245u + 12345u;
        const size_t x = i / 3 % kSide, y = i / 3 / kSide;
        (*colours)[i] = static_cast<uint8_t>((x + y * (1 + i % 3)) / 12 + (noise >> 16) % 7);
    }
    auto colour_png = std::make_shared<Bytes>();
    auto runs = std::make_shared<Bytes>(compressBound(static_cast<uLong>(colours->size())));
    list.push_back({"png24", "24-bit 1024 x 1024 PNG written / zlib's run strategy alone",
                    [=] {
                        pngio::Picture picture;
                        picture.kind = pngio::Kind::Rgb;
                        picture.width = picture.height = static_cast<int>(kSide);
                        picture.pixels = colours->data(), picture.stride = static_cast<ptrdiff_t>(kSide * 3);
                        std::string error;
                        writer->write(picture, colour_png.get(), &error);
                        keep(*colour_png);
                    },
                    [=] {
                        z_stream z{};
                        deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_RLE);
                        z.next_in = colours->data();
                        z.avail_in = static_cast<uInt>(colours->size());
                        z.next_out = runs->data();
                        z.avail_out = static_cast<uInt>(runs->size());
                        deflate(&z, Z_FINISH);
                        deflateEnd(&z);
                        keep(*runs);
                    }});
    return list;
}

bool read_limits(const std::string& path, std::map<std::string, double>* limits) {
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::string name;
        double limit = 0;
        if (words >> name >> limit) (*limits)[name] = limit;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string only;
    int arg = 1;
    if (argc > 2 && std::strcmp(argv[1], "--only") == 0) only = argv[2], arg = 3;
    const std::string path = argc > arg ? argv[arg] : RASTER_GUARD_LIMITS;
    std::map<std::string, double> limits;
    if (!read_limits(path, &limits)) {
        std::fprintf(stderr, "raster-guard: cannot read the limits file %s\n", path.c_str());
        return 2;
    }
    const char* slow = std::getenv("RASTER_GUARD_SLOW");
    const std::vector<Ratio> list = ratios();
    // The pictures above are made once; the first turns warm the caches.
    // A ratio that could not be set up (no window) is a failure, not a pass.
    for (const auto& named : limits) {
        const bool measured =
            std::any_of(list.begin(), list.end(), [&](const Ratio& r) { return r.name == named.first; });
        if (!measured && (only.empty() || only == named.first)) {
            std::fprintf(stderr, "raster-guard: %s in %s was not measured\n", named.first.c_str(), path.c_str());
            return 2;
        }
    }
    int over = 0;
    std::printf("%-8s %-60s %7s %7s\n", "ratio", "what", "measured", "limit");
    for (const Ratio& ratio : list) {
        if (!only.empty() && ratio.name != only) continue;
        const auto limit = limits.find(ratio.name);
        if (limit == limits.end()) {
            std::fprintf(stderr, "raster-guard: %s has no limit in %s\n", ratio.name.c_str(), path.c_str());
            return 2;
        }
        const bool slowed = slow != nullptr && ratio.name == slow;
        const double measured = measure(ratio, slowed, 40);
        const bool ok = measured <= limit->second;
        over += ok ? 0 : 1;
        std::printf("%-8s %-60s %8.3f %7.3f%s%s\n", ratio.name.c_str(), ratio.what.c_str(), measured, limit->second,
                    ok ? "" : "  OVER", slowed ? " (slowed on purpose)" : "");
    }
    if (over != 0) std::printf("raster-guard: %d ratio(s) over their limit\n", over);
    return over != 0 ? 1 : 0;
}
