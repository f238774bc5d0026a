// The scene on its own: the two surface objects, the logos and the frame
// function, driven one frame at a time and compared pixel for pixel with
// frames worked out from the picture files. UpdateFrame keeps its state in
// statics built once per process, so the cases that call it run in a fresh
// process (fresh_process.h).
#include <gtest/gtest.h>

#include <raster/raster.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "frame_model.h"
#include "fresh_process.h"
#include "library_env.h"
#include "raster/state.h"
#include "scene.h"

using demomodel::Box;
using demomodel::DifferenceBox;
using demomodel::SamePixels;

namespace {

constexpr uint8_t kSentinel = 0xFF;  // a static colour no picture uses

void SetModuleDir(const std::string& dir) {
    ASSERT_LT(dir.size(), sizeof(moduleDir));
    std::memset(moduleDir, 0, sizeof(moduleDir));
    std::memcpy(moduleDir, dir.c_str(), dir.size());
}

class SceneTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testenv::reset_library_state();
        dc_ = GetDC(nullptr);
        set_window_dc(dc_);
        palette_ = palette_create();
        palette_realize(palette_);
        SetModuleDir(std::string(DEMO_PICTURE_DIR) + "/");
        shellWindow.clientWidth = 320;
        shellWindow.clientHeight = 200;
        frame_ = std::make_unique<DemoSurface>(320, 200, true);
        panorama_ = std::make_unique<DemoSurface>(1600, 200, false);
        frameSurface = frame_.get();
        panoramaSurface = panorama_.get();
        pictures_ = demomodel::LoadDemoPictures(DEMO_PICTURE_DIR);
        logo1_ = demomodel::LogoFromPicture(pictures_.logo1, 264, 40);
        logo2_ = demomodel::LogoFromPicture(pictures_.logo2, 264, 40);
    }

    void TearDown() override {
        panorama_.reset();
        frame_.reset();
        DeleteObject(palette_);
        ReleaseDC(nullptr, dc_);
    }

    // The start-up's panorama preparation, made here through the library so
    // the frame function finds what it finds in the running program.
    void PreparePanorama() {
        const int32_t pano = panorama_->Handle();
        surface_select(pano);
        const std::string sky = std::string(DEMO_PICTURE_DIR) + "/SKY.PCX";
        ASSERT_EQ(PCX_OK, pcx_display(sky.c_str(), PCX_KEEP_INDICES));
        for (int32_t i = 639; i >= 0; --i) surface_copy(i, i, 0, 199, 1279 - i, 199, pano, pano);
        surface_copy(0, 319, 0, 199, 1280, 199, pano, pano);
        surface_select(frame_->Handle());
        panoramaModel_ = demomodel::PanoramaModel(&pictures_.sky, 0);
        ASSERT_TRUE(SamePixels(testenv::surface_rows(pano), panoramaModel_, 1600)) << "panorama set-up";
    }

    std::vector<uint8_t> Frame() const { return testenv::surface_rows(frame_->Handle()); }

    // One frame, composed over a sentinel fill so that any pixel it fails
    // to write shows. Returns the scroll position the frame should show.
    int NextFrame() {
        testenv::fill_surface(frame_->Handle(), kSentinel);
        UpdateFrame();
        scroll_ = (scroll_ + 8) % 1280;
        return scroll_;
    }

    // Runs frames up to the one showing scrollX and compares it.
    void RunTo(int scrollX) {
        SCOPED_TRACE("scrollX " + std::to_string(scrollX));
        do {
            NextFrame();
        } while (scroll_ != scrollX);
        ASSERT_TRUE(SamePixels(Frame(), Expected(scrollX), 320));
    }

    std::vector<uint8_t> Expected(int scrollX) const {
        return demomodel::ExpectedFrame(panoramaModel_, logo1_, logo2_, scrollX);
    }

    // The bare sky slice starting at a panorama column.
    std::vector<uint8_t> Slice(int scrollX) const {
        std::vector<uint8_t> slice(320 * 200);
        for (int y = 0; y < 200; ++y) {
            for (int x = 0; x < 320; ++x) slice[y * 320 + x] = panoramaModel_[y * 1600 + scrollX + x];
        }
        return slice;
    }

    std::vector<uint8_t> Filled(uint8_t value) const { return std::vector<uint8_t>(320 * 200, value); }

    HDC dc_ = nullptr;
    HPALETTE palette_ = nullptr;
    std::unique_ptr<DemoSurface> frame_;
    std::unique_ptr<DemoSurface> panorama_;
    demomodel::Pictures pictures_;
    demomodel::Logo logo1_;
    demomodel::Logo logo2_;
    std::vector<uint8_t> panoramaModel_;
    int scroll_ = 0;
};

}  // namespace

TEST_F(SceneTest, SurfaceObjectsOwnOneSurfaceEachAndTheLastDestructorShutsDown) {
    const int32_t frame = frame_->Handle();
    const int32_t pano = panorama_->Handle();
    ASSERT_GE(frame, 0);
    ASSERT_GE(pano, 0);
    EXPECT_NE(frame, pano);
    EXPECT_EQ(320, raster::state.slot_width[frame]);
    EXPECT_EQ(200, raster::state.slot_height[frame]);
    EXPECT_EQ(1600, raster::state.slot_width[pano]);
    EXPECT_EQ(200, raster::state.slot_height[pano]);
    // The object built last is the active surface.
    EXPECT_EQ(pano, raster::state.active_slot);
    EXPECT_NE(nullptr, raster::state.memory_dc);

    panorama_.reset();
    EXPECT_EQ(nullptr, raster::state.slot_bits[pano]);
    EXPECT_NE(nullptr, raster::state.slot_bits[frame]);
    EXPECT_NE(nullptr, raster::state.memory_dc) << "library shut down while a surface still exists";

    frame_.reset();
    EXPECT_EQ(nullptr, raster::state.slot_bits[frame]);
    EXPECT_EQ(-1, raster::state.active_slot);
    EXPECT_EQ(nullptr, raster::state.memory_dc) << "library still up after the last surface";
}

TEST_F(SceneTest, FirstFrameShowsColumns8To327AndNoLogo) {
    if (demotest::RanInAFreshProcess()) return;
    PreparePanorama();
    const std::vector<uint8_t> panoramaBefore = testenv::surface_rows(panorama_->Handle());
    EXPECT_EQ(8, NextFrame());
    EXPECT_TRUE(SamePixels(Frame(), Slice(8), 320));
    EXPECT_TRUE(SamePixels(testenv::surface_rows(panorama_->Handle()), panoramaBefore, 1600))
        << "a frame must not touch the panorama";
    // The frame surface stays active; the logos' palette (the upper logo was
    // read last) is in force.
    EXPECT_EQ(frame_->Handle(), raster::state.active_slot);
    for (int i = 10; i <= 245; ++i) {
        SCOPED_TRACE("palette entry " + std::to_string(i));
        EXPECT_EQ(pictures_.logo2.palette[i * 3 + 0], raster::state.rgb_color_table[i].rgbRed);
        EXPECT_EQ(pictures_.logo2.palette[i * 3 + 1], raster::state.rgb_color_table[i].rgbGreen);
        EXPECT_EQ(pictures_.logo2.palette[i * 3 + 2], raster::state.rgb_color_table[i].rgbBlue);
    }
}

TEST_F(SceneTest, LastFrameOfTheCycleAndTheWrapToColumnZero) {
    if (demotest::RanInAFreshProcess()) return;
    PreparePanorama();
    RunTo(1272);
    EXPECT_EQ(0, NextFrame());
    EXPECT_TRUE(SamePixels(Frame(), Slice(0), 320)) << "after the wrap: columns 0..319, no logo";
    // The wrap margin makes the last slice run on into the first.
    EXPECT_TRUE(SamePixels(Slice(1280), Slice(0), 320));
}

TEST_F(SceneTest, LogoLevelsFollowTheScrollPosition) {
    if (demotest::RanInAFreshProcess()) return;
    PreparePanorama();
    {
        SCOPED_TRACE("scrollX 16: upper logo at level 1, 26 x 4 at column 147");
        RunTo(16);
        const Box box = DifferenceBox(Frame(), Slice(16), 320);
        ASSERT_FALSE(box.empty());
        EXPECT_GE(box.left, 147);
        EXPECT_LE(box.right, 172);
        EXPECT_GE(box.top, 77);
        EXPECT_LE(box.bottom, 80);
    }
    {
        SCOPED_TRACE("scrollX 96: upper logo at level 9, 237 x 36 at column 41");
        RunTo(96);
        const Box box = DifferenceBox(Frame(), Slice(96), 320);
        ASSERT_FALSE(box.empty());
        EXPECT_GE(box.left, 41);
        EXPECT_LE(box.right, 277);
        EXPECT_GE(box.top, 45);
        EXPECT_LE(box.bottom, 80);
    }
    {
        SCOPED_TRACE("scrollX 248: upper logo whole, lower one at level 0");
        RunTo(248);
        const Box box = DifferenceBox(Frame(), Slice(248), 320);
        ASSERT_FALSE(box.empty());
        EXPECT_GE(box.left, 28);
        EXPECT_LE(box.right, 291);
        EXPECT_GE(box.top, 41);
        EXPECT_LE(box.bottom, 80);
    }
    {
        SCOPED_TRACE("scrollX 256: lower logo at level 1");
        RunTo(256);
        std::vector<uint8_t> lowerHalf = Frame();
        std::vector<uint8_t> sky = Slice(256);
        lowerHalf.erase(lowerHalf.begin(), lowerHalf.begin() + 100 * 320);
        sky.erase(sky.begin(), sky.begin() + 100 * 320);
        const Box box = DifferenceBox(lowerHalf, sky, 320);
        ASSERT_FALSE(box.empty());
        EXPECT_GE(box.left, 147);
        EXPECT_LE(box.right, 172);
        EXPECT_GE(box.top + 100, 157);
        EXPECT_LE(box.bottom + 100, 160);
    }
    {
        SCOPED_TRACE("scrollX 336: lower logo at level 9");
        RunTo(336);
    }
}

TEST_F(SceneTest, WholeCycleMatchesFramesWorkedOutFromThePictures) {
    if (demotest::RanInAFreshProcess()) return;
    PreparePanorama();
    const std::vector<uint8_t> panoramaBefore = testenv::surface_rows(panorama_->Handle());
    for (int frame = 1; frame <= 161; ++frame) {
        const int scrollX = NextFrame();
        SCOPED_TRACE("frame " + std::to_string(frame) + ", scrollX " + std::to_string(scrollX));
        ASSERT_TRUE(SamePixels(Frame(), Expected(scrollX), 320));
    }
    EXPECT_TRUE(SamePixels(testenv::surface_rows(panorama_->Handle()), panoramaBefore, 1600));
}

TEST_F(SceneTest, LogoDrawsNothingBelowLevelOneAndTheWholePictureFromLevelTen) {
    LogoSprite logo("LOGO1.PCX", 264, 40, 160);
    for (int level : {0, -1, -250}) {
        SCOPED_TRACE("level " + std::to_string(level));
        testenv::fill_surface(frame_->Handle(), kSentinel);
        logo.Draw(level);
        EXPECT_TRUE(SamePixels(Frame(), Filled(kSentinel), 320));
    }
    for (int level : {10, 11, 1000}) {
        SCOPED_TRACE("level " + std::to_string(level));
        testenv::fill_surface(frame_->Handle(), kSentinel);
        logo.Draw(level);
        std::vector<uint8_t> expected = Filled(kSentinel);
        demomodel::DrawLogo(expected, logo1_, 160, 10);
        EXPECT_TRUE(SamePixels(Frame(), expected, 320));
        const Box box = DifferenceBox(Frame(), Filled(kSentinel), 320);
        EXPECT_GE(box.left, 28);
        EXPECT_LE(box.right, 291);
        EXPECT_GE(box.top, 121);
        EXPECT_LE(box.bottom, 160);
    }
    {
        SCOPED_TRACE("level 3: 79 x 12 at column 120, bottom row kept");
        testenv::fill_surface(frame_->Handle(), kSentinel);
        logo.Draw(3);
        std::vector<uint8_t> expected = Filled(kSentinel);
        demomodel::DrawLogo(expected, logo1_, 160, 3);
        EXPECT_TRUE(SamePixels(Frame(), expected, 320));
        const Box box = DifferenceBox(Frame(), Filled(kSentinel), 320);
        EXPECT_GE(box.left, 120);
        EXPECT_LE(box.right, 198);
        EXPECT_GE(box.top, 149);
        EXPECT_LE(box.bottom, 160);
    }
}

TEST_F(SceneTest, OddSizedLogoScalesAboutTheFrameMiddle) {
    // The top-left 61 x 23 of the upper logo's picture: odd on both sides.
    LogoSprite logo("LOGO2.PCX", 61, 23, 117);
    const demomodel::Logo model = demomodel::LogoFromPicture(pictures_.logo2, 61, 23);
    for (int level = 1; level <= 10; ++level) {
        SCOPED_TRACE("level " + std::to_string(level));
        testenv::fill_surface(frame_->Handle(), kSentinel);
        logo.Draw(level);
        std::vector<uint8_t> expected = Filled(kSentinel);
        demomodel::DrawLogo(expected, model, 117, level);
        EXPECT_TRUE(SamePixels(Frame(), expected, 320));
    }
}

TEST_F(SceneTest, LogoNarrowerThanTenPixelsSkipsTheLevelsThatWouldBeEmpty) {
    // 9 wide: level 1 would be 0 pixels wide and draws nothing; level 2 is
    // 1 x 2 pixels. A filled frame makes every pixel of the capture opaque.
    testenv::fill_surface(frame_->Handle(), 77);
    LogoSprite logo("NO_SUCH_FILE.PCX", 9, 13, 50);
    testenv::fill_surface(frame_->Handle(), kSentinel);
    logo.Draw(1);
    EXPECT_TRUE(SamePixels(Frame(), Filled(kSentinel), 320));
    logo.Draw(2);
    std::vector<uint8_t> expected = Filled(kSentinel);
    expected[49 * 320 + 159] = 77;
    expected[50 * 320 + 159] = 77;
    EXPECT_TRUE(SamePixels(Frame(), expected, 320));
}

TEST_F(SceneTest, MissingLogoFileCapturesWhatTheFrameSurfaceHeld) {
    // An odd pattern with transparent holes in the top-left 264 x 40.
    std::vector<uint8_t> held = Filled(kSentinel);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 264; ++x) {
            held[y * 320 + x] = (x * 7 + y * 3) % 5 == 0 ? 0 : static_cast<uint8_t>(10 + (x * 3 + y) % 200);
        }
    }
    std::memcpy(moduleDir, "", 1);
    for (int y = 0; y < 200; ++y) std::memcpy(testenv::pixel_address(frame_->Handle(), 0, y), &held[y * 320], 320);

    LogoSprite logo("NO_SUCH_LOGO.PCX", 264, 40, 160);
    testenv::fill_surface(frame_->Handle(), kSentinel);
    logo.Draw(10);
    std::vector<uint8_t> expected = Filled(kSentinel);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 264; ++x) {
            if (held[y * 320 + x] != 0) expected[(121 + y) * 320 + 28 + x] = held[y * 320 + x];
        }
    }
    EXPECT_TRUE(SamePixels(Frame(), expected, 320));
}

// A directory of exactly the given length that names the pictures' directory
// (extra separators change the length, not the place).
std::string PictureDirOfLength(size_t length) {
    std::string dir = std::string(DEMO_PICTURE_DIR) + "/";
    while (dir.size() < length) dir += '/';
    return dir;
}

TEST(ModulePath, DirectoryPlusNameMustFitTheBuffer) {
    char path[kPathBufferSize];
    SetModuleDir(std::string(118, 'd'));
    ASSERT_TRUE(BuildModulePath(path, "LOGO1.PCX"));
    EXPECT_EQ(std::string(118, 'd') + "LOGO1.PCX", std::string(path));

    SetModuleDir(std::string(119, 'd'));
    std::memset(path, 'x', sizeof(path));
    EXPECT_FALSE(BuildModulePath(path, "LOGO1.PCX"));
    EXPECT_EQ('\0', path[0]) << "a refused path is left empty";
    EXPECT_EQ('x', path[1]) << "nothing else is written";

    SetModuleDir("");
    ASSERT_TRUE(BuildModulePath(path, "SKY.PCX"));
    EXPECT_STREQ("SKY.PCX", path);
}

TEST_F(SceneTest, LogoPathThatExactlyFitsIsRead) {
    if (std::strlen(DEMO_PICTURE_DIR) + 1 > 118) GTEST_SKIP() << "build directory too deep for this check";
    SetModuleDir(PictureDirOfLength(118));
    testenv::fill_surface(frame_->Handle(), kSentinel);
    LogoSprite logo("LOGO1.PCX", 264, 40, 160);
    testenv::fill_surface(frame_->Handle(), kSentinel);
    logo.Draw(10);
    std::vector<uint8_t> expected = Filled(kSentinel);
    demomodel::DrawLogo(expected, logo1_, 160, 10);
    EXPECT_TRUE(SamePixels(Frame(), expected, 320));
}

TEST_F(SceneTest, LogoPathOneByteTooLongIsTreatedAsMissing) {
    if (std::strlen(DEMO_PICTURE_DIR) + 1 > 119) GTEST_SKIP() << "build directory too deep for this check";
    SetModuleDir(PictureDirOfLength(119));
    // The frame holds one opaque colour where the logo would be read; a
    // refused path leaves it, so the capture is that colour all over.
    testenv::fill_surface(frame_->Handle(), 42);
    LogoSprite logo("LOGO1.PCX", 264, 40, 160);
    testenv::fill_surface(frame_->Handle(), kSentinel);
    logo.Draw(10);
    std::vector<uint8_t> expected = Filled(kSentinel);
    for (int y = 121; y <= 160; ++y) {
        for (int x = 28; x <= 291; ++x) expected[y * 320 + x] = 42;
    }
    EXPECT_TRUE(SamePixels(Frame(), expected, 320));
}
