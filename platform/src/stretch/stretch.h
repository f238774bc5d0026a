// The stand-in's stretch, for a display that puts a whole-window frame of an
// 8-bit bitmap on its screen without going through the window's
// framebuffer (the web display's 2D canvas takes R, G, B, A bytes).
#ifndef STANDIN_STRETCH_STRETCH_H
#define STANDIN_STRETCH_STRETCH_H

#include <cstdint>

#include "gdi_objects.h"

namespace standin {

// Draws the source rectangle of an 8-bit bitmap (x_src, y_src, src_width x
// src_height, y_src counted from the bottom row as StretchDIBits counts it)
// stretched onto dest_width x dest_height words at `out`, rows top first
// and dest_width words apart, each pixel its index's word in `colours`: the
// pixels StretchDIBits draws onto a client area of that size, in words of
// the caller's choice. The caller has checked the rectangle against `dib`
// and every size against 0.
void stretch_indexed(const DibLayout& dib, const BYTE* pixels, int x_src, int y_src, int src_width, int src_height,
                     int dest_width, int dest_height, const uint32_t (&colours)[256], uint32_t* out);

}  // namespace standin

#endif  // STANDIN_STRETCH_STRETCH_H
