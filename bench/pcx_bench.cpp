// pcx_display throughput (buffer mode, so no file I/O is measured) beside
// SDL2_image loading the same bytes from memory. Counters: decoded
// megapixels per second ("MPix/s") and encoded megabytes per second
// ("bytes_per_second").
#include <benchmark/benchmark.h>

#include <raster/raster.h>

#include <cstdint>
#include <map>
#include <vector>

#include "pcx_peers.h"
#include "pcx_writer.h"

namespace {

using pcxwrite::Layout;

enum PictureId {
    kSky640,
    kIndexed2048,
    kOneBit2048,
    kFourPlane2048,
    kTrueColour2048,
    kTwoPlane2048,
    kThreePlane2048,
    kPackedTwoBit2048,
    kPackedFourBit2048,
    kRgba2048,
};

struct PictureShape {
    Layout layout;
    int width;
    int height;
    int surface_bits;
};

PictureShape shape_of(PictureId id) {
    switch (id) {
        case kSky640:
            return {Layout::EightBit, 640, 200, 8};
        case kIndexed2048:
            return {Layout::EightBit, 2048, 2048, 8};
        case kOneBit2048:
            return {Layout::OneBit, 2048, 2048, 8};
        case kFourPlane2048:
            return {Layout::FourPlane, 2048, 2048, 8};
        case kTrueColour2048:
            return {Layout::TrueColor, 2048, 2048, 32};
        case kTwoPlane2048:
            return {Layout::TwoPlane, 2048, 2048, 8};
        case kThreePlane2048:
            return {Layout::ThreePlane, 2048, 2048, 8};
        case kPackedTwoBit2048:
            return {Layout::PackedTwoBit, 2048, 2048, 8};
        case kPackedFourBit2048:
            return {Layout::PackedFourBit, 2048, 2048, 8};
        case kRgba2048:
            return {Layout::TrueColorAlpha, 2048, 2048, 32};
    }
    return {Layout::EightBit, 1, 1, 8};
}

// A photograph-like picture: smooth bands with short runs and scattered
// detail, so the stream mixes runs and single bytes.
std::vector<uint8_t> make_pcx(PictureId id) {
    const PictureShape shape = shape_of(id);
    pcxwrite::Picture p;
    p.width = shape.width;
    p.height = shape.height;
    uint32_t dice = 2024;
    auto roll = [&dice]() {
        dice = dice * 1664525u + 1013904223u;
        return dice >> 24;
    };
    int colours = 256;
    if (shape.layout == Layout::OneBit) colours = 2;
    if (shape.layout == Layout::TwoPlane || shape.layout == Layout::PackedTwoBit) colours = 4;
    if (shape.layout == Layout::ThreePlane) colours = 8;
    if (shape.layout == Layout::FourPlane || shape.layout == Layout::PackedFourBit) colours = 16;
    const bool rgb = shape.layout == Layout::TrueColor || shape.layout == Layout::TrueColorAlpha;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const int band = (x / 5 + y / 3 + (roll() % 8 == 0 ? static_cast<int>(roll()) : 0)) % colours;
            if (rgb) {
                p.rgb.push_back(static_cast<uint8_t>(band));
                p.rgb.push_back(static_cast<uint8_t>(y / 9));
                p.rgb.push_back(static_cast<uint8_t>(x / 9 + (roll() & 3)));
            } else {
                p.indices.push_back(static_cast<uint8_t>(band));
            }
        }
    }
    for (int i = 0; i < 768; ++i) p.palette[i] = static_cast<uint8_t>(i * 7);
    pcxwrite::Options o;
    o.layout = shape.layout;
    return pcxwrite::encode(p, o);
}

const std::vector<uint8_t>& picture(PictureId id) {
    static std::map<int, std::vector<uint8_t>> cache;
    auto found = cache.find(id);
    if (found == cache.end()) found = cache.emplace(id, make_pcx(id)).first;
    return found->second;
}

// The library set up once, with one surface per picture size and depth.
int32_t select_surface(int width, int height, int bits) {
    static bool started = false;
    static std::map<long, int32_t> surfaces;
    if (!started) {
        set_window_dc(GetDC(nullptr));
        palette_realize(palette_create());
        raster_init();
        started = true;
    }
    const long key = (static_cast<long>(width) << 32) | (static_cast<long>(height) << 8) | bits;
    auto found = surfaces.find(key);
    if (found == surfaces.end()) {
        surface_set_depth(bits);
        found = surfaces.emplace(key, surface_create(width, height)).first;
    }
    surface_select(found->second);
    return found->second;
}

void set_counters(benchmark::State& state, const PictureShape& shape, size_t bytes) {
    const double pixels = static_cast<double>(shape.width) * shape.height;
    state.counters["MPix/s"] =
        benchmark::Counter(pixels * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
}

void BM_pcx_display(benchmark::State& state) {
    const PictureId id = static_cast<PictureId>(state.range(0));
    const PictureShape shape = shape_of(id);
    const std::vector<uint8_t>& bytes = picture(id);
    if (select_surface(shape.width, shape.height, shape.surface_bits) < 0) {
        state.SkipWithError("no surface");
        return;
    }
    pcx_set_buffer(bytes.data(), static_cast<uint32_t>(bytes.size()));
    for (auto _ : state) {
        benchmark::DoNotOptimize(pcx_display(nullptr, PCX_FROM_BUFFER | PCX_KEEP_INDICES));
    }
    pcx_set_buffer(nullptr, 0);
    set_counters(state, shape, bytes.size());
}

void BM_sdl_image_pcx(benchmark::State& state) {
    const PictureId id = static_cast<PictureId>(state.range(0));
    const PictureShape shape = shape_of(id);
    const std::vector<uint8_t>& bytes = picture(id);
    if (peers::load_pcx_from_memory(bytes.data(), bytes.size()) != static_cast<long>(shape.width) * shape.height) {
        state.SkipWithError("SDL2_image refused the picture");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(peers::load_pcx_from_memory(bytes.data(), bytes.size()));
    set_counters(state, shape, bytes.size());
}

void pictures(benchmark::internal::Benchmark* b) {
    b->ArgName("picture");
    for (int id : {kSky640, kIndexed2048, kOneBit2048, kFourPlane2048, kTrueColour2048, kTwoPlane2048, kThreePlane2048,
                   kPackedTwoBit2048, kPackedFourBit2048, kRgba2048}) {
        b->Arg(id);
    }
    b->Unit(benchmark::kMillisecond);
}

}  // namespace

// picture: 0 = 640x200 256-colour, 1 = 2048x2048 256-colour, 2 = 2048x2048
// 1-bit, 3 = 2048x2048 4-plane (all into 8-bit surfaces), 4 = 2048x2048 true
// colour into a 32-bit surface; 2048x2048 into 8-bit surfaces: 5 = 2-plane,
// 6 = 3-plane, 7 = 2-bit packed, 8 = 4-bit packed; 9 = 2048x2048 RGBA (four
// planes) into a 32-bit surface.
BENCHMARK(BM_pcx_display)->Apply(pictures);
BENCHMARK(BM_sdl_image_pcx)->Apply(pictures);
