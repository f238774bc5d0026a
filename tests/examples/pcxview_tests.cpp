// pcxview on the stand-in's headless display: the picture fills a window of
// its own size one to one, is stretched when the window grows, and the
// program ends with status 0 when the window is closed.
#include <gtest/gtest.h>

#include <windows.h>

#include <raster/raster.h>
#include <standin/probe.h>

#include <cstdint>
#include <string>
#include <vector>

#include "library_env.h"

namespace probe = standin::probe;

namespace {

const std::string kSky = std::string(DEMO_PICTURE_DIR) + "/SKY.PCX";

// The picture as the library decodes it into a 32-bit surface, one
// 0x00RRGGBB value per pixel, rows top first.
std::vector<uint32_t> Decoded(const std::string& file, int32_t width, int32_t height) {
    HPALETTE palette = testenv::start_library();
    surface_set_depth(32);
    const int32_t surface = testenv::make_selected_surface(width, height);
    EXPECT_EQ(pcx_display(file.c_str(), PCX_AT_POSITION), PCX_OK);
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    EXPECT_EQ(surface_read_rgb(surface, 0, width - 1, 0, height - 1, rgb.data()), RASTER_OK);
    testenv::stop_library(palette);
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = uint32_t{rgb[i * 3]} << 16 | uint32_t{rgb[i * 3 + 1]} << 8 | rgb[i * 3 + 2];
    }
    return pixels;
}

int RunViewer(std::string commandLine) {
    return WinMain(GetModuleHandleA(nullptr), nullptr, &commandLine[0], SW_SHOWDEFAULT);
}

TEST(PcxView, ShowsThePictureOneToOneThenStretchedToTheResizedWindow) {
    probe::reset();
    probe::select_backend(probe::Backend::Headless);
    probe::set_client_size(640, 200);
    std::vector<uint32_t> first, second;
    int first_width = 0, first_height = 0, second_width = 0, second_height = 0;
    int pass = 0;
    probe::set_idle_hook([&]() {
        ++pass;
        if (pass == 1) {
            first = probe::client_pixels(probe::main_window(), &first_width, &first_height);
            probe::post_resize(probe::main_window(), 1280, 400);
        } else if (pass == 2) {
            second = probe::client_pixels(probe::main_window(), &second_width, &second_height);
            probe::post_close(probe::main_window());
        }
    });
    const int status = RunViewer(kSky);
    probe::set_idle_hook(std::function<void()>());
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(probe::window_exists(probe::main_window()));

    const std::vector<uint32_t> sky = Decoded(kSky, 640, 200);
    ASSERT_EQ(first_width, 640);
    ASSERT_EQ(first_height, 200);
    EXPECT_TRUE(first == sky);
    ASSERT_EQ(second_width, 1280);
    ASSERT_EQ(second_height, 400);
    int wrong = 0;
    for (int y = 0; y < 400; ++y) {
        for (int x = 0; x < 1280; ++x) wrong += second[y * 1280 + x] != sky[(y / 2) * 640 + x / 2];
    }
    EXPECT_EQ(wrong, 0) << "pixels not doubled";
}

TEST(PcxView, NamesAFileItCannotReadAndOpensNoWindow) {
    probe::reset();
    probe::select_backend(probe::Backend::Headless);
    testing::internal::CaptureStderr();
    const int status = RunViewer("/nonexistent/NO.PCX");
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    EXPECT_EQ(said, "pcxview: /nonexistent/NO.PCX cannot be opened\n");
    EXPECT_EQ(probe::main_window(), nullptr);
}

}  // namespace
