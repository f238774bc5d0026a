// The PCX writer: exact bytes of tiny pictures, and round trips through a
// small decoder written here from the format's rules (independent of the
// library's reader).
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "pcx_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;
using pcxwrite::Layout;

Bytes data_of(const Bytes& file, size_t trailer) {
    return Bytes(file.begin() + 128, file.end() - static_cast<long>(trailer));
}

int u16(const Bytes& file, size_t at) { return file[at] | (file[at + 1] << 8); }

pcxwrite::Picture indexed(int width, int height, const Bytes& indices) {
    pcxwrite::Picture p;
    p.width = width;
    p.height = height;
    p.indices = indices;
    for (int i = 0; i < 768; ++i) p.palette[i] = static_cast<uint8_t>(i * 7 + 3);
    return p;
}

// Decodes the whole data stream as one run-length stream, cut into lines of
// NPlanes * BytesPerLine bytes; returns every decoded byte (lines back to
// back) or fails the test.
Bytes decode_lines(const Bytes& file, size_t trailer) {
    const int planes = file[65];
    const int bpl = u16(file, 66);
    const int height = u16(file, 10) - u16(file, 6) + 1;
    const size_t total = static_cast<size_t>(planes) * bpl * height;
    Bytes out;
    const size_t end = file.size() - trailer;
    size_t pos = 128;
    while (out.size() < total) {
        EXPECT_LT(pos, end) << "data ran out";
        if (pos >= end) break;
        const uint8_t b = file[pos++];
        if (b < 0xC0) {
            out.push_back(b);
        } else {
            EXPECT_LT(pos, end);
            if (pos >= end) break;
            out.insert(out.end(), b & 63, file[pos++]);
        }
    }
    EXPECT_EQ(pos, end) << "bytes left over after the last line";
    EXPECT_EQ(out.size(), total) << "a run ran past the last line";
    return out;
}

// Indices (or rgb triples) of the picture a file holds, top row first.
Bytes decode_pixels(const Bytes& file, size_t trailer) {
    const Bytes lines = decode_lines(file, trailer);
    const int planes = file[65];
    const int bits = file[3];
    const int bpl = u16(file, 66);
    const int width = u16(file, 8) - u16(file, 4) + 1;
    const int height = u16(file, 10) - u16(file, 6) + 1;
    Bytes pixels;
    for (int y = 0; y < height && !lines.empty(); ++y) {
        const uint8_t* line = &lines[static_cast<size_t>(y) * planes * bpl];
        for (int x = 0; x < width; ++x) {
            if (bits == 8 && planes >= 3) {
                for (int p = 0; p < 3; ++p) pixels.push_back(line[p * bpl + x]);
            } else if (bits == 8) {
                pixels.push_back(line[x]);
            } else if (bits != 1) {
                const int at = x * bits;
                pixels.push_back(static_cast<uint8_t>((line[at / 8] >> (8 - bits - at % 8)) & ((1 << bits) - 1)));
            } else {
                int index = 0;
                for (int p = 0; p < planes; ++p) index |= ((line[p * bpl + x / 8] >> (7 - x % 8)) & 1) << p;
                pixels.push_back(static_cast<uint8_t>(index));
            }
        }
    }
    return pixels;
}

TEST(PcxWriter, HeaderOfAnEightBitPictureWithOrigin) {
    pcxwrite::Options o;
    o.xmin = 300;
    o.ymin = 2;
    const Bytes file = pcxwrite::encode(indexed(3, 2, {1, 200, 200, 7, 7, 7}), o);
    ASSERT_EQ(file.size(), 128u + 7u + 769u);
    EXPECT_EQ(file[0], 10);
    EXPECT_EQ(file[1], 5);
    EXPECT_EQ(file[2], 1);
    EXPECT_EQ(file[3], 8);
    EXPECT_EQ(u16(file, 4), 300);
    EXPECT_EQ(u16(file, 6), 2);
    EXPECT_EQ(u16(file, 8), 302);
    EXPECT_EQ(u16(file, 10), 3);
    EXPECT_EQ(file[65], 1);
    EXPECT_EQ(u16(file, 66), 4);  // 3 rounded up to even: one pad byte
    for (int i = 0; i < 48; ++i) EXPECT_EQ(file[16 + i], static_cast<uint8_t>(i * 7 + 3)) << i;
    EXPECT_EQ(file[64], 0);
    for (int i = 74; i < 128; ++i) EXPECT_EQ(file[i], 0) << i;
    // Line 0: 01 C8 C8 pad; line 1: 07 07 07 pad.
    EXPECT_EQ(data_of(file, 769), (Bytes{0x01, 0xC2, 0xC8, 0x00, 0xC3, 0x07, 0x00}));
    EXPECT_EQ(file[file.size() - 769], 12);
    for (int i = 0; i < 768; ++i) ASSERT_EQ(file[file.size() - 768 + i], static_cast<uint8_t>(i * 7 + 3)) << i;
}

TEST(PcxWriter, RunsStopAtLineEndsOrCrossThem) {
    pcxwrite::Options o;
    o.pad_value = 5;
    const pcxwrite::Picture p = indexed(3, 2, {5, 5, 5, 5, 5, 5});
    EXPECT_EQ(data_of(pcxwrite::encode(p, o), 769), (Bytes{0xC4, 0x05, 0xC4, 0x05}));
    o.runs_cross_lines = true;
    EXPECT_EQ(data_of(pcxwrite::encode(p, o), 769), (Bytes{0xC8, 0x05}));
}

TEST(PcxWriter, LongRunsSplitAtSixtyThreeAndHighBytesAreEscaped) {
    pcxwrite::Options o;
    o.version = 3;
    Bytes row(64, 9);
    row[63] = 0xC5;
    row.insert(row.end(), 64, 0xC0);  // second row: 64 times 0xC0
    const Bytes file = pcxwrite::encode(indexed(64, 2, row), o);
    EXPECT_EQ(data_of(file, 0), (Bytes{0xFF, 0x09, 0xC1, 0xC5, 0xFF, 0xC0, 0xC1, 0xC0}));
    EXPECT_EQ(file[1], 3);
}

TEST(PcxWriter, BitOrderOfThePlanarAndPackedLayouts) {
    pcxwrite::Options o;
    o.layout = Layout::OneBit;
    o.version = 2;
    Bytes file = pcxwrite::encode(indexed(9, 1, {1, 1, 0, 0, 0, 0, 0, 0, 1}), o);
    EXPECT_EQ(file[3], 1);
    EXPECT_EQ(file[65], 1);
    EXPECT_EQ(u16(file, 66), 2);
    EXPECT_EQ(data_of(file, 0), (Bytes{0xC1, 0xC0, 0x80}));

    o.layout = Layout::FourPlane;
    file = pcxwrite::encode(indexed(3, 1, {1, 2, 15}), o);
    EXPECT_EQ(file[3], 1);
    EXPECT_EQ(file[65], 4);
    EXPECT_EQ(u16(file, 66), 2);
    EXPECT_EQ(data_of(file, 0), (Bytes{0xA0, 0x00, 0x60, 0x00, 0x20, 0x00, 0x20, 0x00}));

    o.layout = Layout::ThreePlane;
    file = pcxwrite::encode(indexed(2, 1, {5, 6}), o);
    EXPECT_EQ(file[65], 3);
    EXPECT_EQ(data_of(file, 0), (Bytes{0x80, 0x00, 0x40, 0x00, 0xC1, 0xC0, 0x00}));

    o.layout = Layout::PackedTwoBit;
    file = pcxwrite::encode(indexed(5, 1, {1, 2, 3, 0, 2}), o);
    EXPECT_EQ(file[3], 2);
    EXPECT_EQ(file[65], 1);
    EXPECT_EQ(u16(file, 66), 2);
    EXPECT_EQ(data_of(file, 0), (Bytes{0x6C, 0x80}));

    o.layout = Layout::PackedFourBit;
    file = pcxwrite::encode(indexed(3, 1, {1, 15, 9}), o);
    EXPECT_EQ(file[3], 4);
    EXPECT_EQ(data_of(file, 0), (Bytes{0x1F, 0x90}));
    EXPECT_TRUE(pcxwrite::encode(indexed(2, 1, {0, 16}), o).empty());
}

TEST(PcxWriter, TrueColourPlanesAndNoTrailer) {
    pcxwrite::Picture p;
    p.width = 1;
    p.height = 2;
    p.rgb = {1, 2, 3, 4, 5, 6};
    pcxwrite::Options o;
    o.layout = Layout::TrueColor;
    o.pad_value = 0xEE;
    const Bytes file = pcxwrite::encode(p, o);
    EXPECT_EQ(file[3], 8);
    EXPECT_EQ(file[65], 3);
    EXPECT_EQ(data_of(file, 0),
              (Bytes{1, 0xC1, 0xEE, 2, 0xC1, 0xEE, 3, 0xC1, 0xEE, 4, 0xC1, 0xEE, 5, 0xC1, 0xEE, 6, 0xC1, 0xEE}));
    // A fourth plane, alpha, 255 unless given; no trailer either.
    o.layout = Layout::TrueColorAlpha;
    o.pad_value = 0;
    Bytes alpha_file = pcxwrite::encode(p, o);
    EXPECT_EQ(alpha_file[65], 4);
    EXPECT_EQ(data_of(alpha_file, 0), (Bytes{1, 0, 2, 0, 3, 0, 0xC1, 0xFF, 0, 4, 0, 5, 0, 6, 0, 0xC1, 0xFF, 0}));
    p.alpha = {7, 8};
    alpha_file = pcxwrite::encode(p, o);
    EXPECT_EQ(data_of(alpha_file, 0), (Bytes{1, 0, 2, 0, 3, 0, 7, 0, 4, 0, 5, 0, 6, 0, 8, 0}));
    p.alpha = {7};
    EXPECT_TRUE(pcxwrite::encode(p, o).empty());
}

TEST(PcxWriter, ChosenBytesPerLinePadsEveryPlane) {
    pcxwrite::Options o;
    o.layout = Layout::FourPlane;
    o.bytes_per_line = 3;
    o.pad_value = 0x11;
    o.version = 0;
    const Bytes file = pcxwrite::encode(indexed(2, 1, {8, 1}), o);
    EXPECT_EQ(u16(file, 66), 3);
    EXPECT_EQ(data_of(file, 0), (Bytes{0x40, 0xC2, 0x11, 0x00, 0xC2, 0x11, 0x00, 0xC2, 0x11, 0x80, 0xC2, 0x11}));
}

TEST(PcxWriter, RefusesWhatDoesNotFit) {
    pcxwrite::Options o;
    EXPECT_TRUE(pcxwrite::encode(indexed(0, 1, {}), o).empty());
    EXPECT_TRUE(pcxwrite::encode(indexed(2, 2, {1, 2, 3}), o).empty());
    o.layout = Layout::OneBit;
    EXPECT_TRUE(pcxwrite::encode(indexed(2, 1, {0, 2}), o).empty());
    o.layout = Layout::FourPlane;
    EXPECT_TRUE(pcxwrite::encode(indexed(2, 1, {0, 16}), o).empty());
    EXPECT_FALSE(pcxwrite::encode(indexed(2, 1, {0, 15}), o).empty());
    o.bytes_per_line = 0;
    o.layout = Layout::EightBit;
    o.bytes_per_line = 2;
    EXPECT_TRUE(pcxwrite::encode(indexed(3, 1, {0, 1, 2}), o).empty());
    o.bytes_per_line = 0;
    o.xmin = 65534;
    EXPECT_FALSE(pcxwrite::encode(indexed(2, 1, {0, 1}), o).empty());
    EXPECT_TRUE(pcxwrite::encode(indexed(3, 1, {0, 1, 2}), o).empty());
    o.layout = Layout::TrueColor;
    o.xmin = 0;
    pcxwrite::Picture p;
    p.width = 2;
    p.height = 1;
    p.rgb = {1, 2, 3, 4, 5};
    EXPECT_TRUE(pcxwrite::encode(p, o).empty());
}

TEST(PcxWriter, RoundTripsEveryLayoutAndOption) {
    std::mt19937 rng(1234);
    const Layout layouts[] = {Layout::OneBit,    Layout::TwoPlane,     Layout::ThreePlane,
                              Layout::FourPlane, Layout::PackedTwoBit, Layout::PackedFourBit,
                              Layout::EightBit,  Layout::TrueColor,    Layout::TrueColorAlpha};
    const int max_index[] = {1, 3, 7, 15, 3, 15, 255, 0, 0};
    const int bits[] = {1, 1, 1, 1, 2, 4, 8, 8, 8};
    for (int li = 0; li < 9; ++li) {
        for (int width : {1, 5, 8, 9, 17, 70, 131}) {
            for (int height : {1, 3, 6}) {
                for (int cross = 0; cross < 2; ++cross) {
                    for (int extra : {0, 3}) {
                        SCOPED_TRACE(testing::Message() << "layout " << li << " " << width << "x" << height << " cross "
                                                        << cross << " extra " << extra);
                        pcxwrite::Picture p;
                        p.width = width;
                        p.height = height;
                        const size_t n = static_cast<size_t>(width) * height;
                        // Mostly long runs with some noise, so both kinds of code appear.
                        auto value = [&](int max) {
                            return static_cast<uint8_t>(rng() % 3 == 0 ? rng() % (max + 1) : max);
                        };
                        const bool rgb = li >= 7;
                        if (rgb) {
                            for (size_t i = 0; i < n * 3; ++i) p.rgb.push_back(value(255));
                        } else {
                            for (size_t i = 0; i < n; ++i) p.indices.push_back(value(max_index[li]));
                        }
                        pcxwrite::Options o;
                        o.layout = layouts[li];
                        o.runs_cross_lines = cross != 0;
                        o.xmin = 7;
                        o.ymin = 11;
                        const int needed = (width * bits[li] + 7) / 8;
                        o.bytes_per_line = extra == 0 ? 0 : needed + extra;
                        o.pad_value = 0xC3;
                        const Bytes file = pcxwrite::encode(p, o);
                        ASSERT_FALSE(file.empty());
                        const size_t trailer = rgb ? 0 : 769;
                        EXPECT_EQ(u16(file, 66), extra == 0 ? needed + (needed & 1) : needed + extra);
                        const Bytes pixels = decode_pixels(file, trailer);
                        EXPECT_EQ(pixels, rgb ? p.rgb : p.indices);
                    }
                }
            }
        }
    }
}

TEST(PcxWriter, WriteFileStoresTheBytes) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("pcxwrite_writer_" + std::to_string(std::random_device{}()) + ".pcx");
    const Bytes bytes = pcxwrite::encode(indexed(3, 1, {0, 1, 2}), pcxwrite::Options{});
    ASSERT_TRUE(pcxwrite::write_file(path.string(), bytes));
    std::ifstream in(path, std::ios::binary);
    const Bytes back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(back, bytes);
    in.close();
    std::filesystem::remove(path);
    EXPECT_FALSE(
        pcxwrite::write_file((std::filesystem::temp_directory_path() / "no_such_dir" / "x.pcx").string(), bytes));
}

}  // namespace
