// What the demo's frames should look like, worked out from the picture files
// alone: a small PCX decoder of its own, the looping panorama, and the logos
// scaled by the nearest-pixel rule and placed with colour 0 transparent.
// Shared by the scene and shell suites; portable (no stand-in probe).
#ifndef TESTS_DEMO_FRAME_MODEL_H
#define TESTS_DEMO_FRAME_MODEL_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace demomodel {

constexpr int kFrameWidth = 320;
constexpr int kFrameHeight = 200;
constexpr int kPanoramaWidth = 1600;
constexpr int kLogoWidth = 264;
constexpr int kLogoHeight = 40;

// An 8-bit picture, rows top first.
struct Picture {
    int width = 0;
    int height = 0;
    int xmin = 0;
    int ymin = 0;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> palette;  // 768 bytes red, green, blue
    uint8_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Decodes a version-5, one-plane, 8-bit PCX file. Fails the calling test
// (and returns an empty picture) on anything else.
Picture LoadPcx(const std::string& path);

// The demo's three pictures from the build's picture directory.
struct Pictures {
    Picture sky;
    Picture logo1;
    Picture logo2;
};
Pictures LoadDemoPictures(const std::string& dir);

// 1600 x 200, rows top first: the sky's columns 0..639, mirrored onto
// 640..1279, and 0..319 again on 1280..1599. `initial` is what the panorama
// held before the sky was loaded (its content where the sky is missing).
std::vector<uint8_t> PanoramaModel(const Picture* sky, uint8_t initial);

// The image captured from the top-left width x height of a picture drawn at
// the frame's top-left corner.
struct Logo {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rowsTopFirst;
};
Logo LogoFromPicture(const Picture& picture, int width, int height);

// Draws a logo into a 320-wide frame (rows top first) the way the demo does
// at the given zoom level, with its bottom row at y.
void DrawLogo(std::vector<uint8_t>& frame, const Logo& logo, int y, int level);

// The whole frame for a scroll position.
std::vector<uint8_t> ExpectedFrame(const std::vector<uint8_t>& panorama, const Logo& logo1, const Logo& logo2,
                                   int scrollX);

// Exact comparison of two width-wide pictures; on a mismatch says how many
// pixels differ and where the first one is.
::testing::AssertionResult SamePixels(const std::vector<uint8_t>& actual, const std::vector<uint8_t>& expected,
                                      int width);

// Bounding box of the pixels where two equal-sized pictures differ.
struct Box {
    int left = -1;
    int right = -1;
    int top = -1;
    int bottom = -1;
    bool empty() const { return left < 0; }
};
Box DifferenceBox(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width);

}  // namespace demomodel

#endif  // TESTS_DEMO_FRAME_MODEL_H
