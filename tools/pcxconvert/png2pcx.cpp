// png2pcx: PNG pictures to PCX files, many at once, on every core.
//
//   png2pcx [options] FILE... [-r DIR]... [-o DIR]
//
// Each picture gets the smallest layout that holds it: black and white,
// up to 16 colours (1 bit in 4 planes), up to 256 (8 bits and the colour
// trailer), else true colour; --layout chooses one. Palette and grey PNGs
// keep their indices (grey values become indices into a grey ramp), so a
// picture comes back from pcx2png with its own palette.
#include <raster/pcx_codec.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "windows_args.h"
#include "inputs.h"
#include "batch_convert.h"
#include "pcx_file.h"
#include "png_io.h"

namespace {

const char kUsageHead[] =
    "usage: png2pcx [options] FILE... [-r DIR]... [-o DIR]\n"
    "       png2pcx [options] --dcx OUT.dcx FILE... [-r DIR]...\n"
    "Converts PNG pictures to PCX files (NAME.png to NAME.pcx), on every core, in the\n"
    "smallest layout that holds each: black and white; up to 16 colours (1 bit in 4\n"
    "planes); up to 256 (8 bits with the colour trailer); else true colour (3 planes).\n"
    "Palette and grey PNGs keep their indices; 16-bit samples are scaled to 8 bits.\n"
    "  --layout L          bw, 16, 256, rgb or rgba instead (a picture that does not\n"
    "                      fit the layout is refused); rgba keeps transparency\n"
    "  --alpha             keep transparency, as a fourth plane (true colour); without\n"
    "                      it, transparency is dropped and the colours kept\n"
    "  --dcx FILE          one multi-page (DCX) file of all the inputs instead, a\n"
    "                      page each in the order given (at most 1023), written\n"
    "                      whole or not at all: any input refused, and no FILE\n";

enum class Layout { Smallest, BlackWhite, Sixteen, TwoFiftySix, Rgb, Rgba };

struct Settings {
    Layout layout = Layout::Smallest;
    bool alpha = false;
    std::string dcx;  // --dcx: one multi-page file of all the inputs
};

// An indexed picture: indices and `count` colours.
struct Indexed {
    std::vector<uint8_t> indices;
    std::vector<uint8_t> palette;  // red, green, blue
};

uint32_t colour_at(const uint8_t* p) { return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]; }

// The distinct colours of a red, green, blue picture, in ascending order
// (so black and white come as black then white), with each pixel's index;
// false when there are more than 256.
bool index_colours(const std::vector<uint8_t>& rgb, Indexed* out) {
    constexpr uint32_t kSlots = 1024;  // open addressing, at most a quarter full
    std::vector<uint32_t> keys(kSlots, 0);
    std::vector<uint8_t> found(kSlots, 0);
    std::vector<uint32_t> colours;
    const size_t pixels = rgb.size() / 3;
    out->indices.resize(pixels);
    for (size_t i = 0; i < pixels; ++i) {
        const uint32_t key = colour_at(&rgb[i * 3]) + 1;
        uint32_t slot = (key * 2654435761u) >> 22;
        while (keys[slot] != 0 && keys[slot] != key) slot = (slot + 1) & (kSlots - 1);
        if (keys[slot] == 0) {
            if (colours.size() == 256) return false;
            keys[slot] = key;
            found[slot] = static_cast<uint8_t>(colours.size());
            colours.push_back(key - 1);
        }
        out->indices[i] = found[slot];
    }
    std::vector<uint32_t> sorted = colours;
    std::sort(sorted.begin(), sorted.end());
    uint8_t remap[256];
    for (size_t i = 0; i < colours.size(); ++i) {
        remap[i] = static_cast<uint8_t>(std::lower_bound(sorted.begin(), sorted.end(), colours[i]) - sorted.begin());
    }
    for (uint8_t& index : out->indices) index = remap[index];
    out->palette.clear();
    for (uint32_t c : sorted) out->palette.insert(out->palette.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    return true;
}

// Drops palette entries past the highest index used.
void trim_palette(Indexed* picture) {
    uint8_t highest = 0;
    for (uint8_t index : picture->indices) highest = std::max(highest, index);
    picture->palette.resize(std::min<size_t>(picture->palette.size(), 3u * (highest + 1u)), 0);
}

// Every index through the palette, as red, green, blue (and alpha 255).
std::vector<uint8_t> expand(const Indexed& picture, int channels) {
    std::vector<uint8_t> out(picture.indices.size() * static_cast<size_t>(channels), 255);
    for (size_t i = 0; i < picture.indices.size(); ++i) {
        std::copy_n(&picture.palette[picture.indices[i] * 3u], 3, &out[i * static_cast<size_t>(channels)]);
    }
    return out;
}

// Black and white as 0 and 1; false when the picture has other colours.
bool to_black_white(Indexed* picture) {
    uint8_t remap[256] = {};
    for (size_t i = 0; i < picture->palette.size() / 3; ++i) {
        const uint32_t c = colour_at(&picture->palette[i * 3]);
        remap[i] = c == 0xffffff ? 1 : 0;
        if (c != 0 && c != 0xffffff) {
            for (uint8_t index : picture->indices) {
                if (index == i) return false;
            }
        }
    }
    for (uint8_t& index : picture->indices) index = remap[index];
    picture->palette = {0, 0, 0, 255, 255, 255};
    return true;
}

struct Encoding {
    const uint8_t* pixels;
    int32_t format;
    const uint8_t* palette;
    int32_t colours;
};

convert::Outcome encode(const pngio::Image& image, const Encoding& e, std::vector<uint8_t>* pcx) {
    const ptrdiff_t stride = static_cast<ptrdiff_t>(image.width) * (e.format == PCX_FORMAT_INDICES ? 1 : e.format);
    const size_t size =
        pcx_encode(e.pixels, image.width, image.height, stride, e.format, e.palette, e.colours, nullptr, 0);
    if (size == 0) return {convert::Result::Refused, "the PCX encoder refused the picture"};
    pcx->resize(size);
    if (pcx_encode(e.pixels, image.width, image.height, stride, e.format, e.palette, e.colours, pcx->data(), size) !=
        size) {
        return {convert::Result::Refused, "the PCX encoder refused the picture"};
    }
    return {convert::Result::Converted, std::string()};
}

const char* layout_name(Layout layout) {
    switch (layout) {
        case Layout::BlackWhite:
            return "bw";
        case Layout::Sixteen:
            return "16";
        case Layout::TwoFiftySix:
            return "256";
        default:
            return "rgb";
    }
}

// An indexed picture in the layout asked for (or the smallest).
convert::Outcome encode_indexed(const pngio::Image& image, Indexed picture, Layout layout, std::vector<uint8_t>* pcx) {
    const size_t count = picture.palette.size() / 3;
    if (layout == Layout::Rgb) {
        const std::vector<uint8_t> rgb = expand(picture, 3);
        return encode(image, {rgb.data(), PCX_FORMAT_RGB, nullptr, 0}, pcx);
    }
    if (layout == Layout::BlackWhite && !to_black_white(&picture)) {
        return {convert::Result::Refused, "has colours other than black and white, which --layout bw cannot hold"};
    }
    if ((layout == Layout::Sixteen && count > 16)) {
        return {convert::Result::Refused, std::to_string(count) + " colours, more than --layout 16 holds"};
    }
    // The encoder picks the layout from the number of colours: 2 that are
    // black then white give 1 bit in 1 plane, up to 16 give 4 planes, more
    // give 8 bits. A single colour is padded to two.
    int32_t colours = std::max<int32_t>(2, static_cast<int32_t>(picture.palette.size() / 3));
    if (layout == Layout::Sixteen) colours = 16;
    if (layout == Layout::TwoFiftySix) colours = 256;
    picture.palette.resize(static_cast<size_t>(colours) * 3, 0);
    if (layout == Layout::Smallest && count == 1 && colour_at(picture.palette.data()) == 0) {
        std::fill_n(&picture.palette[3], 3, 255);  // black alone: black and white, 1 bit
    }
    return encode(image, {picture.indices.data(), PCX_FORMAT_INDICES, picture.palette.data(), colours}, pcx);
}

// Any picture as red, green, blue and alpha (255 where it has none).
std::vector<uint8_t> as_rgba(const pngio::Image& image) {
    if (image.channels == 4) return image.pixels;
    if (image.channels == 1) return expand({image.pixels, image.palette}, 4);
    std::vector<uint8_t> rgba(image.pixels.size() / 3 * 4, 255);
    for (size_t i = 0; i < image.pixels.size() / 3; ++i) std::copy_n(&image.pixels[i * 3], 3, &rgba[i * 4]);
    return rgba;
}

// Red, green, blue and alpha to red, green, blue, in place.
void drop_alpha(pngio::Image* image) {
    for (size_t i = 0; i < image->pixels.size() / 4; ++i) {
        std::copy_n(&image->pixels[i * 4], 3, &image->pixels[i * 3]);
    }
    image->pixels.resize(image->pixels.size() / 4 * 3);
    image->channels = 3;
}

// The picture read and encoded; std::bad_alloc when memory runs out on the
// way, from here or from the codec.
convert::Outcome read_and_encode(const Settings& settings, pngio::Reader& reader, std::vector<uint8_t>* pcx) {
    pngio::Image image;
    std::string error;
    const bool alpha = settings.alpha || settings.layout == Layout::Rgba;
    if (!reader.read(alpha, &image, &error)) {
        if (error.find("out of memory") != std::string::npos || error.find("Out of memory") != std::string::npos) {
            throw std::bad_alloc();  // libpng's own allocation failed
        }
        return {convert::Result::Refused, "a damaged PNG: " + error};
    }
    if (settings.layout == Layout::Rgba || image.transparent) {
        if (settings.layout != Layout::Rgba && settings.layout != Layout::Smallest) {
            return {convert::Result::Refused, std::string("has transparency, which --layout ") +
                                                  layout_name(settings.layout) + " cannot hold (rgba can)"};
        }
        const std::vector<uint8_t> rgba = as_rgba(image);
        return encode(image, {rgba.data(), PCX_FORMAT_RGBA, nullptr, 0}, pcx);
    }
    if (image.channels == 4) drop_alpha(&image);  // kept alpha that is opaque everywhere
    Indexed picture;
    if (image.channels == 1) {
        picture = {image.pixels, image.palette};
        trim_palette(&picture);
    } else if (settings.layout == Layout::Rgb || !index_colours(image.pixels, &picture)) {
        if (settings.layout != Layout::Smallest && settings.layout != Layout::Rgb) {
            return {convert::Result::Refused, std::string("more than 256 colours, which --layout ") +
                                                  layout_name(settings.layout) + " cannot hold"};
        }
        return encode(image, {image.pixels.data(), PCX_FORMAT_RGB, nullptr, 0}, pcx);
    }
    return encode_indexed(image, std::move(picture), settings.layout, pcx);
}

convert::Outcome convert_picture(const Settings& settings, const std::vector<uint8_t>& data, tools::PixelBudget& budget,
                                 std::vector<uint8_t>* pcx) {
    pngio::Reader reader;
    std::string error;
    if (!reader.open(data.data(), data.size(), &error)) return {convert::Result::Refused, error};
    const int64_t pixels = int64_t{reader.width()} * reader.height();
    if (pixels > budget.limit()) {
        return {convert::Result::Refused, tools::too_large(reader.width(), reader.height(), budget.limit())};
    }
    if (reader.width() > 65535 || reader.height() > 65535) {
        return {convert::Result::Refused, std::to_string(reader.width()) + " x " + std::to_string(reader.height()) +
                                              " pixels: a PCX picture has at most 65535 a side"};
    }
    tools::BudgetHold hold(&budget, pixels);
    try {
        return read_and_encode(settings, reader, pcx);
    } catch (const std::bad_alloc&) {
        return {convert::Result::Refused, tools::no_memory(reader.width(), reader.height())};
    }
}

// The pictures as one DCX file, in the order given.
bool join_pages(const std::vector<std::vector<uint8_t>>& pages, std::vector<uint8_t>* whole, std::string* error) {
    if (pages.size() > PCX_DCX_MAX_PAGES) {
        *error = std::to_string(pages.size()) + " pictures: a DCX file holds at most 1023";
        return false;
    }
    std::vector<uint64_t> sizes;
    sizes.reserve(pages.size());
    for (const std::vector<uint8_t>& page : pages) sizes.push_back(page.size());
    whole->resize(PCX_DCX_HEAD_BYTES);
    if (pcx_dcx_head(sizes.data(), static_cast<int32_t>(sizes.size()), whole->data(), whole->size()) == 0) {
        *error = "its pages reach past the 4 GiB a DCX table can point to";
        return false;
    }
    for (const std::vector<uint8_t>& page : pages) whole->insert(whole->end(), page.begin(), page.end());
    return true;
}

// The size a PNG's header gives; false when the bytes are no PNG's (the
// reader then says what they are not).
bool png_size(const std::vector<uint8_t>& head, uint64_t* width, uint64_t* height) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    static const uint8_t kHeaderChunk[4] = {'I', 'H', 'D', 'R'};
    if (head.size() < 24 || !std::equal(kSignature, kSignature + 8, head.begin()) ||
        !std::equal(kHeaderChunk, kHeaderChunk + 4, head.begin() + 12))
        return false;
    const auto field = [&](size_t at) {
        return (uint64_t{head[at]} << 24) | (uint64_t{head[at + 1]} << 16) | (uint64_t{head[at + 2]} << 8) |
               head[at + 3];
    };
    *width = field(16);
    *height = field(20);
    return true;
}

// A PNG read no further than its pixels can need: its header first, so
// that a picture of more than --max-pixels is refused after 33 bytes, then
// at most its pixels stored uncompressed (8 bytes a pixel at most, a
// filter byte a row) twice over, and 16 MiB for the chunks beside them; a
// longer file is refused.
bool read_png_bounded(const std::string& path, int64_t max_pixels, std::vector<uint8_t>* bytes, std::string* error) {
    constexpr size_t kHeadBytes = 33;  // the signature and the whole IHDR chunk
    FILE* input = tools::open_input(path, error);
    if (input == nullptr) return false;
    bytes->clear();
    bool read = tools::read_at_most(input, kHeadBytes, bytes, error);
    if (read && bytes->empty()) {
        *error = "empty file";
        read = false;
    }
    uint64_t width = 0, height = 0, limit = 0;
    if (read && png_size(*bytes, &width, &height)) {
        limit = 2 * height * (1 + 8 * width) + (uint64_t{16} << 20);
        if (width * height > static_cast<uint64_t>(max_pixels)) {
            *error = tools::too_large(static_cast<int64_t>(width), static_cast<int64_t>(height), max_pixels);
            read = false;
        }
        read = read && tools::read_at_most(input, limit + 1, bytes, error);
    }
    tools::close_input(input);
    if (read && limit != 0 && bytes->size() > limit) {
        *error = "longer than its pixels can need (" + std::to_string(limit) + " bytes); not read";
        read = false;
    }
    return read;
}

bool take_option(const tools::Option& option, Settings* settings) {
    if (option.name == "--dcx") {
        settings->dcx = option.value;
        return !option.value.empty();
    }
    if (option.name == "--alpha") {
        settings->alpha = true;
        return true;
    }
    const std::pair<const char*, Layout> names[] = {{"bw", Layout::BlackWhite},
                                                    {"16", Layout::Sixteen},
                                                    {"256", Layout::TwoFiftySix},
                                                    {"rgb", Layout::Rgb},
                                                    {"rgba", Layout::Rgba}};
    for (const auto& [name, layout] : names) {
        if (option.value == name) {
            settings->layout = layout;
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const tools::Utf8Arguments utf8(&argc, &argv);
    const std::string usage = std::string(kUsageHead) + convert::kSharedUsage;
    Settings settings;
    convert::Tool tool{"png2pcx",
                       usage.c_str(),
                       {".png"},
                       ".pcx",
                       {{"--layout", nullptr, "bw, 16, 256, rgb or rgba"},
                        {"--alpha", nullptr, nullptr},
                        {"--dcx", nullptr, "a file name"}},
                       [&](const tools::Option& option) { return take_option(option, &settings); },
                       read_png_bounded,
                       nullptr,
                       nullptr,
                       join_pages,
                       &settings.dcx};
    return convert::run(tool, argc, argv, [&] {
        return [settings](const std::vector<uint8_t>& data, tools::PixelBudget& budget, std::vector<uint8_t>* pcx) {
            return convert_picture(settings, data, budget, pcx);
        };
    });
}
