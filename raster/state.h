// The raster library's one block of process-wide state.
//
// There is no library object and no context argument: every operation reads
// and writes this block. Member initialisers are the values the state holds
// before any operation runs; raster_init resets part of it.
#ifndef RASTER_STATE_H
#define RASTER_STATE_H

#include <windows.h>

#include <cstdint>

namespace raster {

constexpr int kSlotCount = 32;
constexpr uint32_t kWorkBufferSize = 4096;
constexpr uint32_t kScratchSize = 10240;
// image_scale keeps column_steps in the first 1028 bytes of scratch_area and
// row_steps in the rest.
constexpr uint32_t kColumnStepsBytes = 1028;
constexpr uint32_t kRowStepsOffset = kColumnStepsBytes;
constexpr uint32_t kRowStepsBytes = kScratchSize - kColumnStepsBytes;

#pragma pack(push, 1)
// A LOGPALETTE with room for all 256 entries (1028 bytes).
struct LogPalette256 {
    WORD palVersion;
    WORD palNumEntries;
    PALETTEENTRY palPalEntry[256];
};
#pragma pack(pop)
static_assert(sizeof(LogPalette256) == 1028, "logical palette is 4 + 256 * 4 bytes");

struct LibraryState {
    // Window and device contexts.
    HDC window_dc = nullptr;
    HDC text_dc = nullptr;
    HDC memory_dc = nullptr;
    HBITMAP saved_bitmap = nullptr;
    HPALETTE realized_palette = nullptr;
    HPALETTE saved_palette = nullptr;
    uint8_t nt_platform = 0;

    // The active surface: a copy of one slot, valid while active_slot >= 0.
    int8_t active_slot = -1;
    int32_t active_bpp = 0;
    int32_t active_width = 0;
    int32_t active_height = 0;
    int32_t active_max_y = 0;
    int32_t active_stride = 0;
    int32_t active_size = 0;
    uint8_t* active_bits = nullptr;
    uint8_t* active_bitmap_info = nullptr;
    int32_t clip_min_x = 0;
    int32_t clip_max_x = 0;
    int32_t clip_min_y = 0;
    int32_t clip_max_y = 0;
    int32_t pixel_format_index = 0;  // 0, 4, 8, 12 for 8, 16, 24, 32 bits

    // How the next surface's bitmap-info block is built.
    uint8_t creation_bpp = 8;
    uint32_t header_size = 0;
    uint32_t bitmap_info_size = 0;
    uint32_t color_usage = 0;

    // Graphics position.
    int32_t graphics_x = 0;
    int32_t graphics_y = 0;

    // Colour tables.
    LogPalette256 logical_palette = {0x300, 256, {}};
    RGBQUAD rgb_color_table[256] = {};
    // Palette index to pixel value for 16-bit (first 512 bytes, 16-bit
    // entries) and 24/32-bit surfaces (4 bytes: fill, R, G, B).
    alignas(16) uint8_t native_color_table[1024] = {};
    uint8_t native_fill_byte = 0;

    // Buffers.
    alignas(16) uint8_t work_buffer[kWorkBufferSize] = {};
    // Where PCX_FROM_BUFFER reads come from, and how many bytes are there.
    const uint8_t* work_buffer_pointer = work_buffer;
    uint32_t work_buffer_size = kWorkBufferSize;
    // Shared scratch: image_scale's steps, and while pcx_display runs the
    // scan line it decodes into (its scanline_buffer). Part of the library
    // state by design, like every buffer here: the library allocates
    // nothing per call, and runs on one thread.
    alignas(16) uint8_t scratch_area[kScratchSize] = {};

    // PCX reader and palette reduction. pcx_file (the file pcx_display has
    // open) and bytes_read (what its last ReadFile gave) are library state
    // by design, not stray globals: the reader's refill works through them,
    // and pcx_display closes the file before it returns.
    uint8_t pcx_header[128] = {};
    HANDLE pcx_file = nullptr;
    DWORD bytes_read = 0;
    uint16_t color_histogram[256] = {};
    uint8_t color_map[256] = {};

    // Text font.
    HFONT font_handle = nullptr;
    int32_t line_height = 0;
    int32_t external_leading = 0;
    int32_t char_width = 0;

    // Surface slot table, eleven parallel arrays. A null slot_bits marks a
    // free slot; the other fields of a free slot are stale.
    HGLOBAL slot_memory[kSlotCount] = {};
    HBITMAP slot_bitmap[kSlotCount] = {};
    int32_t slot_max_x[kSlotCount] = {};
    int32_t slot_max_y[kSlotCount] = {};
    int32_t slot_min_x[kSlotCount] = {};
    int32_t slot_min_y[kSlotCount] = {};
    uint8_t* slot_bitmap_info[kSlotCount] = {};
    uint8_t* slot_bits[kSlotCount] = {};
    int32_t slot_bpp[kSlotCount] = {};
    int32_t slot_height[kSlotCount] = {};
    int32_t slot_width[kSlotCount] = {};

    // Byte size of each slot's bitmap-info block, and of the active one, so
    // that colour-table writes stay inside the block even when the display
    // depth changes after the surface was created.
    uint32_t slot_info_size[kSlotCount] = {};
    uint32_t active_info_size = 0;
};

// The built-in 256-colour palette, red, green, blue per entry (768 bytes).
// Defined in surface/palette.cpp.
extern const uint8_t (&default_palette)[768];

// The library state. Defined in surface/state.cpp.
extern LibraryState state;

}  // namespace raster

#endif  // RASTER_STATE_H
