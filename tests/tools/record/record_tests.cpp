// The recorder: a short run of the real program, its PNG files and its GIF
// decoded again and compared with frames worked out from the pictures.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "frame_model.h"

namespace {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB, rows top first
};

Image read_png(const std::string& path) {
    Image image;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        ADD_FAILURE() << path << ": " << png.message;
        return image;
    }
    png.format = PNG_FORMAT_RGB;
    std::vector<png_byte> bytes(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, bytes.data(), 0, nullptr)) {
        ADD_FAILURE() << path << ": " << png.message;
        return image;
    }
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    for (size_t i = 0; i + 2 < bytes.size(); i += 3) {
        image.pixels.push_back((uint32_t(bytes[i]) << 16) | (uint32_t(bytes[i + 1]) << 8) | bytes[i + 2]);
    }
    return image;
}

std::vector<Image> read_gif(const std::string& path, int* loop_extensions) {
    std::vector<Image> frames;
    int code = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &code);
    if (gif == nullptr) {
        ADD_FAILURE() << path << ": " << GifErrorString(code);
        return frames;
    }
    if (DGifSlurp(gif) != GIF_OK) {
        ADD_FAILURE() << path << ": " << GifErrorString(gif->Error);
        DGifCloseFile(gif, &code);
        return frames;
    }
    *loop_extensions = 0;
    for (int i = 0; i < gif->SavedImages[0].ExtensionBlockCount; ++i) {
        const ExtensionBlock& block = gif->SavedImages[0].ExtensionBlocks[i];
        if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
            std::string(reinterpret_cast<const char*>(block.Bytes), 11) == "NETSCAPE2.0") {
            ++*loop_extensions;
        }
    }
    for (int n = 0; n < gif->ImageCount; ++n) {
        const SavedImage& saved = gif->SavedImages[n];
        const ColorMapObject* map = saved.ImageDesc.ColorMap != nullptr ? saved.ImageDesc.ColorMap : gif->SColorMap;
        Image image;
        image.width = saved.ImageDesc.Width;
        image.height = saved.ImageDesc.Height;
        for (int i = 0; i < image.width * image.height; ++i) {
            const GifColorType c = map->Colors[saved.RasterBits[i]];
            image.pixels.push_back((uint32_t(c.Red) << 16) | (uint32_t(c.Green) << 8) | c.Blue);
        }
        frames.push_back(image);
    }
    DGifCloseFile(gif, &code);
    return frames;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool file_exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

class RecorderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/demo-record-XXXXXX";
        const char* made = mkdtemp(pattern);
        ASSERT_NE(nullptr, made);
        dir_ = made;
        const demomodel::Pictures pictures = demomodel::LoadDemoPictures(DEMO_PICTURE_DIR);
        panorama_ = demomodel::PanoramaModel(&pictures.sky, 0);
        logo1_ = demomodel::LogoFromPicture(pictures.logo1, 264, 40);
        logo2_ = demomodel::LogoFromPicture(pictures.logo2, 264, 40);
        palette_ = pictures.logo2.palette;
    }

    void TearDown() override {
        if (dir_.empty()) return;
        const std::string command = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(0, std::system(command.c_str()));
    }

    int record(const std::string& arguments) {
        const std::string command = std::string("'") + RECORDER_PATH + "' " + arguments + " 2>" + dir_ + "/stderr";
        const int raw = std::system(command.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }

    std::vector<uint32_t> expected_colours(int scroll_x) const {
        const std::vector<uint8_t> frame = demomodel::ExpectedFrame(panorama_, logo1_, logo2_, scroll_x);
        std::vector<uint32_t> out;
        for (uint8_t v : frame) {
            out.push_back((uint32_t(palette_[v * 3]) << 16) | (uint32_t(palette_[v * 3 + 1]) << 8) |
                          palette_[v * 3 + 2]);
        }
        return out;
    }

    std::string dir_;
    std::vector<uint8_t> panorama_;
    demomodel::Logo logo1_;
    demomodel::Logo logo2_;
    std::vector<uint8_t> palette_;
};

TEST_F(RecorderTest, ShortRunWritesEveryFrameAsPngAndGif) {
    ASSERT_EQ(0, record("--frames 3 --png-dir " + dir_ + " --gif " + dir_ + "/run.gif"));
    EXPECT_FALSE(file_exists(dir_ + "/frame-0000.png"));
    EXPECT_FALSE(file_exists(dir_ + "/frame-0004.png"));
    int loops = 0;
    const std::vector<Image> gif = read_gif(dir_ + "/run.gif", &loops);
    ASSERT_EQ(3u, gif.size());
    EXPECT_EQ(1, loops) << "the animation loops";
    for (int n = 1; n <= 3; ++n) {
        SCOPED_TRACE("frame " + std::to_string(n));
        char name[32];
        std::snprintf(name, sizeof(name), "/frame-%04d.png", n);
        const Image png = read_png(dir_ + name);
        ASSERT_EQ(320, png.width);
        ASSERT_EQ(200, png.height);
        // Frame n is the window after the n-th frame: scroll position 8 n.
        EXPECT_TRUE(png.pixels == expected_colours(8 * n));
        EXPECT_EQ(320, gif[n - 1].width);
        EXPECT_EQ(200, gif[n - 1].height);
        EXPECT_TRUE(gif[n - 1].pixels == png.pixels) << "the GIF frame is not the PNG frame";
    }
}

TEST_F(RecorderTest, StepKeepsEveryKthRenderedFrameUnderItsOwnNumber) {
    // Seven frames rendered, the third and sixth kept, into folders made on
    // the way.
    ASSERT_EQ(0, record("--frames 7 --step 3 --png-dir " + dir_ + "/a/b --gif " + dir_ + "/c/d/run.gif"));
    EXPECT_FALSE(file_exists(dir_ + "/a/b/frame-0001.png"));
    EXPECT_FALSE(file_exists(dir_ + "/a/b/frame-0002.png"));
    const Image third = read_png(dir_ + "/a/b/frame-0003.png");
    const Image sixth = read_png(dir_ + "/a/b/frame-0006.png");
    EXPECT_TRUE(third.pixels == expected_colours(24));
    EXPECT_TRUE(sixth.pixels == expected_colours(48));
    EXPECT_FALSE(file_exists(dir_ + "/a/b/frame-0007.png"));
    EXPECT_FALSE(file_exists(dir_ + "/a/b/frame-0009.png"));
    int loops = 0;
    EXPECT_EQ(2u, read_gif(dir_ + "/c/d/run.gif", &loops).size());
}

TEST_F(RecorderTest, OddClientSizeIsRecordedAtThatSize) {
    ASSERT_EQ(0, record("--frames 1 --client 161x37 --png-dir " + dir_));
    const Image png = read_png(dir_ + "/frame-0001.png");
    ASSERT_EQ(161, png.width);
    ASSERT_EQ(37, png.height);
    // Shrunk by dropping rows and columns: every colour is one of the frame's.
    const std::vector<uint32_t> full = expected_colours(8);
    const std::set<uint32_t> colours(full.begin(), full.end());
    for (uint32_t p : png.pixels) ASSERT_EQ(1u, colours.count(p)) << std::hex << p;
}

// Every refusal is one line on standard error naming the option at fault.
TEST_F(RecorderTest, BadOptionsAreRefusedWithOneLineNamingTheOption) {
    const std::string out = " --png-dir " + dir_ + "/out";
    const std::pair<const char*, const char*> cases[] = {
        {"--frames 0", "--frames"},
        {"--frames", "--frames"},
        {"--frames 100001", "--frames"},
        {"--client 320", "--client"},
        {"--client 0x200", "--client"},
        {"--client 100000x100000", "--client"},
        {"--step 0", "--step"},
        {"--frames 3 --step 4", "--step"},
        {"--colour red", "--colour"},
        {"--dir /nonexistent", "--dir"},
        {"--frames=x", "--frames"},
        {"--client=", "--client"},
        {"--gif=", "--gif"},
        {"stray", "stray"},
    };
    for (const auto& [arguments, option] : cases) {
        SCOPED_TRACE(arguments);
        EXPECT_EQ(2, record(arguments + out));
        const std::string message = read_text(dir_ + "/stderr");
        EXPECT_EQ(1, std::count(message.begin(), message.end(), '\n')) << message;
        EXPECT_NE(std::string::npos, message.find(option)) << message;
    }
    EXPECT_EQ(2, record("--frames 3"));
    EXPECT_NE(std::string::npos, read_text(dir_ + "/stderr").find("--png-dir")) << "no output option";
    EXPECT_FALSE(file_exists(dir_ + "/out"));

    EXPECT_EQ(0, record("--help >" + dir_ + "/help"));
    const std::string help = read_text(dir_ + "/help");
    for (const char* option : {"--frames", "--step", "--client", "--png-dir", "--gif", "--dir", "--help"}) {
        EXPECT_NE(std::string::npos, help.find(option)) << option;
    }
}

// A folder without the demo's pictures would record a black sky: the
// recorder names what the folder lacks and writes nothing (status 1).
TEST_F(RecorderTest, FolderWithoutThePicturesIsNamedWithWhatItLacks) {
    ASSERT_EQ(1, record("--frames 2 --dir " + dir_ + " --png-dir " + dir_ + "/out"));
    std::string message = read_text(dir_ + "/stderr");
    EXPECT_EQ(1, std::count(message.begin(), message.end(), '\n')) << message;
    for (const char* name : {"SKY.PCX", "LOGO1.PCX", "LOGO2.PCX", dir_.c_str()}) {
        EXPECT_NE(std::string::npos, message.find(name)) << message;
    }
    EXPECT_FALSE(file_exists(dir_ + "/out"));

    // With the sky there (in --dir=DIR form), only the logos are named.
    const std::string copy = "cp '" + std::string(DEMO_PICTURE_DIR) + "/SKY.PCX' '" + dir_ + "/'";
    ASSERT_EQ(0, std::system(copy.c_str()));
    ASSERT_EQ(1, record("--frames=2 --dir=" + dir_ + " --gif=" + dir_ + "/run.gif"));
    message = read_text(dir_ + "/stderr");
    EXPECT_EQ(std::string::npos, message.find("SKY.PCX")) << message;
    EXPECT_NE(std::string::npos, message.find("LOGO1.PCX, LOGO2.PCX")) << message;
    EXPECT_FALSE(file_exists(dir_ + "/run.gif"));
}

// --opt=value is the same as --opt value.
TEST_F(RecorderTest, ValuesAfterAnEqualsSignAreTaken) {
    ASSERT_EQ(0, record("--frames=2 --step=2 --client=41x23 --png-dir=" + dir_ +
                        "/eq --dir=" + std::string(DEMO_PICTURE_DIR)));
    const Image png = read_png(dir_ + "/eq/frame-0002.png");
    EXPECT_EQ(41, png.width);
    EXPECT_EQ(23, png.height);
    EXPECT_FALSE(file_exists(dir_ + "/eq/frame-0001.png"));
}

TEST_F(RecorderTest, UnwritableOutputFailsWithoutHanging) {
    ASSERT_EQ(0, record("--frames 1 --png-dir " + dir_));
    const std::string file = dir_ + "/frame-0001.png";
    EXPECT_EQ(1, record("--frames 2 --png-dir " + file + "/below"));
    EXPECT_NE(std::string::npos, read_text(dir_ + "/stderr").find(file)) << "the folder is named";
    EXPECT_EQ(1, record("--frames 2 --gif " + file + "/run.gif"));
}

}  // namespace
