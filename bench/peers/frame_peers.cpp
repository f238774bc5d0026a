#include "frame_peers.h"

#include <SDL.h>

#include <cstring>

namespace peers {

namespace {

constexpr int kPanoramaWidth = 1600;
constexpr int kFrameWidth = 320;
constexpr int kFrameHeight = 200;

SDL_Surface* indexed(const uint8_t* pixels, int width, int height, SDL_Palette* palette) {
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, width, height, 8, SDL_PIXELFORMAT_INDEX8);
    if (s == nullptr) return nullptr;
    SDL_SetSurfacePalette(s, palette);
    if (pixels != nullptr) {
        for (int y = 0; y < height; ++y) {
            std::memcpy(static_cast<uint8_t*>(s->pixels) + static_cast<size_t>(y) * s->pitch,
                        pixels + static_cast<size_t>(y) * width, static_cast<size_t>(width));
        }
    }
    return s;
}

}  // namespace

struct SdlFrame::Impl {
    SDL_Palette* palette = nullptr;
    SDL_Surface* panorama = nullptr;
    SDL_Surface* logo[2] = {nullptr, nullptr};
    SDL_Surface* scaled = nullptr;  // logo-sized scratch for the stretched logo
    SDL_Surface* frame = nullptr;
    SDL_Surface* frame32 = nullptr;
    SDL_Surface* window = nullptr;
    int logo_width = 0;
    int logo_height = 0;
    bool ok = false;

    // Draws a logo with its bottom row at `bottom` at a zoom level in tenths.
    bool draw(int which, int bottom, int level) {
        if (level <= 0) return true;
        const int w = level >= 10 ? logo_width : logo_width * level / 10;
        const int h = level >= 10 ? logo_height : logo_height * level / 10;
        SDL_Rect to{(kFrameWidth - w) / 2, bottom - h + 1, w, h};
        if (level >= 10) return SDL_BlitSurface(logo[which], nullptr, frame, &to) == 0;
        SDL_Rect box{0, 0, w, h};
        if (SDL_SoftStretch(logo[which], nullptr, scaled, &box) != 0) return false;
        return SDL_BlitSurface(scaled, &box, frame, &to) == 0;
    }

    ~Impl() {
        SDL_FreeSurface(window);
        SDL_FreeSurface(frame32);
        SDL_FreeSurface(frame);
        SDL_FreeSurface(scaled);
        SDL_FreeSurface(logo[1]);
        SDL_FreeSurface(logo[0]);
        SDL_FreeSurface(panorama);
        if (palette != nullptr) SDL_FreePalette(palette);
    }
};

SdlFrame::SdlFrame(const uint8_t* panorama, const uint8_t* logo1, const uint8_t* logo2, int logo_width, int logo_height,
                   const uint8_t* rgb, int window_width, int window_height)
    : impl_(new Impl) {
    Impl& m = *impl_;
    m.logo_width = logo_width;
    m.logo_height = logo_height;
    m.palette = SDL_AllocPalette(256);
    if (m.palette == nullptr) return;
    SDL_Color colours[256];
    for (int i = 0; i < 256; ++i) colours[i] = SDL_Color{rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2], 255};
    SDL_SetPaletteColors(m.palette, colours, 0, 256);
    m.panorama = indexed(panorama, kPanoramaWidth, kFrameHeight, m.palette);
    m.logo[0] = indexed(logo1, logo_width, logo_height, m.palette);
    m.logo[1] = indexed(logo2, logo_width, logo_height, m.palette);
    m.scaled = indexed(nullptr, logo_width, logo_height, m.palette);
    m.frame = indexed(nullptr, kFrameWidth, kFrameHeight, m.palette);
    m.frame32 = SDL_CreateRGBSurfaceWithFormat(0, kFrameWidth, kFrameHeight, 32, SDL_PIXELFORMAT_XRGB8888);
    m.window = SDL_CreateRGBSurfaceWithFormat(0, window_width, window_height, 32, SDL_PIXELFORMAT_XRGB8888);
    if (!m.panorama || !m.logo[0] || !m.logo[1] || !m.scaled || !m.frame || !m.frame32 || !m.window) return;
    // Colour 0 is transparent in the logos, as in the library's placement.
    SDL_SetColorKey(m.logo[0], SDL_TRUE, 0);
    SDL_SetColorKey(m.logo[1], SDL_TRUE, 0);
    SDL_SetColorKey(m.scaled, SDL_TRUE, 0);
    m.ok = true;
}

SdlFrame::~SdlFrame() = default;

bool SdlFrame::ok() const { return impl_->ok; }

bool SdlFrame::compose(int scroll_x) {
    Impl& m = *impl_;
    if (!m.ok) return false;
    SDL_Rect slice{scroll_x, 0, kFrameWidth, kFrameHeight};
    if (SDL_BlitSurface(m.panorama, &slice, m.frame, nullptr) != 0) return false;
    bool drawn = true;
    if (scroll_x <= 240) {
        drawn = m.draw(1, 80, scroll_x / 10);
    } else {
        drawn = m.draw(0, 160, (scroll_x - 240) / 10) && m.draw(1, 80, 10);
    }
    if (!drawn) return false;
    if (SDL_BlitSurface(m.frame, nullptr, m.frame32, nullptr) != 0) return false;
    if (m.window->w == kFrameWidth && m.window->h == kFrameHeight) {
        return SDL_BlitSurface(m.frame32, nullptr, m.window, nullptr) == 0;
    }
    return SDL_BlitScaled(m.frame32, nullptr, m.window, nullptr) == 0;
}

std::vector<uint8_t> SdlFrame::frame() const {
    std::vector<uint8_t> out;
    const SDL_Surface* f = impl_->frame;
    if (f == nullptr) return out;
    for (int y = 0; y < f->h; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(f->pixels) + static_cast<size_t>(y) * f->pitch;
        out.insert(out.end(), row, row + f->w);
    }
    return out;
}

std::vector<uint32_t> SdlFrame::window() const {
    std::vector<uint32_t> out;
    const SDL_Surface* w = impl_->window;
    if (w == nullptr) return out;
    for (int y = 0; y < w->h; ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(w->pixels) +
                                                                static_cast<size_t>(y) * w->pitch);
        for (int x = 0; x < w->w; ++x) out.push_back(row[x] & 0xFFFFFFu);
    }
    return out;
}

}  // namespace peers
