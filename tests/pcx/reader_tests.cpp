// pcx_display and pcx_set_buffer: every layout into every depth, from files
// and from memory, the palette stage, the flags, and damaged pictures.
// Expected pixels are computed here from the pictures given to the writer,
// never from the reader's own tables.
#include <gtest/gtest.h>

#include <windows.h>

#include <raster/raster.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "library_env.h"
#include "pcx_line_model.h"
#include "pcx_writer.h"
#include "raster/state.h"

namespace {

using Bytes = std::vector<uint8_t>;
using pcxwrite::Layout;

constexpr uint8_t kSentinel = 0xA5;

// ---- pictures ------------------------------------------------------------

// Every layout the writer makes: its name, number of colours (0 for true
// colour) and the bytes of one plane for a width.
struct LayoutCase {
    Layout layout;
    const char* name;
    int colours;
    int bits;
};
constexpr LayoutCase kLayouts[] = {
    {Layout::OneBit, "1-bit", 2, 1},        {Layout::TwoPlane, "2-plane", 4, 1},
    {Layout::ThreePlane, "3-plane", 8, 1},  {Layout::FourPlane, "4-plane", 16, 1},
    {Layout::PackedTwoBit, "2-bit", 4, 2},  {Layout::PackedFourBit, "4-bit", 16, 4},
    {Layout::EightBit, "8-bit", 256, 8},    {Layout::TrueColor, "true colour", 0, 8},
    {Layout::TrueColorAlpha, "RGBA", 0, 8},
};

const LayoutCase& case_of(Layout layout) {
    for (const LayoutCase& c : kLayouts) {
        if (c.layout == layout) return c;
    }
    return kLayouts[6];
}

bool is_true_colour(Layout layout) { return case_of(layout).colours == 0; }

int max_index_of(Layout layout) { return is_true_colour(layout) ? 255 : case_of(layout).colours - 1; }

// An asymmetric picture whose every index/colour depends on x and y.
pcxwrite::Picture make_picture(Layout layout, int width, int height) {
    pcxwrite::Picture p;
    p.width = width;
    p.height = height;
    const int modulus = max_index_of(layout) + 1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (is_true_colour(layout)) {
                p.rgb.push_back(static_cast<uint8_t>(x * 41 + y * 7 + 200));
                p.rgb.push_back(static_cast<uint8_t>(x * 3 + y * 59 + 1));
                p.rgb.push_back(static_cast<uint8_t>(x * y * 13 + 0xC7));
            } else {
                p.indices.push_back(static_cast<uint8_t>((x * 37 + y * 101 + x * y) % modulus));
            }
        }
    }
    for (int i = 0; i < 256; ++i) {
        p.palette[i * 3] = static_cast<uint8_t>(255 - i);
        p.palette[i * 3 + 1] = static_cast<uint8_t>(i * 5 + 9);
        p.palette[i * 3 + 2] = static_cast<uint8_t>(i * 11 + 128);
    }
    return p;
}

Bytes make_file(const pcxwrite::Picture& p, const pcxwrite::Options& o) {
    Bytes bytes = pcxwrite::encode(p, o);
    EXPECT_FALSE(bytes.empty());
    return bytes;
}

void put16(Bytes& file, size_t at, int value) {
    file[at] = static_cast<uint8_t>(value);
    file[at + 1] = static_cast<uint8_t>(value >> 8);
}

// A bare header for hand-made data streams.
Bytes header(int bits, int planes, int xmin, int ymin, int xmax, int ymax, int bpl, int version = 2) {
    Bytes h(128, 0);
    h[0] = 10;
    h[1] = static_cast<uint8_t>(version);
    h[2] = 1;
    h[3] = static_cast<uint8_t>(bits);
    put16(h, 4, xmin);
    put16(h, 6, ymin);
    put16(h, 8, xmax);
    put16(h, 10, ymax);
    for (int i = 0; i < 48; ++i) h[16 + i] = static_cast<uint8_t>(i * 5 + 1);
    h[65] = static_cast<uint8_t>(planes);
    put16(h, 66, bpl);
    return h;
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// ---- running the reader ----------------------------------------------------

enum class Mode { File, Buffer };

// Names carry a token drawn once per process: tests run in parallel, each in
// its own process, and several builds may run the suite at once.
std::string temp_path(const char* name) {
    static const std::string token = std::to_string(std::random_device{}());
    return (std::filesystem::temp_directory_path() / ("pcx_reader_" + token + "_" + name)).string();
}

// Hands the picture to `call` (filename, flags) from a file or a block.
template <class Call>
int32_t with_picture(Mode mode, const Bytes& bytes, int32_t flags, Call call) {
    if (mode == Mode::Buffer) {
        // A real (non-null) block even when it is empty.
        static const uint8_t empty_block[1] = {0};
        pcx_set_buffer(bytes.empty() ? empty_block : bytes.data(), static_cast<uint32_t>(bytes.size()));
        const int32_t result = call("ignored-name", flags | PCX_FROM_BUFFER);
        pcx_set_buffer(nullptr, 0);
        return result;
    }
    const std::string path = temp_path("picture.pcx");
    EXPECT_TRUE(pcxwrite::write_file(path, bytes));
    const int32_t result = call(path.c_str(), flags);
    std::filesystem::remove(path);
    return result;
}

int32_t display(Mode mode, const Bytes& bytes, int32_t flags) { return with_picture(mode, bytes, flags, pcx_display); }

// pcx_info into out[0..2] (width, height, colours).
int32_t info(Mode mode, const Bytes& bytes, int32_t* out) {
    return with_picture(mode, bytes, 0, [out](const char* name, int32_t flags) {
        return pcx_info(name, flags, &out[0], &out[1], &out[2]);
    });
}

constexpr int32_t kUnwritten = -77;

// Expected surface bytes of one pixel.
Bytes pixel_of_rgb(int bpp, const uint8_t* rgb, uint8_t fourth) {
    switch (bpp) {
        case 16: {
            const int v = ((rgb[0] >> 3) << 11) | ((rgb[1] >> 2) << 5) | (rgb[2] >> 3);
            return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
        }
        case 24:
            return {rgb[2], rgb[1], rgb[0]};
        default:
            return {rgb[2], rgb[1], rgb[0], fourth};
    }
}

// The whole surface as it must look: sentinel everywhere but the picture's
// rectangle at (x0, y0), cut to the surface.
Bytes expected_surface(const pcxwrite::Picture& p, Layout layout, int bpp, int surface_w, int surface_h, int x0,
                       int y0) {
    const int bytes = bpp / 8;
    Bytes out(static_cast<size_t>(surface_w) * surface_h * bytes, kSentinel);
    for (int y = 0; y < p.height && y0 + y < surface_h; ++y) {
        for (int x = 0; x < p.width && x0 + x < surface_w; ++x) {
            const size_t at = (static_cast<size_t>(y0 + y) * surface_w + x0 + x) * bytes;
            const size_t pixel = static_cast<size_t>(y) * p.width + x;
            Bytes value;
            if (is_true_colour(layout)) {
                value = pixel_of_rgb(bpp, &p.rgb[pixel * 3], kSentinel);
            } else if (bpp == 8) {
                const bool low_colour = case_of(layout).colours <= 16;
                value.assign(1, static_cast<uint8_t>(p.indices[pixel] + (low_colour ? 10 : 0)));
            } else {
                value = pixel_of_rgb(bpp, &p.palette[p.indices[pixel] * 3], 0);
            }
            std::copy(value.begin(), value.end(), out.begin() + static_cast<long>(at));
        }
    }
    return out;
}

// Reports the first differing pixel rather than a wall of bytes.
void expect_surface(int32_t handle, const Bytes& expected, int bpp, int surface_w) {
    const Bytes actual = testenv::surface_rows(handle);
    ASSERT_EQ(actual.size(), expected.size());
    const int bytes = bpp / 8;
    for (size_t i = 0; i < actual.size(); ++i) {
        if (actual[i] != expected[i]) {
            const size_t pixel = i / bytes;
            ADD_FAILURE() << "first difference at x " << pixel % surface_w << " y " << pixel / surface_w << " byte "
                          << i % bytes << ": got " << int(actual[i]) << " expected " << int(expected[i]);
            return;
        }
    }
}

class PcxReader : public testing::Test {
  protected:
    void SetUp() override { palette_ = testenv::start_library(); }
    void TearDown() override { testenv::stop_library(palette_); }

    // A surface of the given depth, selected, filled with the sentinel; the
    // one made before is destroyed.
    int32_t surface(int bpp, int width, int height) {
        if (last_ >= 0) {
            surface_deselect();
            surface_destroy(last_);
        }
        EXPECT_EQ(surface_set_depth(bpp), 0);
        last_ = testenv::make_selected_surface(width, height);
        EXPECT_GE(last_, 0);
        if (last_ >= 0) testenv::fill_surface(last_, kSentinel);
        return last_;
    }

    Bytes palette_rgb(int first, int count) const {
        Bytes out;
        for (int i = first; i < first + count; ++i) {
            const PALETTEENTRY& e = raster::state.logical_palette.palPalEntry[i];
            out.insert(out.end(), {e.peRed, e.peGreen, e.peBlue});
        }
        return out;
    }

    HPALETTE palette_ = nullptr;
    int32_t last_ = -1;
};

// ---- every layout into every depth ---------------------------------------------

TEST_F(PcxReader, EveryLayoutIntoEveryDepth) {
    constexpr int kSurfaceW = 24, kSurfaceH = 9;
    for (const LayoutCase& layout : kLayouts) {
        for (int bpp : {8, 16, 24, 32}) {
            for (Mode mode : {Mode::File, Mode::Buffer}) {
                for (int variant = 0; variant < 2; ++variant) {
                    SCOPED_TRACE(testing::Message()
                                 << layout.name << " into " << bpp << " bits, "
                                 << (mode == Mode::File ? "file" : "buffer") << ", variant " << variant);
                    const int32_t handle = surface(bpp, kSurfaceW, kSurfaceH);
                    // 13 x 5 at (3, 2); variant 1 lets runs cross lines and
                    // pads every plane with three extra bytes.
                    const pcxwrite::Picture p = make_picture(layout.layout, 13, 5);
                    pcxwrite::Options o;
                    o.layout = layout.layout;
                    o.xmin = 3;
                    o.ymin = 2;
                    o.runs_cross_lines = variant == 1;
                    o.pad_value = 0xC9;
                    if (variant == 1) o.bytes_per_line = (13 * layout.bits + 7) / 8 + 3;
                    const int32_t result = display(mode, make_file(p, o), PCX_KEEP_INDICES);
                    if (layout.colours == 0 && bpp == 8) {
                        EXPECT_EQ(result, PCX_BAD_LAYOUT);
                        expect_surface(handle, Bytes(kSurfaceW * kSurfaceH, kSentinel), bpp, kSurfaceW);
                    } else {
                        EXPECT_EQ(result, PCX_OK);
                        expect_surface(handle, expected_surface(p, layout.layout, bpp, kSurfaceW, kSurfaceH, 3, 2), bpp,
                                       kSurfaceW);
                    }
                }
            }
        }
    }
}

TEST_F(PcxReader, CutAtTheRightAndBottomEdges) {
    for (int bpp : {8, 32}) {
        SCOPED_TRACE(bpp);
        const int32_t handle = surface(bpp, 12, 5);
        const pcxwrite::Picture p = make_picture(Layout::EightBit, 11, 7);
        pcxwrite::Options o;
        o.xmin = 4;
        o.ymin = 1;
        EXPECT_EQ(display(Mode::Buffer, make_file(p, o), PCX_KEEP_INDICES), PCX_OK);
        expect_surface(handle, expected_surface(p, Layout::EightBit, bpp, 12, 5, 4, 1), bpp, 12);
    }
    // 1-bit lines long enough to go 128 pixels at a time, cut one pixel and
    // 17 pixels past two such steps, and whole with 35 pixels after them.
    const pcxwrite::Picture p = make_picture(Layout::OneBit, 291, 5);
    pcxwrite::Options o;
    o.layout = Layout::OneBit;
    o.xmin = 3;
    o.ymin = 1;
    for (int surface_w : {260, 276, 300}) {
        SCOPED_TRACE(surface_w);
        const int32_t handle = surface(8, surface_w, 4);
        EXPECT_EQ(display(Mode::Buffer, make_file(p, o), PCX_KEEP_INDICES), PCX_OK);
        expect_surface(handle, expected_surface(p, Layout::OneBit, 8, surface_w, 4, 3, 1), 8, surface_w);
    }
}

// ---- the run-length stream ---------------------------------------------------------

TEST_F(PcxReader, RunsCrossLinesCountZeroStoresNothingAndPadIsDropped) {
    const int32_t handle = surface(8, 8, 4);
    // 3 x 4 pixels, BytesPerLine 4 (one pad byte). Stream:
    //   line 0: 01 [C0 77: count 0] C3 02 -> 01 02 02 02(pad)
    //   line 1: C6 03 -> 03 03 03 03 and two bytes carried into line 2
    //   line 2: (03 03) 04 05
    //   line 3: C9 06 -> 06 06 06 06, five bytes past the last line
    const Bytes data = {0x01, 0xC0, 0x77, 0xC3, 0x02, 0xC6, 0x03, 0x04, 0x05, 0xC9, 0x06};
    EXPECT_EQ(display(Mode::Buffer, concat(header(8, 1, 0, 0, 2, 3, 4), data), PCX_KEEP_PALETTE), PCX_OK);
    const Bytes rows = testenv::surface_rows(handle);
    const uint8_t S = kSentinel;
    const Bytes expected = {0x01, 0x02, 0x02, S, S, S, S, S, 0x03, 0x03, 0x03, S, S, S, S, S,
                            0x03, 0x03, 0x04, S, S, S, S, S, 0x06, 0x06, 0x06, S, S, S, S, S};
    EXPECT_EQ(rows, expected);
}

TEST_F(PcxReader, RunLongerThanAWholeLineFeedsSeveralLines) {
    const int32_t handle = surface(8, 4, 6);
    // 2 x 6, BytesPerLine 2: one run of 7 fills lines 0..2 and half of 3;
    // then 09 completes line 3; C4 0A fills lines 4 and 5.
    const Bytes data = {0xC7, 0x08, 0x09, 0xC4, 0x0A};
    EXPECT_EQ(display(Mode::Buffer, concat(header(8, 1, 1, 0, 2, 5, 2), data), PCX_KEEP_PALETTE), PCX_OK);
    const uint8_t S = kSentinel;
    const Bytes expected = {S, 8, 8, S, S, 8, 8, S, S, 8, 8, S, S, 8, 9, S, S, 10, 10, S, S, 10, 10, S};
    EXPECT_EQ(testenv::surface_rows(handle), expected);
}

TEST_F(PcxReader, DataEndingEarlyRepeatsTheLastDecodedBytes) {
    for (Mode mode : {Mode::File, Mode::Buffer}) {
        SCOPED_TRACE(mode == Mode::File ? "file" : "buffer");
        const int32_t handle = surface(8, 4, 4);
        // 3 x 4: line 0 complete, line 1 stops after one byte; the run header
        // C2 is the very last byte and has no value.
        const Bytes data = {0x01, 0x02, 0x03, 0x00, 0x07, 0xC2};
        EXPECT_EQ(display(mode, concat(header(8, 1, 0, 0, 2, 3, 4), data), PCX_KEEP_PALETTE), PCX_OK);
        const uint8_t S = kSentinel;
        const Bytes expected = {1, 2, 3, S, 7, 2, 3, S, 7, 2, 3, S, 7, 2, 3, S};
        EXPECT_EQ(testenv::surface_rows(handle), expected);
    }
}

// With PCX_REPORT_DAMAGE, data that ends early is named, and the call
// still stores and loads what it would without the flag; the lines below
// the surface's edge are decoded (not stored) to find out.
TEST_F(PcxReader, ReportDamageNamesDataThatEndsEarly) {
    const uint8_t S = kSentinel;
    // 3 x 4, BytesPerLine 4: rows 0 and 1 whole, row 2 cut after one byte.
    const Bytes data = {0x01, 0x02, 0x03, 0x00, 0xC4, 0x05, 0x07};
    const Bytes file = concat(header(8, 1, 0, 0, 2, 3, 4), data);
    const Bytes whole = concat(header(8, 1, 0, 0, 2, 3, 4), Bytes{0xD0, 0x09});
    for (Mode mode : {Mode::File, Mode::Buffer}) {
        SCOPED_TRACE(mode == Mode::File ? "file" : "buffer");
        int32_t handle = surface(8, 4, 4);
        EXPECT_EQ(display(mode, file, PCX_KEEP_PALETTE | PCX_REPORT_DAMAGE), PCX_DAMAGED);
        EXPECT_EQ(testenv::surface_rows(handle), (Bytes{1, 2, 3, S, 5, 5, 5, S, 7, 5, 5, S, 7, 5, 5, S}));
        EXPECT_EQ(display(mode, whole, PCX_KEEP_PALETTE | PCX_REPORT_DAMAGE), PCX_OK);
        EXPECT_EQ(testenv::surface_rows(handle), Bytes({9, 9, 9, S, 9, 9, 9, S, 9, 9, 9, S, 9, 9, 9, S}));
        // The surface shows rows 0 and 1, which are whole.
        handle = surface(8, 4, 2);
        EXPECT_EQ(display(mode, file, PCX_KEEP_PALETTE), PCX_OK);
        EXPECT_EQ(display(mode, file, PCX_KEEP_PALETTE | PCX_REPORT_DAMAGE), PCX_DAMAGED);
        EXPECT_EQ(testenv::surface_rows(handle), (Bytes{1, 2, 3, S, 5, 5, 5, S}));
        EXPECT_EQ(display(mode, whole, PCX_KEEP_PALETTE | PCX_REPORT_DAMAGE), PCX_OK);
    }
    // The palette stage runs as without the flag: a 16-colour picture cut
    // in its first row loads its header's colours into a 32-bit surface.
    const pcxwrite::Picture p = make_picture(Layout::FourPlane, 9, 3);
    pcxwrite::Options o;
    o.layout = Layout::FourPlane;
    const Bytes four = make_file(p, o);
    surface(32, 9, 3);
    Bytes expected = palette_rgb(0, 256);
    std::copy(p.palette.begin(), p.palette.begin() + 48, expected.begin());
    EXPECT_EQ(display(Mode::Buffer, Bytes(four.begin(), four.begin() + 131), PCX_REPORT_DAMAGE), PCX_DAMAGED);
    EXPECT_EQ(palette_rgb(0, 256), expected);
}

TEST_F(PcxReader, DataEndingInALineThatBeganWithCarriedBytesRepeatsThatLine) {
    for (Mode mode : {Mode::File, Mode::Buffer}) {
        SCOPED_TRACE(mode == Mode::File ? "file" : "buffer");
        const int32_t handle = surface(8, 4, 4);
        // 4 x 4: a run of six 5s fills line 0 and carries two bytes into line
        // 1, which then gets one 9 before the data ends. Line 1 keeps line 0's
        // last byte beyond that; lines 2 and 3 have nothing left to decode.
        const Bytes data = {0xC6, 0x05, 0x09};
        EXPECT_EQ(display(mode, concat(header(8, 1, 0, 0, 3, 3, 4), data), PCX_KEEP_PALETTE), PCX_OK);
        const Bytes expected = {5, 5, 5, 5, 5, 5, 9, 5, 5, 5, 9, 5, 5, 5, 9, 5};
        EXPECT_EQ(testenv::surface_rows(handle), expected);
    }
}

// ---- the stream decoder against a plain model ----------------------------------
//
// pcx_line_model.h decodes a byte at a time, as the format describes.

using pcxmodel::Flavour;
using pcxmodel::random_stream;

TEST_F(PcxReader, DecodedLinesMatchAPlainModelForAnyStreamAndCut) {
    std::mt19937 dice(20240611);
    struct Shape {
        int planes;  // 1: 8-bit into an 8-bit surface, 3: true colour into 32 bits
        int width;
        int bpl;
        int rows;
    };
    // Lines shorter than, equal to and just past the decoder's 16-byte step,
    // padded lines, and lines long enough that 4096-byte file blocks end
    // inside them.
    const Shape shapes[] = {{1, 3, 3, 40},   {1, 15, 15, 30},   {1, 16, 16, 30}, {1, 17, 19, 30}, {1, 33, 40, 25},
                            {1, 61, 61, 90}, {1, 701, 703, 14}, {3, 5, 6, 30},   {3, 18, 21, 20}, {3, 333, 335, 12}};
    for (const Shape& shape : shapes) {
        const int bpp = shape.planes == 1 ? 8 : 32;
        const int pixel = bpp / 8;
        const size_t line_bytes = static_cast<size_t>(shape.planes) * shape.bpl;
        const int surface_w = shape.width + 3;
        const int surface_h = shape.rows + 2;
        for (int trial = 0; trial < 18; ++trial) {
            const Flavour flavour = static_cast<Flavour>(trial % 3);
            const Bytes full = random_stream(dice, line_bytes * shape.rows + dice() % 70, flavour);
            // Whole, cut at a random byte, and cut within the first line.
            const size_t cuts[] = {full.size(), dice() % (full.size() + 1), dice() % (line_bytes + 2)};
            for (size_t cut : cuts) {
                const Bytes stream(full.begin(), full.begin() + static_cast<long>(cut));
                const Bytes file = concat(header(8, shape.planes, 1, 1, shape.width, shape.rows, shape.bpl), stream);
                for (Mode mode : {Mode::File, Mode::Buffer}) {
                    SCOPED_TRACE(testing::Message() << shape.planes << " plane(s), width " << shape.width << ", bpl "
                                                    << shape.bpl << ", trial " << trial << ", cut " << cut << " of "
                                                    << full.size() << (mode == Mode::File ? ", file" : ", buffer"));
                    const int32_t handle = surface(bpp, surface_w, surface_h);
                    Bytes scratch_before(raster::kScratchSize);
                    for (size_t i = 0; i < scratch_before.size(); ++i) {
                        scratch_before[i] = static_cast<uint8_t>(i * 7 + trial);
                    }
                    std::memcpy(raster::state.scratch_area, scratch_before.data(), scratch_before.size());
                    ASSERT_EQ(display(mode, file, PCX_KEEP_PALETTE), PCX_OK);

                    const pcxmodel::Decoded model =
                        pcxmodel::model_lines(stream, line_bytes, shape.rows, scratch_before);
                    // Nothing else in scratch_area changes.
                    EXPECT_EQ(Bytes(raster::state.scratch_area, raster::state.scratch_area + raster::kScratchSize),
                              model.scratch_after);
                    const Bytes rows = testenv::surface_rows(handle);
                    const size_t stride = rows.size() / surface_h;
                    Bytes expected(rows.size(), kSentinel);
                    for (int r = 0; r < shape.rows; ++r) {
                        const Bytes& line = model.lines[static_cast<size_t>(r)];
                        for (int x = 0; x < shape.width; ++x) {
                            uint8_t* at =
                                &expected[static_cast<size_t>(r + 1) * stride + static_cast<size_t>(x + 1) * pixel];
                            if (shape.planes == 1) {
                                at[0] = line[static_cast<size_t>(x)];
                            } else {
                                at[0] = line[static_cast<size_t>(2 * shape.bpl + x)];
                                at[1] = line[static_cast<size_t>(shape.bpl + x)];
                                at[2] = line[static_cast<size_t>(x)];
                            }
                        }
                    }
                    expect_surface(handle, expected, bpp, static_cast<int>(stride) / pixel);
                    if (testing::Test::HasFailure()) return;
                }
            }
        }
    }
}

// ---- palette stage -----------------------------------------------------------

TEST_F(PcxReader, KeepIndicesLoadsEntriesTenTo245Only) {
    surface(8, 8, 3);
    const Bytes before = palette_rgb(0, 256);
    const pcxwrite::Picture p = make_picture(Layout::EightBit, 7, 3);
    EXPECT_EQ(display(Mode::File, make_file(p, pcxwrite::Options{}), PCX_KEEP_INDICES), PCX_OK);
    const Bytes after = palette_rgb(0, 256);
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + 30, before.begin()));
    EXPECT_TRUE(std::equal(after.begin() + 246 * 3, after.end(), before.begin() + 246 * 3));
    EXPECT_TRUE(std::equal(after.begin() + 30, after.begin() + 246 * 3, p.palette.begin() + 30));
    for (int i = 10; i < 246; ++i) EXPECT_EQ(raster::state.logical_palette.palPalEntry[i].peFlags, PC_RESERVED);
}

TEST_F(PcxReader, WithoutKeepIndicesColoursAreRenumberedIntoTheWindow) {
    const int32_t handle = surface(8, 8, 2);
    // Indices 200, 3, 17, 255, 0, used in this order; the surface's own
    // sentinel pixels (165) remain beside the picture.
    pcxwrite::Picture p = make_picture(Layout::EightBit, 5, 2);
    p.indices = {200, 3, 17, 255, 0, 0, 255, 17, 3, 200};
    pcxwrite::Options o;
    o.xmin = 1;
    EXPECT_EQ(display(Mode::Buffer, make_file(p, o), 0), PCX_OK);
    // Used indices in ascending order: 0, 3, 17, 165, 200, 255 -> 10..15.
    const int used[] = {0, 3, 17, kSentinel, 200, 255};
    auto renumbered = [&](int old) {
        for (int k = 0; k < 6; ++k) {
            if (used[k] == old) return static_cast<uint8_t>(10 + k);
        }
        return static_cast<uint8_t>(old);
    };
    Bytes expected(16, renumbered(kSentinel));
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 5; ++x) expected[y * 8 + 1 + x] = renumbered(p.indices[y * 5 + x]);
    }
    EXPECT_EQ(testenv::surface_rows(handle), expected);
    for (int k = 0; k < 6; ++k) {
        SCOPED_TRACE(k);
        const PALETTEENTRY& e = raster::state.logical_palette.palPalEntry[10 + k];
        EXPECT_EQ(e.peRed, p.palette[used[k] * 3]);
        EXPECT_EQ(e.peGreen, p.palette[used[k] * 3 + 1]);
        EXPECT_EQ(e.peBlue, p.palette[used[k] * 3 + 2]);
    }
    // Past the used colours the window keeps the array's leftover entries
    // (colours are moved, not cleared), and entry 16 is the file's entry 6.
    EXPECT_EQ(palette_rgb(16, 1), Bytes(p.palette.begin() + 18, p.palette.begin() + 21));
}

TEST_F(PcxReader, HeaderColoursAndTheTrailerFallback) {
    const pcxwrite::Picture p = make_picture(Layout::EightBit, 5, 3);
    Bytes header_colours(p.palette.begin(), p.palette.begin() + 48);
    pcxwrite::Options o;
    o.version = 5;
    const Bytes good = make_file(p, o);
    Bytes bad_marker = good;
    bad_marker[good.size() - 769] = 13;
    Bytes cut_trailer(good.begin(), good.end() - 769 + 100);
    o.version = 3;
    const Bytes old_version = make_file(p, o);
    struct Case {
        const char* name;
        const Bytes* file;
    } cases[] = {{"marker 13", &bad_marker}, {"trailer cut", &cut_trailer}, {"version 3", &old_version}};
    for (const Case& c : cases) {
        for (Mode mode : {Mode::File, Mode::Buffer}) {
            SCOPED_TRACE(testing::Message() << c.name << (mode == Mode::File ? " file" : " buffer"));
            surface(8, 8, 3);
            const Bytes before = palette_rgb(0, 256);
            EXPECT_EQ(display(mode, *c.file, PCX_KEEP_INDICES), PCX_OK);
            Bytes expected = before;
            std::copy(header_colours.begin(), header_colours.end(), expected.begin() + 30);
            EXPECT_EQ(palette_rgb(0, 256), expected);

            surface(32, 8, 3);
            expected = palette_rgb(0, 256);
            EXPECT_EQ(display(mode, *c.file, PCX_KEEP_INDICES), PCX_OK);
            std::copy(header_colours.begin(), header_colours.end(), expected.begin());
            EXPECT_EQ(palette_rgb(0, 256), expected);
            // The codec tells that the picture's colours are unknown and
            // gives a grey ramp (index i as i, i, i) in their place, so that
            // its RGB pixels still show it.
            pcx_facts facts;
            ASSERT_EQ(pcx_inspect(c.file->data(), c.file->size(), &facts), PCX_OK);
            Bytes told;
            for (int i = 0; i < 256; ++i) told.insert(told.end(), 3, static_cast<uint8_t>(i));
            EXPECT_EQ(Bytes(facts.palette, facts.palette + 768), told);
            EXPECT_EQ(facts.colour_source, PCX_COLOURS_HEADER);
            EXPECT_EQ(facts.damage, PCX_DAMAGE_NO_TRAILER);
        }
    }
    // A file shorter than a header and a trailer has no trailer, even where
    // the byte 769 from its end (here Xmin's low byte, 12) looks like one.
    const Bytes short_file = concat(header(8, 1, 12, 0, 12 + 644, 0, 645), Bytes(645, 0x21));
    ASSERT_EQ(short_file.size(), 773u);
    const Bytes short_header_colours(short_file.begin() + 16, short_file.begin() + 64);
    for (Mode mode : {Mode::File, Mode::Buffer}) {
        SCOPED_TRACE(mode == Mode::File ? "short file" : "short buffer");
        surface(8, 8, 1);
        move_to(0, 0);
        Bytes expected = palette_rgb(0, 256);
        std::copy(short_header_colours.begin(), short_header_colours.end(), expected.begin() + 30);
        EXPECT_EQ(display(mode, short_file, PCX_AT_POSITION | PCX_KEEP_INDICES), PCX_OK);
        EXPECT_EQ(palette_rgb(0, 256), expected);
    }
}

// Which colours a picture brings: the header's, the trailer's or the
// standard ones, by layout, version and the header's contents, on an 8-bit
// and a 32-bit surface.
TEST_F(PcxReader, PaletteSourcesByLayoutHeaderAndTrailer) {
    const Bytes standard = {0x00, 0x00, 0x00, 0x00, 0x00, 0xAA, 0x00, 0xAA, 0x00, 0x00, 0xAA, 0xAA,
                            0xAA, 0x00, 0x00, 0xAA, 0x00, 0xAA, 0xAA, 0xAA, 0x00, 0xAA, 0xAA, 0xAA,
                            0x55, 0x55, 0x55, 0x55, 0x55, 0xFF, 0x55, 0xFF, 0x55, 0x55, 0xFF, 0xFF,
                            0xFF, 0x55, 0x55, 0xFF, 0x55, 0xFF, 0xFF, 0xFF, 0x55, 0xFF, 0xFF, 0xFF};
    Bytes black_white = standard;
    std::fill(black_white.begin() + 3, black_white.begin() + 6, 0xFF);
    Bytes distinct(48), eight_equal(48, 9), pillow_1bit(48, 0), trailer(256 * 3);
    for (int i = 0; i < 48; ++i) distinct[i] = static_cast<uint8_t>(i * 5 + 2);
    for (int i = 24; i < 48; ++i) eight_equal[i] = static_cast<uint8_t>(i);
    std::fill(pillow_1bit.begin() + 24, pillow_1bit.end(), 0xFF);  // 8 x black, 8 x white
    for (int i = 0; i < 768; ++i) trailer[i] = static_cast<uint8_t>(i * 3 + 1);
    const Bytes trailer16(trailer.begin(), trailer.begin() + 48);
    struct Case {
        const char* name;
        Layout layout;
        int version;  // 5: the writer adds the trailer
        Bytes header_colours;
        bool append_trailer;
        Bytes expected16;  // entries 10..25 (8-bit) or 0..15; empty: the trailer's 256
        int32_t source;    // as the codec names it
    } cases[] = {
        {"1-bit, header used despite a trailer", Layout::OneBit, 5, distinct, false, distinct, PCX_COLOURS_HEADER},
        {"2-bit packed, header used despite a trailer", Layout::PackedTwoBit, 5, distinct, false, distinct,
         PCX_COLOURS_HEADER},
        {"1-bit, two equal colours", Layout::OneBit, 2, pillow_1bit, false, black_white, PCX_COLOURS_BLACK_WHITE},
        {"4-bit packed, empty header", Layout::PackedFourBit, 3, Bytes(48, 0), false, standard, PCX_COLOURS_STANDARD},
        {"4-plane, empty header, version 0", Layout::FourPlane, 0, Bytes(48, 0), false, standard, PCX_COLOURS_STANDARD},
        {"3-plane, its eight colours equal", Layout::ThreePlane, 5, eight_equal, false, {}, PCX_COLOURS_TRAILER},
        {"3-plane, its eight colours equal, no trailer", Layout::ThreePlane, 3, eight_equal, false, standard,
         PCX_COLOURS_STANDARD},
        {"2-plane, one colour, trailer on version 3",
         Layout::TwoPlane,
         3,
         Bytes(48, 0x10),
         true,
         {},
         PCX_COLOURS_TRAILER},
    };
    for (const Case& c : cases) {
        pcxwrite::Picture p = make_picture(c.layout, 5, 2);
        p.palette = trailer;
        pcxwrite::Options o;
        o.layout = c.layout;
        o.version = c.version;
        Bytes file = make_file(p, o);
        std::copy(c.header_colours.begin(), c.header_colours.end(), file.begin() + 16);
        if (c.append_trailer) {
            file.push_back(12);
            file.insert(file.end(), trailer.begin(), trailer.end());
        }
        for (int bpp : {8, 32}) {
            SCOPED_TRACE(testing::Message() << c.name << ", " << bpp << " bits");
            const int32_t handle = surface(bpp, 8, 2);
            Bytes expected = palette_rgb(0, 256);
            if (bpp == 8) {
                const Bytes& colours = c.expected16.empty() ? trailer16 : c.expected16;
                std::copy(colours.begin(), colours.end(), expected.begin() + 30);
            } else {
                const Bytes& colours = c.expected16.empty() ? trailer : c.expected16;
                std::copy(colours.begin(), colours.end(), expected.begin());
            }
            // Without PCX_KEEP_INDICES: pictures of up to 16 colours are
            // never reduced.
            EXPECT_EQ(display(Mode::Buffer, file, 0), PCX_OK);
            EXPECT_EQ(palette_rgb(0, 256), expected);
            if (bpp == 8) {
                EXPECT_EQ(testenv::pixel_address(handle, 0, 0)[0], 10 + p.indices[0]);
                EXPECT_EQ(testenv::pixel_address(handle, 4, 1)[0], 10 + p.indices[9]);
            } else {
                // The codec tells exactly the entries set here, the rest 0.
                pcx_facts facts;
                ASSERT_EQ(pcx_inspect(file.data(), file.size(), &facts), PCX_OK);
                const Bytes& colours = c.expected16.empty() ? trailer : c.expected16;
                Bytes told(768, 0);
                std::copy(colours.begin(), colours.end(), told.begin());
                EXPECT_EQ(Bytes(facts.palette, facts.palette + 768), told);
                EXPECT_EQ(facts.colour_source, c.source);
            }
        }
    }
    // 8-bit pictures take a trailer whatever the version.
    pcxwrite::Picture p = make_picture(Layout::EightBit, 5, 2);
    pcxwrite::Options o;
    o.version = 3;
    Bytes file = concat(make_file(p, o), Bytes{12});
    file.insert(file.end(), trailer.begin(), trailer.end());
    for (int bpp : {8, 32}) {
        SCOPED_TRACE(testing::Message() << "8-bit, version 3 with a trailer, " << bpp << " bits");
        surface(bpp, 8, 2);
        const Bytes before = palette_rgb(0, 256);
        EXPECT_EQ(display(Mode::File, file, PCX_KEEP_INDICES), PCX_OK);
        Bytes expected = trailer;
        if (bpp == 8) {
            std::copy(before.begin(), before.begin() + 30, expected.begin());
            std::copy(before.begin() + 246 * 3, before.end(), expected.begin() + 246 * 3);
        }
        EXPECT_EQ(palette_rgb(0, 256), expected);
    }
}

TEST_F(PcxReader, KeepPaletteChangesNoEntry) {
    for (int bpp : {8, 16}) {
        SCOPED_TRACE(bpp);
        const int32_t handle = surface(bpp, 4, 1);
        uint8_t native_before[1024];
        std::memcpy(native_before, raster::state.native_color_table, sizeof native_before);
        const Bytes before = palette_rgb(0, 256);
        pcxwrite::Picture p = make_picture(Layout::EightBit, 3, 1);
        EXPECT_EQ(display(Mode::Buffer, make_file(p, pcxwrite::Options{}), PCX_KEEP_PALETTE), PCX_OK);
        EXPECT_EQ(palette_rgb(0, 256), before);
        EXPECT_EQ(std::memcmp(native_before, raster::state.native_color_table, sizeof native_before), 0);
        // Pixels still go through the table as it was.
        if (bpp == 16) {
            EXPECT_EQ(std::memcmp(testenv::pixel_address(handle, 1, 0), native_before + p.indices[1] * 2, 2), 0);
        } else {
            EXPECT_EQ(testenv::pixel_address(handle, 1, 0)[0], p.indices[1]);
        }
    }
}

TEST_F(PcxReader, TrueColourPicturesLeaveThePaletteAlone) {
    surface(24, 4, 2);
    const Bytes before = palette_rgb(0, 256);
    pcxwrite::Options o;
    o.layout = Layout::TrueColor;
    EXPECT_EQ(display(Mode::File, make_file(make_picture(Layout::TrueColor, 3, 2), o), 0), PCX_OK);
    EXPECT_EQ(palette_rgb(0, 256), before);
}

// ---- placement -------------------------------------------------------------------

TEST_F(PcxReader, AtPositionPutsTheUpperLeftCornerAtTheGraphicsPosition) {
    const pcxwrite::Picture p = make_picture(Layout::EightBit, 3, 2);
    pcxwrite::Options o;
    o.xmin = 40;  // far outside the surface: ignored with the flag
    o.ymin = 30;
    const Bytes file = make_file(p, o);
    for (int bpp : {8, 24}) {
        SCOPED_TRACE(bpp);
        int32_t handle = surface(bpp, 8, 5);
        move_to(0, 0);
        EXPECT_EQ(display(Mode::Buffer, file, PCX_AT_POSITION | PCX_KEEP_INDICES), PCX_OK);
        expect_surface(handle, expected_surface(p, Layout::EightBit, bpp, 8, 5, 0, 0), bpp, 8);
        handle = surface(bpp, 8, 5);
        move_to(6, 4);
        EXPECT_EQ(display(Mode::Buffer, file, PCX_AT_POSITION | PCX_KEEP_INDICES), PCX_OK);
        expect_surface(handle, expected_surface(p, Layout::EightBit, bpp, 8, 5, 6, 4), bpp, 8);
    }
}

TEST_F(PcxReader, PlacementBeforeOrPastTheSurfaceIsRefused) {
    const pcxwrite::Picture p = make_picture(Layout::EightBit, 3, 2);
    pcxwrite::Options o;
    const Bytes file = make_file(p, o);
    struct Case {
        int x, y;
    } cases[] = {{-1, 0}, {0, -1}, {-3, -2}, {8, 0}, {0, 5}, {INT32_MAX, 0}, {0, INT32_MAX}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        const int32_t handle = surface(8, 8, 5);
        const Bytes before = palette_rgb(0, 256);
        move_to(c.x, c.y);
        EXPECT_EQ(display(Mode::Buffer, file, PCX_AT_POSITION), PCX_OUTSIDE);
        EXPECT_EQ(testenv::surface_rows(handle), Bytes(40, kSentinel));
        EXPECT_EQ(palette_rgb(0, 256), before);
    }
    // Xmin and Ymin past the surface (they are unsigned: 0xFFF0 is 65520,
    // not -16).
    Bytes distant = file;
    put16(distant, 4, 0xFFF0);
    put16(distant, 8, 0xFFF2);
    const int32_t handle = surface(8, 8, 5);
    EXPECT_EQ(display(Mode::Buffer, distant, 0), PCX_OUTSIDE);
    EXPECT_EQ(testenv::surface_rows(handle), Bytes(40, kSentinel));
}

// ---- damaged and hostile headers ------------------------------------------------------

TEST_F(PcxReader, UnusableHeadersAreRefusedWithNothingStored) {
    const Bytes data(64, 0x05);
    struct Case {
        const char* name;
        Bytes file;
        int32_t result;
    } cases[] = {
        {"manufacturer 11",
         [&] {
             Bytes h = header(8, 1, 0, 0, 2, 1, 4);
             h[0] = 11;
             return h;
         }(),
         PCX_BAD_HEADER},
        {"Xmax below Xmin", header(8, 1, 5, 0, 4, 1, 4), PCX_BAD_HEADER},
        {"Ymax below Ymin", header(8, 1, 0, 3, 2, 2, 4), PCX_BAD_HEADER},
        {"BytesPerLine 0", header(8, 1, 0, 0, 2, 1, 0), PCX_BAD_LAYOUT},
        {"BytesPerLine below the width", header(8, 1, 0, 0, 2, 1, 2), PCX_BAD_LAYOUT},
        {"1-bit BytesPerLine below the width", header(1, 1, 0, 0, 8, 1, 1), PCX_BAD_LAYOUT},
        {"4-plane BytesPerLine 0", header(1, 4, 0, 0, 2, 1, 0), PCX_BAD_LAYOUT},
        {"true colour BytesPerLine below the width", header(8, 3, 0, 0, 4, 1, 4), PCX_BAD_LAYOUT},
        {"BytesPerLine huge (reads as negative when signed)", header(8, 1, 0, 0, 2, 1, 0xFFFF), PCX_BAD_LAYOUT},
        {"line one byte too long", header(8, 1, 0, 0, 2, 1, 10179), PCX_BAD_LAYOUT},
        {"NPlanes 0", header(8, 0, 0, 0, 2, 1, 4), PCX_BAD_LAYOUT},
        {"NPlanes 200 (negative when signed)", header(8, 200, 0, 0, 2, 1, 52), PCX_BAD_LAYOUT},
        // Combinations no reader stores.
        {"8 bits in 2 planes", header(8, 2, 0, 0, 2, 1, 4), PCX_BAD_LAYOUT},
        {"1 bit in 5 planes", header(1, 5, 0, 0, 2, 1, 4), PCX_BAD_LAYOUT},
        {"2 bits in 2 planes", header(2, 2, 0, 0, 2, 1, 4), PCX_BAD_LAYOUT},
        {"4 bits in 4 planes", header(4, 4, 0, 0, 2, 1, 4), PCX_BAD_LAYOUT},
        {"8 bits in 5 planes", header(8, 5, 0, 0, 2, 1, 4), PCX_BAD_LAYOUT},
        {"24 bits in 1 plane", header(24, 1, 0, 0, 2, 1, 12), PCX_BAD_LAYOUT},
        {"3 bits in 1 plane", header(3, 1, 0, 0, 2, 1, 4), PCX_BAD_LAYOUT},
        {"2-bit BytesPerLine below the width", header(2, 1, 0, 0, 4, 1, 1), PCX_BAD_LAYOUT},
        {"4-bit BytesPerLine below the width", header(4, 1, 0, 0, 2, 1, 1), PCX_BAD_LAYOUT},
        {"RGBA line one byte too long", header(8, 4, 0, 0, 2, 1, 2545), PCX_BAD_LAYOUT},
    };
    for (const Case& c : cases) {
        for (Mode mode : {Mode::File, Mode::Buffer}) {
            SCOPED_TRACE(testing::Message() << c.name << (mode == Mode::File ? " file" : " buffer"));
            const int32_t handle = surface(8, 8, 3);
            const Bytes before = palette_rgb(0, 256);
            EXPECT_EQ(display(mode, concat(c.file, data), 0), c.result);
            EXPECT_EQ(testenv::surface_rows(handle), Bytes(24, kSentinel));
            EXPECT_EQ(palette_rgb(0, 256), before);
            // pcx_info refuses the same files the same way, writing nothing.
            int32_t out[3] = {kUnwritten, kUnwritten, kUnwritten};
            EXPECT_EQ(info(mode, concat(c.file, data), out), c.result);
            EXPECT_EQ(std::vector<int32_t>(out, out + 3), std::vector<int32_t>(3, kUnwritten));
        }
    }
}

TEST_F(PcxReader, AcceptedOddHeaders) {
    // The longest line accepted, with a run writing 62 bytes past its end:
    // the reader's neighbouring state must be untouched.
    const int32_t handle = surface(8, 4, 2);
    Bytes file = header(8, 1, 0, 0, 2, 1, 10178);
    Bytes data;
    for (int i = 0; i < 10178 / 63; ++i) data.insert(data.end(), {0xFF, 0x04});  // 10143 bytes
    data.insert(data.end(), {0xE2, 0x04});                                       // 34 more: one byte short of the line
    data.insert(data.end(), {0xFF, 0x06});                                       // 63: the last 62 go past the line
    const Bytes full = concat(file, data);
    EXPECT_EQ(display(Mode::Buffer, full, PCX_KEEP_PALETTE), PCX_OK);
    EXPECT_EQ(std::memcmp(raster::state.pcx_header, full.data(), 128), 0);
    EXPECT_EQ(testenv::surface_rows(handle), (Bytes{4, 4, 4, kSentinel, 6, 6, 6, kSentinel}));
}

TEST_F(PcxReader, ShortBuffersAndFiles) {
    const Bytes file = make_file(make_picture(Layout::EightBit, 3, 2), pcxwrite::Options{});
    for (Mode mode : {Mode::File, Mode::Buffer}) {
        SCOPED_TRACE(mode == Mode::File ? "file" : "buffer");
        for (size_t size : {size_t{0}, size_t{1}, size_t{127}}) {
            SCOPED_TRACE(size);
            const int32_t handle = surface(8, 4, 2);
            const Bytes cut(file.begin(), file.begin() + static_cast<long>(size));
            EXPECT_EQ(display(mode, cut, 0), PCX_BAD_HEADER);
            EXPECT_EQ(testenv::surface_rows(handle), Bytes(8, kSentinel));
            int32_t out[3] = {kUnwritten, kUnwritten, kUnwritten};
            EXPECT_EQ(info(mode, cut, out), PCX_BAD_HEADER);
            EXPECT_EQ(out[0], kUnwritten);
        }
        // Only the header: every row keeps what scanline_buffer held.
        const int32_t handle = surface(8, 4, 2);
        std::memset(raster::state.scratch_area, 0x3C, 16);
        EXPECT_EQ(display(mode, Bytes(file.begin(), file.begin() + 128), PCX_KEEP_PALETTE), PCX_OK);
        EXPECT_EQ(testenv::surface_rows(handle), (Bytes{0x3C, 0x3C, 0x3C, kSentinel, 0x3C, 0x3C, 0x3C, kSentinel}));
    }
}

// ---- calls without a surface, a file, or a block ---------------------------------------

TEST_F(PcxReader, NoActiveSurfaceDoesNothing) {
    const Bytes before = palette_rgb(0, 256);
    EXPECT_EQ(pcx_display(temp_path("does-not-exist.pcx").c_str(), 0), PCX_OK);
    EXPECT_EQ(pcx_display(nullptr, 0), PCX_OK);
    EXPECT_EQ(palette_rgb(0, 256), before);
}

TEST_F(PcxReader, MissingFileOrNameFailsToOpen) {
    surface(8, 4, 1);
    const std::string missing = temp_path("does-not-exist.pcx");
    EXPECT_EQ(pcx_display(missing.c_str(), 0), PCX_OPEN_FAILED);
    EXPECT_EQ(pcx_display(nullptr, 0), PCX_OPEN_FAILED);
    int32_t out[3] = {kUnwritten, kUnwritten, kUnwritten};
    EXPECT_EQ(pcx_info(missing.c_str(), 0, &out[0], &out[1], &out[2]), PCX_OPEN_FAILED);
    EXPECT_EQ(pcx_info(nullptr, 0, &out[0], &out[1], &out[2]), PCX_OPEN_FAILED);
    EXPECT_EQ(std::vector<int32_t>(out, out + 3), std::vector<int32_t>(3, kUnwritten));
}

// ---- pcx_info ----------------------------------------------------------------------

TEST_F(PcxReader, InfoTellsSizeAndColoursOfEveryLayoutAndChangesNothing) {
    for (bool with_surface : {false, true}) {
        // An 8-bit surface refuses true colour, but pcx_info is about the file.
        if (with_surface) surface(8, 4, 2);
        for (const LayoutCase& layout : kLayouts) {
            for (Mode mode : {Mode::File, Mode::Buffer}) {
                SCOPED_TRACE(testing::Message() << layout.name << (mode == Mode::File ? " file" : " buffer")
                                                << (with_surface ? ", 8-bit surface active" : ""));
                pcxwrite::Options o;
                o.layout = layout.layout;
                o.xmin = 300;  // far outside any surface: no matter
                o.ymin = 2;
                const Bytes file = make_file(make_picture(layout.layout, 13, 1), o);
                const Bytes palette_before = palette_rgb(0, 256);
                const Bytes header_before(raster::state.pcx_header, raster::state.pcx_header + 128);
                int32_t out[3] = {kUnwritten, kUnwritten, kUnwritten};
                EXPECT_EQ(info(mode, file, out), PCX_OK);
                EXPECT_EQ(out[0], 13);
                EXPECT_EQ(out[1], 1);
                EXPECT_EQ(out[2], layout.colours == 0 ? 16777216 : layout.colours);
                EXPECT_EQ(palette_rgb(0, 256), palette_before);
                EXPECT_EQ(Bytes(raster::state.pcx_header, raster::state.pcx_header + 128), header_before);
            }
        }
    }
    // Missing out-pointers: refused before the file is looked at.
    const Bytes file = make_file(make_picture(Layout::EightBit, 3, 2), pcxwrite::Options{});
    int32_t out[2] = {kUnwritten, kUnwritten};
    pcx_set_buffer(file.data(), static_cast<uint32_t>(file.size()));
    EXPECT_EQ(pcx_info(nullptr, PCX_FROM_BUFFER, nullptr, &out[0], &out[1]), RASTER_REFUSED);
    EXPECT_EQ(pcx_info(nullptr, PCX_FROM_BUFFER, &out[0], nullptr, &out[1]), RASTER_REFUSED);
    EXPECT_EQ(pcx_info(nullptr, PCX_FROM_BUFFER, &out[0], &out[1], nullptr), RASTER_REFUSED);
    pcx_set_buffer(nullptr, 0);
    EXPECT_EQ(std::vector<int32_t>(out, out + 2), std::vector<int32_t>(2, kUnwritten));
}

TEST_F(PcxReader, SetBufferPointsReadsAndGoesBack) {
    const pcxwrite::Picture p = make_picture(Layout::EightBit, 3, 1);
    const Bytes file = make_file(p, pcxwrite::Options{});
    EXPECT_EQ(pcx_set_buffer(file.data(), static_cast<uint32_t>(file.size())), 0);
    EXPECT_EQ(raster::state.work_buffer_pointer, file.data());
    EXPECT_EQ(raster::state.work_buffer_size, file.size());
    EXPECT_EQ(pcx_set_buffer(nullptr, 5), RASTER_REFUSED);
    EXPECT_EQ(raster::state.work_buffer_pointer, file.data());

    // File reads never use the caller's block, and leave the pointer alone.
    const int32_t handle = surface(8, 4, 1);
    const std::string path = temp_path("set_buffer.pcx");
    ASSERT_TRUE(pcxwrite::write_file(path, file));
    const Bytes copy = file;
    EXPECT_EQ(pcx_display(path.c_str(), PCX_KEEP_INDICES), PCX_OK);
    std::filesystem::remove(path);
    EXPECT_EQ(file, copy);
    EXPECT_EQ(raster::state.work_buffer_pointer, file.data());
    EXPECT_EQ(raster::state.work_buffer_size, file.size());
    EXPECT_EQ(testenv::surface_rows(handle), (Bytes{p.indices[0], p.indices[1], p.indices[2], kSentinel}));

    // Back to the library's own block, which the caller may fill.
    EXPECT_EQ(pcx_set_buffer(nullptr, 0), 0);
    EXPECT_EQ(raster::state.work_buffer_pointer, raster::state.work_buffer);
    EXPECT_EQ(raster::state.work_buffer_size, 4096u);
    std::memset(raster::state.work_buffer, 0, 4096);
    const Bytes own = concat(header(8, 1, 0, 0, 2, 0, 4), {0x2A, 0x2B, 0x2C, 0x00});
    std::memcpy(raster::state.work_buffer, own.data(), own.size());
    testenv::fill_surface(handle, kSentinel);
    EXPECT_EQ(pcx_display(nullptr, PCX_FROM_BUFFER | PCX_KEEP_PALETTE), PCX_OK);
    EXPECT_EQ(testenv::surface_rows(handle), (Bytes{0x2A, 0x2B, 0x2C, kSentinel}));
}

}  // namespace

// ---- inputs kept from fuzzing ----------------------------------------------------------

// Every file in corpus_regressions/ is a fuzzer input that once broke a
// reader: three control bytes (depth, mode, flags, surface size, graphics
// position; see tests/fuzz/pcx_fuzz.cpp) and then the picture. Each must give
// a documented result, in both modes, without touching anything beyond
// scanline_buffer (the header copy right after it must survive).
namespace regressions {

constexpr int kDepths[4] = {8, 16, 24, 32};
constexpr int kSizes[4][2] = {{37, 21}, {5, 3}, {64, 1}, {1, 70}};

Bytes read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace regressions

TEST_F(PcxReader, InputsKeptFromFuzzing) {
    const std::filesystem::path dir = PCX_REGRESSIONS_DIR;
    std::map<std::string, int32_t> expected_results = {{"overlong_true_colour_line.bin", PCX_BAD_LAYOUT}};
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const Bytes input = regressions::read_file(entry.path());
        if (input.size() < 3) continue;
        ++files;
        const std::string name = entry.path().filename().string();
        const uint8_t control = input[0];
        int32_t flags = 0;
        if (control & 8) flags |= PCX_KEEP_PALETTE;
        if (control & 16) flags |= PCX_AT_POSITION;
        if (control & 32) flags |= PCX_KEEP_INDICES;
        const Bytes picture(input.begin() + 3, input.end());
        for (Mode mode : {Mode::File, Mode::Buffer}) {
            SCOPED_TRACE(testing::Message() << name << (mode == Mode::File ? " file" : " buffer"));
            surface(regressions::kDepths[control & 3], regressions::kSizes[control >> 6][0],
                    regressions::kSizes[control >> 6][1]);
            move_to(static_cast<int8_t>(input[1]), static_cast<int8_t>(input[2]));
            const int32_t result = display(mode, picture, flags);
            EXPECT_GE(result, PCX_OK);
            EXPECT_LE(result, PCX_OUTSIDE);
            auto known = expected_results.find(name);
            if (known != expected_results.end()) {
                EXPECT_EQ(result, known->second);
            }
            if (picture.size() >= 128) {
                EXPECT_EQ(std::memcmp(raster::state.pcx_header, picture.data(), 128), 0);
            }
        }
    }
    EXPECT_GE(files, 1);
}
