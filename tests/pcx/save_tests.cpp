// pcx_save: surfaces of every depth saved and read back exact, the file's
// header and palette, refusals, and failed saves that leave nothing behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <raster/raster.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/resource.h>

#include <csignal>
#endif

#include "library_env.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kSentinel = 0xA5;

Bytes read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(in), {}};
}

// Every byte of every pixel (the padding columns too) from its place.
void paint(int32_t handle, int bytes_per_pixel, int width, int height) {
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* pixel = testenv::pixel_address(handle, x, y);
            for (int b = 0; b < bytes_per_pixel; ++b) pixel[b] = static_cast<uint8_t>(x * 41 + y * 7 + b * 90 + x * y);
        }
    }
}

class PcxSave : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("pcx_save_" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
        palette_ = testenv::start_library();
    }
    void TearDown() override {
        testenv::stop_library(palette_);
        fs::remove_all(dir_);
    }
    std::vector<fs::path> files() const { return {fs::directory_iterator(dir_), fs::directory_iterator()}; }
    fs::path dir_;
    HPALETTE palette_ = nullptr;
};

// Columns 2..14 and rows 1..6 of a 13 x 7 surface (16 columns wide in
// memory) of each depth, saved while not selected and read back by
// pcx_display into a surface of the same depth.
TEST_F(PcxSave, EveryDepthReadBackExact) {
    for (int bpp : {8, 16, 24, 32}) {
        SCOPED_TRACE(testing::Message() << bpp << "-bit surface");
        surface_set_depth(bpp);
        const int32_t source = testenv::make_selected_surface(13, 7);
        ASSERT_GE(source, 0);
        paint(source, bpp / 8, 16, 7);
        Bytes colours(236 * 3);
        for (size_t i = 0; i < colours.size(); ++i) colours[i] = static_cast<uint8_t>(i * 7 + 1);
        set_palette_entries(10, 236, colours.data());
        surface_deselect();
        const fs::path path = dir_ / ("saved" + std::to_string(bpp) + ".pcx");
        ASSERT_EQ(pcx_save(source, 2, 14, 1, 6, path.string().c_str()), RASTER_OK);

        const Bytes file = read_file(path);
        ASSERT_GT(file.size(), 128u + (bpp == 8 ? 769 : 0));
        const Bytes fields = {10, 5, 1, 8, 0, 0, 0, 0, 12, 0, 5, 0, 72, 0, 72, 0};
        EXPECT_EQ(Bytes(file.begin(), file.begin() + 16), fields);
        EXPECT_EQ(file[65], bpp == 8 ? 1 : 3);  // planes
        EXPECT_EQ(file[66] | file[67] << 8, 14);
        if (bpp == 8) {
            const size_t trailer = file.size() - 769;
            EXPECT_EQ(file[trailer], 12);
            EXPECT_EQ(Bytes(file.begin() + static_cast<long>(trailer) + 1 + 30,
                            file.begin() + static_cast<long>(trailer) + 1 + 738),
                      colours);
        }

        const int32_t copy = testenv::make_selected_surface(13, 6);
        ASSERT_GE(copy, 0);
        testenv::fill_surface(copy, kSentinel);
        move_to(0, 0);
        ASSERT_EQ(pcx_display(path.string().c_str(), PCX_AT_POSITION | PCX_KEEP_INDICES), PCX_OK);
        const int compared = bpp == 32 ? 3 : bpp / 8;  // pcx_display leaves a 32-bit pixel's fourth byte
        for (int y = 0; y < 6; ++y) {
            for (int x = 0; x < 13; ++x) {
                const uint8_t* got = testenv::pixel_address(copy, x, y);
                const uint8_t* want = testenv::pixel_address(source, x + 2, y + 1);
                ASSERT_EQ(Bytes(got, got + compared), Bytes(want, want + compared)) << "x " << x << " y " << y;
            }
        }
        surface_deselect();
        surface_destroy(copy);
        surface_destroy(source);
    }
}

// A refused or failed save leaves the file that was there, and no other.
TEST_F(PcxSave, RefusalsAndFailuresLeaveTheOldFile) {
    surface_set_depth(24);
    const int32_t handle = surface_create(16, 16);
    const int32_t freed = surface_create(1, 1);
    ASSERT_GE(handle, 0);
    ASSERT_GE(freed, 0);
    surface_destroy(freed);
    paint(handle, 3, 16, 16);
    const fs::path target = dir_ / "picture.pcx";
    std::ofstream(target, std::ios::binary) << "the old file";
    const std::string name = target.string();
    EXPECT_EQ(pcx_save(-1, 0, 0, 0, 0, name.c_str()), RASTER_REFUSED);
    EXPECT_EQ(pcx_save(32 + handle, 0, 0, 0, 0, name.c_str()), RASTER_REFUSED);
    EXPECT_EQ(pcx_save(freed, 0, 0, 0, 0, name.c_str()), RASTER_REFUSED);
    EXPECT_EQ(pcx_save(handle, -1, 3, 0, 0, name.c_str()), RASTER_REFUSED);
    EXPECT_EQ(pcx_save(handle, 0, 16, 0, 0, name.c_str()), RASTER_REFUSED);
    EXPECT_EQ(pcx_save(handle, 0, 0, 0, 16, name.c_str()), RASTER_REFUSED);
    EXPECT_EQ(pcx_save(handle, 3, 2, 0, 0, name.c_str()), RASTER_REFUSED);
    EXPECT_EQ(pcx_save(handle, 0, 0, 5, 4, name.c_str()), RASTER_REFUSED);
    EXPECT_EQ(pcx_save(handle, 0, 0, 0, 0, nullptr), RASTER_REFUSED);
    const fs::path elsewhere = dir_ / "no such folder" / "picture.pcx";
    EXPECT_EQ(pcx_save(handle, 0, 15, 0, 15, elsewhere.string().c_str()), PCX_OPEN_FAILED);
    EXPECT_EQ(read_file(target), Bytes({'t', 'h', 'e', ' ', 'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'}));
    EXPECT_EQ(files(), std::vector<fs::path>{target});

    ASSERT_EQ(pcx_save(handle, 0, 15, 0, 15, name.c_str()), RASTER_OK);  // replaces it
    const Bytes saved = read_file(target);
    ASSERT_GT(saved.size(), 300u);
    EXPECT_EQ(saved[0], 10);
#if !defined(_WIN32)
    // Writes that fail part of the way: the file size limit stops the
    // temporary file at 200 bytes.
    rlimit old_limit{};
    getrlimit(RLIMIT_FSIZE, &old_limit);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old_limit;
    small.rlim_cur = 200;
    setrlimit(RLIMIT_FSIZE, &small);
    paint(handle, 3, 8, 16);
    const int32_t result = pcx_save(handle, 0, 15, 0, 15, name.c_str());
    setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_EQ(result, PCX_OPEN_FAILED);
    EXPECT_EQ(read_file(target), saved);
#endif
    EXPECT_EQ(files(), std::vector<fs::path>{target});
    surface_destroy(handle);
}

// The widest rectangle the format holds for 8 bits a pixel is 65,534.
TEST_F(PcxSave, WiderThanTheFormatIsRefused) {
    const int32_t handle = surface_create(65536, 1);
    ASSERT_GE(handle, 0);
    const fs::path target = dir_ / "wide.pcx";
    EXPECT_EQ(pcx_save(handle, 0, 65534, 0, 0, target.string().c_str()), RASTER_REFUSED);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(pcx_save(handle, 1, 65534, 0, 0, target.string().c_str()), RASTER_OK);
    const Bytes file = read_file(target);
    ASSERT_GE(file.size(), 128u);
    EXPECT_EQ(file[8] | file[9] << 8, 65533);  // Xmax
    EXPECT_EQ(file[66] | file[67] << 8, 65534);
    surface_destroy(handle);
}

}  // namespace
