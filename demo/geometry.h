// The scene's geometry, said once: the frame the demo composes, the sky and
// logo pictures it reads (the picture generator, tools/picgen, draws them
// to these sizes) and where the logos sit. The window opens at the frame's
// size and the recorder (tools/record) records at it by default.
#ifndef DEMO_GEOMETRY_H
#define DEMO_GEOMETRY_H

#include <cstdint>

// The frame: a 320 x 200 palette picture, stretched onto the whole client
// area.
constexpr int32_t kFrameWidth = 320;
constexpr int32_t kFrameHeight = 200;

// SKY.PCX: the sky that scrolls by, as tall as the frame.
constexpr int32_t kSkyColumns = 640;
constexpr int32_t kSkyRows = kFrameHeight;

// The panorama holds the sky shown (columns 0..639), its mirror image
// (640..1279), so the loop has no seam, and columns 0..319 again
// (1280..1599), so that any slice starting up to 1280 stays inside it.
constexpr int32_t kLoopPeriod = 2 * kSkyColumns;
constexpr int32_t kPanoramaWidth = kLoopPeriod + kFrameWidth;
constexpr int32_t kPanoramaHeight = kFrameHeight;

// LOGO1.PCX (the lower logo) and LOGO2.PCX (the upper), centred across the
// frame, their bottom rows at these.
constexpr int32_t kLogoWidth = 264;
constexpr int32_t kLogoHeight = 40;
constexpr int32_t kUpperLogoBottom = 80;
constexpr int32_t kLowerLogoBottom = 160;

#endif  // DEMO_GEOMETRY_H
