// The PNG writer: its row filters against the filter as PNG defines it, and
// the files it writes read back by libpng to the very pixels given, by one
// writer reused across pictures of every kind and size.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "png_filter.h"
#include "png_io.h"

namespace {

using Bytes = std::vector<uint8_t>;

// PNG's Paeth predictor in the words of its definition: the neighbour
// nearest to a + b - c, ties going to a, then b.
int paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

Bytes expected_paeth(const Bytes& row, const Bytes& prior, int bpp) {
    Bytes out(row.size());
    for (size_t i = 0; i < row.size(); ++i) {
        const int a = i >= size_t(bpp) ? row[i - bpp] : 0;
        const int c = i >= size_t(bpp) ? prior[i - bpp] : 0;
        out[i] = uint8_t(row[i] - paeth(a, prior[i], c));
    }
    return out;
}

Bytes random_bytes(std::mt19937& random, size_t count, int spread) {
    // Small spreads make ties between the neighbours, where the predictor's
    // order of preference shows.
    Bytes bytes(count);
    const int base = int(random() % 256);
    for (uint8_t& b : bytes) b = uint8_t(base + int(random() % unsigned(spread)));
    return bytes;
}

TEST(PngFilters, EveryTableMatchesThePaethFilterOnEveryWidth) {
    std::vector<std::pair<const char*, const pngio::Filters*>> tables = {
        {"plain", &pngio::reference_filters()}, {"sse2", pngio::sse2_filters()}, {"avx2", pngio::avx2_filters()}};
    std::mt19937 random(36);
    constexpr size_t kGuard = 40;
    constexpr uint8_t kSentinel = 0xa5;
    for (int bpp = 1; bpp <= 4; ++bpp) {
        for (size_t width = 1; width <= 64; ++width) {
            for (int spread : {3, 256}) {
                const size_t bytes = width * size_t(bpp);
                const Bytes row = random_bytes(random, bytes, spread);
                const Bytes prior = random_bytes(random, bytes, spread);
                const Bytes expected = expected_paeth(row, prior, bpp);
                for (const auto& table : tables) {
                    if (table.second == nullptr) continue;
                    Bytes out(bytes + 2 * kGuard, kSentinel);
                    table.second->paeth(row.data(), prior.data(), out.data() + kGuard, bytes, bpp);
                    EXPECT_EQ(Bytes(out.begin() + kGuard, out.end() - kGuard), expected)
                        << table.first << ", " << bpp << " bytes a pixel, " << width << " pixels";
                    for (size_t k = 0; k < kGuard; ++k) {
                        ASSERT_EQ(out[k], kSentinel) << table.first << " wrote before the row";
                        ASSERT_EQ(out[out.size() - 1 - k], kSentinel) << table.first << " wrote past the row";
                    }
                }
            }
        }
    }
}

struct Case {
    pngio::Kind kind;
    int depth;  // palette pictures: bits an index
    int width, height;
    ptrdiff_t padding;   // bytes after each row
    bool noise = false;  // no repeats at all: the data is stored
};

// A picture of the case's kind; indices below 2^depth.
pngio::Picture make(const Case& c, std::mt19937& random, Bytes* pixels) {
    pngio::Picture picture;
    picture.kind = c.kind;
    picture.width = c.width, picture.height = c.height;
    const int channels = c.kind == pngio::Kind::Palette ? 1 : c.kind == pngio::Kind::Rgb ? 3 : 4;
    picture.stride = ptrdiff_t(c.width) * channels + c.padding;
    pixels->assign(size_t(picture.stride) * size_t(c.height), 0);
    for (size_t i = 0; i < pixels->size(); ++i) {
        // Smooth with some noise, so that the filter and the string search
        // both have work.
        const uint8_t value = c.noise ? uint8_t(random()) : uint8_t(i / 7 + random() % 5);
        (*pixels)[i] = c.kind == pngio::Kind::Palette ? uint8_t(value % (1 << c.depth)) : value;
    }
    picture.pixels = pixels->data();
    picture.bit_depth = c.depth;
    if (c.kind == pngio::Kind::Palette) {
        for (int i = 0; i < (1 << c.depth); ++i) picture.palette.insert(picture.palette.end(), {uint8_t(i), 7, 9});
    }
    return picture;
}

// The pixels libpng reads back: indices for palette pictures, else the
// channels, each row without its padding.
Bytes read_back(const Bytes& png, const pngio::Picture& picture) {
    pngio::Reader reader;
    pngio::Image image;
    std::string error;
    EXPECT_TRUE(reader.open(png.data(), png.size(), &error)) << error;
    EXPECT_TRUE(reader.read(picture.kind == pngio::Kind::Rgba, &image, &error)) << error;
    EXPECT_EQ(image.width, picture.width);
    EXPECT_EQ(image.height, picture.height);
    if (picture.kind == pngio::Kind::Palette) {
        EXPECT_EQ(image.palette, picture.palette);
    }
    return image.pixels;
}

Bytes unpadded(const pngio::Picture& picture, int channels) {
    Bytes rows;
    const size_t row = size_t(picture.width) * size_t(channels);
    for (int y = 0; y < picture.height; ++y) {
        const uint8_t* from = picture.pixels + ptrdiff_t(y) * picture.stride;
        rows.insert(rows.end(), from, from + row);
    }
    return rows;
}

TEST(PngWriter, OneWriterReusedAcrossKindsAndSizesWritesWhatLibpngReadsBack) {
    // Large before small before large: a reused buffer larger than the
    // picture must not leak the previous picture's bytes into the file.
    const Case cases[] = {
        {pngio::Kind::Rgb, 8, 300, 40, 5},
        {pngio::Kind::Palette, 1, 13, 3, 0},
        {pngio::Kind::Rgba, 8, 1, 1, 0},
        {pngio::Kind::Palette, 2, 33, 9, 3},
        {pngio::Kind::Rgb, 8, 7, 50, 0},
        {pngio::Kind::Palette, 4, 3, 2, 1},
        {pngio::Kind::Rgba, 8, 65, 33, 4},
        {pngio::Kind::Palette, 8, 500, 30, 0},
        {pngio::Kind::Palette, 4, 17, 17, 0},
        {pngio::Kind::Rgb, 8, 2, 2, 1},
        // Large enough to be sampled for whether they compress, each way.
        {pngio::Kind::Rgb, 8, 420, 130, 2, true},
        {pngio::Kind::Rgb, 8, 420, 130, 0},
        {pngio::Kind::Palette, 8, 700, 260, 0, true},
        {pngio::Kind::Rgba, 8, 300, 150, 1},
        {pngio::Kind::Palette, 8, 700, 260, 3},
    };
    std::mt19937 random(2026);
    pngio::Writer reused;
    for (const Case& c : cases) {
        Bytes pixels;
        const pngio::Picture picture = make(c, random, &pixels);
        Bytes png(3, 0xee);  // whatever the output held is replaced
        std::string error;
        ASSERT_TRUE(reused.write(picture, &png, &error)) << error;
        const int channels = c.kind == pngio::Kind::Palette ? 1 : c.kind == pngio::Kind::Rgb ? 3 : 4;
        EXPECT_EQ(read_back(png, picture), unpadded(picture, channels))
            << "kind " << int(c.kind) << ", " << c.width << " x " << c.height;
        Bytes fresh;
        ASSERT_TRUE(pngio::write(picture, &fresh, &error)) << error;
        EXPECT_EQ(png, fresh) << "a reused writer wrote another file than a fresh one";
        // Noise is stored, hence a little larger than its pixels; anything
        // else here compresses.
        const size_t pixel_bytes = size_t(c.width) * size_t(c.height) * size_t(channels) * size_t(c.depth) / 8;
        if (c.noise) {
            EXPECT_GT(png.size(), pixel_bytes);
        } else if (pixel_bytes > 100000) {
            EXPECT_LT(png.size(), pixel_bytes * 9 / 10);
        }
    }
}

TEST(PngWriter, APoolLendsEachWriterToOneHolderAtATime) {
    pngio::WriterPool pool;
    const pngio::Writer* first = nullptr;
    {
        const pngio::WriterPool::Lease a = pool.take();
        const pngio::WriterPool::Lease b = pool.take();
        EXPECT_NE(&*a, &*b);
        first = &*a;
    }
    const pngio::WriterPool::Lease again = pool.take();
    const pngio::WriterPool::Lease other = pool.take();
    // Both given back; the two lent now are the two made before.
    EXPECT_TRUE(&*again == first || &*other == first);
}

TEST(PngWriter, RefusesAPictureWithoutPixels) {
    pngio::Picture empty;
    empty.width = 0, empty.height = 4;
    Bytes png;
    std::string error;
    EXPECT_FALSE(pngio::write(empty, &png, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(png.empty());
}

}  // namespace
