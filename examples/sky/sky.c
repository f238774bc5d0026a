#include <raster/raster.h>
#include <stdio.h>

int main(int argc, char** argv) {
    int32_t width, height, colours, surface;
    uint8_t rgb[3];
    if (argc != 2 || pcx_info(argv[1], 0, &width, &height, &colours) != PCX_OK) return 1;
    set_window_dc(GetDC(NULL)); /* no window needed: the screen's device context */
    raster_init();
    surface_set_depth(32); /* true colour: every picture keeps its own colours */
    surface = surface_create(width, height);
    surface_select(surface);
    pcx_display(argv[1], PCX_AT_POSITION);
    surface_read_rgb(surface, 0, 0, 0, 0, rgb);
    printf("%d x %d, %d colours, top left %d %d %d\n", width, height, colours, rgb[0], rgb[1], rgb[2]);
    return 0;
}
