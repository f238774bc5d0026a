// A C++ program built against the installed library, outside the source
// tree. It decodes a 256-colour PCX picture twice, into an 8-bit surface
// keeping the file's pixel values and into a 32-bit surface, and checks the
// colours read back against the palette stored at the end of the file.
//   consumer PICTURE.PCX
#include <raster/raster.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::printf("consumer: %s\n", what);
        ++failures;
    }
}

std::vector<uint8_t> ReadAll(const char* file, int32_t handle, int32_t width, int32_t height) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    Check(surface_read_rgb(handle, 0, width - 1, 0, height - 1, rgb.data()) == RASTER_OK, file);
    return rgb;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const char* file = argv[1];
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Check(bytes.size() > 128 + 769 && bytes[bytes.size() - 769] == 12, "the file ends with a palette");
    if (failures != 0) return 1;
    const uint8_t* file_palette = &bytes[bytes.size() - 768];

    int32_t width = 0, height = 0, colours = 0;
    Check(pcx_info(file, 0, &width, &height, &colours) == PCX_OK && colours == 256, "pcx_info");
    if (failures != 0) return 1;

    HDC screen = GetDC(nullptr);
    set_window_dc(screen);
    HPALETTE palette = palette_create();
    palette_realize(palette);
    raster_init();

    // 8 bits, the file's own pixel values: the indices, and the colours
    // through the library palette.
    surface_set_depth(8);
    const int32_t indexed = surface_create(width, height);
    surface_select(indexed);
    surface_reset_colors();
    Check(pcx_display(file, PCX_KEEP_INDICES | PCX_AT_POSITION) == PCX_OK, "8-bit decode");
    std::vector<uint8_t> indices(static_cast<size_t>(width) * height);
    move_to(0, height - 1);  // image buffers are anchored at their lower-left pixel
    Check(image_capture(indices.data(), width, height) == RASTER_OK, "image_capture");
    const std::vector<uint8_t> through_palette = ReadAll(file, indexed, width, height);
    std::vector<uint8_t> library_palette(256 * 3);
    Check(get_palette_entries(0, 256, library_palette.data()) == RASTER_OK, "get_palette_entries");
    surface_deselect();

    surface_set_depth(32);
    const int32_t true_colour = surface_create(width, height);
    surface_select(true_colour);
    move_to(0, 0);  // PCX_AT_POSITION: the picture's upper-left pixel goes there
    Check(pcx_display(file, PCX_AT_POSITION) == PCX_OK, "32-bit decode");
    const std::vector<uint8_t> direct = ReadAll(file, true_colour, width, height);
    surface_deselect();

    // Pictures use palette entries 10..245 on 8-bit surfaces.
    Check(std::equal(&library_palette[30], &library_palette[246 * 3], file_palette + 30), "palette entries 10..245");
    Check(through_palette == direct, "the 8-bit and 32-bit decodes differ");
    int checked = 0, coloured = 0;
    for (int32_t y = 0; y < height; y += 7) {
        for (int32_t x = 0; x < width; x += 13) {
            const size_t at = static_cast<size_t>(y) * width + x;
            const uint8_t index = indices[(static_cast<size_t>(height) - 1 - y) * width + x];
            const uint8_t* expected = file_palette + index * 3;
            Check(std::equal(expected, expected + 3, &direct[at * 3]), "a pixel differs from the file's colour");
            coloured += expected[0] != expected[1] || expected[1] != expected[2];
            ++checked;
        }
    }
    Check(coloured > checked / 2, "the picture is mostly grey");

    surface_destroy(indexed);
    surface_destroy(true_colour);
    raster_shutdown();
    DeleteObject(palette);
    ReleaseDC(nullptr, screen);
    std::printf("consumer: %d x %d, %d pixels checked against the file's palette%s\n", width, height, checked,
                failures == 0 ? "" : ", FAILED");
    return failures == 0 ? 0 : 1;
}
