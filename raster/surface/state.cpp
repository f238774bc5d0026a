// The library's one block of process-wide state.
#include "raster/state.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "raster/surface/internal.h"

namespace raster {

LibraryState state;

namespace {

using detail::kIndexInfoBytes;
using detail::kInfoHeaderBytes;
using detail::kRgbInfoBytes;
using detail::kV4HeaderBytes;

// The layouts below are shared with files, with the system's bitmap and
// palette calls, or with other parts of the library by offset; they must be
// the same in 32-bit and 64-bit builds, on the stand-in and on Windows.

// Blocks handed to the system.
static_assert(sizeof(BITMAPINFOHEADER) == kInfoHeaderBytes, "bitmap-info header");
static_assert(sizeof(BITMAPV4HEADER) == kV4HeaderBytes, "version-4 bitmap header");
static_assert(sizeof(RGBQUAD) == 4 && sizeof(PALETTEENTRY) == 4, "colour table entries");
static_assert(kIndexInfoBytes == 552 && kRgbInfoBytes == 1064, "8-bit bitmap-info blocks");
static_assert(offsetof(LogPalette256, palPalEntry) == 4 && sizeof(LogPalette256) == 1028, "logical palette");
static_assert(offsetof(LogPalette256, palPalEntry) == offsetof(LOGPALETTE, palPalEntry), "LOGPALETTE header");
static_assert(sizeof(WORD) == 2 && sizeof(DWORD) == 4 && sizeof(LONG) == 4, "Win32 integer widths");

// Colour tables.
static_assert(sizeof(LibraryState::rgb_color_table) == 1024, "256 RGBQUAD");
static_assert(sizeof(LibraryState::native_color_table) == 1024, "256 four-byte native entries");
static_assert(sizeof(LibraryState::color_histogram) == 256 * 2, "256 16-bit counts");
static_assert(sizeof(LibraryState::color_map) == 256, "256 new indices");

// Buffers: a PCX header, the file blocks, and the shared scratch area,
// which holds one decoded line and the 62-byte overshoot of its last run
// (lines up to 10178 bytes), or the 769-byte palette trailer, or the
// scaler's column steps and row steps.
static_assert(sizeof(LibraryState::pcx_header) == 128, "PCX header block");
static_assert(sizeof(LibraryState::work_buffer) == 4096 && kWorkBufferSize == 4096, "work buffer");
static_assert(sizeof(LibraryState::scratch_area) == 10240, "scratch area");
static_assert(kScratchSize >= 1 + 256 * 3, "the palette trailer fits the scratch area");
static_assert(kColumnStepsBytes + kRowStepsBytes == kScratchSize, "scaler steps fill the scratch area");

// Scalar widths.
static_assert(std::is_same_v<decltype(LibraryState::active_slot), int8_t>, "active_slot");
static_assert(std::is_same_v<decltype(LibraryState::nt_platform), uint8_t>, "nt_platform");
static_assert(std::is_same_v<decltype(LibraryState::creation_bpp), uint8_t>, "creation_bpp");
static_assert(std::is_same_v<decltype(LibraryState::native_fill_byte), uint8_t>, "native_fill_byte");
static_assert(sizeof(LibraryState::header_size) == 4 && sizeof(LibraryState::bitmap_info_size) == 4 &&
                  sizeof(LibraryState::color_usage) == 4 && sizeof(LibraryState::work_buffer_size) == 4 &&
                  sizeof(LibraryState::bytes_read) == 4,
              "32-bit settings");

// The slot table: eleven parallel arrays of 32 entries.
template <typename Array>
constexpr bool kSlotArray = std::extent_v<Array> == kSlotCount&& kSlotCount == 32;
static_assert(kSlotArray<decltype(LibraryState::slot_memory)> && kSlotArray<decltype(LibraryState::slot_bitmap)> &&
                  kSlotArray<decltype(LibraryState::slot_max_x)> && kSlotArray<decltype(LibraryState::slot_max_y)> &&
                  kSlotArray<decltype(LibraryState::slot_min_x)> && kSlotArray<decltype(LibraryState::slot_min_y)> &&
                  kSlotArray<decltype(LibraryState::slot_bitmap_info)> &&
                  kSlotArray<decltype(LibraryState::slot_bits)> && kSlotArray<decltype(LibraryState::slot_bpp)> &&
                  kSlotArray<decltype(LibraryState::slot_height)> && kSlotArray<decltype(LibraryState::slot_width)>,
              "slot table");
static_assert(sizeof(LibraryState::slot_width) == 32 * 4 && sizeof(LibraryState::slot_height) == 32 * 4 &&
                  sizeof(LibraryState::slot_bpp) == 32 * 4 && sizeof(LibraryState::slot_max_x) == 32 * 4,
              "32-bit slot fields");

}  // namespace

}  // namespace raster
