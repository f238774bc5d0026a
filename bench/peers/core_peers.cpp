#include "core_peers.h"

#include <SDL.h>

#include <cstring>

namespace peers {

namespace {

SDL_Surface* indexed_surface(const uint8_t* pixels, int width, int height) {
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, width, height, 8, SDL_PIXELFORMAT_INDEX8);
    if (surface == nullptr) return nullptr;
    if (pixels != nullptr) {
        for (int y = 0; y < height; ++y) {
            std::memcpy(static_cast<uint8_t*>(surface->pixels) + static_cast<size_t>(y) * surface->pitch,
                        pixels + static_cast<size_t>(y) * width, static_cast<size_t>(width));
        }
    }
    return surface;
}

}  // namespace

struct SliceBlit8::Impl {
    SDL_Palette* palette = nullptr;
    SDL_Surface* source = nullptr;
    SDL_Surface* target = nullptr;
    int slice_width = 0;
    int slice_height = 0;
};

SliceBlit8::SliceBlit8(const uint8_t* pixels, int width, int height, int slice_width, int slice_height)
    : impl_(new Impl) {
    impl_->slice_width = slice_width;
    impl_->slice_height = slice_height;
    impl_->palette = SDL_AllocPalette(256);
    impl_->source = indexed_surface(pixels, width, height);
    impl_->target = indexed_surface(nullptr, slice_width, slice_height);
    if (!ok()) return;
    // One palette for both: the blit is then a plain copy of indices.
    SDL_SetSurfacePalette(impl_->source, impl_->palette);
    SDL_SetSurfacePalette(impl_->target, impl_->palette);
    SDL_SetSurfaceBlendMode(impl_->source, SDL_BLENDMODE_NONE);
}

SliceBlit8::~SliceBlit8() {
    if (impl_->target != nullptr) SDL_FreeSurface(impl_->target);
    if (impl_->source != nullptr) SDL_FreeSurface(impl_->source);
    if (impl_->palette != nullptr) SDL_FreePalette(impl_->palette);
}

bool SliceBlit8::ok() const {
    return impl_->palette != nullptr && impl_->source != nullptr && impl_->target != nullptr;
}

bool SliceBlit8::blit(int left) {
    SDL_Rect from{left, 0, impl_->slice_width, impl_->slice_height};
    SDL_Rect to{0, 0, impl_->slice_width, impl_->slice_height};
    return SDL_BlitSurface(impl_->source, &from, impl_->target, &to) == 0;
}

std::vector<uint8_t> SliceBlit8::target() const {
    std::vector<uint8_t> rows(static_cast<size_t>(impl_->slice_width) * impl_->slice_height);
    for (int y = 0; y < impl_->slice_height; ++y) {
        std::memcpy(&rows[static_cast<size_t>(y) * impl_->slice_width],
                    static_cast<const uint8_t*>(impl_->target->pixels) + static_cast<size_t>(y) * impl_->target->pitch,
                    static_cast<size_t>(impl_->slice_width));
    }
    return rows;
}

struct SoftPresent8::Impl {
    SDL_Surface* source = nullptr;
    SDL_Surface* window = nullptr;
};

SoftPresent8::SoftPresent8(const uint8_t* pixels, int width, int height, const uint8_t* rgb, int window_width,
                           int window_height)
    : impl_(new Impl) {
    impl_->source = indexed_surface(pixels, width, height);
    impl_->window = SDL_CreateRGBSurfaceWithFormat(0, window_width, window_height, 32, SDL_PIXELFORMAT_XRGB8888);
    if (!ok()) return;
    SDL_Color colours[256];
    for (int i = 0; i < 256; ++i) {
        colours[i] = SDL_Color{rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2], 255};
    }
    SDL_SetPaletteColors(impl_->source->format->palette, colours, 0, 256);
}

SoftPresent8::~SoftPresent8() {
    if (impl_->window != nullptr) SDL_FreeSurface(impl_->window);
    if (impl_->source != nullptr) SDL_FreeSurface(impl_->source);
}

bool SoftPresent8::ok() const { return impl_->source != nullptr && impl_->window != nullptr; }

bool SoftPresent8::present() {
    SDL_Surface* converted = SDL_ConvertSurfaceFormat(impl_->source, SDL_PIXELFORMAT_XRGB8888, 0);
    if (converted == nullptr) return false;
    SDL_SetSurfaceBlendMode(converted, SDL_BLENDMODE_NONE);
    const bool done = SDL_BlitScaled(converted, nullptr, impl_->window, nullptr) == 0;
    SDL_FreeSurface(converted);
    return done;
}

std::vector<uint32_t> SoftPresent8::window() const {
    const SDL_Surface* w = impl_->window;
    std::vector<uint32_t> pixels(static_cast<size_t>(w->w) * w->h);
    for (int y = 0; y < w->h; ++y) {
        std::memcpy(&pixels[static_cast<size_t>(y) * w->w],
                    static_cast<const uint8_t*>(w->pixels) + static_cast<size_t>(y) * w->pitch,
                    static_cast<size_t>(w->w) * 4);
    }
    for (uint32_t& p : pixels) p &= 0x00FFFFFFu;
    return pixels;
}

}  // namespace peers
