// pcx_display throughput (buffer mode, so no file I/O is measured) beside
// the plainest C decoder, SDL2_image and Allegro 4 reading the same bytes
// from memory, and memcpy of the decoded bytes (the limit); the codec's
// pcx_decode to RGBA beside pcx_display into a 32-bit surface, a plain
// decoder to RGBA and memcpy of the RGBA bytes; pcx_encode beside a plain
// encoder and memcpy of the pixels it reads. Counters: megapixels per second
// ("MPix/s") and encoded megabytes per second ("bytes_per_second", the PCX
// file's bytes; for the limits, bytes copied). bench/pillow-pcx times Pillow
// on the same pictures.
#include <benchmark/benchmark.h>

#include <raster/pcx_codec.h>
#include <raster/raster.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <algorithm>
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

// ---- the codec ------------------------------------------------------------

void BM_pcx_display_into_32bit(benchmark::State& state) {
    const PictureId id = static_cast<PictureId>(state.range(0));
    PictureShape shape = shape_of(id);
    const std::vector<uint8_t>& bytes = picture(id);
    shape.surface_bits = 32;
    PictureSurface surface(shape);
    if (surface.handle() < 0) return state.SkipWithError("no surface");
    pcx_set_buffer(bytes.data(), static_cast<uint32_t>(bytes.size()));
    for (auto _ : state) benchmark::DoNotOptimize(pcx_display(nullptr, PCX_FROM_BUFFER | PCX_KEEP_INDICES));
    pcx_set_buffer(nullptr, 0);
    set_counters(state, shape, bytes.size());
}

void BM_pcx_decode_rgba(benchmark::State& state) {
    const PictureId id = static_cast<PictureId>(state.range(0));
    const PictureShape shape = shape_of(id);
    const std::vector<uint8_t>& bytes = picture(id);
    const size_t row = static_cast<size_t>(shape.width) * 4;
    std::vector<uint8_t> rgba(row * shape.height);
    pcx_facts facts;
    for (auto _ : state) {
        benchmark::DoNotOptimize(pcx_decode(bytes.data(), bytes.size(), PCX_FORMAT_RGBA, rgba.data(), rgba.size(),
                                            static_cast<ptrdiff_t>(row), &facts));
        benchmark::ClobberMemory();
    }
    if (facts.rows_decoded != shape.height) return state.SkipWithError("pcx_decode did not decode every row");
    set_counters(state, shape, bytes.size());
}

// The plain decoder to RGBA must give pcx_decode's bytes.
void BM_pcx_decode_rgba_plain(benchmark::State& state) {
    const PictureId id = static_cast<PictureId>(state.range(0));
    const PictureShape shape = shape_of(id);
    const std::vector<uint8_t>& bytes = picture(id);
    const size_t size = static_cast<size_t>(shape.width) * shape.height * 4;
    std::vector<uint8_t> ours(size), plain_rgba(size, 1);
    pcx_facts facts;
    pcx_decode(bytes.data(), bytes.size(), PCX_FORMAT_RGBA, ours.data(), size, shape.width * 4, &facts);
    if (!plain::pcx_decode_rgba(bytes.data(), bytes.size(), plain_rgba.data()) || plain_rgba != ours) {
        return state.SkipWithError("the plain decoder's pixels differ from pcx_decode's");
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(plain::pcx_decode_rgba(bytes.data(), bytes.size(), plain_rgba.data()));
        benchmark::ClobberMemory();
    }
    set_counters(state, shape, bytes.size());
}

void BM_pcx_decode_limit_memcpy(benchmark::State& state) {
    const PictureShape shape = shape_of(static_cast<PictureId>(state.range(0)));
    limits::memcpy_bytes(state, static_cast<size_t>(shape.width) * shape.height * 4);
}

// A picture's pixels as pcx_encode takes them: its own indices and colours
// (2-colour pictures as black and white, the 1-bit layout), RGB, or RGBA for
// pictures with a fourth plane.
struct EncoderInput {
    int32_t format = 0;
    int32_t colours = 0;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> palette = std::vector<uint8_t>(768, 0);
    size_t file_size = 0;
};

const EncoderInput& encoder_input(PictureId id) {
    static std::map<int, EncoderInput> cache;
    auto found = cache.find(id);
    if (found != cache.end()) return found->second;
    const std::vector<uint8_t>& bytes = picture(id);
    const PictureShape shape = shape_of(id);
    EncoderInput input;
    pcx_facts facts;
    pcx_inspect(bytes.data(), bytes.size(), &facts);
    const bool indexed = facts.colours <= 256;
    input.format = indexed ? PCX_FORMAT_INDICES : facts.planes == 4 ? PCX_FORMAT_RGBA : PCX_FORMAT_RGB;
    input.colours = indexed ? facts.colours : 0;
    input.palette.assign(facts.palette, facts.palette + 768);
    if (input.colours == 2) input.palette = {0, 0, 0, 255, 255, 255};
    input.pixels.resize(static_cast<size_t>(shape.width) * shape.height * input.format);
    pcx_decode(bytes.data(), bytes.size(), input.format, input.pixels.data(), input.pixels.size(),
               static_cast<ptrdiff_t>(shape.width) * input.format, &facts);
    input.file_size = pcx_encode(input.pixels.data(), shape.width, shape.height, shape.width * input.format,
                                 input.format, input.palette.data(), input.colours, nullptr, 0);
    return cache.emplace(id, std::move(input)).first->second;
}

size_t encode_into(const EncoderInput& input, const PictureShape& shape, std::vector<uint8_t>& out) {
    return pcx_encode(input.pixels.data(), shape.width, shape.height, shape.width * input.format, input.format,
                      input.palette.data(), input.colours, out.data(), out.size());
}

// Into a buffer that holds the worst case: one pass.
void BM_pcx_encode(benchmark::State& state) {
    const PictureId id = static_cast<PictureId>(state.range(0));
    const PictureShape shape = shape_of(id);
    const EncoderInput& input = encoder_input(id);
    std::vector<uint8_t> out(input.pixels.size() * 8 + 4096);
    for (auto _ : state) {
        benchmark::DoNotOptimize(encode_into(input, shape, out));
        benchmark::ClobberMemory();
    }
    if (encode_into(input, shape, out) != input.file_size) return state.SkipWithError("pcx_encode failed");
    set_counters(state, shape, input.file_size);
}

// As a caller that asks the size first and then encodes into exactly that.
void BM_pcx_encode_sized(benchmark::State& state) {
    const PictureId id = static_cast<PictureId>(state.range(0));
    const PictureShape shape = shape_of(id);
    const EncoderInput& input = encoder_input(id);
    std::vector<uint8_t> out(input.file_size);
    for (auto _ : state) {
        const size_t size = pcx_encode(input.pixels.data(), shape.width, shape.height, shape.width * input.format,
                                       input.format, input.palette.data(), input.colours, nullptr, 0);
        benchmark::DoNotOptimize(pcx_encode(input.pixels.data(), shape.width, shape.height, shape.width * input.format,
                                            input.format, input.palette.data(), input.colours, out.data(), size));
        benchmark::ClobberMemory();
    }
    set_counters(state, shape, input.file_size);
}

// The plain encoder (256-colour and RGB pictures) must give pcx_encode's bytes.
void BM_pcx_encode_plain(benchmark::State& state) {
    const PictureId id = static_cast<PictureId>(state.range(0));
    const PictureShape shape = shape_of(id);
    const EncoderInput& input = encoder_input(id);
    const bool rgb = input.format == PCX_FORMAT_RGB;
    std::vector<uint8_t> ours(input.pixels.size() * 8 + 4096), out(ours.size());
    const size_t size = encode_into(input, shape, ours);
    if ((!rgb && input.colours != 256) ||
        plain::pcx_encode(input.pixels.data(), shape.width, shape.height, rgb, input.palette.data(), out.data()) !=
            size ||
        !std::equal(out.begin(), out.begin() + static_cast<ptrdiff_t>(size), ours.begin())) {
        return state.SkipWithError("the plain encoder's bytes differ from pcx_encode's");
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            plain::pcx_encode(input.pixels.data(), shape.width, shape.height, rgb, input.palette.data(), out.data()));
        benchmark::ClobberMemory();
    }
    set_counters(state, shape, size);
}

// memcpy of the pixels the encoder reads.
void BM_pcx_encode_limit_memcpy(benchmark::State& state) {
    limits::memcpy_bytes(state, encoder_input(static_cast<PictureId>(state.range(0))).pixels.size());
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
BENCHMARK(BM_pcx_display_into_32bit)->Apply(pictures);
BENCHMARK(BM_pcx_decode_rgba)->Apply(pictures);
// The plain decoder to RGBA reads 1-bit, 4-plane, 8-bit and 24-bit pictures.
BENCHMARK(BM_pcx_decode_rgba_plain)
    ->DenseRange(benchpictures::kSky640, benchpictures::kTrueColour2048)
    ->Arg(benchpictures::kNoisyIndexed2048)
    ->Arg(benchpictures::kNoisyTrueColour2048)
    ->ArgName("picture")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_pcx_decode_limit_memcpy)->Apply(pictures);
BENCHMARK(BM_pcx_encode)->Apply(pictures);
BENCHMARK(BM_pcx_encode_sized)->Apply(pictures);
// The plain encoder writes 256-colour and RGB pictures.
BENCHMARK(BM_pcx_encode_plain)
    ->ArgName("picture")
    ->Arg(benchpictures::kSky640)
    ->Arg(benchpictures::kIndexed2048)
    ->Arg(benchpictures::kTrueColour2048)
    ->Arg(benchpictures::kNoisyIndexed2048)
    ->Arg(benchpictures::kNoisyTrueColour2048)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_pcx_encode_limit_memcpy)->Apply(pictures);
