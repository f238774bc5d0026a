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
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "pcx_writer.h"

namespace {

constexpr const char* kUsage =
    "usage: pcxwrite [--layout 1|2|3|4|p2|p4|8|24|32] [--version N] [--origin X,Y] [--bytes-per-line N]\n"
    "                [--cross-runs] [--pad V] input.ppm|input.pgm output.pcx\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

// One line naming the option and what it allows.
int bad_value(const char* option, const char* allowed) {
    std::fprintf(stderr, "pcxwrite: %s takes %s\n", option, allowed);
    return 2;
}

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

bool parse_int(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value >= low && value <= high;
}

}  // namespace

int main(int argc, char** argv) {
    pcxwrite::Options options;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        long value = 0;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--cross-runs") {
            options.runs_cross_lines = true;
        } else if (arg == "--layout" && i + 1 < argc) {
            const std::string layout = argv[++i];
            bool known = false;
            for (const LayoutName& l : kLayouts) {
                if (layout == l.name) {
                    options.layout = l.layout;
                    known = true;
                }
            }
            if (!known) return bad_value("--layout", "1, 2, 3, 4, p2, p4, 8, 24 or 32");
        } else if (arg == "--version" && i + 1 < argc) {
            if (!parse_int(argv[++i], 0, 255, value)) return bad_value("--version", "a number 0..255");
            options.version = static_cast<int>(value);
        } else if (arg == "--bytes-per-line" && i + 1 < argc) {
            if (!parse_int(argv[++i], 1, 65535, value)) return bad_value("--bytes-per-line", "a number 1..65535");
            options.bytes_per_line = static_cast<int>(value);
        } else if (arg == "--pad" && i + 1 < argc) {
            if (!parse_int(argv[++i], 0, 255, value)) return bad_value("--pad", "a number 0..255");
            options.pad_value = static_cast<uint8_t>(value);
        } else if (arg == "--origin" && i + 1 < argc) {
            const std::string origin = argv[++i];
            const size_t comma = origin.find(',');
            long x = 0, y = 0;
            if (comma == std::string::npos || !parse_int(origin.substr(0, comma).c_str(), 0, 65535, x) ||
                !parse_int(origin.substr(comma + 1).c_str(), 0, 65535, y)) {
                return bad_value("--origin", "X,Y with each 0..65535");
            }
            options.xmin = static_cast<uint16_t>(x);
            options.ymin = static_cast<uint16_t>(y);
        } else if (!arg.empty() && arg[0] == '-') {
            return usage();
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2) return usage();

    Netpbm input;
    std::string error;
    if (!read_netpbm(files[0], input, error)) {
        std::fprintf(stderr, "pcxwrite: %s\n", error.c_str());
        return 1;
    }

    pcxwrite::Picture picture;
    picture.width = input.width;
    picture.height = input.height;
    const size_t pixels = static_cast<size_t>(input.width) * input.height;
    if (options.layout == pcxwrite::Layout::TrueColor || options.layout == pcxwrite::Layout::TrueColorAlpha) {
        if (input.colour) {
            picture.rgb = input.samples;
        } else {
            picture.rgb.resize(pixels * 3);
            for (size_t i = 0; i < pixels; ++i) {
                picture.rgb[i * 3] = picture.rgb[i * 3 + 1] = picture.rgb[i * 3 + 2] = input.samples[i];
            }
        }
    } else if (input.colour) {
        std::map<uint32_t, int> seen;
        picture.indices.resize(pixels);
        for (size_t i = 0; i < pixels; ++i) {
            const uint8_t* s = &input.samples[i * 3];
            const uint32_t key = (uint32_t{s[0]} << 16) | (uint32_t{s[1]} << 8) | s[2];
            auto found = seen.find(key);
            int index = 0;
            if (found == seen.end()) {
                index = static_cast<int>(seen.size());
                if (index > 255) {
                    std::fprintf(stderr, "pcxwrite: more than 256 colours\n");
                    return 1;
                }
                seen.emplace(key, index);
                std::memcpy(&picture.palette[static_cast<size_t>(index) * 3], s, 3);
            } else {
                index = found->second;
            }
            picture.indices[i] = static_cast<uint8_t>(index);
        }
    } else {
        picture.indices = input.samples;
        for (int i = 0; i < 256; ++i) {
            picture.palette[i * 3] = picture.palette[i * 3 + 1] = picture.palette[i * 3 + 2] = static_cast<uint8_t>(i);
        }
    }

    const std::vector<uint8_t> bytes = pcxwrite::encode(picture, options);
    if (bytes.empty()) {
        std::fprintf(stderr, "pcxwrite: the picture does not fit the chosen layout\n");
        return 1;
    }
    if (!pcxwrite::write_file(files[1], bytes)) {
        std::fprintf(stderr, "pcxwrite: cannot write %s\n", files[1].c_str());
        return 1;
    }
    return 0;
}
