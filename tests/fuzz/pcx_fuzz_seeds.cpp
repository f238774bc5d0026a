// Writes the fuzzers' seed inputs: pictures from the PCX writer in every
// layout and with every writer option, each behind the three control bytes
// of pcx_fuzz (see pcx_fuzz.cpp) for several depths, modes and flags, and,
// given a second folder, behind the one control byte of pcx_codec_fuzz
// (format and row padding) there. A first folder of "-" writes only the
// codec's.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "pcx_writer.h"

namespace {

bool write_seed(const std::string& path, const std::vector<uint8_t>& seed) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool written = std::fwrite(seed.data(), 1, seed.size(), f) == seed.size();
    return std::fclose(f) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: pcx_fuzz_seeds output-directory|- [codec-output-directory]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const std::string codec_dir = argc == 3 ? argv[2] : "";
    using pcxwrite::Layout;
    const Layout layouts[] = {Layout::OneBit,    Layout::TwoPlane,     Layout::ThreePlane,
                              Layout::FourPlane, Layout::PackedTwoBit, Layout::PackedFourBit,
                              Layout::EightBit,  Layout::TrueColor,    Layout::TrueColorAlpha};
    const int max_index[] = {1, 3, 7, 15, 3, 15, 255, 255, 255};
    const int bits[] = {1, 1, 1, 1, 2, 4, 8, 8, 8};
    int written = 0;
    for (int li = 0; li < 9; ++li) {
        const bool rgb = li >= 7;
        for (int variant = 0; variant < 4; ++variant) {
            pcxwrite::Picture p;
            p.width = variant == 3 ? 70 : 13 + variant * 4;
            p.height = 5 + variant;
            for (int y = 0; y < p.height; ++y) {
                for (int x = 0; x < p.width; ++x) {
                    const int v = (x / 3 + y * 5 + (x * y) % 7) % (max_index[li] + 1);
                    if (rgb) {
                        p.rgb.push_back(static_cast<uint8_t>(v));
                        p.rgb.push_back(static_cast<uint8_t>(x * 9));
                        p.rgb.push_back(static_cast<uint8_t>(y * 40));
                    } else {
                        p.indices.push_back(static_cast<uint8_t>(v));
                    }
                }
            }
            for (int i = 0; i < 768; ++i) p.palette[i] = static_cast<uint8_t>(i * 13);
            pcxwrite::Options o;
            o.layout = layouts[li];
            o.version = variant == 2 ? 3 : 5;
            o.runs_cross_lines = variant & 1;
            o.xmin = static_cast<uint16_t>(variant);
            o.ymin = static_cast<uint16_t>(variant == 1 ? 2 : 0);
            if (variant == 2) o.bytes_per_line = (p.width * bits[li] + 7) / 8 + 5;
            const std::vector<uint8_t> bytes = pcxwrite::encode(p, o);
            if (bytes.empty()) return 1;
            // Depth (bits 0-1), mode (bit 2), flags and surface size.
            const uint8_t controls[] = {0x20, 0x01, 0x06, 0x03, 0x30, 0x41, 0x8A, 0xC7, 0x00};
            for (uint8_t control : controls) {
                std::vector<uint8_t> seed = {control, static_cast<uint8_t>(variant), 1};
                seed.insert(seed.end(), bytes.begin(), bytes.end());
                if (dir == "-") break;
                if (!write_seed(dir + "/seed_" + std::to_string(written++) + ".bin", seed)) return 1;
            }
            // Codec: indices, RGB and RGBA, with and without row padding.
            for (uint8_t control : {0x00, 0x05, 0x0A, 0x1C}) {
                if (codec_dir.empty()) break;
                std::vector<uint8_t> seed = {control};
                seed.insert(seed.end(), bytes.begin(), bytes.end());
                if (!write_seed(codec_dir + "/seed_" + std::to_string(written++) + ".bin", seed)) return 1;
            }
        }
    }
    return 0;
}
