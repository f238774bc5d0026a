/* pcxinfo: the size and number of colours of PCX pictures, read from their
 * headers (and palettes) without decoding them.
 *
 *   pcxinfo FILE.PCX...
 *
 * Prints one line per file; a file that cannot be read gets a line on
 * standard error naming it and why, and the exit status is then 1. pcx_info
 * needs no set-up: no window, no raster_init, no surface. */
#include <raster/raster.h>

#include <stdio.h>
#include <string.h>

static const char* problem(int32_t result) {
    switch (result) {
        case PCX_OPEN_FAILED:
            return "cannot be opened";
        case PCX_BAD_HEADER:
            return "is not a PCX picture";
        default:
            return "has a layout the library cannot read";
    }
}

int main(int argc, char** argv) {
    int status = 0;
    int i;
    if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        printf("usage: pcxinfo FILE.PCX...\nPrints the size and number of colours of each picture.\n");
        return 0;
    }
    if (argc < 2) {
        fprintf(stderr, "usage: pcxinfo FILE.PCX... (pcxinfo --help for more)\n");
        return 2;
    }
    for (i = 1; i < argc; ++i) {
        int32_t width = 0, height = 0, colours = 0;
        const int32_t result = pcx_info(argv[i], 0, &width, &height, &colours);
        if (result != PCX_OK) {
            fprintf(stderr, "pcxinfo: %s %s\n", argv[i], problem(result));
            status = 1;
        } else if (colours == 16777216) {
            printf("%s: %d x %d, true colour\n", argv[i], (int)width, (int)height);
        } else {
            printf("%s: %d x %d, %d colours\n", argv[i], (int)width, (int)height, (int)colours);
        }
    }
    return status;
}
