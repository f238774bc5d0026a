#include "scene.h"

#include <windows.h>

#include <raster/raster.h>

#include <cstdio>
#include <new>

namespace {

// The slice advances 8 columns per frame.
constexpr int32_t kScrollStep = 8;
// The lower logo starts growing once the upper one has long been whole.
constexpr int32_t kLowerLogoStart = 240;

// Nothing is built before the first frame (constant-initialised).
DemoScene scene;

}  // namespace

DemoSurface::DemoSurface(int32_t width, int32_t height, bool initLibrary) {
    if (initLibrary) raster_init();
    handle = surface_create(width, height);
    // A failed creation leaves a negative status here. Selecting it would be
    // refused anyway; skipping the calls keeps the previous surface active.
    if (handle >= 0) {
        surface_select(handle);
        surface_reset_colors();
    }
}

DemoSurface::~DemoSurface() {
    surface_deselect();
    if (handle >= 0) surface_destroy(handle);
    raster_shutdown();
}

int32_t DemoSurface::Handle() const { return handle; }

bool BuildModulePath(char* path, const char* fileName) {
    path[0] = '\0';
    const int dirLength = lstrlenA(moduleDir);
    const int nameLength = lstrlenA(fileName);
    if (dirLength < 0 || nameLength < 0 || dirLength + nameLength >= kPathBufferSize) return false;
    lstrcpyA(path, moduleDir);
    lstrcatA(path, fileName);
    return true;
}

void ReadPicture(const char* fileName) {
    char path[kPathBufferSize];
    // A path that would not fit is treated like a missing picture: a
    // shortened one could name another file.
    if (!BuildModulePath(path, fileName)) {
        std::fprintf(stderr, "scaling-scrolling: cannot read %s: its path in %s is longer than %d characters\n",
                     fileName, moduleDir, kPathBufferSize - 1);
        return;
    }
    const int32_t status = pcx_display(path, PCX_KEEP_INDICES);
    switch (status) {
        case PCX_OK:
            return;
        case PCX_OPEN_FAILED:
            std::fprintf(stderr, "scaling-scrolling: cannot read %s: the file is missing or cannot be opened\n", path);
            return;
        case PCX_BAD_HEADER:
            std::fprintf(stderr,
                         "scaling-scrolling: cannot read %s: it is not a PCX picture, or its header is cut short\n",
                         path);
            return;
        default:
            std::fprintf(stderr,
                         "scaling-scrolling: cannot read %s: the picture does not fit the surface (status %d)\n", path,
                         static_cast<int>(status));
            return;
    }
}

LogoSprite::LogoSprite(const char* fileName, int32_t width, int32_t height, int32_t y)
    : width(width), height(height), x((kFrameWidth - width) / 2), y(y), image(nullptr), scaled(nullptr) {
    const uint32_t bytes = image_size(width, height);
    // Without memory the logo is simply never drawn.
    image = new (std::nothrow) uint8_t[bytes];
    scaled = new (std::nothrow) uint8_t[bytes];

    surface_select(frameSurface->Handle());
    // A picture that cannot be read leaves the frame surface as it was: the
    // capture below then takes whatever it holds.
    ReadPicture(fileName);
    if (image != nullptr) {
        move_to(0, height - 1);
        image_capture(image, width, height);
    }
}

LogoSprite::~LogoSprite() {
    delete[] image;
    delete[] scaled;
}

void LogoSprite::Draw(int32_t level) {
    if (level <= 0 || image == nullptr) return;
    if (level >= 10) {
        move_to(x, y);
        image_place(image, width, height);
        return;
    }
    if (scaled == nullptr) return;
    const int32_t newWidth = width * level / 10;
    const int32_t newHeight = height * level / 10;
    // A picture under ten pixels on a side has nothing to show at the
    // smallest levels.
    if (newWidth <= 0 || newHeight <= 0) return;
    const int32_t newX = (kFrameWidth - newWidth) / 2;
    image_scale(image, scaled, width, height, newWidth, newHeight);
    move_to(newX, y);
    image_place(scaled, newWidth, newHeight);
}

void DemoScene::Start() {
    logo1.emplace("LOGO1.PCX", kLogoWidth, kLogoHeight, kLowerLogoBottom);
    logo2.emplace("LOGO2.PCX", kLogoWidth, kLogoHeight, kUpperLogoBottom);
    panoramaHandle = panoramaSurface->Handle();
    frameHandle = frameSurface->Handle();
    started = true;
}

void DemoScene::UpdateFrame() {
    if (!started) Start();

    scrollX += kScrollStep;
    if (scrollX >= kLoopPeriod) scrollX = 0;

    // The copy names its surfaces by handle; a surface that was never created
    // must not be mistaken for another slot.
    if (panoramaHandle >= 0 && frameHandle >= 0) {
        surface_copy(scrollX, scrollX + kFrameWidth - 1, 0, kFrameHeight - 1, 0, kFrameHeight - 1, panoramaHandle,
                     frameHandle);
    }

    if (scrollX <= kLowerLogoStart) {
        logo2->Draw(scrollX / 10);
    } else {
        logo1->Draw((scrollX - kLowerLogoStart) / 10);
        logo2->Draw(10);
    }

    present(0, kFrameWidth - 1, 0, kFrameHeight - 1, 0, shellWindow.clientWidth - 1, 0, shellWindow.clientHeight - 1);
}

void UpdateFrame() { scene.UpdateFrame(); }
