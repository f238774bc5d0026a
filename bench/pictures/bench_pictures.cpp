#include "bench_pictures.h"

#include "pcx_writer.h"

namespace benchpictures {

namespace {

pcxwrite::Layout layout_of(PictureId id) {
    switch (id) {
        case kOneBit2048:
            return pcxwrite::Layout::OneBit;
        case kFourPlane2048:
            return pcxwrite::Layout::FourPlane;
        case kTrueColour2048:
        case kNoisyTrueColour2048:
            return pcxwrite::Layout::TrueColor;
        case kTwoPlane2048:
            return pcxwrite::Layout::TwoPlane;
        case kThreePlane2048:
            return pcxwrite::Layout::ThreePlane;
        case kPackedTwoBit2048:
            return pcxwrite::Layout::PackedTwoBit;
        case kPackedFourBit2048:
            return pcxwrite::Layout::PackedFourBit;
        case kRgba2048:
            return pcxwrite::Layout::TrueColorAlpha;
        default:
            return pcxwrite::Layout::EightBit;
    }
}

}  // namespace

PictureShape shape_of(PictureId id) {
    switch (id) {
        case kSky640:
            return {640, 200, 8, "sky-640x200-8bit"};
        case kIndexed2048:
            return {2048, 2048, 8, "2048-8bit"};
        case kOneBit2048:
            return {2048, 2048, 8, "2048-1bit"};
        case kFourPlane2048:
            return {2048, 2048, 8, "2048-4plane"};
        case kTrueColour2048:
            return {2048, 2048, 32, "2048-24bit"};
        case kTwoPlane2048:
            return {2048, 2048, 8, "2048-2plane"};
        case kThreePlane2048:
            return {2048, 2048, 8, "2048-3plane"};
        case kPackedTwoBit2048:
            return {2048, 2048, 8, "2048-2bit-packed"};
        case kPackedFourBit2048:
            return {2048, 2048, 8, "2048-4bit-packed"};
        case kRgba2048:
            return {2048, 2048, 32, "2048-rgba"};
        case kNoisyIndexed2048:
            return {2048, 2048, 8, "2048-8bit-noisy"};
        case kNoisyTrueColour2048:
            return {2048, 2048, 32, "2048-24bit-noisy"};
    }
    return {1, 1, 8, "none"};
}

std::vector<uint8_t> make_pcx(PictureId id) {
    const PictureShape shape = shape_of(id);
    const pcxwrite::Layout layout = layout_of(id);
    pcxwrite::Picture p;
    p.width = shape.width;
    p.height = shape.height;
    uint32_t dice = 2024;
    auto roll = [&dice]() {
        dice = dice * 1664525u + 1013904223u;
        return dice >> 24;
    };
    using pcxwrite::Layout;
    int colours = 256;
    if (layout == Layout::OneBit) colours = 2;
    if (layout == Layout::TwoPlane || layout == Layout::PackedTwoBit) colours = 4;
    if (layout == Layout::ThreePlane) colours = 8;
    if (layout == Layout::FourPlane || layout == Layout::PackedFourBit) colours = 16;
    const bool rgb = layout == Layout::TrueColor || layout == Layout::TrueColorAlpha;
    const bool noisy = id == kNoisyIndexed2048 || id == kNoisyTrueColour2048;
    for (int y = 0; y < p.height && noisy; ++y) {
        for (int x = 0; x < p.width * (rgb ? 3 : 1); ++x) {
            // A pixel in sixteen repeats its left neighbour's value.
            std::vector<uint8_t>& bytes = rgb ? p.rgb : p.indices;
            const size_t step = rgb ? 3 : 1;
            bytes.push_back(x >= static_cast<int>(step) && roll() % 16 == 0 ? bytes[bytes.size() - step]
                                                                            : static_cast<uint8_t>(roll()));
        }
    }
    for (int y = 0; y < p.height && !noisy; ++y) {
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
    o.layout = layout;
    return pcxwrite::encode(p, o);
}

}  // namespace benchpictures
