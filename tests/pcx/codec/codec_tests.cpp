// The PCX codec on its own (linked without the library): every layout into
// every format, the facts, refused calls, pictures cut at every byte, and
// the plain and SSE2 line decoders against a byte-at-a-time model.
// Expected pixels come from the pictures given to the test writer.
#include <gtest/gtest.h>

#include <raster/pcx_codec.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "pcx_line_model.h"
#include "pcx_writer.h"
#include "raster/pcx/codec/line_decoder.h"

namespace {

using Bytes = std::vector<uint8_t>;
using pcxwrite::Layout;

constexpr uint8_t kSentinel = 0xA5;
constexpr size_t kGuard = 16;  // sentinel bytes before and after each destination

struct LayoutCase {
    Layout layout;
    const char* name;
    int colours;  // 0: true colour
    int bits;     // per pixel in one plane
    int planes;
};
constexpr LayoutCase kLayouts[] = {
    {Layout::OneBit, "1-bit", 2, 1, 1},        {Layout::TwoPlane, "2-plane", 4, 1, 2},
    {Layout::ThreePlane, "3-plane", 8, 1, 3},  {Layout::FourPlane, "4-plane", 16, 1, 4},
    {Layout::PackedTwoBit, "2-bit", 4, 2, 1},  {Layout::PackedFourBit, "4-bit", 16, 4, 1},
    {Layout::EightBit, "8-bit", 256, 8, 1},    {Layout::TrueColor, "true colour", 0, 8, 3},
    {Layout::TrueColorAlpha, "RGBA", 0, 8, 4},
};

// The colours of a 256-colour picture whose trailer is lost: index i as
// grey i (red, green and blue i).
Bytes grey_ramp() {
    Bytes ramp;
    for (int i = 0; i < 256; ++i)
        ramp.insert(ramp.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i)});
    return ramp;
}

// An asymmetric picture: indices or colours (and alpha) depend on x and y;
// the palette's 256 colours are all different.
pcxwrite::Picture make_picture(const LayoutCase& c, int width, int height) {
    pcxwrite::Picture p;
    p.width = width;
    p.height = height;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (c.colours == 0) {
                p.rgb.insert(p.rgb.end(),
                             {static_cast<uint8_t>(x * 41 + y * 7 + 200), static_cast<uint8_t>(x * 3 + y * 59 + 1),
                              static_cast<uint8_t>(x * y + 0xC7)});
                if (c.planes == 4) p.alpha.push_back(static_cast<uint8_t>(x * 17 + y * 90));
            } else {
                p.indices.push_back(static_cast<uint8_t>((x * 37 + y * 101 + x * y) % c.colours));
            }
        }
    }
    for (int i = 0; i < 768; ++i) p.palette[i] = static_cast<uint8_t>(i * 7 + i / 3);
    return p;
}

// The bytes pixel `pixel` of `p` decodes to; `colours` gives the index's
// colour for the RGB formats (null: black).
Bytes pixel_bytes(const pcxwrite::Picture& p, size_t pixel, int32_t format, const uint8_t* colours) {
    Bytes out;
    if (p.rgb.empty()) {
        const uint8_t index = p.indices[pixel];
        if (format == PCX_FORMAT_INDICES) return {index};
        out = colours != nullptr ? Bytes(colours + 3 * index, colours + 3 * index + 3) : Bytes(3, 0);
    } else {
        out.assign(p.rgb.begin() + static_cast<long>(pixel * 3), p.rgb.begin() + static_cast<long>(pixel * 3 + 3));
    }
    if (format == PCX_FORMAT_RGBA) out.push_back(p.alpha.empty() ? 255 : p.alpha[pixel]);
    return out;
}

// A destination of `rows` rows `stride` bytes apart, with sentinel bytes
// around it and in every row's padding.
struct Destination {
    Bytes bytes;
    size_t stride;
    size_t row_bytes;
    int rows;

    Destination(size_t row, int height, size_t padding)
        : bytes(2 * kGuard + (row + padding) * static_cast<size_t>(height), kSentinel),
          stride(row + padding),
          row_bytes(row),
          rows(height) {}
    uint8_t* pixels() { return bytes.data() + kGuard; }
    size_t capacity() const { return stride * static_cast<size_t>(rows); }
    // The whole block as it must be, given each row's bytes.
    Bytes with_rows(const std::vector<Bytes>& rows_wanted) const {
        Bytes out(bytes.size(), kSentinel);
        for (size_t r = 0; r < rows_wanted.size(); ++r) {
            std::copy(rows_wanted[r].begin(), rows_wanted[r].end(),
                      out.begin() + static_cast<long>(kGuard + r * stride));
        }
        return out;
    }
};

int32_t decode(const Bytes& file, int32_t format, Destination& d, pcx_facts& facts) {
    return pcx_decode(file.data(), file.size(), format, d.pixels(), d.capacity(), static_cast<ptrdiff_t>(d.stride),
                      &facts);
}

// ---- every layout into every format ------------------------------------------------

TEST(PcxCodec, EveryLayoutIntoEveryFormat) {
    for (const LayoutCase& c : kLayouts) {
        for (int variant = 0; variant < 2; ++variant) {
            // 13 x 5; variant 1 lets runs cross lines, pads each plane with
            // three bytes and has no trailer.
            const pcxwrite::Picture p = make_picture(c, 13, 5);
            pcxwrite::Options o;
            o.layout = c.layout;
            o.runs_cross_lines = variant == 1;
            o.version = variant == 1 ? 3 : 5;
            o.pad_value = 0xC9;
            if (variant == 1) o.bytes_per_line = (13 * c.bits + 7) / 8 + 3;
            const Bytes file = pcxwrite::encode(p, o);
            ASSERT_FALSE(file.empty());
            const bool trailer = c.colours != 0 && variant == 0;
            for (int32_t format : {PCX_FORMAT_INDICES, PCX_FORMAT_RGB, PCX_FORMAT_RGBA}) {
                SCOPED_TRACE(testing::Message() << c.name << ", variant " << variant << ", format " << format);
                Destination d(13 * static_cast<size_t>(format), 5, 3);
                pcx_facts facts;
                const int32_t result = decode(file, format, d, facts);
                if (c.colours == 0 && format == PCX_FORMAT_INDICES) {
                    EXPECT_EQ(result, RASTER_REFUSED);
                    EXPECT_EQ(d.bytes, Bytes(d.bytes.size(), kSentinel));
                    continue;
                }
                ASSERT_EQ(result, PCX_OK);
                // 8-bit pictures without a trailer show their indices as
                // greys.
                Bytes colours(p.palette.begin(), p.palette.begin() + 768);
                if (c.colours == 256 && !trailer) colours = grey_ramp();
                std::vector<Bytes> rows(5);
                for (size_t i = 0; i < 13 * 5; ++i) {
                    const Bytes px = pixel_bytes(p, i, format, colours.data());
                    rows[i / 13].insert(rows[i / 13].end(), px.begin(), px.end());
                }
                EXPECT_EQ(d.bytes, d.with_rows(rows));
                EXPECT_EQ(facts.rows_decoded, 5);
                EXPECT_EQ(facts.data_bytes, static_cast<int64_t>(file.size() - 128 - (trailer ? 769 : 0)));
                EXPECT_EQ(facts.damage, c.colours == 256 && !trailer ? PCX_DAMAGE_NO_TRAILER : 0);
                EXPECT_EQ(facts.notes, variant == 1 ? PCX_NOTE_ODD_LINE_BYTES : 0);
                EXPECT_EQ(facts.colours, c.colours == 0 ? 16777216 : c.colours);
                EXPECT_EQ(facts.colour_source, c.colours == 0                ? 0
                                               : c.colours == 256 && trailer ? PCX_COLOURS_TRAILER
                                                                             : PCX_COLOURS_HEADER);
            }
        }
    }
}

// The codec has no line length of its own: a 4097-pixel line of four planes
// is 16 KB.
TEST(PcxCodec, WideTrueColourLinesDecode) {
    const pcxwrite::Picture p = make_picture(kLayouts[8], 4097, 2);
    pcxwrite::Options o;
    o.layout = Layout::TrueColorAlpha;
    const Bytes file = pcxwrite::encode(p, o);
    Destination d(4097 * 4, 2, 0);
    pcx_facts facts;
    ASSERT_EQ(decode(file, PCX_FORMAT_RGBA, d, facts), PCX_OK);
    std::vector<Bytes> rows(2);
    for (size_t i = 0; i < 4097 * 2; ++i) {
        const Bytes px = pixel_bytes(p, i, PCX_FORMAT_RGBA, nullptr);
        rows[i / 4097].insert(rows[i / 4097].end(), px.begin(), px.end());
    }
    EXPECT_EQ(d.bytes, d.with_rows(rows));
    EXPECT_EQ(facts.damage, 0);
}

// ---- facts ----------------------------------------------------------------------------

void put16(Bytes& file, size_t at, int value) {
    file[at] = static_cast<uint8_t>(value);
    file[at + 1] = static_cast<uint8_t>(value >> 8);
}

Bytes header(int bits, int planes, int width, int height, int bpl) {
    Bytes h(128, 0);
    h[0] = 10;
    h[1] = 5;
    h[2] = 1;
    h[3] = static_cast<uint8_t>(bits);
    put16(h, 4, 3);
    put16(h, 6, 2);
    put16(h, 8, 3 + width - 1);
    put16(h, 10, 2 + height - 1);
    put16(h, 12, 300);
    put16(h, 14, 150);
    for (int i = 0; i < 48; ++i) h[16 + i] = static_cast<uint8_t>(i * 5 + 1);
    h[65] = static_cast<uint8_t>(planes);
    put16(h, 66, bpl);
    return h;
}

TEST(PcxCodec, FactsTellTheHeaderAndItsNotes) {
    struct Case {
        const char* name;
        int bits, planes, width, bpl, version, encoding;
        int32_t result, colours, notes;
    } cases[] = {
        {"8-bit, even padding", 8, 1, 13, 14, 5, 1, PCX_OK, 256, 0},
        {"8-bit, odd BytesPerLine", 8, 1, 13, 13, 5, 1, PCX_OK, 256, PCX_NOTE_ODD_LINE_BYTES},
        {"8-bit, more than the width needs", 8, 1, 13, 16, 5, 1, PCX_OK, 256, PCX_NOTE_ODD_LINE_BYTES},
        {"1-bit, version 7, encoding 0", 1, 1, 17, 4, 7, 0, PCX_OK, 2,
         PCX_NOTE_UNKNOWN_VERSION | PCX_NOTE_UNKNOWN_ENCODING},
        {"4-plane, version 1", 1, 4, 9, 2, 1, 1, PCX_OK, 16, PCX_NOTE_UNKNOWN_VERSION},
        {"true colour, version 3", 8, 3, 5, 6, 3, 1, PCX_OK, 16777216, 0},
        {"24 bits in 1 plane", 24, 1, 5, 16, 5, 1, PCX_BAD_LAYOUT, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = header(c.bits, c.planes, c.width, 4, c.bpl);
        file[1] = static_cast<uint8_t>(c.version);
        file[2] = static_cast<uint8_t>(c.encoding);
        pcx_facts facts;
        std::memset(&facts, kSentinel, sizeof facts);
        ASSERT_EQ(pcx_inspect(file.data(), file.size(), &facts), c.result);
        const int32_t fields[] = {facts.width,          facts.height, facts.x_min,          facts.y_min,
                                  facts.bits_per_pixel, facts.planes, facts.bytes_per_line, facts.version,
                                  facts.encoding,       facts.h_dpi,  facts.v_dpi,          facts.colours,
                                  facts.notes,          facts.damage, facts.rows_decoded};
        const int32_t expected[] = {
            c.width,   4,          3,   2,   c.bits,    c.planes, c.bpl,
            c.version, c.encoding, 300, 150, c.colours, c.notes,  c.colours == 256 ? PCX_DAMAGE_NO_TRAILER : 0,
            0};
        EXPECT_EQ(std::vector<int32_t>(std::begin(fields), std::end(fields)),
                  std::vector<int32_t>(std::begin(expected), std::end(expected)));
        EXPECT_EQ(facts.data_bytes, 0);
        EXPECT_EQ(std::vector<int32_t>(facts.reserved, facts.reserved + 8), std::vector<int32_t>(8, 0));
        // Colours: the header's 16 for the indexed pictures here, the rest
        // 0; the grey ramp for the 8-bit one (it has no trailer); nothing
        // for true colour.
        Bytes palette(768, 0);
        if (c.result == PCX_OK && c.colours < 256) std::copy(file.begin() + 16, file.begin() + 64, palette.begin());
        if (c.result == PCX_OK && c.colours == 256) palette = grey_ramp();
        EXPECT_EQ(Bytes(facts.palette, facts.palette + 768), palette);
        EXPECT_EQ(facts.colour_source, c.result == PCX_OK && c.colours <= 256 ? PCX_COLOURS_HEADER : 0);
    }
}

// ---- refused calls ----------------------------------------------------------------------

TEST(PcxCodec, RefusedCallsWriteNothing) {
    const pcxwrite::Picture p = make_picture(kLayouts[6], 7, 3);
    const Bytes file = pcxwrite::encode(p, pcxwrite::Options{});
    pcxwrite::Options rgb;
    rgb.layout = Layout::TrueColor;
    const Bytes true_colour = pcxwrite::encode(make_picture(kLayouts[7], 7, 3), rgb);
    // 65536 x 65536 at one bit: rows that overflow size_t when multiplied
    // out naively with a huge stride.
    Bytes huge = header(1, 1, 1, 1, 8192);
    put16(huge, 4, 0);
    put16(huge, 6, 0);
    put16(huge, 8, 65535);
    put16(huge, 10, 65535);
    huge.resize(200, 0);
    const ptrdiff_t huge_stride = static_cast<ptrdiff_t>(SIZE_MAX / 32768);
    struct Case {
        const char* name;
        const Bytes* file;
        int32_t format;
        size_t capacity;
        ptrdiff_t stride;
    } cases[] = {
        {"format 0", &file, 0, 21, 7},
        {"format 2", &file, 2, 21, 7},
        {"format 5", &file, 5, 105, 35},
        {"indices of true colour", &true_colour, PCX_FORMAT_INDICES, 21, 7},
        {"stride 0", &file, PCX_FORMAT_INDICES, 21, 0},
        {"negative stride", &file, PCX_FORMAT_INDICES, 21, -7},
        {"stride below a row", &file, PCX_FORMAT_RGB, 63, 20},
        {"capacity a byte short", &file, PCX_FORMAT_RGBA, 83, 28},
        {"capacity a byte short with padding", &file, PCX_FORMAT_INDICES, 26, 10},
        {"rows beyond size_t", &huge, PCX_FORMAT_INDICES, SIZE_MAX, huge_stride},
    };
    Bytes pixels(256, kSentinel);
    pcx_facts facts;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::memset(&facts, kSentinel, sizeof facts);
        const pcx_facts before = facts;
        EXPECT_EQ(pcx_decode(c.file->data(), c.file->size(), c.format, pixels.data(), c.capacity, c.stride, &facts),
                  RASTER_REFUSED);
        EXPECT_EQ(std::memcmp(&facts, &before, sizeof facts), 0);
        EXPECT_EQ(pixels, Bytes(256, kSentinel));
    }
    // Missing pointers.
    EXPECT_EQ(pcx_decode(nullptr, file.size(), PCX_FORMAT_RGB, pixels.data(), 63, 21, &facts), RASTER_REFUSED);
    EXPECT_EQ(pcx_decode(file.data(), file.size(), PCX_FORMAT_RGB, nullptr, 63, 21, &facts), RASTER_REFUSED);
    EXPECT_EQ(pcx_decode(file.data(), file.size(), PCX_FORMAT_RGB, pixels.data(), 63, 21, nullptr), RASTER_REFUSED);
    EXPECT_EQ(pcx_inspect(nullptr, file.size(), &facts), RASTER_REFUSED);
    EXPECT_EQ(pcx_inspect(file.data(), file.size(), nullptr), RASTER_REFUSED);
    EXPECT_EQ(pixels, Bytes(256, kSentinel));
    pcx_facts untouched;
    std::memset(&untouched, kSentinel, sizeof untouched);
    EXPECT_EQ(std::memcmp(&facts, &untouched, sizeof facts), 0);

    // The exact capacity, the last row without its padding, is enough.
    EXPECT_EQ(pcx_decode(file.data(), file.size(), PCX_FORMAT_INDICES, pixels.data(), 27, 10, &facts), PCX_OK);
    EXPECT_EQ(pixels[27], kSentinel);
    EXPECT_EQ(pixels[26], p.indices[20]);
    // Files that are no picture: the result, the facts the header gives,
    // and no pixel.
    std::fill(pixels.begin(), pixels.end(), kSentinel);
    EXPECT_EQ(pcx_decode(file.data(), 127, PCX_FORMAT_INDICES, pixels.data(), 21, 7, &facts), PCX_BAD_HEADER);
    EXPECT_EQ(facts.width, 0);
    Bytes odd = header(8, 2, 5, 4, 6);
    EXPECT_EQ(pcx_decode(odd.data(), odd.size(), PCX_FORMAT_RGB, pixels.data(), 256, 15, &facts), PCX_BAD_LAYOUT);
    EXPECT_EQ(facts.planes, 2);
    EXPECT_EQ(facts.bits_per_pixel, 8);
    EXPECT_EQ(pixels, Bytes(256, kSentinel));
}

// ---- pictures cut short ------------------------------------------------------------------

// What the codec must make of `file` cut to `size` bytes, worked out from
// the plain line model: the rows, damage, notes and data bytes.
struct CutExpectation {
    size_t whole_rows;
    size_t complete_pixels;  // of the row cut short
    int32_t damage;
    int32_t notes;
    int64_t data_bytes;
    Bytes colours;  // 768: the colours RGB pixels take
};

CutExpectation expect_cut(const LayoutCase& c, const pcxwrite::Picture& p, const Bytes& cut, size_t line_bytes) {
    CutExpectation e{};
    e.colours.assign(768, 0);
    // A 256-colour picture takes its colours from a trailer, if the last
    // 769 bytes are one, and its data ends where they start.
    const bool trailer = c.colours == 256 && cut.size() >= 128 + 769 && cut[cut.size() - 769] == 12;
    const size_t data_end = trailer ? cut.size() - 769 : cut.size();
    if (trailer) {
        std::copy(cut.end() - 768, cut.end(), e.colours.begin());
    } else if (c.colours == 256) {
        const Bytes ramp = grey_ramp();
        std::copy(ramp.begin(), ramp.end(), e.colours.begin());
        e.damage |= PCX_DAMAGE_NO_TRAILER;
    } else if (c.colours != 0) {
        std::copy(p.palette.begin(), p.palette.begin() + 48, e.colours.begin());
    }
    const Bytes stream(cut.begin() + 128, cut.begin() + static_cast<long>(data_end));
    const pcxmodel::Decoded model =
        pcxmodel::model_lines(stream, line_bytes, static_cast<size_t>(p.height), Bytes(line_bytes + 62, 0));
    e.whole_rows = model.whole_lines;
    if (model.whole_lines < static_cast<size_t>(p.height)) {
        e.damage |= PCX_DAMAGE_SHORT_DATA;
        const size_t plane = line_bytes / static_cast<size_t>(c.planes);
        const size_t last_plane = plane * static_cast<size_t>(c.planes - 1);
        const size_t in_last = model.got > last_plane ? model.got - last_plane : 0;
        e.complete_pixels = std::min<size_t>(in_last * 8 / static_cast<size_t>(c.bits), static_cast<size_t>(p.width));
        e.data_bytes = static_cast<int64_t>(stream.size());
        return e;
    }
    if (model.carry != 0) e.damage |= PCX_DAMAGE_RUN_PAST_END;
    e.data_bytes = static_cast<int64_t>(model.used);
    const size_t rest = cut.size() - 128 - model.used;
    const bool only_a_trailer = rest == 769 && cut[128 + model.used] == 12;
    if ((trailer && data_end > 128 + model.used) || (!trailer && rest != 0 && !only_a_trailer)) {
        e.notes |= PCX_NOTE_EXTRA_BYTES;
    }
    return e;
}

TEST(PcxCodec, PicturesCutAtEveryByte) {
    for (const LayoutCase& c : kLayouts) {
        for (int variant = 0; variant < 2; ++variant) {
            // 11 x 3, and 6 x 4 with runs that cross lines.
            const int width = variant == 0 ? 11 : 6;
            const pcxwrite::Picture p = make_picture(c, width, variant == 0 ? 3 : 4);
            pcxwrite::Options o;
            o.layout = c.layout;
            o.runs_cross_lines = variant == 1;
            const Bytes file = pcxwrite::encode(p, o);
            const size_t bpl = file[66] | (file[67] << 8);
            const size_t line_bytes = bpl * static_cast<size_t>(c.planes);
            for (size_t size = 128; size <= file.size(); ++size) {
                // An exact copy, so that a read past its end is caught.
                const Bytes cut(file.begin(), file.begin() + static_cast<long>(size));
                const CutExpectation e = expect_cut(c, p, cut, line_bytes);
                for (int32_t format : {PCX_FORMAT_INDICES, PCX_FORMAT_RGBA}) {
                    if (c.colours == 0 && format == PCX_FORMAT_INDICES) continue;
                    SCOPED_TRACE(testing::Message() << c.name << " " << width << " wide, cut at " << size << " of "
                                                    << file.size() << ", format " << format);
                    Destination d(static_cast<size_t>(width) * static_cast<size_t>(format), p.height, 5);
                    pcx_facts facts;
                    ASSERT_EQ(decode(cut, format, d, facts), PCX_OK);
                    EXPECT_EQ(facts.rows_decoded, static_cast<int32_t>(e.whole_rows));
                    EXPECT_EQ(facts.damage, e.damage);
                    EXPECT_EQ(facts.notes & PCX_NOTE_EXTRA_BYTES, e.notes);
                    EXPECT_EQ(facts.data_bytes, e.data_bytes);
                    std::vector<Bytes> rows(static_cast<size_t>(p.height), Bytes(d.row_bytes, 0));
                    const size_t pixels = e.whole_rows * static_cast<size_t>(width) + e.complete_pixels;
                    for (size_t i = 0; i < pixels; ++i) {
                        const Bytes px = pixel_bytes(p, i, format, e.colours.data());
                        std::copy(px.begin(), px.end(),
                                  rows[i / width].begin() + static_cast<long>((i % width) * px.size()));
                    }
                    ASSERT_EQ(d.bytes, d.with_rows(rows));
                }
            }
        }
    }
}

// The last run reaching past the last line, and bytes after the picture.
TEST(PcxCodec, RunsPastTheEndAndExtraBytes) {
    // 3 x 2 at 8 bits, BytesPerLine 4: 8 bytes of lines.
    const Bytes head = header(8, 1, 3, 2, 4);
    struct Case {
        const char* name;
        Bytes data;
        int32_t damage, notes;
        int64_t data_bytes;
    } cases[] = {
        {"exact", {0xC8, 0x07}, 0, 0, 2},
        {"run past the end", {0xC4, 0x07, 0xC9, 0x07}, PCX_DAMAGE_RUN_PAST_END, 0, 4},
        {"one byte more", {0xC8, 0x07, 0x00}, 0, PCX_NOTE_EXTRA_BYTES, 2},
        {"a run past the end and more", {0xC9, 0x07, 0x01, 0x02}, PCX_DAMAGE_RUN_PAST_END, PCX_NOTE_EXTRA_BYTES, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = head;
        file.insert(file.end(), c.data.begin(), c.data.end());
        Destination d(3, 2, 1);
        pcx_facts facts;
        ASSERT_EQ(decode(file, PCX_FORMAT_INDICES, d, facts), PCX_OK);
        EXPECT_EQ(facts.damage, c.damage | PCX_DAMAGE_NO_TRAILER);
        EXPECT_EQ(facts.notes, c.notes);
        EXPECT_EQ(facts.data_bytes, c.data_bytes);
        EXPECT_EQ(facts.rows_decoded, 2);
        EXPECT_EQ(d.bytes, d.with_rows({Bytes(3, 7), Bytes(3, 7)}));
    }
}

// What is left after the last row: stray bytes, padding and trailers are a
// note; an encoded line or more of anything else means misread runs.
TEST(PcxCodec, DataThatDoesNotEndWithThePicture) {
    // 20 x 2 at 8 bits: one run of 40 bytes of 7 (2 data bytes, so the
    // rows' mean encoded line is 1 byte, and the 16 stray bytes allowed
    // decide).
    const Bytes head = header(8, 1, 20, 2, 20);
    const Bytes data = {0xE8, 0x07};
    Bytes trailer(769, 0x55);
    trailer[0] = 12;
    const auto bytes = [](size_t count, uint8_t value) { return Bytes(count, value); };
    const auto join = [](Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    struct Case {
        const char* name;
        Bytes rest;
        int32_t damage, notes;
    } cases[] = {
        {"15 stray bytes", bytes(15, 0x31), PCX_DAMAGE_NO_TRAILER, PCX_NOTE_EXTRA_BYTES},
        {"16 bytes", bytes(16, 0x31), PCX_DAMAGE_NO_TRAILER | PCX_DAMAGE_MISREAD_RUNS, 0},
        {"zero padding", bytes(3000, 0), PCX_DAMAGE_NO_TRAILER, PCX_NOTE_EXTRA_BYTES},
        {"15 bytes, then padding", join(bytes(15, 0x31), bytes(600, 0)), PCX_DAMAGE_NO_TRAILER, PCX_NOTE_EXTRA_BYTES},
        {"a trailer cut short", Bytes(trailer.begin(), trailer.begin() + 500), PCX_DAMAGE_NO_TRAILER,
         PCX_NOTE_EXTRA_BYTES},
        {"a trailer, then padding", join(trailer, bytes(100, 0)), PCX_DAMAGE_NO_TRAILER, PCX_NOTE_EXTRA_BYTES},
        {"more than a trailer", join(trailer, bytes(1, 0x31)), PCX_DAMAGE_NO_TRAILER | PCX_DAMAGE_MISREAD_RUNS, 0},
        {"15 bytes before the trailer", join(bytes(15, 0x31), trailer), 0, PCX_NOTE_EXTRA_BYTES},
        {"16 bytes before the trailer", join(bytes(16, 0x31), trailer), PCX_DAMAGE_MISREAD_RUNS, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = join(join(head, data), c.rest);
        Destination d(20, 2, 1);
        pcx_facts facts;
        ASSERT_EQ(decode(file, PCX_FORMAT_INDICES, d, facts), PCX_OK);
        EXPECT_EQ(facts.damage, c.damage);
        EXPECT_EQ(facts.notes, c.notes);
        EXPECT_EQ(facts.data_bytes, 2);
        EXPECT_EQ(facts.rows_decoded, 2);
        EXPECT_EQ(d.bytes, d.with_rows({Bytes(20, 7), Bytes(20, 7)}));
    }
    EXPECT_STREQ(pcx_damage_text(PCX_DAMAGE_MISREAD_RUNS),
                 "the data does not end where the picture does: runs were misread");
}

// 20 bytes flipped in a 400 x 340 true-colour picture: the runs after each
// flip are misread and bytes are left over, which the picture's own file
// does not have.
TEST(PcxCodec, FlippedBytesInTrueColourAreDamage) {
    const int32_t width = 400, height = 340;
    Bytes rgb;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            rgb.insert(rgb.end(),
                       {static_cast<uint8_t>(x * 255 / (width - 1)), static_cast<uint8_t>(y * 255 / (height - 1)),
                        static_cast<uint8_t>((x / 16 + y / 16) * 24)});
        }
    }
    const size_t size = pcx_encode(rgb.data(), width, height, width * 3, PCX_FORMAT_RGB, nullptr, 0, nullptr, 0);
    Bytes file(size);
    ASSERT_EQ(pcx_encode(rgb.data(), width, height, width * 3, PCX_FORMAT_RGB, nullptr, 0, file.data(), size), size);
    Destination d(width * 3, height, 0);
    pcx_facts facts;
    ASSERT_EQ(decode(file, PCX_FORMAT_RGB, d, facts), PCX_OK);
    EXPECT_EQ(facts.damage, 0);
    EXPECT_EQ(facts.notes, 0);
    // Flips at positions from a fixed sequence; with each seed here the
    // rows take every line from the data and leave 500 to 2,100 bytes.
    for (uint32_t seed : {1u, 2u, 4u, 6u, 7u, 9u}) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        Bytes flipped = file;
        uint32_t state = seed;
        for (int k = 0; k < 20; ++k) {
            state = state * 1103515245u + 12345u;
            flipped[128 + (state >> 8) % (size - 128)] ^= 0xFF;
        }
        ASSERT_EQ(decode(flipped, PCX_FORMAT_RGB, d, facts), PCX_OK);
        EXPECT_EQ(facts.rows_decoded, height);
        EXPECT_GE(size - 128 - static_cast<size_t>(facts.data_bytes), 500u);
        EXPECT_NE(facts.damage & PCX_DAMAGE_MISREAD_RUNS, 0);
        EXPECT_EQ(facts.notes & PCX_NOTE_EXTRA_BYTES, 0);
    }
}

// ---- the line decoders ------------------------------------------------------------------

// A source that hands out `block` bytes at a time, as the library's file
// reads do.
struct Blocks {
    const Bytes* stream;
    size_t at;
    size_t block;
};

bool next_block(raster::pcx::ByteSource& source) {
    Blocks& b = *static_cast<Blocks*>(source.context);
    if (b.at >= b.stream->size()) return false;
    const size_t n = std::min(b.block, b.stream->size() - b.at);
    source.next = b.stream->data() + b.at;
    source.end = source.next + n;
    b.at += n;
    return true;
}

struct DecoderRun {
    Bytes buffer;
    std::vector<Bytes> lines;
    std::vector<uint32_t> carries;
    bool exhausted;
    uint32_t stopped_at;
};

DecoderRun run_decoder(raster::pcx::LineDecoder decoder, const Bytes& stream, size_t block, size_t line_bytes,
                       size_t rows, const Bytes& buffer_before) {
    DecoderRun run{buffer_before, {}, {}, false, 0};
    Blocks blocks{&stream, 0, block};
    raster::pcx::ByteSource in;
    in.fetch = next_block;
    in.context = &blocks;
    const uint32_t bytes = static_cast<uint32_t>(line_bytes);
    Bytes older(line_bytes);
    uint32_t carry = 0;
    for (size_t r = 0; r < rows; ++r) {
        carry = decoder(in, run.buffer.data(), bytes, carry, older.data());
        if (in.exhausted && !run.exhausted) {
            run.exhausted = true;
            run.stopped_at = in.stopped_at;
        }
        run.lines.emplace_back(run.buffer.begin(), run.buffer.begin() + static_cast<long>(line_bytes));
        run.carries.push_back(carry);
        if (carry != 0) std::memmove(run.buffer.data(), run.buffer.data() + line_bytes, carry);
    }
    return run;
}

TEST(PcxCodec, PlainSse2AndAvx2LineDecodersAgreeWithTheModel) {
    std::mt19937 dice(20261209);
    // Lines shorter and longer than a 64-byte chunk and the 16-byte step,
    // from one block or from blocks that end anywhere.
    const size_t lengths[] = {3, 15, 16, 17, 40, 63, 64, 65, 129, 700};
    for (size_t line_bytes : lengths) {
        for (int trial = 0; trial < 24; ++trial) {
            const auto flavour = static_cast<pcxmodel::Flavour>(trial % 3);
            const size_t rows = 2 + 3000 / line_bytes;
            const Bytes full = pcxmodel::random_stream(dice, line_bytes * rows + dice() % 70, flavour);
            const Bytes stream(full.begin(),
                               full.begin() + static_cast<long>(trial % 4 == 3 ? dice() % full.size() : full.size()));
            const size_t block = trial % 2 == 0 ? stream.size() + 1 : 61 + dice() % 300;
            Bytes before(line_bytes + raster::pcx::kMaxRunOvershoot + kGuard);
            for (uint8_t& b : before) b = static_cast<uint8_t>(dice());
            SCOPED_TRACE(testing::Message() << "line " << line_bytes << ", trial " << trial << ", block " << block);
            const pcxmodel::Decoded model = pcxmodel::model_lines(stream, line_bytes, rows, before);
            const DecoderRun plain =
                run_decoder(raster::pcx::decode_line_scalar, stream, block, line_bytes, rows, before);
            EXPECT_EQ(plain.lines, model.lines);
            EXPECT_EQ(plain.buffer, model.scratch_after);
            EXPECT_EQ(plain.exhausted, model.whole_lines < rows);
            EXPECT_EQ(plain.stopped_at, plain.exhausted ? model.got : 0);
            // The SSE2 decoder and its AVX2 build, each held to the plain one.
            const std::pair<const char*, raster::pcx::LineDecoder> wide[] = {
                {"sse2", raster::pcx::sse2_line_decoder()}, {"avx2", raster::pcx::avx2_line_decoder()}};
            for (const auto& [name, decoder] : wide) {
                if (decoder == nullptr) continue;
                SCOPED_TRACE(name);
                const DecoderRun run = run_decoder(decoder, stream, block, line_bytes, rows, before);
                EXPECT_EQ(run.lines, plain.lines);
                EXPECT_EQ(run.carries, plain.carries);
                EXPECT_EQ(run.buffer, plain.buffer);
                EXPECT_EQ(run.exhausted, plain.exhausted);
                EXPECT_EQ(run.stopped_at, plain.stopped_at);
            }
            if (testing::Test::HasFailure()) return;
        }
    }
}

}  // namespace
