// The program paced as it runs by itself (the probe's pacing on): frames
// still come in the same order with the same pictures, no faster than one a
// refresh, and the loop sleeps between them instead of spinning.
#include <gtest/gtest.h>

#include <raster/raster.h>
#include <standin/probe.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
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
    std::vector<Clock::time_point> seen;
    probe::set_idle_hook([&]() {
        ++passes;
        if (closing || passes < 2) return;
        const std::vector<uint8_t> surface = testenv::surface_rows(frameSurface->Handle());
        if (surface == last) return;
        last = surface;
        ++frames;
        seen.push_back(Clock::now());
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
    // Nor much slower: the 12 gaps take about 200 ms. On a busy machine a
    // wake-up can come tens of milliseconds late now and then, so the bounds
    // are wide, but a pacer that slept three periods or more for most frames,
    // or took seven times as long in all, fails them.
    std::vector<int64_t> gaps;
    for (size_t i = 1; i < seen.size(); ++i) {
        gaps.push_back(std::chrono::duration_cast<std::chrono::microseconds>(seen[i] - seen[i - 1]).count());
    }
    ASSERT_EQ(gaps.size(), static_cast<size_t>(kFrames - 1));
    std::sort(gaps.begin(), gaps.end());
    EXPECT_LE(gaps[gaps.size() / 2], 3 * 1000000 / 60) << "the median gap between frames, in microseconds";
    EXPECT_LE(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 1500)
        << "frames 2 to 13 took far longer than 11 or 12 refreshes";
    // Sleeping, the loop wakes for each frame and for little else; a loop
    // that spun would pass through thousands of times.
    EXPECT_LE(passes, 2 * kFrames + 4);
}

}  // namespace
