/* Raster library: palette graphics on off-screen surfaces, PCX input,
 * image capture, placement and scaling, rectangle copies, and presentation
 * onto a window.
 *
 * A flat C interface over one process-wide block of library state. Every
 * operation takes 32-bit integers and pointers and returns a 32-bit result.
 * Pixel operations address the active surface (see surface_select), except
 * surface_copy, which names both surfaces by handle, and image_scale, which
 * works on image buffers alone.
 *
 * Coordinates: x grows to the right from column 0, y downward from row 0 at
 * the top; rectangles are inclusive bounds.
 *
 * Results: 0 is success. A call the library refuses because its arguments
 * would reach outside a surface, buffer or table returns a negative code
 * (below) and changes nothing.
 */
#ifndef RASTER_RASTER_H
#define RASTER_RASTER_H

#include <windows.h>

#include <stdint.h>

/* The PCX codec (stateless, any thread) and the result codes it shares with
 * this header: PCX_OK, PCX_BAD_HEADER, PCX_BAD_LAYOUT, RASTER_NO_MEMORY,
 * RASTER_REFUSED, and those below that pcx_result_text words; and the
 * library's version, RASTER_VERSION_MAJOR/MINOR/PATCH. */
#include "pcx_codec.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The shared libraries are built with hidden visibility: the functions
 * declared here, and only these, are what they export. */
#if defined(__GNUC__) && defined(__ELF__)
#pragma GCC visibility push(default)
#endif

/* ---- result codes ------------------------------------------------------ */

#define RASTER_OK 0
/* surface_create */
/* RASTER_NO_FREE_SLOT (-1): all 32 slots are in use (defined in pcx_codec.h) */
/* RASTER_NO_MEMORY (-2): block or bitmap section not obtained, or a size
 * below 1 or too large (defined in pcx_codec.h) */
/* surface_select */
/* RASTER_BAD_HANDLE (-1): handle outside 0..31 (defined in pcx_codec.h) */
#define RASTER_FREE_SLOT (-2) /* the slot holds no surface */
/* RASTER_REFUSED (-3): any operation refusing its arguments (nothing is
 * changed; defined in pcx_codec.h) */

/* ---- pcx_display flags and results ------------------------------------- */

#define PCX_KEEP_PALETTE 1   /* leave the palette alone */
#define PCX_AT_POSITION 2    /* upper-left corner at the graphics position, not at (Xmin, Ymin) */
#define PCX_FROM_BUFFER 4    /* read the picture from the work buffer (pcx_set_buffer), not a file */
#define PCX_KEEP_INDICES 8   /* 8-bit surfaces: keep the file's pixel values, no colour reduction */
#define PCX_REPORT_DAMAGE 16 /* return PCX_DAMAGED when the data ends before the picture's last row */

/* PCX_OK (0): stored; also when no surface is active */
/* PCX_OPEN_FAILED (1): the file could not be opened (defined in pcx_codec.h) */
/* PCX_BAD_HEADER (2): fewer than 128 header bytes, or not a PCX picture */
/* PCX_BAD_LAYOUT (3): the layout cannot be stored at the active depth, or the line sizes are unusable */
/* PCX_OUTSIDE (4): the placement starts left of or above the surface, or
 * leaves no pixel on it; PCX_DAMAGED (5): with PCX_REPORT_DAMAGE, stored,
 * but the data ended before the picture's last row (both defined in
 * pcx_codec.h) */

/* Layouts (BitsPerPixel x NPlanes) that pcx_display stores and pcx_info
 * reports, with their number of colours:
 *   1 x 1, 1 x 2, 1 x 3, 1 x 4  planar: plane p gives bit p of the index;
 *                               2, 4, 8 or 16 colours
 *   2 x 1, 4 x 1                packed, most significant bits first;
 *                               4 or 16 colours
 *   8 x 1                       one index per byte; 256 colours
 *   8 x 3                       true colour: planes red, green, blue
 *   8 x 4                       true colour with a fourth plane (alpha or
 *                               intensity), which is decoded and ignored
 * Every other combination is PCX_BAD_LAYOUT. Each plane of a line holds
 * BytesPerLine bytes; bytes beyond the width are decoded and ignored.
 *
 * Where pixels go:
 *   8-bit surfaces: pictures of up to 16 colours store index + 10 (entries
 *     10..25, clear of the system colours in 0..9); 256-colour pictures store
 *     their indices (renumbered into 10..245 without PCX_KEEP_INDICES, see
 *     palette_reduce); true colour is refused (PCX_BAD_LAYOUT).
 *   16-, 24- and 32-bit surfaces: indexed pictures through the library
 *     palette (its entries are set before the first pixel is converted); true
 *     colour as RGB 5-6-5, or blue, green, red bytes; the fourth byte of a
 *     32-bit pixel is left as it was.
 *
 * Palettes (nothing changes with PCX_KEEP_PALETTE or for true colour). The
 * trailer is the file's last 769 bytes when they follow the header and start
 * with 12; the version field does not matter.
 *   256 colours: the trailer's 256 colours; 8-bit surfaces take its entries
 *     10..245 into entries 10..245, after palette_reduce (10, 236) unless
 *     PCX_KEEP_INDICES is given; deeper surfaces take all 256 into 0..255.
 *     Without a trailer: the header's 16 colours into entries 10..25 (8-bit
 *     surfaces) or 0..15.
 *   Up to 16 colours: 16 entries, 10..25 on 8-bit surfaces (never reduced,
 *     with or without PCX_KEEP_INDICES) or 0..15 on deeper ones, from
 *       - the header's 16 colours, unless the 2, 4, 8 or 16 the picture uses
 *         are all one colour (a placeholder, not a palette); then
 *       - the trailer: its first 16 colours on 8-bit surfaces, all 256 into
 *         0..255 on deeper ones; and without a trailer
 *       - the standard 16-colour palette: black, 0000AA, 00AA00, 00AAAA,
 *         AA0000, AA00AA, AAAA00, AAAAAA, 555555, 5555FF, 55FF55, 55FFFF,
 *         FF5555, FF55FF, FFFF55, white (as red, green, blue in hexadecimal),
 *         except that 2-colour pictures take black and white as entries 0
 *         and 1.
 * Entries 0..9 and 246..255 of an 8-bit surface are never written.
 *
 * pcx_display results in detail. Whenever the result is neither PCX_OK nor
 * PCX_DAMAGED, nothing is stored, no palette entry changes and a file that
 * was opened is closed. The picture is checked in this order: header,
 * layout, placement, depth.
 *   PCX_OK: the picture was stored, cut at the surface's right and bottom
 *     edges. Data that ends early (a short file, a read that fails, a block
 *     that runs out) is not an error: the rows after that point repeat the
 *     last decoded bytes. Also returned, with nothing done, when no surface
 *     is active.
 *   PCX_DAMAGED: only with PCX_REPORT_DAMAGE, which also decodes the lines
 *     below the surface's edge (without storing them) to find out: the
 *     picture was stored and its palette loaded as for PCX_OK, but the data
 *     ended before the picture's last row. (pcx_decode tells more: the
 *     rows decoded and every kind of damage.)
 *   PCX_OPEN_FAILED: the file could not be opened (or filename is NULL).
 *   PCX_BAD_HEADER: fewer than 128 header bytes (a file, or a work buffer of
 *     fewer than 128 bytes), Manufacturer not 10, or Xmax < Xmin or
 *     Ymax < Ymin.
 *   PCX_BAD_LAYOUT: a layout not in the list above; BytesPerLine too small
 *     for the width in the picture's layout; a decoded line
 *     (NPlanes * BytesPerLine) longer than 10178 bytes; or true colour into
 *     an 8-bit surface.
 *   PCX_OUTSIDE: a negative column or row through PCX_AT_POSITION, or a
 *     placement that leaves no row or no column on the surface.
 * File reads always go through the library's own 4096-byte block; a block
 * given to pcx_set_buffer is only read, and only with PCX_FROM_BUFFER. */

/* ---- set-up and take-down ---------------------------------------------- */

/* Order: set_window_dc first (the DC is borrowed, never released), then
 * raster_init once before the first surface_create. raster_shutdown acts
 * only once no surface is left; call it after destroying each surface.
 * All of these return 0, except device_color_bits, which returns the
 * display's bits per pixel (a 15-bit display counts as 16). */

int32_t raster_init(void);
int32_t raster_shutdown(void);
int32_t set_window_dc(HDC dc);
int32_t set_text_font(int32_t stock_font);
int32_t device_color_bits(void);

/* ---- surfaces ---------------------------------------------------------- */

/* surface_create: the handle 0..31 of a new surface (not selected; width
 *   raised to a multiple of 4); RASTER_NO_FREE_SLOT (-1); RASTER_NO_MEMORY
 *   (-2) when the block or bitmap section is not obtained, when width or
 *   height is below 1, or when the pixel array would exceed 2^31 - 1 bytes.
 * surface_select: 0; RASTER_BAD_HANDLE (-1) for a handle outside 0..31;
 *   RASTER_FREE_SLOT (-2) for a free slot.
 * surface_deselect, surface_destroy: 0 (destroying the active surface, a
 *   free slot or a bad handle does nothing).
 * surface_set_depth: 0; RASTER_REFUSED for any depth but 8, 16, 24 and 32.
 *   raster_init sets the depth back to 8. */

int32_t surface_create(int32_t width, int32_t height);
int32_t surface_select(int32_t handle);
int32_t surface_deselect(void);
int32_t surface_destroy(int32_t handle);
/* Depth of the surfaces created from now on: 8, 16, 24 or 32. */
int32_t surface_set_depth(int32_t bits);

/* ---- palette ----------------------------------------------------------- */

/* palette_create returns the CreatePalette handle (the caller deletes it).
 * set_palette_entries: 0, also when no surface is active or count is 0
 *   (then nothing changes); RASTER_REFUSED when first < 0, count < 0,
 *   first + count > 256, or the triples are missing.
 * get_palette_entries: writes entries first..first + count - 1 of the
 *   library palette as red, green, blue triples (3 * count bytes); needs
 *   no surface. 0, also for count 0 (nothing written); RASTER_REFUSED,
 *   writing nothing, when first < 0, count < 0, first + count > 256, or
 *   rgb_triples is NULL with a count above 0.
 * palette_realize, surface_reset_colors: 0. */

HPALETTE palette_create(void);
int32_t palette_realize(HPALETTE palette);
int32_t set_palette_entries(int32_t first, int32_t count, const uint8_t* rgb_triples);
int32_t get_palette_entries(int32_t first, int32_t count, uint8_t* rgb_triples);
int32_t surface_reset_colors(void);

/* ---- reading pixels back ---------------------------------------------- */

/* Writes columns x1..x2, rows y1..y2 (inclusive) of the surface `handle`
 * into rgb as red, green, blue triples, rows top first, with no padding:
 * 3 * (x2 - x1 + 1) * (y2 - y1 + 1) bytes. Any surface in use can be read,
 * selected or not, at any depth: 8-bit pixels through the library palette as
 * it is now (the colours present shows), 16-bit 5-6-5 fields widened by
 * repeating their high bits (31 reads as 255), 24 and 32-bit pixels as
 * stored. Columns up to the surface's width raised to a multiple of 4 exist.
 * 0 when read; RASTER_REFUSED, writing nothing, for a handle outside 0..31
 * (handles are not taken modulo 32 here), a free slot, a NULL rgb, reversed
 * bounds, or a rectangle reaching outside the surface. */
int32_t surface_read_rgb(int32_t handle, int32_t x1, int32_t x2, int32_t y1, int32_t y2, uint8_t* rgb);

/* ---- presentation ------------------------------------------------------ */

/* Stretches the active surface's rectangle (x1..x2, y1..y2) onto the window
 * rectangle (win_x1..win_x2, win_y1..win_y2), all bounds inclusive. 0 always;
 * without an active surface nothing is drawn. */

int32_t present(int32_t x1, int32_t x2, int32_t y1, int32_t y2, int32_t win_x1, int32_t win_x2, int32_t win_y1,
                int32_t win_y2);

/* ---- PCX input --------------------------------------------------------- */

int32_t pcx_display(const char* filename, int32_t flags);
/* The picture's size and number of colours (2, 4, 8, 16, 256, or
 * PCX_TRUE_COLOUR, 16777216, for true colour, with or without a fourth
 * plane), from its header alone: nothing is decoded, and neither the
 * palette, the surfaces nor the work buffer change. Needs no active surface and no raster_init. Flags: only
 * PCX_FROM_BUFFER counts (read the header from the pcx_set_buffer block).
 * Results are those of pcx_display for the same file: PCX_OK;
 * PCX_OPEN_FAILED; PCX_BAD_HEADER; PCX_BAD_LAYOUT for a layout no depth
 * stores or unusable line sizes. What depends on the active surface is not
 * checked: true colour gives PCX_OK although 8-bit surfaces refuse it, and
 * there is no PCX_OUTSIDE. RASTER_REFUSED when any out-pointer is NULL (the
 * file is then not opened). Only PCX_OK writes the three values. */
int32_t pcx_info(const char* filename, int32_t flags, int32_t* width, int32_t* height, int32_t* colours);
/* Points the next PCX_FROM_BUFFER reads at a caller's block of size bytes;
 * pcx_set_buffer(NULL, 0) goes back to the library's own 4096-byte block.
 * The block is only read, and must stay valid while pcx_display uses it.
 * Returns 0; RASTER_REFUSED, changing nothing, for NULL with a size other
 * than 0. A block of fewer than 128 bytes makes pcx_display return
 * PCX_BAD_HEADER; one of fewer than 769 bytes has no palette trailer. */
int32_t pcx_set_buffer(const uint8_t* data, uint32_t size);
/* Fits the colours the active 8-bit surface uses (inside its clip
 * rectangle) into palette entries first..first + count - 1, renumbering the
 * pixels and rearranging rgb (256 red, green, blue triples) to match. 0, also
 * with no active surface or one that is not 8 bits deep (nothing changes);
 * RASTER_REFUSED, changing nothing, for count < 1, first < 0,
 * first + count > 256 or a NULL rgb. */
int32_t palette_reduce(int32_t first, int32_t count, uint8_t* rgb);

/* ---- PCX output -------------------------------------------------------- */

/* Writes columns x1..x2, rows y1..y2 (inclusive) of the surface `handle` as a
 * PCX file (version 5, run-length encoded, 72 dpi; see pcx_encode): 8-bit
 * surfaces as 256 colours, their indices as stored and the library palette
 * as it is now in the 769-byte trailer; 16, 24 and 32-bit surfaces as three
 * planes of true colour, 16-bit 5-6-5 fields widened as surface_read_rgb
 * widens them. Any surface in use can be saved, selected or not; needs no
 * raster_init. The file is written with the C library under a temporary name
 * in the same folder (filename, a dot, the process id, ".tmp"), then renamed
 * over `filename`: a save that fails leaves the file that was there as it
 * was, and neither a partial file nor the temporary one.
 * RASTER_OK; RASTER_REFUSED, writing nothing, for a handle outside 0..31 (not
 * taken modulo 32), a free slot, reversed bounds, a rectangle reaching outside
 * the surface or wider than the format holds (65,534 pixels; BytesPerLine is
 * 16 bits and even), or a NULL filename; RASTER_NO_MEMORY when the pixels or
 * the file's bytes cannot be held; PCX_OPEN_FAILED when the file cannot be
 * created, written or renamed into place. */
int32_t pcx_save(int32_t handle, int32_t x1, int32_t x2, int32_t y1, int32_t y2, const char* filename);

/* ---- graphics position and image buffers ------------------------------- */

/* An image buffer holds width x height palette indices, bottom row first;
 * the graphics position is its lower-left pixel. image_size reports the
 * bytes to reserve at the depth selected last, modulo 2^32.
 * image_capture, image_place: 0, also with no active surface (nothing is
 * done); RASTER_REFUSED, touching neither buffer nor surface, for a size
 * below 1, a NULL buffer or a rectangle not wholly on the active surface.
 * image_scale: 0; RASTER_REFUSED, writing nothing, for a size below 1, a
 * width above 8224 or a height above 73696 on either side, a NULL buffer,
 * or buffers that overlap. */
int32_t move_to(int32_t x, int32_t y);
uint32_t image_size(int32_t width, int32_t height);
int32_t image_capture(uint8_t* buffer, int32_t width, int32_t height);
int32_t image_place(const uint8_t* buffer, int32_t width, int32_t height);
int32_t image_scale(const uint8_t* source_buffer, uint8_t* dest_buffer, int32_t width, int32_t height,
                    int32_t new_width, int32_t new_height);

/* ---- surface-to-surface copy ------------------------------------------- */

/* Copies source columns x1..x2, rows y1..y2 so that column x1 lands on
 * dest_x and row y2 on dest_y (the destination's bottom row). Handles are
 * taken modulo 32. 0 when copied, and when either slot is free (nothing is
 * copied); RASTER_REFUSED, copying nothing, when the bounds are reversed,
 * either rectangle reaches outside its surface, or the depths differ.
 * Overlapping rectangles within one surface copy as if through a buffer. */

int32_t surface_copy(int32_t x1, int32_t x2, int32_t y1, int32_t y2, int32_t dest_x, int32_t dest_y, int32_t source,
                     int32_t destination);

#if defined(__GNUC__) && defined(__ELF__)
#pragma GCC visibility pop
#endif

#ifdef __cplusplus
}
#endif

#endif /* RASTER_RASTER_H */
