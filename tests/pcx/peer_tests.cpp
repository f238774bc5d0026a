// PCX pictures written by other programs (netpbm's ppmtopcx, ImageMagick,
// Pillow, and the project's own writer with runs across line ends) decode
// through pcx_display, into every depth, to exactly the pixels an
// independent reader (pcxtoppm or Pillow) gives. Each group is skipped, with
// the package to install, when its programs are missing.
#include <gtest/gtest.h>

#include <windows.h>

#include <raster/raster.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "library_env.h"
#include "peer.h"
#include "raster/state.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kSentinel = 0xA5;

struct Rgb {
    int width = 0;
    int height = 0;
    Bytes rgb;  // red, green, blue per pixel, top row first
};

void write_ppm(const fs::path& path, const Rgb& picture) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << picture.width << " " << picture.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(picture.rgb.data()), static_cast<std::streamsize>(picture.rgb.size()));
}

// A binary PPM as the readers under test write it (no comments).
bool read_ppm(const fs::path& path, Rgb& picture) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    if (!(in >> magic >> picture.width >> picture.height >> maxval) || magic != "P6" || maxval != 255) return false;
    in.get();
    picture.rgb.assign(static_cast<size_t>(picture.width) * picture.height * 3, 0);
    in.read(reinterpret_cast<char*>(picture.rgb.data()), static_cast<std::streamsize>(picture.rgb.size()));
    return static_cast<size_t>(in.gcount()) == picture.rgb.size();
}

// The standard 16 colours that ppmtopcx -stdpalette requires.
constexpr uint8_t kStandard[48] = {0,    0,    0,    0,    0,    0xAA, 0,    0xAA, 0,    0,    0xAA, 0xAA,
                                   0xAA, 0,    0,    0xAA, 0,    0xAA, 0xAA, 0xAA, 0,    0xAA, 0xAA, 0xAA,
                                   0x55, 0x55, 0x55, 0x55, 0x55, 0xFF, 0x55, 0xFF, 0x55, 0x55, 0xFF, 0xFF,
                                   0xFF, 0x55, 0x55, 0xFF, 0x55, 0xFF, 0xFF, 0xFF, 0x55, 0xFF, 0xFF, 0xFF};

// A picture of `colours` distinct colours (0: a different colour almost
// everywhere) with runs of three, and the first and last column of every
// row alike, so that runs can cross line ends.
Rgb source(int width, int height, int colours, bool standard) {
    Rgb p{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int k = (x == 0 || x == width - 1) ? 0 : (x / 3 + y * 2 + (x * y) % 5);
            if (colours == 0) {
                p.rgb.insert(p.rgb.end(), {static_cast<uint8_t>(x * 19 + y), static_cast<uint8_t>(y * 37 + x * 3),
                                           static_cast<uint8_t>(x * y + 7)});
            } else if (standard) {
                const uint8_t* c = kStandard + (k % colours) * 3;
                p.rgb.insert(p.rgb.end(), c, c + 3);
            } else {
                const int i = k % colours;
                p.rgb.insert(p.rgb.end(), {static_cast<uint8_t>(i * 37 + 11), static_cast<uint8_t>(i * 91 + 5),
                                           static_cast<uint8_t>(i * 53 + 200)});
            }
        }
    }
    return p;
}

enum class Reference { Pcxtoppm, Pillow, Source };

struct Writer {
    const char* name;
    std::string command;  // {in} and {out} are replaced by the paths
    Reference reference;
    int max_colours;  // the most colours it takes; 0: any number, true colour too
    bool standard_colours = false;
    const char* pillow_mode = nullptr;  // written by Pillow in this mode instead
};

std::string expand(std::string text, const fs::path& in, const fs::path& out) {
    for (const auto& [key, value] :
         {std::pair<std::string, std::string>{"{in}", in.string()}, {"{out}", out.string()}}) {
        for (size_t at = text.find(key); at != std::string::npos; at = text.find(key)) {
            text.replace(at, key.size(), "\"" + value + "\"");
        }
    }
    return text;
}

const std::string& python() {
    static const std::string command = std::string("\"") + PYTHON3_COMMAND + "\"";
    return command;
}

// The colour a decoded surface pixel shows, compared in the surface's own
// form (16-bit surfaces hold RGB 5-6-5).
Bytes shown(int bpp, const uint8_t* pixel) {
    if (bpp == 8) {
        const PALETTEENTRY& e = raster::state.logical_palette.palPalEntry[pixel[0]];
        return {e.peRed, e.peGreen, e.peBlue};
    }
    if (bpp == 16) return {pixel[0], pixel[1]};
    return {pixel[2], pixel[1], pixel[0]};
}

Bytes expected_shown(int bpp, const uint8_t* rgb) {
    if (bpp == 16) {
        const int v = ((rgb[0] >> 3) << 11) | ((rgb[1] >> 2) << 5) | (rgb[2] >> 3);
        return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    }
    return {rgb[0], rgb[1], rgb[2]};
}

class PcxPeers : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("pcx_peers_" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
        palette_ = testenv::start_library();
    }
    void TearDown() override {
        testenv::stop_library(palette_);
        fs::remove_all(dir_);
    }

    // Every writer on every source it can take, each file decoded into every
    // depth and compared with the reference reader's pixels. The programs
    // run from one shell script and one Python process, as starting them is
    // most of the time this takes.
    void check(const std::vector<Writer>& writers) {
        struct Job {
            const Writer* writer;
            Rgb picture;
            fs::path in, pcx, reference;
            std::string label;
        };
        const int sizes[][2] = {{1, 1}, {13, 7}, {70, 3}};
        const int colour_counts[] = {2, 3, 6, 16, 200, 0};
        std::vector<Job> jobs;
        std::string script;
        std::string pillow_arguments;
        for (const Writer& writer : writers) {
            for (const auto& size : sizes) {
                for (int colours : colour_counts) {
                    if (writer.max_colours != 0 && (colours == 0 || colours > writer.max_colours)) continue;
                    const std::string n = std::to_string(jobs.size());
                    Job job{&writer,
                            source(size[0], size[1], colours, writer.standard_colours),
                            dir_ / (n + ".ppm"),
                            dir_ / (n + ".pcx"),
                            dir_ / (n + "_reference.ppm"),
                            testing::PrintToString(writer.name) + ", " + std::to_string(size[0]) + "x" +
                                std::to_string(size[1]) + ", " +
                                (colours == 0 ? std::string("true colour") : std::to_string(colours) + " colours")};
                    write_ppm(job.in, job.picture);
                    if (writer.pillow_mode != nullptr) {
                        pillow_arguments += expand(" {in} ", job.in, job.pcx) + writer.pillow_mode +
                                            expand(" {in} {out}", job.pcx, job.reference);
                    } else {
                        script += expand(writer.command, job.in, job.pcx) + " 2>/dev/null\n";
                        if (writer.reference == Reference::Pcxtoppm) {
                            script += expand("pcxtoppm {in} > {out} 2>/dev/null\n", job.pcx, job.reference);
                        }
                    }
                    jobs.push_back(std::move(job));
                }
            }
        }
        if (!script.empty()) {
            std::ofstream(dir_ / "run.sh") << script;
            std::system(("sh \"" + (dir_ / "run.sh").string() + "\"").c_str());
        }
        if (!pillow_arguments.empty()) {
            std::ofstream(dir_ / "pillow.py") << "import sys\n"
                                                 "from PIL import Image\n"
                                                 "a = sys.argv[1:]\n"
                                                 "for i in range(0, len(a), 4):\n"
                                                 "    Image.open(a[i]).convert(a[i + 1]).save(a[i + 2])\n"
                                                 "    try:\n"
                                                 "        picture = Image.open(a[i + 2]).convert('RGB')\n"
                                                 "    except OSError:\n"
                                                 "        continue\n"
                                                 "    picture.save(a[i + 3], 'PPM')\n";
            // Each picture is written and read back in its own step, so one
            // that Pillow cannot read back leaves only its reference missing.
            std::system(
                (python() + expand(" {in}", dir_ / "pillow.py", dir_) + pillow_arguments + " 2>/dev/null").c_str());
        }
        size_t unreadable = 0;
        for (const Job& job : jobs) {
            SCOPED_TRACE(job.label);
            Rgb reference = job.picture;
            if (job.writer->reference == Reference::Pillow && !fs::exists(job.reference)) {
                // Pillow writes odd-width RGB pictures one plane short and
                // then refuses them itself: there is nothing to compare.
                std::printf("not compared, Pillow cannot read back its own file: %s\n", job.label.c_str());
                ++unreadable;
                continue;
            }
            if (job.writer->reference != Reference::Source) {
                ASSERT_TRUE(read_ppm(job.reference, reference));
            }
            check_one(job.pcx, reference);
            if (HasFatalFailure()) return;
        }
        EXPECT_LT(unreadable * 8, jobs.size()) << "too few files to compare";
    }

    void check_one(const fs::path& pcx, const Rgb& reference) {
        ASSERT_TRUE(fs::exists(pcx));
        int32_t info[3] = {0, 0, 0};
        ASSERT_EQ(pcx_info(pcx.string().c_str(), 0, &info[0], &info[1], &info[2]), PCX_OK);
        ASSERT_EQ(info[0], reference.width);
        ASSERT_EQ(info[1], reference.height);
        for (int bpp : {8, 16, 24, 32}) {
            SCOPED_TRACE(testing::Message() << bpp << "-bit surface, file of " << info[2] << " colours");
            surface_set_depth(bpp);
            const int32_t handle = testenv::make_selected_surface(reference.width, reference.height);
            ASSERT_GE(handle, 0);
            testenv::fill_surface(handle, kSentinel);
            move_to(0, 0);
            const int32_t result = pcx_display(pcx.string().c_str(), PCX_AT_POSITION);
            if (bpp == 8 && info[2] == PCX_TRUE_COLOUR) {
                EXPECT_EQ(result, PCX_BAD_LAYOUT);
            } else {
                EXPECT_EQ(result, PCX_OK);
                compare(handle, bpp, reference);
            }
            surface_deselect();
            surface_destroy(handle);
        }
    }

    static void compare(int32_t handle, int bpp, const Rgb& reference) {
        for (int y = 0; y < reference.height; ++y) {
            for (int x = 0; x < reference.width; ++x) {
                const uint8_t* rgb = &reference.rgb[(static_cast<size_t>(y) * reference.width + x) * 3];
                const Bytes got = shown(bpp, testenv::pixel_address(handle, x, y));
                const Bytes want = expected_shown(bpp, rgb);
                if (got != want) {
                    ADD_FAILURE() << "first difference at x " << x << " y " << y << ": got "
                                  << testing::PrintToString(got) << ", expected " << testing::PrintToString(want);
                    return;
                }
            }
        }
    }

    fs::path dir_;
    HPALETTE palette_ = nullptr;
};

TEST_F(PcxPeers, NetpbmEveryLayoutOption) {
    const std::string missing = peers_missing({"ppmtopcx", "pcxtoppm"});
    if (!missing.empty()) GTEST_SKIP() << missing;
    check({
        {"ppmtopcx", "ppmtopcx {in} > {out}", Reference::Pcxtoppm, 200},
        {"ppmtopcx -packed", "ppmtopcx -packed {in} > {out}", Reference::Pcxtoppm, 16},
        {"ppmtopcx -planes=3", "ppmtopcx -planes=3 {in} > {out}", Reference::Pcxtoppm, 8},
        {"ppmtopcx -planes=4", "ppmtopcx -planes=4 {in} > {out}", Reference::Pcxtoppm, 16},
        {"ppmtopcx -8bit", "ppmtopcx -8bit {in} > {out}", Reference::Pcxtoppm, 200},
        {"ppmtopcx -24bit", "ppmtopcx -24bit {in} > {out}", Reference::Pcxtoppm, 0},
        {"ppmtopcx -stdpalette", "ppmtopcx -stdpalette {in} > {out}", Reference::Pcxtoppm, 16, true},
        {"ppmtopcx -xpos -ypos", "ppmtopcx -xpos=3 -ypos=2 {in} > {out}", Reference::Pcxtoppm, 200},
    });
}

TEST_F(PcxPeers, ImageMagickTypes) {
    const std::string missing = peers_missing({"convert", "pcxtoppm"});
    if (!missing.empty()) GTEST_SKIP() << missing;
    check({
        {"ImageMagick palette", "convert {in} -type palette PCX:{out}", Reference::Pcxtoppm, 200},
        {"ImageMagick bilevel", "convert {in} -type bilevel PCX:{out}", Reference::Pcxtoppm, 2},
        {"ImageMagick truecolor", "convert {in} -type truecolor PCX:{out}", Reference::Pcxtoppm, 0},
        // pcxtoppm reads a fourth plane as intensity; the colours written
        // are the source's.
        {"ImageMagick RGBA", "convert {in} -type truecoloralpha PCX:{out}", Reference::Source, 0},
    });
}

TEST_F(PcxPeers, PillowModes) {
    const std::string missing = peer_missing("pillow '" PYTHON3_COMMAND "'");
    if (!missing.empty()) GTEST_SKIP() << missing;
    check({
        {"Pillow 1", "", Reference::Pillow, 0, false, "1"},
        {"Pillow L", "", Reference::Pillow, 0, false, "L"},
        {"Pillow P", "", Reference::Pillow, 0, false, "P"},
        {"Pillow RGB", "", Reference::Pillow, 0, false, "RGB"},
    });
}

TEST_F(PcxPeers, RunsAcrossLineEndsReadByPcxtoppm) {
    const std::string missing = peer_missing("pcxtoppm");
    if (!missing.empty()) GTEST_SKIP() << missing;
    const std::string pcxwrite = std::string("\"") + PCXWRITE_COMMAND + "\" --cross-runs --pad 0 --layout ";
    check({
        {"1-bit", pcxwrite + "1 {in} {out}", Reference::Pcxtoppm, 2},
        {"2-plane", pcxwrite + "2 {in} {out}", Reference::Pcxtoppm, 3},
        {"3-plane", pcxwrite + "3 {in} {out}", Reference::Pcxtoppm, 6},
        {"4-plane", pcxwrite + "4 {in} {out}", Reference::Pcxtoppm, 16},
        {"2-bit", pcxwrite + "p2 {in} {out}", Reference::Pcxtoppm, 3},
        {"4-bit", pcxwrite + "p4 {in} {out}", Reference::Pcxtoppm, 16},
        {"8-bit", pcxwrite + "8 {in} {out}", Reference::Pcxtoppm, 200},
        {"true colour", pcxwrite + "24 {in} {out}", Reference::Pcxtoppm, 0},
    });
}

}  // namespace
