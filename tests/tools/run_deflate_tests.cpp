// The run encoder of true-colour PNG data: every stream it writes is read
// back by zlib's own inflater to the very bytes given, whatever their
// statistics (one symbol, every symbol, codes deeper than deflate allows,
// runs across its blocks), it stays within its bound without touching the
// bytes past its output, and on grainy filtered pictures it is no larger
// than zlib's run-length strategy.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "png_filter.h"
#include "run_deflate.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint8_t kSentinel = 0xa5;
constexpr size_t kGuard = 64;

Bytes inflated(const Bytes& stream, size_t expected) {
    Bytes out(expected + 1);
    uLongf size = static_cast<uLongf>(out.size());
    const int status = uncompress(out.data(), &size, stream.data(), static_cast<uLong>(stream.size()));
    EXPECT_EQ(status, Z_OK) << "zlib refused the stream";
    out.resize(size);
    return out;
}

// Compressed by a reused encoder into room of exactly its bound, followed
// by a sentinel that must stay.
Bytes compressed(pngio::RunDeflater& encoder, const Bytes& in) {
    const size_t room = pngio::RunDeflater::bound(in.size());
    Bytes out(room + kGuard, kSentinel);
    const size_t size = encoder.compress(in.data(), in.size(), out.data(), room);
    EXPECT_NE(size, 0U);
    EXPECT_LE(size, room);
    EXPECT_EQ(std::count(out.begin() + static_cast<ptrdiff_t>(room), out.end(), kSentinel),
              static_cast<ptrdiff_t>(kGuard));
    out.resize(size);
    return out;
}

// zlib's run-length strategy at the settings pcx2png used before.
size_t zlib_runs_size(const Bytes& in) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 9, Z_RLE), Z_OK);
    Bytes out(deflateBound(&z, static_cast<uLong>(in.size())));
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    const size_t size = z.total_out;
    deflateEnd(&z);
    return size;
}

// Rows of a grainy colour ramp (a gradient with noise of +-spread levels,
// what a scan or photograph looks like to a compressor) after PNG's Paeth
// filter, as pcx2png hands them over: a filter byte, then the residues.
Bytes filtered_grain(std::mt19937& random, size_t rows, size_t width, int spread) {
    const size_t row_bytes = width * 3;
    Bytes pixels(rows * row_bytes), out;
    for (size_t y = 0; y < rows; ++y) {
        for (size_t x = 0; x < row_bytes; ++x) {
            const int ramp = int((x / 3 * (1 + x % 3) + y * 2) * 255 / (width * 3 + rows * 2));
            const int noise = int(random() % unsigned(2 * spread + 1)) - spread;
            pixels[y * row_bytes + x] = uint8_t(std::clamp(ramp + noise, 0, 255));
        }
    }
    const Bytes zeros(row_bytes, 0);
    Bytes filtered(row_bytes);
    for (size_t y = 0; y < rows; ++y) {
        const uint8_t* prior = y == 0 ? zeros.data() : &pixels[(y - 1) * row_bytes];
        pngio::reference_filters().paeth(&pixels[y * row_bytes], prior, filtered.data(), row_bytes, 3);
        out.push_back(4);
        out.insert(out.end(), filtered.begin(), filtered.end());
    }
    return out;
}

TEST(RunDeflate, ZlibReadsBackEveryKindOfInputThroughOneReusedEncoder) {
    std::mt19937 random(38);
    std::vector<std::pair<std::string, Bytes>> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"one byte", {7}});
    cases.push_back({"two equal bytes", {9, 9}});
    for (size_t run : {3, 4, 5, 10, 11, 258, 259, 260, 261, 1000}) {
        Bytes bytes{1};
        bytes.insert(bytes.end(), run, 200);
        bytes.push_back(3);
        cases.push_back({"a run of " + std::to_string(run), bytes});
    }
    cases.push_back({"one value, 3 MB", Bytes(3 << 20, 42)});
    Bytes noise(300000);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
    cases.push_back({"noise (stored blocks)", noise});
    Bytes every(256 * 40);
    for (size_t i = 0; i < every.size(); ++i) every[i] = static_cast<uint8_t>(i * 7);
    cases.push_back({"every byte value", every});
    // Counts that follow the Fibonacci numbers make a Huffman code deeper
    // than deflate's 15 bits, which must be cut down.
    Bytes skewed;
    uint32_t a = 1, b = 1;
    for (int symbol = 0; symbol < 24; ++symbol, b += a, a = b - a) skewed.insert(skewed.end(), a, uint8_t(symbol * 11));
    std::shuffle(skewed.begin(), skewed.end(), random);
    cases.push_back({"Fibonacci counts", skewed});
    cases.push_back({"grain over many blocks", filtered_grain(random, 300, 1920, 6)});
    // A block ends after kBlockSymbols symbols: runs and literals around
    // the end, the next block's first run repeating the last block's byte.
    Bytes boundary(pngio::RunDeflater::kBlockSymbols - 2, 0);
    for (size_t i = 0; i < boundary.size(); ++i) boundary[i] = static_cast<uint8_t>(i % 2 ? i : i >> 3);
    boundary.insert(boundary.end(), 600, 77);
    cases.push_back({"a run across a block's end", boundary});

    pngio::RunDeflater encoder;
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        const Bytes stream = compressed(encoder, bytes);
        EXPECT_EQ(inflated(stream, bytes.size()), bytes);
    }
}

// Stretches of noise and of repeats, of every length near the edges the
// encoder treats apart (eight bytes at a time, runs of 3 and 258, the
// input's last ten bytes), in inputs of many sizes.
TEST(RunDeflate, ZlibReadsBackRandomMixturesOfRunsAndNoise) {
    std::mt19937 random(2026);
    pngio::RunDeflater encoder;
    for (int trial = 0; trial < 300; ++trial) {
        Bytes bytes;
        const size_t size = random() % (trial < 200 ? 64 : 70000);
        while (bytes.size() < size) {
            const size_t stretch = 1 + random() % (random() % 4 == 0 ? 300 : 12);
            if (random() % 2 == 0) {
                bytes.insert(bytes.end(), stretch, static_cast<uint8_t>(random() % 3));
            } else {
                for (size_t k = 0; k < stretch; ++k) bytes.push_back(static_cast<uint8_t>(random() % 4));
            }
        }
        bytes.resize(size);
        SCOPED_TRACE("trial " + std::to_string(trial) + ", " + std::to_string(size) + " bytes");
        const Bytes stream = compressed(encoder, bytes);
        ASSERT_EQ(inflated(stream, bytes.size()), bytes);
    }
}

TEST(RunDeflate, RefusesRoomUnderItsBoundWithoutWritingAByte) {
    pngio::RunDeflater encoder;
    const Bytes in(5000, 1);
    const size_t room = pngio::RunDeflater::bound(in.size()) - 1;
    Bytes out(room, kSentinel);
    EXPECT_EQ(encoder.compress(in.data(), in.size(), out.data(), room), 0U);
    EXPECT_EQ(std::count(out.begin(), out.end(), kSentinel), static_cast<ptrdiff_t>(room));
}

TEST(RunDeflate, GrainyTrueColourIsNoLargerThanZlibsRunLengthStrategy) {
    std::mt19937 random(1080);
    pngio::RunDeflater encoder;
    for (int spread : {0, 1, 3, 6, 20}) {
        SCOPED_TRACE(spread);
        const Bytes rows = filtered_grain(random, 200, 1920, spread);
        const Bytes stream = compressed(encoder, rows);
        EXPECT_LE(stream.size(), zlib_runs_size(rows));
    }
}

}  // namespace
