/* PCX codec: pictures in memory to pixels and back, on any thread.
 *
 * Stateless: no set-up call, no window, device context, surface or library
 * palette, nothing global written. Every function works only on its
 * arguments, so any number of threads may call them at once on different
 * pictures. Needs only <stdint.h> and <stddef.h>; link raster::pcx_codec
 * (CMake) or raster-pcx (pkg-config).
 *
 * Reading a picture:
 *
 *     pcx_facts facts;
 *     if (pcx_inspect(data, size, &facts) != PCX_OK) ... refused: pcx_result_text
 *     size_t row = (size_t)facts.width * 4;          sizes in size_t: a header
 *     size_t bytes = row * (size_t)facts.height;     may claim 65536 x 65536
 *     uint8_t* rgba = malloc(bytes);
 *     pcx_decode(data, size, PCX_FORMAT_RGBA, rgba, bytes, (ptrdiff_t)row, &facts);
 *     if (facts.damage) ... pixels were lost: pcx_damage_text for each bit
 *
 * Rows come out top row first, `stride` bytes apart. A damaged picture is
 * still PCX_OK: the rows the data held are returned, the partly decoded row
 * keeps the pixels whose every byte came from the data, the rest of it and
 * every later row are zero bytes, and `damage` says what was lost.
 *
 * Where the data ends: a picture that takes its colours from the 769-byte
 * trailer (every 256-colour picture that has one) ends its data where the
 * trailer starts, so a picture cut short never decodes its colours as
 * pixels; any other picture's data runs to the end of the block.
 *
 * A 256-colour picture whose trailer is lost (PCX_DAMAGE_NO_TRAILER) keeps
 * its indices, and its colours are a grey ramp, index i as red, green and
 * blue i, so that its RGB and RGBA pixels still show the picture;
 * facts.palette holds that ramp (colour_source stays PCX_COLOURS_HEADER,
 * although the header's 16 colours are not used).
 */
#ifndef RASTER_PCX_CODEC_H
#define RASTER_PCX_CODEC_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The shared libraries are built with hidden visibility: the functions
 * declared here, and only these, are what they export. */
#if defined(__GNUC__) && defined(__ELF__)
#pragma GCC visibility push(default)
#endif

/* The library's version; the same numbers as its CMake package and raster.pc. */
#define RASTER_VERSION_MAJOR 1
#define RASTER_VERSION_MINOR 3
#define RASTER_VERSION_PATCH 0

/* ---- results (shared with raster.h) ------------------------------------ */

#define PCX_OK 0              /* done */
#define PCX_BAD_HEADER 2      /* fewer than 128 header bytes, not a PCX picture, or no extent */
#define PCX_BAD_LAYOUT 3      /* bits and planes no reader stores, or unusable line sizes */
#define PCX_NOT_DCX 6         /* no DCX mark: not a multi-page file (pcx_dcx_list) */
#define RASTER_NO_MEMORY (-2) /* memory not obtained */
#define RASTER_REFUSED (-3)   /* arguments refused; nothing was written */

/* ---- pixel formats ----------------------------------------------------- */

#define PCX_FORMAT_INDICES 1 /* one byte a pixel: the picture's own indices (indexed pictures only) */
#define PCX_FORMAT_RGB 3     /* red, green, blue */
#define PCX_FORMAT_RGBA 4    /* red, green, blue, alpha (255, or the fourth plane's byte) */

/* ---- the file's fixed sizes --------------------------------------------- */

#define PCX_HEADER_BYTES 128  /* the header every picture starts with */
#define PCX_TRAILER_BYTES 769 /* a 256-colour picture's trailer: its marker 12 and 256 colours */

/* facts.colours (and pcx_info's colours) of a true-colour picture */
#define PCX_TRUE_COLOUR 16777216

/* ---- where an indexed picture's colours come from ---------------------- */

#define PCX_COLOURS_HEADER 1      /* the header's 16 colours (256-colour pictures without a trailer: see below) */
#define PCX_COLOURS_TRAILER 2     /* the 769-byte trailer's 256 colours */
#define PCX_COLOURS_STANDARD 3    /* the standard 16-colour palette (the header holds a placeholder) */
#define PCX_COLOURS_BLACK_WHITE 4 /* black and white (a 2-colour picture with a placeholder header) */

/* ---- damage: pixels or colours were lost ------------------------------- */

#define PCX_DAMAGE_SHORT_DATA 1   /* the data ends before the last row */
#define PCX_DAMAGE_RUN_PAST_END 2 /* a run reaches past the last line */
#define PCX_DAMAGE_NO_TRAILER 4   /* a 256-colour picture without its 769-byte trailer: colours unknown */
/* PCX_DAMAGE_MISREAD_RUNS: the data does not end where the picture does.
 * After the last row, bytes remain that are no trailer (whole or cut
 * short), not zero padding, and at least one encoded line long (the rows'
 * mean, at most a decoded line, at least 16 bytes): runs were misread
 * (flipped or lost bytes), so the pixels are not the picture's. Fewer
 * bytes, padding or a trailer where none was looked for are a note,
 * PCX_NOTE_EXTRA_BYTES. */
#define PCX_DAMAGE_MISREAD_RUNS 8

/* ---- notes: unusual, nothing lost -------------------------------------- */

/* PCX_NOTE_ODD_LINE_BYTES: BytesPerLine odd (netpbm and ImageMagick write
 * this), or more than the width needs (more than its bytes rounded up to an
 * even count) */
#define PCX_NOTE_ODD_LINE_BYTES 1
#define PCX_NOTE_UNKNOWN_VERSION 2  /* a version other than 0, 2, 3, 4, 5 */
#define PCX_NOTE_UNKNOWN_ENCODING 4 /* an encoding other than 1; decoded as run-length all the same */
#define PCX_NOTE_EXTRA_BYTES 8      /* bytes after the picture that are no trailer */

typedef struct pcx_facts {
    int32_t width, height, x_min, y_min;
    int32_t bits_per_pixel, planes, bytes_per_line, version, encoding;
    int32_t h_dpi, v_dpi;
    int32_t colours;       /* as pcx_info gives it: 2 .. 256, or PCX_TRUE_COLOUR */
    int32_t colour_source; /* PCX_COLOURS_*; 0 for true colour */
    uint8_t palette[768];  /* the picture's colours, red, green, blue; entries it does not define are 0 */
    int32_t damage, notes; /* PCX_DAMAGE_* and PCX_NOTE_* bits */
    int32_t rows_decoded;  /* whole rows that came from the data (pcx_decode) */
    int64_t data_bytes;    /* bytes of picture data the rows used (pcx_decode) */
    int32_t reserved[8];   /* 0; room to grow without breaking callers */
} pcx_facts;

/* The header and trailer only: size, layout, colours and notes; nothing is
 * decoded (rows_decoded and data_bytes are 0, and damage holds at most
 * PCX_DAMAGE_NO_TRAILER, which the trailer alone tells). The colours are
 * those a 32-bit surface takes from the picture right after raster_init:
 * the header's 16, the trailer's 256, or the standard 16 (2-colour
 * pictures: black and white), by the rules in raster.h; colour_source
 * names them (0 for true colour). The one exception is a 256-colour
 * picture without its trailer, whose colours are the grey ramp (above). PCX_OK; PCX_BAD_HEADER (fewer than 128
 * bytes: every field 0); PCX_BAD_LAYOUT, with the header's fields still
 * filled in; RASTER_REFUSED, writing nothing, for a NULL data or facts. */
int32_t pcx_inspect(const void* data, size_t size, pcx_facts* facts);

/* Decodes the picture into `pixels`, rows `stride` bytes apart, top row
 * first (each row width * format bytes; the bytes between rows are left
 * alone), and fills `facts` as pcx_inspect does plus the damage and the
 * extra-bytes note that only decoding finds, rows_decoded and data_bytes.
 * Indices are the picture's own (0 .. colours - 1); RGB and RGBA take an
 * index's colour from facts.palette, so an index the picture defines no
 * colour for is black. RASTER_REFUSED, writing nothing (not even facts),
 * for NULL pointers, an unknown format, PCX_FORMAT_INDICES for a
 * true-colour picture, a stride below one row of the format, or rows that
 * do not fit `capacity`.
 * PCX_BAD_HEADER and PCX_BAD_LAYOUT as pcx_inspect, no pixel written;
 * RASTER_NO_MEMORY when the line buffer (about twice a line) is not
 * obtained. There is no limit on a line's length. Damage is not a failure:
 * the result is PCX_OK. */
int32_t pcx_decode(const void* data, size_t size, int32_t format, void* pixels, size_t capacity, ptrdiff_t stride,
                   pcx_facts* facts);

/* Encodes width x height pixels (rows `stride` bytes apart, top row first)
 * as a version-5, run-length encoded PCX file at 72 dpi:
 *   PCX_FORMAT_INDICES with `palette` (red, green, blue) of `colours`
 *     entries: 2 colours black then white as 1 bit in 1 plane; other
 *     pictures of up to 16 colours as 1 bit in 4 planes; up to 256 as 8 bits
 *     with the 769-byte trailer. An index at or above `colours` is refused.
 *   PCX_FORMAT_RGB as 3 planes, PCX_FORMAT_RGBA as 4 planes.
 * Returns the file's size, writing it only when `capacity` holds it (NULL
 * and 0 ask the size); 0 for refused arguments or a size beyond SIZE_MAX. */
size_t pcx_encode(const void* pixels, int32_t width, int32_t height, ptrdiff_t stride, int32_t format,
                  const uint8_t* palette, int32_t colours, void* out, size_t capacity);

/* ---- DCX: several PCX pictures in one file ----------------------------
 *
 * A DCX file is the 4-byte mark PCX_DCX_MARK (little-endian), a table of
 * little-endian 32-bit page offsets from the file's start ended by a zero
 * entry, and whole PCX pictures at those offsets. Writers leave room for a
 * full table, so the first page starts at PCX_DCX_HEAD_BYTES.
 *
 * Listing the pages needs only the file's first bytes and its size; each
 * page is then a PCX picture of its own, read with pcx_inspect and
 * pcx_decode on its bytes (from its offset, `extent` bytes):
 *
 *     uint8_t head[PCX_DCX_HEAD_BYTES];               the file's first bytes
 *     pcx_dcx_facts dcx; pcx_dcx_page pages[PCX_DCX_MAX_PAGES];
 *     if (pcx_dcx_list(head, got, file_size, &dcx, pages, PCX_DCX_MAX_PAGES) != PCX_OK) ...
 *     for each page: pcx_dcx_check_page(its first 128 bytes, ..., &pages[i]),
 *                    then pcx_decode(its bytes, pages[i].extent, ...)
 *
 * What is wrong with the table is named in `faults` bits (below), per page
 * and for the file; a page's damage is its own pcx_facts.damage. */

#define PCX_DCX_MARK 0x3ADE68B1u /* the file's first 4 bytes, little-endian */
#define PCX_DCX_MAX_PAGES 1023   /* offsets a table holds before its ending zero */
/* The mark and a full table: where the first page starts, and all that
 * pcx_dcx_list reads. */
#define PCX_DCX_HEAD_BYTES 4100

/* ---- what is wrong with a DCX table (pcx_dcx_facts and pcx_dcx_page) --- */

#define PCX_DCX_PAST_END 1  /* a page starts past the file's end, or too near it for a header: lost (file cut short) */
#define PCX_DCX_NO_END 2    /* no ending zero: the table runs into the first page or the file's end */
#define PCX_DCX_TOO_MANY 4  /* more than 1023 offsets: only the first 1023 are pages */
#define PCX_DCX_OVERLAP 8   /* two pages start at one offset, or a page starts inside the table */
#define PCX_DCX_NOT_PCX 16  /* a page that is not a PCX picture (pcx_dcx_check_page) */
#define PCX_DCX_NO_PAGES 32 /* the table lists no page */

typedef struct pcx_dcx_page {
    int64_t offset;      /* where the page starts, from the file's start */
    int64_t extent;      /* its bytes: up to the next page's start or the file's end; 0 when lost */
    int32_t faults;      /* PCX_DCX_* bits of this page */
    int32_t reserved[5]; /* 0; room to grow without breaking callers */
} pcx_dcx_page;

typedef struct pcx_dcx_facts {
    int32_t pages;       /* offsets the table lists, lost pages included: 0 .. PCX_DCX_MAX_PAGES */
    int32_t faults;      /* the table's PCX_DCX_* bits and every page's */
    int64_t table_bytes; /* bytes of the mark and the table, its ending zero included */
    int32_t reserved[8]; /* 0; room to grow without breaking callers */
} pcx_dcx_facts;

/* 1 when `data` starts with the DCX mark, 0 otherwise (also for fewer than
 * 4 bytes or a NULL data). */
int32_t pcx_is_dcx(const void* data, size_t size);

/* Lists the pages of a DCX file of `file_size` bytes from its first bytes
 * (`head`, `head_size` of them: at least the smaller of file_size and
 * PCX_DCX_HEAD_BYTES; more are not read). Fills `facts`, and `pages` with
 * the first `capacity` pages in table order (offset, extent and faults;
 * the extent runs to the next page in the file, in offset order). Nothing
 * beyond the table is read, so a page's header is checked separately
 * (pcx_dcx_check_page). PCX_OK, also for a table with faults; PCX_NOT_DCX
 * (facts zeroed, no page written) without the mark; RASTER_REFUSED, writing
 * nothing, for a NULL head or facts, a NULL pages with a capacity above 0,
 * a capacity below 0, or a head_size below the bytes asked or above
 * file_size. */
int32_t pcx_dcx_list(const void* head, size_t head_size, uint64_t file_size, pcx_dcx_facts* facts, pcx_dcx_page* pages,
                     int32_t capacity);

/* Checks a listed page's header: `data` holds the page's first `size`
 * bytes (128 are enough; at most its extent). PCX_OK; PCX_BAD_HEADER (not
 * a PCX picture, or cut short) and sets PCX_DCX_NOT_PCX in page->faults
 * (add it to the file's faults); PCX_BAD_LAYOUT (a picture no reader
 * stores); RASTER_REFUSED, writing nothing, for a NULL page, a NULL data
 * with a size above 0 or a size above the page's extent. */
int32_t pcx_dcx_check_page(const void* data, size_t size, pcx_dcx_page* page);

/* Writes the head of a DCX file whose `pages` pictures, of page_sizes[i]
 * bytes each, follow it back to back in that order: the mark, their
 * offsets, the ending zero and zeros up to PCX_DCX_HEAD_BYTES, which it
 * returns (the first page starts there). Writes only when `capacity` holds
 * it (NULL and 0 ask the size). 0, writing nothing, for a NULL page_sizes,
 * pages outside 1 .. PCX_DCX_MAX_PAGES, a size below 128 or a page that
 * would start beyond the 32-bit offsets' reach. */
size_t pcx_dcx_head(const uint64_t* page_sizes, int32_t pages, void* out, size_t capacity);

/* Words for a result ("not a PCX picture", ...), a damage bit and a note
 * bit; never NULL (an unknown value has words too). */
const char* pcx_result_text(int32_t result);
const char* pcx_damage_text(int32_t bit);
const char* pcx_note_text(int32_t bit);
const char* pcx_dcx_fault_text(int32_t bit); /* a PCX_DCX_* bit */

#if defined(__GNUC__) && defined(__ELF__)
#pragma GCC visibility pop
#endif

#ifdef __cplusplus
}
#endif

#endif /* RASTER_PCX_CODEC_H */
