// pcx_encode: the exact bytes of tiny pictures in every layout it writes,
// sizes and capacities, refusals, the fast run coder against the plain one,
// and round trips through netpbm, ImageMagick and Pillow (each skipped when
// its program is missing).
#include <gtest/gtest.h>

#include <raster/pcx_codec.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "raster/pcx/codec/encode_lines.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint8_t kSentinel = 0xA5;

size_t encode(const Bytes& pixels, int width, int height, int format, const Bytes& palette, Bytes& out) {
    const ptrdiff_t stride = static_cast<ptrdiff_t>(width) * format;
    const uint8_t* colours = palette.empty() ? nullptr : palette.data();
    const int32_t count = static_cast<int32_t>(palette.size() / 3);
    const size_t size = pcx_encode(pixels.data(), width, height, stride, format, colours, count, nullptr, 0);
    out.assign(size, kSentinel);
    EXPECT_EQ(pcx_encode(pixels.data(), width, height, stride, format, colours, count, out.data(), size), size);
    return size;
}

// The 128 header bytes pcx_encode must write for a picture of this shape.
Bytes header(int bits, int planes, int width, int height, int line_bytes, const Bytes& colours) {
    Bytes h(128, 0);
    h[0] = 10, h[1] = 5, h[2] = 1, h[3] = static_cast<uint8_t>(bits);
    h[8] = static_cast<uint8_t>(width - 1), h[9] = static_cast<uint8_t>((width - 1) >> 8);
    h[10] = static_cast<uint8_t>(height - 1), h[11] = static_cast<uint8_t>((height - 1) >> 8);
    h[12] = 72, h[14] = 72;
    std::copy(colours.begin(), colours.begin() + std::min<size_t>(colours.size(), 48), h.begin() + 16);
    h[65] = static_cast<uint8_t>(planes);
    h[66] = static_cast<uint8_t>(line_bytes), h[67] = static_cast<uint8_t>(line_bytes >> 8);
    h[68] = 1;
    return h;
}

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes palette_of(int colours) {
    Bytes p;
    for (int i = 0; i < colours; ++i) p.insert(p.end(), {uint8_t(i * 37 + 11), uint8_t(i * 91 + 5), uint8_t(200 - i)});
    return p;
}

// Every layout, each file given byte for byte: header, coded lines (runs
// stop at each plane's end, counts at most 63, 0xC0 and above escaped, the
// pad byte repeating the line's last) and trailer.
TEST(PcxEncode, ExactFilesOfEveryLayout) {
    Bytes out;
    const Bytes black_white = {0, 0, 0, 255, 255, 255};
    encode({1}, 1, 1, PCX_FORMAT_INDICES, black_white, out);
    EXPECT_EQ(out, cat(header(1, 1, 1, 1, 2, black_white), {0xC2, 0x80}));

    // 1 x 4, 16 colours: indices 5, 10, 15, 0 in four bit planes.
    const Bytes sixteen = palette_of(16);
    encode({5, 10, 15, 0}, 1, 4, PCX_FORMAT_INDICES, sixteen, out);
    EXPECT_EQ(out, cat(header(1, 4, 1, 4, 2, sixteen), {0xC2, 0x80, 0xC2, 0x00, 0xC2, 0x80, 0xC2, 0x00,  // 0101
                                                        0xC2, 0x00, 0xC2, 0x80, 0xC2, 0x00, 0xC2, 0x80,  // 1010
                                                        0xC2, 0x80, 0xC2, 0x80, 0xC2, 0x80, 0xC2, 0x80,  // 1111
                                                        0xC2, 0x00, 0xC2, 0x00, 0xC2, 0x00, 0xC2, 0x00}));
    // Nine pixels, 3 colours, black and white first but not only: 4 planes.
    const Bytes three = {0, 0, 0, 255, 255, 255, 9, 9, 9};
    encode({1, 1, 2, 1, 1, 1, 1, 1, 2}, 9, 1, PCX_FORMAT_INDICES, three, out);
    EXPECT_EQ(out, cat(header(1, 4, 9, 1, 2, three), {0xC1, 0xDF, 0x00, 0x20, 0x80, 0xC2, 0x00, 0xC2, 0x00}));

    // 256-colour layout: 0xC0 escaped alone, a run, the pad continuing the last run.
    const Bytes many = palette_of(200);
    encode({192, 3, 3, 3, 199}, 5, 1, PCX_FORMAT_INDICES, many, out);
    Bytes trailer = cat({12}, many);
    trailer.resize(769, 0);
    EXPECT_EQ(out, cat(cat(header(8, 1, 5, 1, 6, Bytes(many.begin(), many.begin() + 48)),
                           {0xC1, 0xC0, 0xC3, 0x03, 0xC2, 0xC7}),
                       trailer));
    // 130 equal bytes on each of two rows: runs of 63, 63, 4, none across rows.
    encode(Bytes(260, 7), 130, 2, PCX_FORMAT_INDICES, many, out);
    const Bytes row = {0xFF, 7, 0xFF, 7, 0xC4, 7};
    EXPECT_EQ(Bytes(out.begin() + 128, out.end() - 769), cat(row, row));

    // True colour, 3 x 1: planes red, green, blue, each padded to 4 bytes.
    encode({0xC5, 1, 1, 0xC5, 2, 2, 7, 3, 3}, 3, 1, PCX_FORMAT_RGB, {}, out);
    EXPECT_EQ(out, cat(header(8, 3, 3, 1, 4, {}), {0xC2, 0xC5, 0xC2, 0x07, 1, 2, 0xC2, 3, 1, 2, 0xC2, 3}));
    encode({1, 2, 3, 0xFF, 4, 5, 6, 0xFF, 7, 8, 9, 0}, 3, 1, PCX_FORMAT_RGBA, {}, out);
    EXPECT_EQ(out,
              cat(header(8, 4, 3, 1, 4, {}), {1, 4, 0xC2, 7, 2, 5, 0xC2, 8, 3, 6, 0xC2, 9, 0xC2, 0xFF, 0xC2, 0x00}));

    // Colours that are all one would read as a placeholder header: they go
    // in the trailer instead.
    encode({1, 0}, 2, 1, PCX_FORMAT_INDICES, Bytes(6, 0), out);
    ASSERT_EQ(out.size(), 128u + 2 + 769);
    EXPECT_EQ(out[3], 8);
    EXPECT_EQ(out[128 + 2], 12);
}

// The size a query gives is what is written, in one pass (room for the worst
// case) or after counting (exact room); one byte less writes nothing.
TEST(PcxEncode, SizeQueryAndCapacity) {
    std::mt19937 dice(19);
    for (int format : {PCX_FORMAT_INDICES, PCX_FORMAT_RGB, PCX_FORMAT_RGBA}) {
        SCOPED_TRACE(format);
        const int width = 37, height = 5, stride = 37 * 4 + 3;
        Bytes pixels(static_cast<size_t>(stride) * height);
        for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i % 7 < 3 ? 0xE0 : dice());
        const Bytes palette = palette_of(256);
        const size_t size = pcx_encode(pixels.data(), width, height, stride, format, palette.data(), 256, nullptr, 0);
        ASSERT_GT(size, 128u);
        Bytes exact(size + 16, kSentinel), roomy(8 * width * height + 1024, kSentinel), short_by_one(size, kSentinel);
        EXPECT_EQ(pcx_encode(pixels.data(), width, height, stride, format, palette.data(), 256, exact.data(), size),
                  size);
        EXPECT_EQ(exact[size], kSentinel);
        EXPECT_EQ(
            pcx_encode(pixels.data(), width, height, stride, format, palette.data(), 256, roomy.data(), roomy.size()),
            size);
        EXPECT_TRUE(std::equal(exact.begin(), exact.begin() + static_cast<long>(size), roomy.begin()));
        EXPECT_EQ(roomy[size], kSentinel);
        EXPECT_EQ(pcx_encode(pixels.data(), width, height, stride, format, palette.data(), 256, short_by_one.data(),
                             size - 1),
                  size);
        EXPECT_EQ(short_by_one, Bytes(size, kSentinel));
    }
}

TEST(PcxEncode, RefusalsWriteNothing) {
    const Bytes pixels(4 * 70000, 1), palette = palette_of(256);
    Bytes out(1 << 20, kSentinel);
    auto call = [&](const void* p, int32_t w, int32_t h, ptrdiff_t stride, int32_t format, const uint8_t* colours,
                    int32_t count) {
        return pcx_encode(p, w, h, stride, format, colours, count, out.data(), out.size());
    };
    const uint8_t* pal = palette.data();
    EXPECT_EQ(call(nullptr, 2, 2, 2, PCX_FORMAT_INDICES, pal, 16), 0u);
    EXPECT_EQ(call(pixels.data(), 0, 2, 2, PCX_FORMAT_INDICES, pal, 16), 0u);
    EXPECT_EQ(call(pixels.data(), 2, 0, 2, PCX_FORMAT_INDICES, pal, 16), 0u);
    EXPECT_EQ(call(pixels.data(), 65537, 1, 65537, PCX_FORMAT_INDICES, pal, 16), 0u);
    EXPECT_EQ(call(pixels.data(), 1, 65537, 1, PCX_FORMAT_INDICES, pal, 16), 0u);
    EXPECT_EQ(call(pixels.data(), 2, 2, 5, PCX_FORMAT_RGB, pal, 16), 0u);  // stride below a row
    EXPECT_EQ(call(pixels.data(), 2, 2, -8, PCX_FORMAT_RGBA, pal, 16), 0u);
    for (int32_t format : {0, 2, 5}) EXPECT_EQ(call(pixels.data(), 2, 2, 8, format, pal, 16), 0u);
    EXPECT_EQ(call(pixels.data(), 2, 2, 2, PCX_FORMAT_INDICES, nullptr, 16), 0u);
    EXPECT_EQ(call(pixels.data(), 2, 2, 2, PCX_FORMAT_INDICES, pal, 1), 0u);
    EXPECT_EQ(call(pixels.data(), 2, 2, 2, PCX_FORMAT_INDICES, pal, 257), 0u);
    // An index at or above the colours, found on the last row's last pixel.
    Bytes indices(6 * 3, 4);
    indices.back() = 5;
    EXPECT_EQ(call(indices.data(), 6, 3, 6, PCX_FORMAT_INDICES, pal, 5), 0u);
    // BytesPerLine holds 65534 at most: 8 bits a plane stop below 65535 pixels.
    EXPECT_EQ(call(pixels.data(), 65535, 1, 65535, PCX_FORMAT_INDICES, pal, 256), 0u);
    EXPECT_EQ(call(pixels.data(), 65535, 1, 65535 * 3, PCX_FORMAT_RGB, pal, 0), 0u);
    EXPECT_EQ(out, Bytes(1 << 20, kSentinel));
    // 1 bit a plane takes the widest picture, and 8 bits 65534 pixels.
    const uint8_t black_white[6] = {0, 0, 0, 255, 255, 255};
    EXPECT_EQ(call(pixels.data(), 65536, 1, 65536, PCX_FORMAT_INDICES, black_white, 2), 128u + 8192 / 63 * 2 + 2);
    EXPECT_EQ(call(pixels.data(), 65534, 1, 65534 * 3, PCX_FORMAT_RGB, nullptr, 0), 128u + 3 * 2 * (65534 / 63 + 1));
    EXPECT_EQ(call(pixels.data(), 1, 65536, 1, PCX_FORMAT_INDICES, pal, 256), 128u + 65536 * 2 + 769);
}

// The SSE2 and AVX2 run coders give the plain coder's bytes on lines of
// every kind, and store nothing past the line's bytes whatever the room.
TEST(PcxEncode, FastRunCodersMatchPlain) {
#if defined(__SSE2__)
    using namespace raster::pcx_encoder;
    ASSERT_NE(sse2_line_coder(), nullptr);
    std::vector<std::pair<const char*, LineCoder>> coders{{"SSE2", *sse2_line_coder()}};
    if (avx2_line_coder() != nullptr) coders.push_back({"AVX2", *avx2_line_coder()});
    EXPECT_EQ(avx2_line_coder() != nullptr, __builtin_cpu_supports("avx2") != 0);
    std::mt19937 dice(7);
    for (int trial = 0; trial < 5000; ++trial) {
        const size_t count = 1 + dice() % (trial < 1000 ? 40 : trial < 3000 ? 300 : 3000);
        Bytes line(count);
        // runs, escapes, noise, runs longer than 63, noise with a repeat in sixteen
        const int kind = trial % 5;
        const uint32_t breaks[] = {8, 5, 5, 150, 16};
        for (size_t i = 0; i < count; ++i) {
            const bool keep = i > 0 && (kind == 1 || kind == 2 || kind == 4 ? dice() % breaks[kind] == 0
                                                                            : dice() % breaks[kind] != 0);
            line[i] = keep ? line[i - 1] : static_cast<uint8_t>(kind == 1 ? 0xBC + dice() % 8 : dice());
        }
        Bytes plain(2 * count, kSentinel);
        const size_t size = encode_runs_plain(line.data(), count, plain.data(), plain.size());
        ASSERT_EQ(count_runs_plain(line.data(), count), size);
        for (const auto& coder : coders) {
            ASSERT_EQ(coder.second.count_bytes(line.data(), count), size) << coder.first;
            // Exact room, then ample room: nothing is stored past the line's bytes either way.
            for (const size_t room : {size, 2 * count + 64}) {
                Bytes fast(2 * count + 64, kSentinel);
                ASSERT_EQ(coder.second.encode(line.data(), count, fast.data(), room), size) << coder.first;
                ASSERT_TRUE(std::equal(plain.begin(), plain.begin() + static_cast<long>(size), fast.begin()))
                    << coder.first << " trial " << trial;
                ASSERT_EQ(Bytes(fast.begin() + static_cast<long>(size), fast.end()),
                          Bytes(fast.size() - size, kSentinel))
                    << coder.first << " trial " << trial;
            }
        }
    }
#else
    GTEST_SKIP() << "no SSE2 coder on this processor";
#endif
}

// Every kind of byte planes this machine runs gives the plain one's bytes,
// padding included, and stores nothing past the planes.
TEST(PcxEncode, FastBytePlanesMatchPlain) {
    using namespace raster::pcx_encoder;
    if (avx2_line_coder() == nullptr) GTEST_SKIP() << "only the plain byte planes run on this processor";
    std::mt19937 dice(11);
    for (int trial = 0; trial < 600; ++trial) {
        const int32_t channels = trial % 2 == 0 ? 3 : 4;
        const int32_t width = 1 + static_cast<int32_t>(dice() % (trial < 400 ? 70 : 700));
        const size_t line_bytes = static_cast<size_t>(width + (width & 1) + (trial % 3 == 0 ? 2 : 0));
        Bytes pixels(static_cast<size_t>(width) * channels);
        for (uint8_t& byte : pixels) byte = static_cast<uint8_t>(dice());
        Bytes plain(line_bytes * channels + 16, kSentinel), fast(line_bytes * channels + 16, kSentinel);
        byte_planes_plain(pixels.data(), width, channels, plain.data(), line_bytes);
        avx2_line_coder()->byte_planes(pixels.data(), width, channels, fast.data(), line_bytes);
        ASSERT_EQ(fast, plain) << "width " << width << ", " << channels << " channels";
        // Pixel 0 of each plane is the pixel's own byte, and the padding repeats the last pixel.
        for (int32_t c = 0; c < channels; ++c) {
            ASSERT_EQ(plain[c * line_bytes], pixels[c]);
            ASSERT_EQ(plain[c * line_bytes + line_bytes - 1], pixels[(width - 1) * channels + c]);
        }
    }
}

struct Case {
    std::string name;
    int width, height, format;
    Bytes pixels, palette;
    Bytes rgba() const {  // what every reader must show, red, green, blue, alpha
        Bytes out;
        for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
            if (format == PCX_FORMAT_INDICES) {
                out.insert(out.end(), palette.begin() + pixels[i] * 3, palette.begin() + pixels[i] * 3 + 3);
                out.push_back(255);
            } else {
                out.insert(out.end(), pixels.begin() + i * format, pixels.begin() + i * format + 3);
                out.push_back(format == PCX_FORMAT_RGBA ? pixels[i * 4 + 3] : 255);
            }
        }
        return out;
    }
};

// Tiny odd-sized pictures of every layout, with runs, escapes and
// neighbouring rows that differ.
std::vector<Case> cases() {
    std::vector<Case> all;
    const Bytes black_white = {0, 0, 0, 255, 255, 255};
    for (const auto& [w, h] : {std::pair{1, 1}, {1, 4}, {13, 7}, {70, 3}, {32, 3}}) {
        for (const auto& [name, format, colours] : {std::tuple{"black-white", 1, 2},
                                                    {"16-colour", 1, 16},
                                                    {"5-colour", 1, 5},
                                                    {"256-colour", 1, 256},
                                                    {"RGB", 3, 0},
                                                    {"RGBA", 4, 0}}) {
            Case c{std::string(name) + " " + std::to_string(w) + "x" + std::to_string(h),
                   w,
                   h,
                   format,
                   {},
                   colours == 2 ? black_white : palette_of(colours)};
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w * (colours ? 1 : format); ++x) {
                    const int v = x / 4 + y * 3 + (x * y) % 5 + (x % 9 == 0 ? 190 : 0);
                    c.pixels.push_back(static_cast<uint8_t>(colours ? v % colours : v * 29 + y));
                }
            }
            all.push_back(std::move(c));
        }
    }
    return all;
}

template <typename Keep>
std::vector<Case> cases_where(Keep keep) {
    std::vector<Case> all = cases();
    all.erase(std::remove_if(all.begin(), all.end(), [&](const Case& c) { return !keep(c); }), all.end());
    return all;
}

// Every layout read back by the codec's own decoder: the pixels, the
// picture's own indices, where its colours come from, and nothing noted.
TEST(PcxEncode, ReadBackByPcxDecode) {
    std::vector<Case> all = cases();
    Case one_colour{"one colour twice", 3, 2, PCX_FORMAT_INDICES, {0, 1, 1, 1, 0, 0}, Bytes(6, 40)};
    all.push_back(one_colour);
    for (const Case& c : all) {
        SCOPED_TRACE(c.name);
        Bytes file;
        const size_t size = encode(c.pixels, c.width, c.height, c.format, c.palette, file);
        const size_t pixels = static_cast<size_t>(c.width) * c.height;
        Bytes rgba(pixels * 4 + 1, kSentinel);
        pcx_facts facts{};
        ASSERT_EQ(pcx_decode(file.data(), size, PCX_FORMAT_RGBA, rgba.data(), pixels * 4, c.width * 4, &facts), PCX_OK);
        EXPECT_EQ(rgba, cat(c.rgba(), {kSentinel}));
        EXPECT_EQ(facts.damage, 0);
        EXPECT_EQ(facts.notes, 0);
        EXPECT_EQ(facts.rows_decoded, c.height);
        const bool trailer = c.format == PCX_FORMAT_INDICES && file[3] == 8;
        EXPECT_EQ(facts.data_bytes, static_cast<int64_t>(size - 128 - (trailer ? 769 : 0)));
        EXPECT_EQ(facts.colour_source, c.format != PCX_FORMAT_INDICES ? 0
                                       : trailer                      ? PCX_COLOURS_TRAILER
                                                                      : PCX_COLOURS_HEADER);
        if (c.format == PCX_FORMAT_INDICES) {
            Bytes indices(pixels, kSentinel);
            ASSERT_EQ(pcx_decode(file.data(), size, PCX_FORMAT_INDICES, indices.data(), pixels, c.width, &facts),
                      PCX_OK);
            EXPECT_EQ(indices, c.pixels);
        }
    }
}

// ---- read back by other programs --------------------------------------------
#if !defined(_WIN32)
#include "peer.h"

namespace fs = std::filesystem;

// The pixels of a binary PPM (netpbm writes one header line per field);
// anything else as it is.
Bytes without_ppm_header(const Bytes& file) {
    if (file.size() < 2 || file[0] != 'P' || file[1] != '6') return file;
    size_t at = 2;
    for (int field = 0; field < 3; ++field) {
        while (at < file.size() && std::isspace(file[at])) ++at;
        while (at < file.size() && std::isdigit(file[at])) ++at;
    }
    return Bytes(file.begin() + static_cast<long>(std::min(at + 1, file.size())), file.end());
}

class PcxEncodePeers : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("pcx_encode_peers_" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Encodes every case, runs `command` ({in}, {out} replaced) on each file
    // from one script (run by `runner`, after `prelude`), and compares the
    // pixels read from {out}: red, green, blue and, `with_alpha`, alpha.
    void check(const std::vector<Case>& all, const std::string& command, bool with_alpha, bool one_bit_inverted = false,
               const std::string& runner = "sh", const std::string& prelude = "") {
        std::string script = prelude;
        for (size_t i = 0; i < all.size(); ++i) {
            Bytes file;
            encode(all[i].pixels, all[i].width, all[i].height, all[i].format, all[i].palette, file);
            const fs::path pcx = dir_ / (std::to_string(i) + ".pcx");
            std::ofstream(pcx, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
            std::string line = command;
            line.replace(line.find("{in}"), 4, "'" + pcx.string() + "'");
            line.replace(line.find("{out}"), 5, "'" + pcx.string() + ".out'");
            script += line + "\n";
        }
        std::ofstream(dir_ / "run") << script;
        ASSERT_EQ(std::system((runner + " '" + (dir_ / "run").string() + "' 2>/dev/null").c_str()), 0);
        for (size_t i = 0; i < all.size(); ++i) {
            std::ifstream in(dir_ / (std::to_string(i) + ".pcx.out"), std::ios::binary);
            const Bytes got = without_ppm_header(Bytes{std::istreambuf_iterator<char>(in), {}});
            const Bytes rgba = all[i].rgba();
            const uint8_t flip = one_bit_inverted && all[i].palette.size() == 6 ? 255 : 0;
            Bytes want;
            for (size_t at = 0; at < rgba.size(); at += 4) {
                want.insert(want.end(),
                            {uint8_t(rgba[at] ^ flip), uint8_t(rgba[at + 1] ^ flip), uint8_t(rgba[at + 2] ^ flip)});
                if (with_alpha) want.push_back(rgba[at + 3]);
            }
            EXPECT_EQ(got, want) << all[i].name;
        }
    }
    fs::path dir_;
};

TEST_F(PcxEncodePeers, ReadByPcxtoppm) {
    const std::string missing = peer_missing("pcxtoppm");
    if (!missing.empty()) GTEST_SKIP() << missing;
    // pcxtoppm takes a fourth plane as an intensity that scales the colours.
    check(cases_where([](const Case& c) { return c.format != PCX_FORMAT_RGBA; }), "pcxtoppm {in} > {out}", false);
}

TEST_F(PcxEncodePeers, ReadByImageMagick) {
    const std::string missing = peer_missing("convert");
    if (!missing.empty()) GTEST_SKIP() << missing;
    // ImageMagick 6 reads every 1-bit, one-plane PCX picture with its bits
    // inverted (ppmtopcx's too, which have the same header and bits).
    check(cases(), "convert {in} -depth 8 RGBA:{out}", true, true);
}

TEST_F(PcxEncodePeers, ReadByPillow) {
    const std::string missing = peer_missing("pillow '" PYTHON3_COMMAND "'");
    if (!missing.empty()) GTEST_SKIP() << missing;
    // Pillow reads no four 8-bit planes, and takes the planes of a line to be
    // width (or (width + 7) / 8) bytes apart rather than BytesPerLine: it
    // misreads every planar picture whose lines carry a pad byte.
    check(cases_where([](const Case& c) {
              const int used = c.format == PCX_FORMAT_RGB ? c.width : (c.width + 7) / 8;
              const bool planar = c.format == PCX_FORMAT_RGB || (c.palette.size() > 6 && c.palette.size() <= 48);
              return c.format != PCX_FORMAT_RGBA && !(planar && used % 2 != 0);
          }),
          "w({in}, {out})", true, false, "\"" PYTHON3_COMMAND "\"",
          "from PIL import Image\n"
          "def w(a, b):\n"
          "    open(b, 'wb').write(Image.open(a).convert('RGBA').tobytes())\n");
}

#endif  // !_WIN32

}  // namespace
