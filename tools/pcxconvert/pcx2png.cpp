// pcx2png: PCX pictures to PNG files, many at once, on every core.
//
//   pcx2png [options] FILE... [-r DIR]... [-o DIR]
//
// Indexed pictures become palette PNGs at the smallest bit depth that holds
// the indices they use, true colour becomes RGB, and a fourth plane is kept
// (as RGBA) only with --alpha. A damaged picture is converted with what its
// data held and named at the end.
#include <raster/pcx_codec.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "windows_args.h"
#include "batch_convert.h"
#include "pcx_file.h"
#include "pcx_words.h"
#include "png_io.h"

namespace {

const char kUsageHead[] =
    "usage: pcx2png [options] FILE... [-r DIR]... [-o DIR]\n"
    "Converts PCX pictures to PNG files (NAME.pcx to NAME.png), on every core.\n"
    "Indexed pictures become palette PNGs of 1, 2, 4 or 8 bits a pixel (the fewest\n"
    "that hold the colours used), true colour becomes RGB.\n"
    "  --alpha             keep a 4-plane picture's fourth plane, as RGBA (the format\n"
    "                      does not say whether it is alpha; without --alpha it is dropped)\n";

// The fewest bits a pixel that hold indices up to `highest`.
int depth_for(int highest) { return highest < 2 ? 1 : highest < 4 ? 2 : highest < 16 ? 4 : 8; }

// The decoded picture as a PNG file.
convert::Outcome make_png(const pcx_facts& facts, int32_t format, const std::vector<uint8_t>& decoded,
                          pngio::WriterPool& writers, std::vector<uint8_t>* png) {
    pngio::Picture picture;
    picture.width = facts.width;
    picture.height = facts.height;
    picture.pixels = decoded.data();
    picture.stride = static_cast<ptrdiff_t>(facts.width) * format;
    if (format == PCX_FORMAT_INDICES) {
        uint8_t highest = 0;
        for (uint8_t index : decoded) highest = index > highest ? index : highest;
        picture.kind = pngio::Kind::Palette;
        picture.bit_depth = depth_for(highest);
        picture.palette.assign(facts.palette, facts.palette + 3 * (highest + 1));
    } else {
        picture.kind = format == PCX_FORMAT_RGBA ? pngio::Kind::Rgba : pngio::Kind::Rgb;
    }
    std::string error;
    const pngio::WriterPool::Lease writer = writers.take();
    if (!(*writer).write(picture, png, &error)) return {convert::Result::Refused, "cannot make the PNG: " + error};
    if (facts.damage != 0) return {convert::Result::Damaged, tools::joined(tools::damage_words(facts))};
    return {convert::Result::Converted, std::string()};
}

convert::Outcome decode(bool keep_alpha, const std::vector<uint8_t>& data, pcx_facts facts, pngio::WriterPool& writers,
                        std::vector<uint8_t>* png) {
    const bool indexed = facts.colour_source != 0;
    const int32_t format = indexed                           ? PCX_FORMAT_INDICES
                           : keep_alpha && facts.planes == 4 ? PCX_FORMAT_RGBA
                                                             : PCX_FORMAT_RGB;
    const size_t row = static_cast<size_t>(facts.width) * static_cast<size_t>(format);
    std::vector<uint8_t> decoded(row * static_cast<size_t>(facts.height));
    const int32_t result = pcx_decode(data.data(), data.size(), format, decoded.data(), decoded.size(),
                                      static_cast<ptrdiff_t>(row), &facts);
    if (result == RASTER_NO_MEMORY) throw std::bad_alloc();
    if (result != PCX_OK) return {convert::Result::Refused, tools::refusal_words(result, facts)};
    return make_png(facts, format, decoded, writers, png);
}

convert::Outcome convert_picture(bool keep_alpha, const std::vector<uint8_t>& data, tools::PixelBudget& budget,
                                 pngio::WriterPool& writers, std::vector<uint8_t>* png) {
    pcx_facts facts;
    const int32_t result = pcx_inspect(data.data(), data.size(), &facts);
    if (result != PCX_OK) return {convert::Result::Refused, tools::refusal_words(result, facts)};
    const int64_t pixels = int64_t{facts.width} * facts.height;
    if (pixels > budget.limit()) {
        return {convert::Result::Refused, tools::too_large(facts.width, facts.height, budget.limit())};
    }
    tools::BudgetHold hold(&budget, pixels);
    try {
        return decode(keep_alpha, data, facts, writers, png);
    } catch (const std::bad_alloc&) {
        return {convert::Result::Refused, tools::no_memory(facts.width, facts.height)};
    }
}

// The PCX file read no further than its picture can reach.
bool read_bounded(const std::string& path, int64_t max_pixels, std::vector<uint8_t>* bytes, std::string* error) {
    tools::PcxFile file;
    if (!tools::read_pcx_file(path, max_pixels, &file, error)) return false;
    *bytes = std::move(file.bytes);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const tools::Utf8Arguments utf8(&argc, &argv);
    const std::string usage = std::string(kUsageHead) + convert::kSharedUsage;
    bool keep_alpha = false;
    convert::Tool tool{"pcx2png",
                       usage.c_str(),
                       ".pcx",
                       ".png",
                       {{"--alpha", nullptr, nullptr}},
                       [&](const tools::Option&) {
                           keep_alpha = true;
                           return true;
                       },
                       read_bounded};
    return convert::run(tool, argc, argv, [&] {
        // One writer a thread converting, each kept from file to file.
        auto writers = std::make_shared<pngio::WriterPool>();
        return [keep_alpha, writers](const std::vector<uint8_t>& data, tools::PixelBudget& budget,
                                     std::vector<uint8_t>* png) {
            return convert_picture(keep_alpha, data, budget, *writers, png);
        };
    });
}
