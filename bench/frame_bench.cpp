// One whole frame of the demo: the sky slice copied from the panorama, the
// logos scaled and placed for the scroll position, and the frame presented
// onto a headless window of 320 x 200 (one to one) or 1920 x 1080. Beside it
// the same frame composed by SDL2 in software. Each iteration is the next
// frame of the 160-frame cycle, so scaled and whole logos are weighed as in
// the running program; the rate is reported as frames per second.
#include <benchmark/benchmark.h>

#include <standin/probe.h>

#include <raster/raster.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "frame_peers.h"
#include "headless_library.h"
#include "raster/state.h"

namespace {

using raster::state;
namespace probe = standin::probe;

constexpr int kPanoramaWidth = 1600;
constexpr int kFrameWidth = 320;
constexpr int kFrameHeight = 200;
constexpr int kLogoWidth = 264;
constexpr int kLogoHeight = 40;
constexpr int kLoop = 1280;
constexpr int kStep = 8;

// Stand-in pictures: a busy sky, and logos with transparent gaps between
// letter-like blocks, rows top first.
std::vector<uint8_t> SkyPixels() {
    std::vector<uint8_t> p(static_cast<size_t>(kPanoramaWidth) * kFrameHeight);
    for (int y = 0; y < kFrameHeight; ++y) {
        for (int x = 0; x < kPanoramaWidth; ++x) {
            p[static_cast<size_t>(y) * kPanoramaWidth + x] =
                static_cast<uint8_t>(10 + (x * 5 + y * 3 + x * y % 7) % 192);
        }
    }
    return p;
}

std::vector<uint8_t> LogoPixels(int seed) {
    std::vector<uint8_t> p(static_cast<size_t>(kLogoWidth) * kLogoHeight, 0);
    for (int y = 4; y < kLogoHeight - 4; ++y) {
        for (int x = 8; x < kLogoWidth - 8; ++x) {
            if ((x / 6 + seed) % 4 != 0 && (x + y) % 11 != 0) {
                p[static_cast<size_t>(y) * kLogoWidth + x] = static_cast<uint8_t>(202 + (y + seed) % 44);
            }
        }
    }
    return p;
}

std::vector<uint8_t> Colours() {
    std::vector<uint8_t> rgb(768);
    for (int i = 0; i < 256; ++i) {
        rgb[i * 3] = static_cast<uint8_t>(i * 7);
        rgb[i * 3 + 1] = static_cast<uint8_t>(i * 3 + 40);
        rgb[i * 3 + 2] = static_cast<uint8_t>(255 - i);
    }
    return rgb;
}

// The library set up as the demo sets it up, on a headless window.
class LibraryFrame {
  public:
    LibraryFrame(int clientWidth, int clientHeight)
        : library_(clientWidth, clientHeight), clientWidth_(clientWidth), clientHeight_(clientHeight) {
        frame_ = surface_create(kFrameWidth, kFrameHeight);
        panorama_ = surface_create(kPanoramaWidth, kFrameHeight);
        if (!ok()) return;
        const std::vector<uint8_t> sky = SkyPixels();
        for (int y = 0; y < kFrameHeight; ++y) {
            std::memcpy(Row(panorama_, y), &sky[static_cast<size_t>(y) * kPanoramaWidth], kPanoramaWidth);
        }
        surface_select(frame_);
        surface_reset_colors();
        const std::vector<uint8_t> rgb = Colours();
        set_palette_entries(10, 236, &rgb[30]);
        for (int i = 0; i < 2; ++i) {
            // Image buffers hold the bottom row first.
            const std::vector<uint8_t> logo = LogoPixels(i);
            image_[i].resize(logo.size());
            scaled_[i].resize(logo.size());
            for (int r = 0; r < kLogoHeight; ++r) {
                std::memcpy(&image_[i][static_cast<size_t>(r) * kLogoWidth],
                            &logo[static_cast<size_t>(kLogoHeight - 1 - r) * kLogoWidth], kLogoWidth);
            }
        }
    }

    ~LibraryFrame() {
        surface_deselect();
        if (panorama_ >= 0) surface_destroy(panorama_);
        if (frame_ >= 0) surface_destroy(frame_);
    }

    bool ok() const { return library_.window() != nullptr && frame_ >= 0 && panorama_ >= 0; }

    void Compose(int scrollX) {
        surface_copy(scrollX, scrollX + kFrameWidth - 1, 0, kFrameHeight - 1, 0, kFrameHeight - 1, panorama_, frame_);
        if (scrollX <= 240) {
            Draw(1, 80, scrollX / 10);
        } else {
            Draw(0, 160, (scrollX - 240) / 10);
            Draw(1, 80, 10);
        }
        present(0, kFrameWidth - 1, 0, kFrameHeight - 1, 0, clientWidth_ - 1, 0, clientHeight_ - 1);
    }

    std::vector<uint8_t> Frame() const {
        std::vector<uint8_t> out;
        for (int y = 0; y < kFrameHeight; ++y) out.insert(out.end(), Row(frame_, y), Row(frame_, y) + kFrameWidth);
        return out;
    }

  private:
    static uint8_t* Row(int32_t handle, int y) {
        return state.slot_bits[handle] +
               static_cast<size_t>(state.slot_height[handle] - 1 - y) * state.slot_width[handle];
    }

    void Draw(int which, int bottom, int level) {
        if (level <= 0) return;
        if (level >= 10) {
            move_to((kFrameWidth - kLogoWidth) / 2, bottom);
            image_place(image_[which].data(), kLogoWidth, kLogoHeight);
            return;
        }
        const int w = kLogoWidth * level / 10;
        const int h = kLogoHeight * level / 10;
        image_scale(image_[which].data(), scaled_[which].data(), kLogoWidth, kLogoHeight, w, h);
        move_to((kFrameWidth - w) / 2, bottom);
        image_place(scaled_[which].data(), w, h);
    }

    HeadlessLibrary library_;
    int clientWidth_;
    int clientHeight_;
    int32_t frame_ = -1;
    int32_t panorama_ = -1;
    std::vector<uint8_t> image_[2];
    std::vector<uint8_t> scaled_[2];
};

void ReportRate(benchmark::State& st) {
    st.counters["fps"] = benchmark::Counter(static_cast<double>(st.iterations()), benchmark::Counter::kIsRate);
}

void BM_Frame_Library(benchmark::State& st) {
    LibraryFrame scene(static_cast<int>(st.range(0)), static_cast<int>(st.range(1)));
    if (!scene.ok()) {
        st.SkipWithError("library set-up failed");
        return;
    }
    int scrollX = 0;
    for (auto _ : st) {
        scrollX = (scrollX + kStep) % kLoop;
        scene.Compose(scrollX);
        benchmark::ClobberMemory();
    }
    ReportRate(st);
}

void BM_Frame_Sdl(benchmark::State& st) {
    const std::vector<uint8_t> sky = SkyPixels();
    const std::vector<uint8_t> logo1 = LogoPixels(0);
    const std::vector<uint8_t> logo2 = LogoPixels(1);
    const std::vector<uint8_t> rgb = Colours();
    peers::SdlFrame scene(sky.data(), logo1.data(), logo2.data(), kLogoWidth, kLogoHeight, rgb.data(),
                          static_cast<int>(st.range(0)), static_cast<int>(st.range(1)));
    if (!scene.ok()) {
        st.SkipWithError("SDL set-up failed");
        return;
    }
    // Both sides must compose the same frame where no scaling is involved.
    LibraryFrame library(kFrameWidth, kFrameHeight);
    for (int check : {8, 400}) {
        library.Compose(check);
        if (!scene.compose(check) || scene.frame() != library.Frame()) {
            st.SkipWithError("SDL frame differs from the library's");
            return;
        }
    }
    int scrollX = 0;
    for (auto _ : st) {
        scrollX = (scrollX + kStep) % kLoop;
        if (!scene.compose(scrollX)) {
            st.SkipWithError("SDL blit failed");
            break;
        }
        benchmark::ClobberMemory();
    }
    ReportRate(st);
}

BENCHMARK(BM_Frame_Library)->Args({320, 200})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Frame_Sdl)->Args({320, 200})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);

}  // namespace
