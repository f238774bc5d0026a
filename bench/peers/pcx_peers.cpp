#include "pcx_peers.h"

#include <SDL.h>
#include <SDL_image.h>

namespace peers {

long load_pcx_from_memory(const uint8_t* data, size_t size) {
    SDL_RWops* stream = SDL_RWFromConstMem(data, static_cast<int>(size));
    if (stream == nullptr) return 0;
    SDL_Surface* picture = IMG_LoadPCX_RW(stream);
    SDL_RWclose(stream);
    if (picture == nullptr) return 0;
    const long pixels = static_cast<long>(picture->w) * picture->h;
    SDL_FreeSurface(picture);
    return pixels;
}

}  // namespace peers
