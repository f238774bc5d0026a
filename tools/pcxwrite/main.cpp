// pcxwrite: converts a binary PPM (P6) or PGM (P5) picture into a PCX file.
//
//   pcxwrite [options] input.ppm output.pcx
//     --layout L            pixel layout (default 8): 1, 2, 3 or 4 planes of
//                           1 bit; p2 or p4 (one plane of 2 or 4 bits);
//                           8; 24 (red, green, blue planes); 32 (and an
//                           alpha plane of 255)
//     --version N           header version; 5 adds the 256-colour trailer
//     --origin X,Y          Xmin and Ymin written into the header
//     --bytes-per-line N    bytes per plane line (default: the smallest even)
//     --cross-runs          let runs continue into the next line
//     --pad V               value of the pad bytes beyond the width
//
// A P6 picture becomes true colour as it is; for the indexed layouts its
// distinct colours, in order of first appearance, become the palette (the
// call fails when there are more than the layout holds). A P5 picture's grey
// values are taken as the indices themselves, with a grey ramp as palette.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "options.h"
#include "pcx_writer.h"

namespace {

constexpr const char* kProgram = "pcxwrite";
constexpr const char* kUsage =
    "usage: pcxwrite [--layout 1|2|3|4|p2|p4|8|24|32] [--version N] [--origin X,Y] [--bytes-per-line N]\n"
    "                [--cross-runs] [--pad V] input.ppm|input.pgm output.pcx\n";

// --version takes the header's version number here; given alone it still
// prints the program's own (options.h).
constexpr tools::OptionRule kOptions[] = {
    {"--layout", nullptr, "1, 2, 3, 4, p2, p4, 8, 24 or 32"},
    {"--version", nullptr, "a number 0..255"},
    {"--origin", nullptr, "X,Y with each 0..65535"},
    {"--bytes-per-line", nullptr, "a number 1..65535"},
    {"--cross-runs", nullptr, nullptr},
    {"--pad", nullptr, "a number 0..255"},
};

struct LayoutName {
    const char* name;
    pcxwrite::Layout layout;
};

constexpr LayoutName kLayouts[] = {
    {"1", pcxwrite::Layout::OneBit},          {"2", pcxwrite::Layout::TwoPlane},
    {"3", pcxwrite::Layout::ThreePlane},      {"4", pcxwrite::Layout::FourPlane},
    {"p2", pcxwrite::Layout::PackedTwoBit},   {"p4", pcxwrite::Layout::PackedFourBit},
    {"8", pcxwrite::Layout::EightBit},        {"24", pcxwrite::Layout::TrueColor},
    {"32", pcxwrite::Layout::TrueColorAlpha},
};

struct Netpbm {
    bool colour = false;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> samples;  // 1 or 3 bytes per pixel, top row first
};

// Reads the next header number, skipping white space and comments.
bool next_number(const std::vector<uint8_t>& bytes, size_t& pos, long& value) {
    for (;;) {
        while (pos < bytes.size() && std::strchr(" \t\r\n", bytes[pos]) != nullptr) ++pos;
        if (pos < bytes.size() && bytes[pos] == '#') {
            while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
            continue;
        }
        break;
    }
    if (pos >= bytes.size() || bytes[pos] < '0' || bytes[pos] > '9') return false;
    value = 0;
    while (pos < bytes.size() && bytes[pos] >= '0' && bytes[pos] <= '9') {
        value = value * 10 + (bytes[pos] - '0');
        if (value > 1000000) return false;
        ++pos;
    }
    return true;
}

bool read_netpbm(const std::string& path, Netpbm& picture, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() < 2 || bytes[0] != 'P' || (bytes[1] != '5' && bytes[1] != '6')) {
        error = path + ": not a binary PPM or PGM picture";
        return false;
    }
    picture.colour = bytes[1] == '6';
    size_t pos = 2;
    long width = 0, height = 0, maxval = 0;
    if (!next_number(bytes, pos, width) || !next_number(bytes, pos, height) || !next_number(bytes, pos, maxval) ||
        pos >= bytes.size()) {
        error = path + ": bad header";
        return false;
    }
    ++pos;  // the single white-space byte before the samples
    if (maxval != 255 || width < 1 || height < 1 || width > 65536 || height > 65536) {
        error = path + ": only 8-bit samples and sizes 1..65536 are supported";
        return false;
    }
    const size_t count = static_cast<size_t>(width) * height * (picture.colour ? 3 : 1);
    if (bytes.size() - pos < count) {
        error = path + ": picture data is cut short";
        return false;
    }
    picture.width = static_cast<int>(width);
    picture.height = static_cast<int>(height);
    picture.samples.assign(bytes.begin() + static_cast<long>(pos), bytes.begin() + static_cast<long>(pos + count));
    return true;
}

bool parse_layout(const std::string& text, pcxwrite::Layout* layout) {
    for (const LayoutName& known : kLayouts) {
        if (text == known.name) {
            *layout = known.layout;
            return true;
        }
    }
    return false;
}

bool parse_origin(const std::string& text, pcxwrite::Options* options) {
    const size_t comma = text.find(',');
    int64_t x = 0, y = 0;
    if (comma == std::string::npos || !tools::parse_whole(text.substr(0, comma), 0, 65535, &x) ||
        !tools::parse_whole(text.substr(comma + 1), 0, 65535, &y)) {
        return false;
    }
    options->xmin = static_cast<uint16_t>(x);
    options->ymin = static_cast<uint16_t>(y);
    return true;
}

// The writer's options from the command line's; 2 after a line naming a bad
// value, -1 to go on.
int take_options(const tools::CommandLine& line, pcxwrite::Options* options) {
    for (const tools::Option& option : line.options()) {
        const std::string& name = option.name;
        int64_t number = 0;
        bool good = true;
        if (name == "--cross-runs") {
            options->runs_cross_lines = true;
        } else if (name == "--layout") {
            good = parse_layout(option.value, &options->layout);
        } else if (name == "--origin") {
            good = parse_origin(option.value, options);
        } else if (name == "--version") {
            good = tools::parse_whole(option.value, 0, 255, &number);
            options->version = static_cast<int>(number);
        } else if (name == "--bytes-per-line") {
            good = tools::parse_whole(option.value, 1, 65535, &number);
            options->bytes_per_line = static_cast<int>(number);
        } else if (name == "--pad") {
            good = tools::parse_whole(option.value, 0, 255, &number);
            options->pad_value = static_cast<uint8_t>(number);
        }
        if (!good) return line.bad_value(name, option.value);
    }
    return -1;
}

// The picture the writer takes: true colour as it is (grey spread to three
// samples), or indices with a palette (see the top of this file).
bool make_picture(const Netpbm& input, pcxwrite::Layout layout, pcxwrite::Picture* picture, std::string* error) {
    picture->width = input.width;
    picture->height = input.height;
    const size_t pixels = static_cast<size_t>(input.width) * input.height;
    if (layout == pcxwrite::Layout::TrueColor || layout == pcxwrite::Layout::TrueColorAlpha) {
        if (input.colour) {
            picture->rgb = input.samples;
            return true;
        }
        picture->rgb.resize(pixels * 3);
        for (size_t i = 0; i < pixels; ++i) {
            picture->rgb[i * 3] = picture->rgb[i * 3 + 1] = picture->rgb[i * 3 + 2] = input.samples[i];
        }
        return true;
    }
    if (!input.colour) {
        picture->indices = input.samples;
        for (int i = 0; i < 256; ++i) {
            picture->palette[i * 3] = picture->palette[i * 3 + 1] = picture->palette[i * 3 + 2] =
                static_cast<uint8_t>(i);
        }
        return true;
    }
    std::map<uint32_t, int> seen;
    picture->indices.resize(pixels);
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t* s = &input.samples[i * 3];
        const uint32_t key = (uint32_t{s[0]} << 16) | (uint32_t{s[1]} << 8) | s[2];
        auto found = seen.find(key);
        if (found == seen.end()) {
            const int index = static_cast<int>(seen.size());
            if (index > 255) {
                *error = "more than 256 colours";
                return false;
            }
            found = seen.emplace(key, index).first;
            std::memcpy(&picture->palette[static_cast<size_t>(index) * 3], s, 3);
        }
        picture->indices[i] = static_cast<uint8_t>(found->second);
    }
    return true;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    tools::CommandLine line(kProgram, std::vector<tools::OptionRule>(std::begin(kOptions), std::end(kOptions)), kUsage);
    pcxwrite::Options options;
    int status = line.parse(argc, argv);
    if (status < 0) status = take_options(line, &options);
    if (status >= 0) return status;
    if (line.operands().size() != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string& input_path = line.operands()[0];
    const std::string& output_path = line.operands()[1];

    Netpbm input;
    pcxwrite::Picture picture;
    std::string error;
    if (!read_netpbm(input_path, input, error) || !make_picture(input, options.layout, &picture, &error)) {
        return fail(error);
    }
    const std::vector<uint8_t> bytes = pcxwrite::encode(picture, options);
    if (bytes.empty()) return fail("the picture does not fit the chosen layout");
    if (!pcxwrite::write_file(output_path, bytes)) return fail("cannot write " + output_path);
    return 0;
}
