// The graphics position and image buffers: capture a rectangle of the active
// surface into a buffer of palette indices, and place such a buffer back with
// index 0 transparent. Each operation has one routine per surface depth,
// chosen through a four-entry table indexed by pixel_format_index.
#include <raster/raster.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "raster/pixel/kernels.h"
#include "raster/state.h"

namespace {

using SizeRoutine = uint32_t (*)(uint32_t width, uint32_t height);
// One surface row of `width` pixels to or from `width` buffer bytes.
using CaptureRoutine = void (*)(const uint8_t* pixels, uint8_t* buffer, int32_t width);
// A whole image: `height` buffer rows of `width` bytes onto surface rows
// `stride` bytes apart, the first at `pixels`.
using PlaceRoutine = void (*)(const uint8_t* buffer, uint8_t* pixels, int32_t width, int32_t height, size_t stride);

// 4-byte native colour entries hold fill, red, green, blue in that order.
constexpr int kFill = 0;
constexpr int kRed = 1;
constexpr int kGreen = 2;
constexpr int kBlue = 3;

const uint8_t* native_entry(uint8_t index) { return raster::state.native_color_table + static_cast<size_t>(index) * 4; }

uint16_t native_entry16(uint8_t index) {
    uint16_t value;
    std::memcpy(&value, raster::state.native_color_table + static_cast<size_t>(index) * 2, sizeof value);
    return value;
}

// ---- sizes ----------------------------------------------------------------
// Counts are unsigned and wrap modulo 2^32. A 32-bit surface reports three
// bytes per pixel, the same as a 24-bit one.

uint32_t size8(uint32_t width, uint32_t height) { return width * height; }
uint32_t size16(uint32_t width, uint32_t height) { return 2u * width * height; }
uint32_t size24(uint32_t width, uint32_t height) { return 3u * width * height; }
uint32_t size32(uint32_t width, uint32_t height) { return 3u * width * height; }

// ---- capture ----------------------------------------------------------------
// Above 8 bits a pixel becomes the lowest palette index whose native value
// equals it, or 0 (transparent) when no entry does. The previous pixel's
// answer is kept because neighbouring pixels mostly share a colour.

void capture8(const uint8_t* pixels, uint8_t* buffer, int32_t width) {
    std::memcpy(buffer, pixels, static_cast<size_t>(width));
}

uint8_t find16(uint16_t value) {
    for (int index = 0; index < 256; ++index) {
        if (native_entry16(static_cast<uint8_t>(index)) == value) return static_cast<uint8_t>(index);
    }
    return 0;
}

void capture16(const uint8_t* pixels, uint8_t* buffer, int32_t width) {
    uint16_t last_value = 0;
    uint8_t last_index = find16(0);
    for (int32_t x = 0; x < width; ++x, pixels += 2) {
        uint16_t value;
        std::memcpy(&value, pixels, sizeof value);
        if (value != last_value) {
            last_value = value;
            last_index = find16(value);
        }
        buffer[x] = last_index;
    }
}

// Searches for blue, green, red and, when `match_fill` is set, the fill byte.
uint8_t find_rgb(uint8_t blue, uint8_t green, uint8_t red, bool match_fill, uint8_t fill) {
    for (int index = 0; index < 256; ++index) {
        const uint8_t* entry = native_entry(static_cast<uint8_t>(index));
        if (entry[kBlue] == blue && entry[kGreen] == green && entry[kRed] == red &&
            (!match_fill || entry[kFill] == fill)) {
            return static_cast<uint8_t>(index);
        }
    }
    return 0;
}

void capture_rgb(const uint8_t* pixels, uint8_t* buffer, int32_t width, int bytes_per_pixel) {
    const bool match_fill = bytes_per_pixel == 4;
    uint8_t last[4] = {};
    uint8_t last_index = find_rgb(0, 0, 0, match_fill, 0);
    for (int32_t x = 0; x < width; ++x, pixels += bytes_per_pixel) {
        if (std::memcmp(pixels, last, static_cast<size_t>(bytes_per_pixel)) != 0) {
            std::memcpy(last, pixels, static_cast<size_t>(bytes_per_pixel));
            last_index = find_rgb(pixels[0], pixels[1], pixels[2], match_fill, match_fill ? pixels[3] : 0);
        }
        buffer[x] = last_index;
    }
}

void capture24(const uint8_t* pixels, uint8_t* buffer, int32_t width) { capture_rgb(pixels, buffer, width, 3); }

void capture32(const uint8_t* pixels, uint8_t* buffer, int32_t width) { capture_rgb(pixels, buffer, width, 4); }

// ---- placement ----------------------------------------------------------------

// 8-bit placement has fast versions (kernels.h); the deeper surfaces look
// each index up in the native colour table.
void place8(const uint8_t* buffer, uint8_t* pixels, int32_t width, int32_t height, size_t stride) {
    raster::pixel::kernels().place8(buffer, pixels, width, height, stride);
}

void place16_row(const uint8_t* buffer, uint8_t* pixels, int32_t width) {
    for (int32_t x = 0; x < width; ++x, pixels += 2) {
        if (buffer[x] == 0) continue;
        const uint16_t value = native_entry16(buffer[x]);
        std::memcpy(pixels, &value, sizeof value);
    }
}

void place24_row(const uint8_t* buffer, uint8_t* pixels, int32_t width) {
    for (int32_t x = 0; x < width; ++x, pixels += 3) {
        if (buffer[x] == 0) continue;
        const uint8_t* entry = native_entry(buffer[x]);
        pixels[0] = entry[kBlue];
        pixels[1] = entry[kGreen];
        pixels[2] = entry[kRed];
    }
}

void place32_row(const uint8_t* buffer, uint8_t* pixels, int32_t width) {
    for (int32_t x = 0; x < width; ++x, pixels += 4) {
        if (buffer[x] == 0) continue;
        const uint8_t* entry = native_entry(buffer[x]);
        pixels[0] = entry[kBlue];
        pixels[1] = entry[kGreen];
        pixels[2] = entry[kRed];
        pixels[3] = entry[kFill];
    }
}

template <void (*Row)(const uint8_t*, uint8_t*, int32_t)>
void place_rows(const uint8_t* buffer, uint8_t* pixels, int32_t width, int32_t height, size_t stride) {
    for (int32_t r = 0; r < height; ++r, buffer += width, pixels += stride) Row(buffer, pixels, width);
}

// Indexed by pixel_format_index / 4: 8, 16, 24, 32 bits per pixel.
constexpr SizeRoutine kSizeRoutines[4] = {size8, size16, size24, size32};
constexpr CaptureRoutine kCaptureRoutines[4] = {capture8, capture16, capture24, capture32};
constexpr PlaceRoutine kPlaceRoutines[4] = {place8, place_rows<place16_row>, place_rows<place24_row>,
                                            place_rows<place32_row>};
constexpr int32_t kBytesPerPixel[4] = {1, 2, 3, 4};

// The routine-table slot for the active depth, or -1 if pixel_format_index
// holds none of the four codes.
int routine_slot() {
    const int32_t code = raster::state.pixel_format_index;
    if (code < 0 || code > 12 || code % 4 != 0) return -1;
    return code / 4;
}

// The address of the image's lower-left pixel when a width x height image at
// the graphics position lies wholly inside the active surface and the size
// is at least 1 x 1; null otherwise.
uint8_t* image_origin(int32_t width, int32_t height, int slot) {
    const raster::LibraryState& s = raster::state;
    if (width < 1 || height < 1 || s.active_bits == nullptr) return nullptr;
    const int64_t x = s.graphics_x;
    const int64_t y = s.graphics_y;
    if (x < 0 || x + width > s.active_width) return nullptr;
    if (y > s.active_max_y || y - height + 1 < 0) return nullptr;
    return s.active_bits + static_cast<size_t>(s.active_max_y - y) * static_cast<size_t>(s.active_stride) +
           static_cast<size_t>(x) * static_cast<size_t>(kBytesPerPixel[slot]);
}

}  // namespace

extern "C" int32_t move_to(int32_t x, int32_t y) {
    raster::state.graphics_x = x;
    raster::state.graphics_y = y;
    return RASTER_OK;
}

extern "C" uint32_t image_size(int32_t width, int32_t height) {
    const int slot = routine_slot();
    if (slot < 0) return 0;
    return kSizeRoutines[slot](static_cast<uint32_t>(width), static_cast<uint32_t>(height));
}

extern "C" int32_t image_capture(uint8_t* buffer, int32_t width, int32_t height) {
    if (raster::state.active_slot < 0) return RASTER_OK;
    const int slot = routine_slot();
    if (slot < 0 || buffer == nullptr) return RASTER_REFUSED;
    const uint8_t* row = image_origin(width, height, slot);
    if (row == nullptr) return RASTER_REFUSED;
    const CaptureRoutine capture = kCaptureRoutines[slot];
    const size_t stride = static_cast<size_t>(raster::state.active_stride);
    for (int32_t r = 0; r < height; ++r, row += stride, buffer += width) capture(row, buffer, width);
    return RASTER_OK;
}

extern "C" int32_t image_place(const uint8_t* buffer, int32_t width, int32_t height) {
    if (raster::state.active_slot < 0) return RASTER_OK;
    const int slot = routine_slot();
    if (slot < 0 || buffer == nullptr) return RASTER_REFUSED;
    uint8_t* row = image_origin(width, height, slot);
    if (row == nullptr) return RASTER_REFUSED;
    kPlaceRoutines[slot](buffer, row, width, height, static_cast<size_t>(raster::state.active_stride));
    return RASTER_OK;
}
