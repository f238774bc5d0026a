/* The library from C: this file is compiled as C99 with warnings as
 * errors, so raster.h and the windows.h it includes must be valid C, and the
 * program links, so their functions must have C linkage. It decodes a tiny
 * PCX picture from memory into an 8-bit and a 24-bit surface and reads both
 * back as triples. */
#include <raster/raster.h>

#include <stdio.h>
#include <string.h>

/* 3 x 2 pixels, 8 bits, one plane, indices 1 2 3 over 4 5 6; palette entry
 * i is (10 i, 20 i, 255 - i). */
enum { kWidth = 3, kHeight = 2, kLine = 4, kSize = 128 + kHeight * kLine + 769 };

static void make_picture(uint8_t* pcx) {
    int i;
    memset(pcx, 0, kSize);
    pcx[0] = 10; /* manufacturer */
    pcx[1] = 5;  /* version */
    pcx[2] = 1;  /* run-length encoded */
    pcx[3] = 8;  /* bits per pixel */
    pcx[8] = kWidth - 1;
    pcx[10] = kHeight - 1;
    pcx[65] = 1; /* planes */
    pcx[66] = kLine;
    pcx[68] = 1;
    for (i = 0; i < kWidth; ++i) {
        pcx[128 + i] = (uint8_t)(1 + i);
        pcx[128 + kLine + i] = (uint8_t)(4 + i);
    }
    pcx[128 + kHeight * kLine] = 12; /* the palette follows */
    for (i = 0; i < 256; ++i) {
        uint8_t* entry = pcx + 128 + kHeight * kLine + 1 + i * 3;
        entry[0] = (uint8_t)(10 * i);
        entry[1] = (uint8_t)(20 * i);
        entry[2] = (uint8_t)(255 - i);
    }
}

static int failures = 0;

static void check(int condition, const char* what, int line) {
    if (!condition) {
        printf("c_program.c:%d: %s\n", line, what);
        ++failures;
    }
}
#define CHECK(condition) check((condition) != 0, #condition, __LINE__)

static void decode_at(int32_t bits, const uint8_t* pcx) {
    static const uint8_t expected[kWidth * kHeight * 3] = {10, 20, 254, 20, 40,  253, 30, 60,  252,
                                                           40, 80, 251, 50, 100, 250, 60, 120, 249};
    uint8_t rgb[kWidth * kHeight * 3 + 1];
    int32_t surface;

    printf("%d bits\n", (int)bits);
    CHECK(surface_set_depth(bits) == RASTER_OK);
    surface = surface_create(kWidth, kHeight);
    CHECK(surface >= 0);
    CHECK(surface_select(surface) == RASTER_OK);
    surface_reset_colors();
    CHECK(pcx_set_buffer(pcx, kSize) == RASTER_OK);
    CHECK(pcx_display(NULL, PCX_FROM_BUFFER) == PCX_OK);
    rgb[sizeof rgb - 1] = 0xA5;
    CHECK(surface_read_rgb(surface, 0, kWidth - 1, 0, kHeight - 1, rgb) == RASTER_OK);
    CHECK(memcmp(rgb, expected, sizeof expected) == 0);
    CHECK(rgb[sizeof rgb - 1] == 0xA5);
    surface_deselect();
    surface_destroy(surface);
}

int main(void) {
    static uint8_t pcx[kSize];
    uint8_t white[3] = {0, 0, 0};
    HDC screen = GetDC(NULL);
    HPALETTE palette;

    make_picture(pcx);
    set_window_dc(screen);
    palette = palette_create();
    palette_realize(palette);
    raster_init();
    CHECK(get_palette_entries(255, 1, white) == RASTER_OK);
    CHECK(white[0] == 255 && white[1] == 255 && white[2] == 255);
    CHECK(get_palette_entries(255, 2, white) == RASTER_REFUSED);

    decode_at(8, pcx);
    decode_at(24, pcx);

    raster_shutdown();
    DeleteObject(palette);
    ReleaseDC(NULL, screen);
    printf("%s\n", failures == 0 ? "passed" : "FAILED");
    return failures == 0 ? 0 : 1;
}
