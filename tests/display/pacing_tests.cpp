// The program paced as it runs by itself (the probe's pacing on): frames
// still come in the same order with the same pictures, no faster than one a
// refresh, and the loop sleeps between them instead of spinning.
#include <gtest/gtest.h>

#include <raster/raster.h>
#include <standin/probe.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "frame_model.h"
#include "fresh_process.h"
#include "library_env.h"
#include "scene.h"

namespace probe = standin::probe;

namespace {

using Clock = std::chrono::steady_clock;

TEST(PacedProgram, FramesAreTheSameFramesAtMostOneARefresh) {
    // The frame function keeps its scroll position between runs of the
    // program; a repeat runs in a process of its own.
    if (demotest::RanInAFreshProcess()) return;
    testenv::reset_library_state();
    probe::reset();
    probe::select_backend(probe::Backend::Headless);
    probe::set_client_size(320, 200);
    probe::set_module_file_name(std::string(DEMO_PICTURE_DIR) + "/scaling-scrolling");
    probe::set_pacing(true);

    const demomodel::Pictures pictures = demomodel::LoadDemoPictures(DEMO_PICTURE_DIR);
    const demomodel::Logo logo1 = demomodel::LogoFromPicture(pictures.logo1, 264, 40);
    const demomodel::Logo logo2 = demomodel::LogoFromPicture(pictures.logo2, 264, 40);
    const std::vector<uint8_t> panorama = demomodel::PanoramaModel(&pictures.sky, 0);

    // Frame n scrolls by 8 n; consecutive frames always differ, so each
    // change of the frame surface seen between passes is one frame.
    constexpr int kFrames = 13;
    int passes = 0;
    int frames = 0;
    bool closing = false;
    std::vector<uint8_t> last;
    Clock::time_point first{};
    Clock::duration elapsed{};
    probe::set_idle_hook([&]() {
        ++passes;
        if (closing || passes < 2) return;
        const std::vector<uint8_t> surface = testenv::surface_rows(frameSurface->Handle());
        if (surface == last) return;
        last = surface;
        ++frames;
        EXPECT_TRUE(demomodel::SamePixels(surface, demomodel::ExpectedFrame(panorama, logo1, logo2, frames * 8), 320))
            << "frame " << frames;
        if (frames == 1) first = Clock::now();
        if (frames == kFrames) {
            elapsed = Clock::now() - first;
            closing = true;
            probe::post_close(probe::main_window());
        }
    });
    std::string commandLine;
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, &commandLine[0], SW_SHOWDEFAULT);
    probe::set_idle_hook(std::function<void()>());

    EXPECT_EQ(0, status);
    EXPECT_EQ(kFrames, frames);
    // Frames 2 to 13 are due a 60 Hz period apart (the second may come half
    // a period early when the first came late): at least 11 periods pass.
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 11 * 1000 / 60)
        << "frames came faster than the display refreshes";
    // Sleeping, the loop wakes for each frame and for little else; a loop
    // that spun would pass through thousands of times.
    EXPECT_LE(passes, 2 * kFrames + 4);
}

}  // namespace
