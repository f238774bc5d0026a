// pcx_display throughput (buffer mode, so no file I/O is measured) beside
// the plainest C decoder, SDL2_image and Allegro 4 reading the same bytes
// from memory, and memcpy of the decoded bytes (the limit). Counters:
// decoded megapixels per second ("MPix/s") and encoded megabytes per second
// ("bytes_per_second"; for the limit, bytes copied). bench/pillow-pcx times
// Pillow on the same pictures.
#include <benchmark/benchmark.h>

#include <raster/raster.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "allegro_peers.h"
#include "bench_pictures.h"
#include "headless_library.h"
#include "limits.h"
#include "pcx_peers.h"
#include "plain_loops.h"
#include "raster/state.h"

namespace {

using benchpictures::PictureId;
using benchpictures::PictureShape;
using benchpictures::shape_of;

const std::vector<uint8_t>& picture(PictureId id) {
    static std::map<int, std::vector<uint8_t>> cache;
    auto found = cache.find(id);
    if (found == cache.end()) found = cache.emplace(id, benchpictures::make_pcx(id)).first;
    return found->second;
}

// The library set up for one benchmark, as the demo sets it up, with one
// surface of the picture's size and depth selected; taken down afterwards,
// so that benchmarks may run in any order.
class PictureSurface {
  public:
    explicit PictureSurface(const PictureShape& shape) : library_(320, 200) {
        surface_set_depth(shape.surface_bits);
        handle_ = surface_create(shape.width, shape.height);
        surface_set_depth(8);
        if (handle_ >= 0) surface_select(handle_);
    }
    int32_t handle() const { return handle_; }

  private:
    HeadlessLibrary library_;
    int32_t handle_ = -1;
};

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
    PictureSurface surface(shape);
    if (surface.handle() < 0) return state.SkipWithError("no surface");
    pcx_set_buffer(bytes.data(), static_cast<uint32_t>(bytes.size()));
    for (auto _ : state) {
        benchmark::DoNotOptimize(pcx_display(nullptr, PCX_FROM_BUFFER | PCX_KEEP_INDICES));
    }
    pcx_set_buffer(nullptr, 0);
    set_counters(state, shape, bytes.size());
}

// Times a peer's decoder, once it has given every pixel of the picture.
void time_loader(benchmark::State& state, long (*load)(const uint8_t*, size_t), const char* refused) {
    const PictureId id = static_cast<PictureId>(state.range(0));
    const PictureShape shape = shape_of(id);
    const std::vector<uint8_t>& bytes = picture(id);
    if (load(bytes.data(), bytes.size()) != static_cast<long>(shape.width) * shape.height) {
        return state.SkipWithError(refused);
    }
    for (auto _ : state) benchmark::DoNotOptimize(load(bytes.data(), bytes.size()));
    set_counters(state, shape, bytes.size());
}

void BM_sdl_image_pcx(benchmark::State& state) {
    time_loader(state, peers::load_pcx_from_memory, "SDL2_image refused the picture");
}

void BM_allegro_pcx(benchmark::State& state) {
    time_loader(state, peers::allegro_load_pcx_from_memory, "Allegro refuses this layout");
}

// The plain decoder into a copy of the surface pcx_display fills; it must
// give the same bytes.
void BM_pcx_plain_decoder(benchmark::State& state) {
    const PictureId id = static_cast<PictureId>(state.range(0));
    const PictureShape shape = shape_of(id);
    const std::vector<uint8_t>& bytes = picture(id);
    PictureSurface picture_surface(shape);
    const int32_t surface = picture_surface.handle();
    if (surface < 0) return state.SkipWithError("no surface");
    const ptrdiff_t stride = static_cast<ptrdiff_t>(raster::state.slot_width[surface]) * (shape.surface_bits / 8);
    const size_t size = static_cast<size_t>(stride) * shape.height;
    pcx_set_buffer(bytes.data(), static_cast<uint32_t>(bytes.size()));
    const int32_t shown = pcx_display(nullptr, PCX_FROM_BUFFER | PCX_KEEP_INDICES);
    pcx_set_buffer(nullptr, 0);
    // 1-bit and 4-plane pictures keep their indices above the ten colours
    // the library reserves at the bottom of the palette.
    constexpr uint8_t kLowBase = 10;
    // The bytes a layout leaves alone (the fourth of a 32-bit pixel) as
    // pcx_display found them; every byte the decoder must write is made
    // wrong first, so that one it skips shows.
    std::vector<uint8_t> bits(raster::state.slot_bits[surface], raster::state.slot_bits[surface] + size);
    const int pixel_bytes = shape.surface_bits / 8;
    const int written = pixel_bytes == 4 ? 3 : pixel_bytes;
    for (int y = 0; y < shape.height; ++y) {
        uint8_t* row = bits.data() + y * stride;
        for (int x = 0; x < shape.width; ++x) {
            for (int b = 0; b < written; ++b) row[x * pixel_bytes + b] ^= 0xFF;
        }
    }
    if (shown != PCX_OK || !plain::pcx_decode(bytes.data(), bytes.size(), bits.data(), stride, kLowBase) ||
        std::memcmp(bits.data(), raster::state.slot_bits[surface], size) != 0) {
        return state.SkipWithError("the plain decoder's pixels differ from pcx_display's");
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(plain::pcx_decode(bytes.data(), bytes.size(), bits.data(), stride, kLowBase));
        benchmark::ClobberMemory();
    }
    set_counters(state, shape, bytes.size());
}

void BM_pcx_limit_memcpy(benchmark::State& state) {
    const PictureShape shape = shape_of(static_cast<PictureId>(state.range(0)));
    limits::memcpy_bytes(state, static_cast<size_t>(shape.width) * shape.height * (shape.surface_bits / 8));
}

void pictures(benchmark::internal::Benchmark* b) {
    b->ArgName("picture");
    for (int id = 0; id < benchpictures::kPictureCount; ++id) b->Arg(id);
    b->Unit(benchmark::kMillisecond);
}

}  // namespace

// picture: the numbers of benchpictures::PictureId (bench_pictures.h).
BENCHMARK(BM_pcx_display)->Apply(pictures);
BENCHMARK(BM_sdl_image_pcx)->Apply(pictures);
// Allegro 4 reads only the layouts with 8 bits per plane.
BENCHMARK(BM_allegro_pcx)
    ->ArgName("picture")
    ->Arg(benchpictures::kSky640)
    ->Arg(benchpictures::kIndexed2048)
    ->Arg(benchpictures::kTrueColour2048)
    ->Unit(benchmark::kMillisecond);
// The plain decoder reads the five layouts of pictures 0 to 4.
BENCHMARK(BM_pcx_plain_decoder)
    ->DenseRange(benchpictures::kSky640, benchpictures::kTrueColour2048)
    ->ArgName("picture")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_pcx_limit_memcpy)->Apply(pictures);
