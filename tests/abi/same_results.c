/* One program, built twice: against the static libraries and against the
 * shared ones. It exercises the reader, the palette reduction, capture,
 * scaling, placement, copy and the writer through the library, and the
 * codec's decoder and encoder alone, and writes what they made:
 *
 *     same_results SKY.PCX OUT_PREFIX
 *
 * writes OUT_PREFIX-surface.pcx (a scaled and placed frame, by pcx_save)
 * and OUT_PREFIX-codec.pcx (the picture decoded to RGB and encoded again).
 * tests/abi/CMakeLists.txt compares the two builds' files byte for byte. */
#include <raster/raster.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int save_frame(const char* sky, const char* out) {
    static uint8_t logo[64 * 40], scaled[160 * 100];
    char path[4096];
    int32_t frame, panorama;
    set_window_dc(GetDC(NULL));
    raster_init();
    panorama = surface_create(640, 200);
    frame = surface_create(320, 200);
    surface_select(panorama);
    if (pcx_display(sky, PCX_AT_POSITION) != PCX_OK) return 1;
    move_to(100, 139);
    image_capture(logo, 64, 40);
    image_scale(logo, scaled, 64, 40, 160, 100);
    surface_copy(200, 519, 0, 199, 0, 199, panorama, frame);
    surface_select(frame);
    move_to(80, 149);
    image_place(scaled, 160, 100);
    snprintf(path, sizeof path, "%s-surface.pcx", out);
    return pcx_save(frame, 0, 319, 0, 199, path) == RASTER_OK ? 0 : 1;
}

static int recode(const char* sky, const char* out) {
    char path[4096];
    FILE* file = fopen(sky, "rb");
    static uint8_t data[1 << 20];
    size_t size, rgb_bytes, pcx_bytes;
    uint8_t *rgb, *pcx;
    pcx_facts facts;
    if (!file) return 1;
    size = fread(data, 1, sizeof data, file);
    fclose(file);
    if (pcx_inspect(data, size, &facts) != PCX_OK) return 1;
    rgb_bytes = (size_t)facts.width * 3 * (size_t)facts.height;
    rgb = malloc(rgb_bytes);
    if (!rgb || pcx_decode(data, size, PCX_FORMAT_RGB, rgb, rgb_bytes, facts.width * 3, &facts) != PCX_OK) return 1;
    pcx_bytes = pcx_encode(rgb, facts.width, facts.height, facts.width * 3, PCX_FORMAT_RGB, NULL, 0, NULL, 0);
    pcx = malloc(pcx_bytes);
    if (!pcx || pcx_encode(rgb, facts.width, facts.height, facts.width * 3, PCX_FORMAT_RGB, NULL, 0, pcx, pcx_bytes) !=
                    pcx_bytes)
        return 1;
    snprintf(path, sizeof path, "%s-codec.pcx", out);
    file = fopen(path, "wb");
    if (!file || fwrite(pcx, 1, pcx_bytes, file) != pcx_bytes || fclose(file) != 0) return 1;
    free(rgb);
    free(pcx);
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: same_results SKY.PCX OUT_PREFIX\n");
        return 2;
    }
    if (save_frame(argv[1], argv[2]) != 0) {
        fprintf(stderr, "same_results: the frame was not saved\n");
        return 1;
    }
    if (recode(argv[1], argv[2]) != 0) {
        fprintf(stderr, "same_results: the picture was not recoded\n");
        return 1;
    }
    return 0;
}
