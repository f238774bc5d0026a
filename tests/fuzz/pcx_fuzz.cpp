// libFuzzer target for pcx_display.
//
// Input: three control bytes, then the bytes of a PCX file.
//   byte 0, bits 0-1: depth of the active surface (8, 16, 24, 32 bits)
//           bit 2:    read through a temporary file instead of from memory
//           bit 3:    PCX_KEEP_PALETTE
//           bit 4:    PCX_AT_POSITION
//           bit 5:    PCX_KEEP_INDICES
//           bits 6-7: surface size (four odd-sized choices)
//   bytes 1, 2: graphics position x, y (signed)
// Besides the sanitizers' own checks, the target stops on a reader that
// writes past scanline_buffer into the header copy that follows it, on
// pcx_info judging a file differently from pcx_display, and on an 8-bit
// picture, stored with its indices into an 8-bit surface, whose pixels
// differ from a plain byte-at-a-time decoder's (or that changes a pixel
// outside its rectangle).
#include <raster/raster.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pcx_line_model.h"
#include "raster/state.h"

namespace {

constexpr int kDepths[4] = {8, 16, 24, 32};
constexpr int kSizes[4][2] = {{37, 21}, {5, 3}, {64, 1}, {1, 70}};

struct Library {
    int32_t surfaces[4][4];  // [depth][size]
    std::string folder;
    std::string path;

    Library() {
        HDC screen = GetDC(nullptr);
        set_window_dc(screen);
        palette_realize(palette_create());
        raster_init();
        for (int d = 0; d < 4; ++d) {
            surface_set_depth(kDepths[d]);
            for (int s = 0; s < 4; ++s) {
                surfaces[d][s] = surface_create(kSizes[s][0], kSizes[s][1]);
                if (surfaces[d][s] < 0) std::abort();
            }
        }
        // A folder of the fuzzer's own, so that runs side by side never
        // share the file.
        const char* tmp = std::getenv("TMPDIR");
        folder = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/pcx_fuzz.XXXXXX";
        if (mkdtemp(&folder[0]) == nullptr) std::abort();
        path = folder + "/picture.pcx";
    }
    ~Library() {
        std::remove(path.c_str());
        rmdir(folder.c_str());
    }
};

Library& library() {
    static Library lib;
    return lib;
}

uint32_t field16(const uint8_t* p, int offset) { return p[offset] | (static_cast<uint32_t>(p[offset + 1]) << 8); }

// The active surface's pixels, as laid out in memory.
std::vector<uint8_t> surface_bytes() {
    const uint8_t* bits = raster::state.active_bits;
    return std::vector<uint8_t>(bits, bits + static_cast<size_t>(raster::state.active_max_y + 1) *
                                                 static_cast<size_t>(raster::state.active_stride));
}

// What an 8-bit, one-plane picture stored with PCX_OK and its indices kept
// leaves in an 8-bit surface: the plain decoder's lines inside the
// rectangle the reader placed, the surface's old bytes around it.
std::vector<uint8_t> expected_surface(const uint8_t* picture, size_t picture_size, std::vector<uint8_t> before,
                                      const std::vector<uint8_t>& scratch_before, int64_t x0, int64_t y0) {
    const int64_t width = static_cast<int64_t>(field16(picture, 8)) - field16(picture, 4) + 1;
    const int64_t height = static_cast<int64_t>(field16(picture, 10)) - field16(picture, 6) + 1;
    const size_t line_bytes = field16(picture, 66);
    const int64_t rows = std::min<int64_t>(height, raster::state.active_max_y + 1 - y0);
    const int64_t columns = std::min<int64_t>(width, raster::state.active_width - x0);
    const std::vector<uint8_t> stream(picture + 128, picture + picture_size);
    const pcxmodel::Decoded model =
        pcxmodel::model_lines(stream, line_bytes, static_cast<size_t>(rows), scratch_before);
    for (int64_t r = 0; r < rows; ++r) {
        uint8_t* row = before.data() + static_cast<size_t>(raster::state.active_max_y - (y0 + r)) *
                                           static_cast<size_t>(raster::state.active_stride);
        std::copy_n(model.lines[static_cast<size_t>(r)].begin(), columns, row + x0);
    }
    return before;
}

bool write_temp(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    Library& lib = library();
    const uint8_t control = data[0];
    const int depth = control & 3;
    const bool file_mode = (control & 4) != 0;
    int32_t flags = 0;
    if (control & 8) flags |= PCX_KEEP_PALETTE;
    if (control & 16) flags |= PCX_AT_POSITION;
    if (control & 32) flags |= PCX_KEEP_INDICES;
    surface_select(lib.surfaces[depth][control >> 6]);
    move_to(static_cast<int8_t>(data[1]), static_cast<int8_t>(data[2]));

    const uint8_t* picture = data + 3;
    const size_t picture_size = size - 3;
    // An 8-bit, one-plane picture into an 8-bit surface with its indices
    // kept is checked against the plain decoder.
    const bool modelled =
        depth == 0 && (flags & PCX_KEEP_INDICES) != 0 && picture_size >= 128 && picture[3] == 8 && picture[65] == 1;
    const std::vector<uint8_t> before = modelled ? surface_bytes() : std::vector<uint8_t>();
    const std::vector<uint8_t> scratch_before =
        modelled ? std::vector<uint8_t>(raster::state.scratch_area, raster::state.scratch_area + raster::kScratchSize)
                 : std::vector<uint8_t>();
    const bool at_position = (flags & PCX_AT_POSITION) != 0;
    const int64_t x0 = !modelled ? 0 : at_position ? raster::state.graphics_x : field16(picture, 4);
    const int64_t y0 = !modelled ? 0 : at_position ? raster::state.graphics_y : field16(picture, 6);
    int32_t result;
    int32_t info = 0;
    int32_t extent[3] = {0, 0, 0};
    if (file_mode) {
        if (!write_temp(lib.path, picture, picture_size)) return 0;
        result = pcx_display(lib.path.c_str(), flags);
        info = pcx_info(lib.path.c_str(), 0, &extent[0], &extent[1], &extent[2]);
    } else {
        // A copy of exactly the picture's size, so reading one byte past it
        // is caught.
        uint8_t* block = static_cast<uint8_t*>(std::malloc(picture_size == 0 ? 1 : picture_size));
        if (picture_size != 0) std::memcpy(block, picture, picture_size);
        pcx_set_buffer(block, static_cast<uint32_t>(picture_size));
        result = pcx_display(nullptr, flags | PCX_FROM_BUFFER);
        info = pcx_info(nullptr, PCX_FROM_BUFFER, &extent[0], &extent[1], &extent[2]);
        pcx_set_buffer(nullptr, 0);
        std::free(block);
    }
    if (result < 0 || result > PCX_OUTSIDE) std::abort();
    // pcx_info judges the file as pcx_display does, before the surface has
    // a say.
    if ((info == PCX_BAD_HEADER) != (result == PCX_BAD_HEADER)) std::abort();
    if (info == PCX_BAD_LAYOUT && result != PCX_BAD_LAYOUT) std::abort();
    if (info == PCX_OK && (extent[0] < 1 || extent[1] < 1 || extent[2] < 2)) std::abort();
    if (picture_size >= 128 && result != PCX_OPEN_FAILED && std::memcmp(raster::state.pcx_header, picture, 128) != 0) {
        std::abort();
    }
    if (modelled && result == PCX_OK &&
        surface_bytes() != expected_surface(picture, picture_size, before, scratch_before, x0, y0)) {
        std::abort();
    }
    return 0;
}
