// The PCX pictures the benchmarks decode, made the same way in every program
// that measures them (raster-bench, and raster-bench-pictures, which writes
// them out for other decoders to read).
#ifndef BENCH_PICTURES_H
#define BENCH_PICTURES_H

#include <cstdint>
#include <vector>

namespace benchpictures {

// 0 = 640 x 200 256-colour, 1 = 2048 x 2048 256-colour, 2 = 2048 x 2048
// 1-bit, 3 = 2048 x 2048 4-plane (all read into 8-bit surfaces), 4 =
// 2048 x 2048 true colour (read into a 32-bit surface); 2048 x 2048 into
// 8-bit surfaces: 5 = 2-plane, 6 = 3-plane, 7 = 2-bit packed, 8 = 4-bit
// packed; 9 = 2048 x 2048 RGBA (four planes) into a 32-bit surface; noisy
// pictures, a new value at almost every pixel (few runs, many escapes): 10 =
// 2048 x 2048 256-colour into an 8-bit surface, 11 = 2048 x 2048 true colour
// into a 32-bit surface.
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
    kNoisyIndexed2048,
    kNoisyTrueColour2048,
};
constexpr int kPictureCount = 12;

struct PictureShape {
    int width;
    int height;
    int surface_bits;
    const char* name;  // file name stem, e.g. "indexed-2048"
};

PictureShape shape_of(PictureId id);

// A photograph-like picture: smooth bands with short runs and scattered
// detail, so the stream mixes runs and single bytes; or, for the noisy ones,
// mostly single bytes. The PCX file's bytes.
std::vector<uint8_t> make_pcx(PictureId id);

}  // namespace benchpictures

#endif  // BENCH_PICTURES_H
