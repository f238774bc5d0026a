// The plainest correct C loops for the library's jobs, for the benchmarks to
// measure against: what a careful programmer writes first, with nothing
// tuned, compiled with the same flags as the library. Each gives the same
// bytes as the library call it stands beside (the benchmarks check that).
#ifndef BENCH_PLAIN_LOOPS_H
#define BENCH_PLAIN_LOOPS_H

#include <cstddef>
#include <cstdint>

namespace plain {

// image_place: a width x height buffer (bottom row first) onto the pixels
// whose lower-left one is `lower_left`, rows `stride` bytes apart going up;
// index 0 leaves the pixel as it is.
void place(const uint8_t* buffer, int width, int height, uint8_t* lower_left, ptrdiff_t stride);
// The same as a select, d = s != 0 ? s : d, which writes every byte and so
// lets the compiler work on whole vectors.
void place_select(const uint8_t* buffer, int width, int height, uint8_t* lower_left, ptrdiff_t stride);

// image_scale: nearest-neighbour resizing by the library's rule (enlarging,
// element d repeats element ((d + 1) * old - 1) / new; shrinking, it keeps
// element d * old / new), one index per column worked out once per call.
// At most 8192 columns.
void scale(const uint8_t* source, uint8_t* dest, int width, int height, int new_width, int new_height);

// present of a whole 8-bit bitmap (rows bottom-up, `stride` bytes apart)
// onto a dest_width x dest_height top-down 32-bit framebuffer, by GDI's
// sampling rule. A destination row showing the same source row as the row
// above is a copy of it; one to one, each row is a straight look-up loop.
// At most 4096 columns.
void present(const uint8_t* pixels, int width, int height, ptrdiff_t stride, const uint32_t* colors, uint32_t* out,
             int dest_width, int dest_height);

// pcx_display of a whole picture into a surface of its size, bottom row
// at `bits`, rows `stride` bytes apart going up: 8-bit pictures as their
// indices into 8-bit pixels, 1-bit and 4-plane ones as `low_base` plus
// their indices, 24-bit pictures as blue, green, red into 32-bit pixels
// (the fourth byte left as it was). A run stops at the end of a line.
// False for anything else or a short file.
bool pcx_decode(const uint8_t* file, size_t size, uint8_t* bits, ptrdiff_t stride, uint8_t low_base);

// pcx_decode to RGBA (red, green, blue, 255; rows top first, 4 * width bytes
// each) of the same four layouts: 1-bit and 4-plane pictures through the
// header's colours, 8-bit ones through the trailer's. False for anything
// else or a short file.
bool pcx_decode_rgba(const uint8_t* file, size_t size, uint8_t* rgba);

// pcx_encode of width x height indices with 256 colours (one plane of 8
// bits and the trailer) or of RGB pixels (three planes): a byte at a time,
// each run stopping at its plane's end, each line padded to an even length
// with its last byte. `out` holds the worst case; returns the file's size.
size_t pcx_encode(const uint8_t* pixels, int width, int height, bool rgb, const uint8_t* palette, uint8_t* out);

}  // namespace plain

#endif  // BENCH_PLAIN_LOOPS_H
