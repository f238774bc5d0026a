// pcx_save: a surface rectangle written as a PCX file through the codec.
//
// The file is written with the C library under a temporary name beside the
// target and then renamed over it, so a save that fails part of the way
// leaves whatever file was there before, and no partial one.
#include <raster/raster.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "raster/pcx/codec/header.h"
#include "raster/state.h"

namespace {

using raster::state;
// An 8-bit surface goes out with the whole library palette: a 256-colour
// picture, its colours in the trailer.
constexpr int32_t kSavedColours = raster::pcx::kTrailerColours;

struct Area {
    int32_t x1, x2, y1, y2;
    int32_t width() const { return x2 - x1 + 1; }
    int32_t height() const { return y2 - y1 + 1; }
};

bool surface_holds(int32_t handle, const Area& r) {
    if (handle < 0 || handle >= raster::kSlotCount || state.slot_bits[handle] == nullptr) return false;
    if (r.x1 < 0 || r.y1 < 0 || r.x1 > r.x2 || r.y1 > r.y2) return false;
    return r.x2 < state.slot_width[handle] && r.y2 < state.slot_height[handle];
}

// An 8-bit surface's indices in the rectangle, top row first (the surface
// keeps its rows bottom-up).
void copy_indices(int32_t handle, const Area& r, uint8_t* indices) {
    const size_t stride = static_cast<size_t>(state.slot_width[handle]);
    const size_t width = static_cast<size_t>(r.width());
    for (int32_t y = r.y1; y <= r.y2; ++y) {
        const uint8_t* row = state.slot_bits[handle] + static_cast<size_t>(state.slot_height[handle] - 1 - y) * stride;
        std::memcpy(indices + static_cast<size_t>(y - r.y1) * width, row + r.x1, width);
    }
}

// The file's bytes in `file`; 0 when the codec refuses the rectangle (too
// wide for the format), RASTER_NO_MEMORY when it cannot be held.
int32_t encode_area(int32_t handle, const Area& r, std::unique_ptr<uint8_t[]>& file, size_t& size) {
    const bool indexed = state.slot_bpp[handle] == 8;
    const int32_t format = indexed ? PCX_FORMAT_INDICES : PCX_FORMAT_RGB;
    const size_t row = static_cast<size_t>(r.width()) * static_cast<size_t>(format);
    const std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[row * static_cast<size_t>(r.height())]);
    if (!pixels) return RASTER_NO_MEMORY;
    uint8_t palette[3 * kSavedColours];
    if (indexed) {
        copy_indices(handle, r, pixels.get());
        get_palette_entries(0, kSavedColours, palette);
    } else {
        surface_read_rgb(handle, r.x1, r.x2, r.y1, r.y2, pixels.get());
    }
    const ptrdiff_t stride = static_cast<ptrdiff_t>(row);
    size = pcx_encode(pixels.get(), r.width(), r.height(), stride, format, palette, kSavedColours, nullptr, 0);
    if (size == 0) return RASTER_REFUSED;
    file.reset(new (std::nothrow) uint8_t[size]);
    if (!file) return RASTER_NO_MEMORY;
    pcx_encode(pixels.get(), r.width(), r.height(), stride, format, palette, kSavedColours, file.get(), size);
    return RASTER_OK;
}

unsigned long process_id() {
#ifdef _WIN32
    return static_cast<unsigned long>(_getpid());
#else
    return static_cast<unsigned long>(getpid());
#endif
}

// Moves `from` over `to`, replacing it. The C library's rename does that on
// POSIX systems but refuses an existing target on Windows.
bool replace_file(const char* from, const char* to) {
#ifdef _WIN32
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(from, to) == 0;
#endif
}

int32_t write_replacing(const char* filename, const uint8_t* bytes, size_t size) {
    // One save at a time per process (the library has one thread), so the
    // process id keeps the name apart from other programs' saves.
    const std::string temporary = std::string(filename) + "." + std::to_string(process_id()) + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) return PCX_OPEN_FAILED;
    const bool written = std::fwrite(bytes, 1, size, file) == size;
    const bool closed = std::fclose(file) == 0;
    if (written && closed && replace_file(temporary.c_str(), filename)) return RASTER_OK;
    std::remove(temporary.c_str());
    return PCX_OPEN_FAILED;
}

}  // namespace

extern "C" int32_t pcx_save(int32_t handle, int32_t x1, int32_t x2, int32_t y1, int32_t y2, const char* filename) {
    const Area area{x1, x2, y1, y2};
    if (filename == nullptr || !surface_holds(handle, area)) return RASTER_REFUSED;
    std::unique_ptr<uint8_t[]> file;
    size_t size = 0;
    const int32_t encoded = encode_area(handle, area, file, size);
    if (encoded != RASTER_OK) return encoded;
    return write_replacing(filename, file.get(), size);
}
