// The demo's scene: the objects that own its two surfaces, the two zooming
// logos, and the function that composes one animation frame.
#ifndef DEMO_SCENE_H
#define DEMO_SCENE_H

#include <cstdint>
#include <optional>

// The frame, the panorama, the sky and the logos' sizes and places.
#include "geometry.h"
// The shell's variables the scene reads: the program's folder, the two
// surfaces and the client area's size.
#include "shell.h"

// Owns one raster surface from construction to destruction. The frame surface
// is built with initLibrary set, so it brings the library up; every
// destructor asks the library to shut down, which it does only once the last
// surface is gone.
class DemoSurface {
  public:
    DemoSurface(int32_t width, int32_t height, bool initLibrary);
    ~DemoSurface();
    DemoSurface(const DemoSurface&) = delete;
    DemoSurface& operator=(const DemoSurface&) = delete;

    int32_t Handle() const;

  private:
    int32_t handle;
};

// A logo read once from a PCX file in the program's directory, kept as an
// image buffer and drawn into the frame surface at a zoom level in tenths.
class LogoSprite {
  public:
    LogoSprite(const char* fileName, int32_t width, int32_t height, int32_t y);
    ~LogoSprite();
    LogoSprite(const LogoSprite&) = delete;
    LogoSprite& operator=(const LogoSprite&) = delete;

    // level <= 0 draws nothing, 1..9 draws the picture scaled to level/10 of
    // its size, 10 and above draws it unscaled.
    void Draw(int32_t level);

  private:
    int32_t width;
    int32_t height;
    int32_t x;
    int32_t y;
    uint8_t* image;
    uint8_t* scaled;
};

// What the frame function keeps from one frame to the next: the scroll
// position, the two logos and the two surface handles. The logos are read
// and the handles taken at the first frame, not at start-up, so a window
// closed before its first idle pass never reads them; after that they stay
// for the life of the process.
class DemoScene {
  public:
    // Scrolls the sky by 8 columns, draws the logos for the new position
    // and presents the frame surface to the whole client area.
    void UpdateFrame();

  private:
    void Start();

    int32_t scrollX = 0;
    bool started = false;
    std::optional<LogoSprite> logo1;  // the lower logo
    std::optional<LogoSprite> logo2;  // the upper logo
    int32_t panoramaHandle = -1;
    int32_t frameHandle = -1;
};

// The program's one scene, frame after frame.
void UpdateFrame();

// Copies moduleDir followed by fileName into path (kPathBufferSize bytes).
// Returns false, leaving path an empty string, when the two together do not
// fit: a shortened name could open a different file, so the caller treats
// the picture as missing instead.
bool BuildModulePath(char* path, const char* fileName);

// Reads the named picture from the program's folder into the active surface
// (pixel values kept, palette loaded). A picture that cannot be read leaves
// the surface as it was and is named in one line on standard error; the
// program goes on, showing what the surface held.
void ReadPicture(const char* fileName);

#endif  // DEMO_SCENE_H
