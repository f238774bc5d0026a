// pcx2png: any PCX picture to a PNG file, decoded by the library.
//
//   pcx2png INPUT.PCX OUTPUT.PNG
//
// The picture goes into a 32-bit surface, where every layout keeps its own
// colours (an 8-bit surface would fit them into the shared palette), and
// comes back out as red, green, blue triples for libpng. No window is
// needed: the screen's device context stands in for one.
#include <raster/raster.h>

#include <png.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const char* Problem(int32_t result) {
    switch (result) {
        case PCX_OPEN_FAILED:
            return "cannot be opened";
        case PCX_BAD_HEADER:
            return "is not a PCX picture";
        default:
            return "has a layout the library cannot read";
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("usage: pcx2png INPUT.PCX OUTPUT.PNG\nWrites the picture as an 8-bit RGB PNG file.\n");
        return 0;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: pcx2png INPUT.PCX OUTPUT.PNG (pcx2png --help for more)\n");
        return 2;
    }
    const char* input = argv[1];
    const char* output = argv[2];

    int32_t width = 0, height = 0, colours = 0;
    const int32_t info = pcx_info(input, 0, &width, &height, &colours);
    if (info != PCX_OK) {
        std::fprintf(stderr, "pcx2png: %s %s\n", input, Problem(info));
        return 1;
    }

    // Set-up: a device context first, then raster_init, then surfaces.
    HDC screen = GetDC(nullptr);
    set_window_dc(screen);
    raster_init();
    surface_set_depth(32);
    const int32_t surface = surface_create(width, height);
    if (surface < 0) {
        std::fprintf(stderr, "pcx2png: %s: no memory for a %d x %d picture\n", input, width, height);
        return 1;
    }
    surface_select(surface);
    // At the graphics position (0, 0 after raster_init), whatever the
    // picture's own Xmin and Ymin.
    const int32_t shown = pcx_display(input, PCX_AT_POSITION);
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    if (shown == PCX_OK) surface_read_rgb(surface, 0, width - 1, 0, height - 1, rgb.data());

    surface_deselect();
    surface_destroy(surface);
    raster_shutdown();
    ReleaseDC(nullptr, screen);
    if (shown != PCX_OK) {
        std::fprintf(stderr, "pcx2png: %s %s\n", input, Problem(shown));
        return 1;
    }

    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    if (png_image_write_to_file(&image, output, 0, rgb.data(), 0, nullptr) == 0) {
        std::fprintf(stderr, "pcx2png: cannot write %s: %s\n", output, image.message);
        return 1;
    }
    std::printf("%s: %d x %d -> %s\n", input, width, height, output);
    return 0;
}
