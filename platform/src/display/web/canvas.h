// How pictures reach the page's canvas: through WebGL2 where the browser
// offers it, else through the canvas's 2D context, chosen once when the page
// attaches and said to the page (Module.standin.onMode). A lost WebGL2
// context turns the page to the 2D context for good.
#ifndef STANDIN_DISPLAY_WEB_CANVAS_H
#define STANDIN_DISPLAY_WEB_CANVAS_H

#include <cstdint>

namespace standin {

// Where an 8-bit bitmap's stretch onto the whole canvas takes its pixels:
// the source rectangle's left column and size, the stored row (counted from
// the start of the bits) of its top row and the step from one stored row to
// the next one down the picture (-1 for a bottom-up bitmap, +1 top-down).
struct GpuStretch {
    int32_t x_src = 0;
    int32_t top_row = 0;
    int32_t row_step = -1;
    int32_t src_width = 0;
    int32_t src_height = 0;
    int32_t dest_width = 0;
    int32_t dest_height = 0;
};

}  // namespace standin

extern "C" {
// Makes the canvas's context (Module.standin.canvas, .gl or .context).
void web_canvas_attach();
// 1 while pictures go through WebGL2, 0 once they go through the 2D context.
int web_gl_active();
// The largest texture side WebGL2 takes (0 without WebGL2).
int web_gl_max_texture();
// Draws the bitmap's indices (bitmap_width x bitmap_height bytes, `stride`
// apart) through `colours` (256 entries of R, G, B, A bytes) stretched onto
// the whole canvas, as `geometry` says.
void web_gl_stretch(const uint8_t* bits, int bitmap_width, int bitmap_height, int stride, const uint8_t* colours,
                    const standin::GpuStretch* geometry);
// Puts a framebuffer (words 0x00RRGGBB, rows top first) on the canvas one to
// one, through WebGL2.
void web_gl_copy(const uint32_t* pixels, int width, int height);
// The same through the 2D context, from R, G, B, A bytes.
void web_2d_copy(const uint8_t* rgba, int width, int height);
}

#endif  // STANDIN_DISPLAY_WEB_CANVAS_H
