#include "pixel_peers.h"

#include <SDL.h>

#include <cstring>

namespace peers {

namespace {

SDL_Surface* make_indexed(int width, int height, SDL_Palette* palette) {
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, width, height, 8, SDL_PIXELFORMAT_INDEX8);
    if (surface != nullptr && palette != nullptr) SDL_SetSurfacePalette(surface, palette);
    return surface;
}

// Distinct colours, so a blit between surfaces sharing it maps every index
// to itself.
SDL_Palette* make_palette() {
    SDL_Palette* palette = SDL_AllocPalette(256);
    if (palette == nullptr) return nullptr;
    SDL_Color colours[256];
    for (int i = 0; i < 256; ++i) {
        colours[i].r = static_cast<Uint8>(i);
        colours[i].g = static_cast<Uint8>(255 - i);
        colours[i].b = static_cast<Uint8>(i * 7);
        colours[i].a = 255;
    }
    SDL_SetPaletteColors(palette, colours, 0, 256);
    return palette;
}

void copy_in(SDL_Surface* surface, const uint8_t* pixels) {
    for (int y = 0; y < surface->h; ++y) {
        std::memcpy(static_cast<uint8_t*>(surface->pixels) + static_cast<size_t>(y) * surface->pitch,
                    pixels + static_cast<size_t>(y) * surface->w, static_cast<size_t>(surface->w));
    }
}

std::vector<uint8_t> copy_out(const SDL_Surface* surface) {
    std::vector<uint8_t> out(static_cast<size_t>(surface->w) * surface->h);
    for (int y = 0; y < surface->h; ++y) {
        std::memcpy(out.data() + static_cast<size_t>(y) * surface->w,
                    static_cast<const uint8_t*>(surface->pixels) + static_cast<size_t>(y) * surface->pitch,
                    static_cast<size_t>(surface->w));
    }
    return out;
}

}  // namespace

// ---- Stretch8 -----------------------------------------------------------------

struct Stretch8::Impl {
    SDL_Palette* palette = nullptr;
    SDL_Surface* source = nullptr;
    std::vector<SDL_Surface*> targets;
    bool ok = false;
};

Stretch8::Stretch8(const uint8_t* pixels, int width, int height, const std::vector<Size>& sizes) : impl_(new Impl) {
    impl_->palette = make_palette();
    impl_->source = make_indexed(width, height, impl_->palette);
    bool ok = impl_->palette != nullptr && impl_->source != nullptr;
    if (impl_->source != nullptr) copy_in(impl_->source, pixels);
    for (const Size& size : sizes) {
        SDL_Surface* target = make_indexed(size.width, size.height, impl_->palette);
        ok = ok && target != nullptr;
        impl_->targets.push_back(target);
    }
    impl_->ok = ok;
}

Stretch8::~Stretch8() {
    for (SDL_Surface* target : impl_->targets) SDL_FreeSurface(target);
    SDL_FreeSurface(impl_->source);
    SDL_FreePalette(impl_->palette);
}

bool Stretch8::ok() const { return impl_->ok; }

bool Stretch8::stretch(int which) {
    return SDL_SoftStretch(impl_->source, nullptr, impl_->targets[static_cast<size_t>(which)], nullptr) == 0;
}

std::vector<uint8_t> Stretch8::result(int which) const { return copy_out(impl_->targets[static_cast<size_t>(which)]); }

// ---- KeyedBlit8 ---------------------------------------------------------------

struct KeyedBlit8::Impl {
    SDL_Palette* palette = nullptr;
    SDL_Surface* source = nullptr;
    SDL_Surface* target = nullptr;
    bool ok = false;
};

KeyedBlit8::KeyedBlit8(const uint8_t* pixels, int width, int height, int target_width, int target_height,
                       bool run_length)
    : impl_(new Impl) {
    impl_->palette = make_palette();
    impl_->source = make_indexed(width, height, impl_->palette);
    impl_->target = make_indexed(target_width, target_height, impl_->palette);
    if (impl_->palette == nullptr || impl_->source == nullptr || impl_->target == nullptr) return;
    copy_in(impl_->source, pixels);
    SDL_SetSurfaceBlendMode(impl_->source, SDL_BLENDMODE_NONE);
    if (SDL_SetColorKey(impl_->source, SDL_TRUE, 0) != 0) return;
    if (run_length && SDL_SetSurfaceRLE(impl_->source, 1) != 0) return;
    // The first blit builds the blit map (and the run-length encoding).
    impl_->ok = blit(0, 0);
}

KeyedBlit8::~KeyedBlit8() {
    SDL_FreeSurface(impl_->target);
    SDL_FreeSurface(impl_->source);
    SDL_FreePalette(impl_->palette);
}

bool KeyedBlit8::ok() const { return impl_->ok; }

void KeyedBlit8::clear(uint8_t index) { SDL_FillRect(impl_->target, nullptr, index); }

bool KeyedBlit8::blit(int x, int y) {
    SDL_Rect at{x, y, impl_->source->w, impl_->source->h};
    return SDL_BlitSurface(impl_->source, nullptr, impl_->target, &at) == 0;
}

std::vector<uint8_t> KeyedBlit8::target() const { return copy_out(impl_->target); }

}  // namespace peers
