// Words for the codec's results, damage bits and notes, so that every
// program that reports on a picture says the same thing about it.
#include <raster/pcx_codec.h>

extern "C" {

const char* pcx_result_text(int32_t result) {
    switch (result) {
        case PCX_OK:
            return "read";
        case 1:  // PCX_OPEN_FAILED
            return "the file could not be opened";
        case PCX_BAD_HEADER:
            return "not a PCX picture (its 128-byte header is cut short, lacks the PCX mark or names no pixels)";
        case PCX_BAD_LAYOUT:
            return "a pixel layout no reader stores, or line sizes that cannot hold the picture";
        case PCX_NOT_DCX:
            return "not a DCX file (its first 4 bytes are not the DCX mark)";
        case 4:  // PCX_OUTSIDE
            return "the placement leaves no pixel on the surface";
        case 5:  // PCX_DAMAGED
            return "stored, but the picture is damaged";
        case -1:  // RASTER_NO_FREE_SLOT, RASTER_BAD_HANDLE
            return "no free surface slot, or a handle outside 0..31";
        case RASTER_NO_MEMORY:
            return "not enough memory";
        case RASTER_REFUSED:
            return "arguments refused";
        default:
            return "unknown result";
    }
}

const char* pcx_damage_text(int32_t bit) {
    switch (bit) {
        case PCX_DAMAGE_SHORT_DATA:
            return "the data ends before the last row";
        case PCX_DAMAGE_RUN_PAST_END:
            return "a run reaches past the last line";
        case PCX_DAMAGE_NO_TRAILER:
            return "the 256-colour trailer is missing: colours unknown";
        case PCX_DAMAGE_MISREAD_RUNS:
            return "the data does not end where the picture does: runs were misread";
        default:
            return "unknown damage";
    }
}

const char* pcx_note_text(int32_t bit) {
    switch (bit) {
        case PCX_NOTE_ODD_LINE_BYTES:
            return "BytesPerLine is odd or more than the width needs";
        case PCX_NOTE_UNKNOWN_VERSION:
            return "unknown version";
        case PCX_NOTE_UNKNOWN_ENCODING:
            return "unknown encoding, decoded as run-length";
        case PCX_NOTE_EXTRA_BYTES:
            return "bytes after the picture that are no trailer";
        default:
            return "unknown note";
    }
}

const char* pcx_dcx_fault_text(int32_t bit) {
    switch (bit) {
        case PCX_DCX_PAST_END:
            return "a page starts past the end of the file: the file is cut short";
        case PCX_DCX_NO_END:
            return "the page table has no ending zero";
        case PCX_DCX_TOO_MANY:
            return "the page table lists more than 1023 pages";
        case PCX_DCX_OVERLAP:
            return "pages overlap (one start shared, or a page inside the table)";
        case PCX_DCX_NOT_PCX:
            return "a page is not a PCX picture";
        case PCX_DCX_NO_PAGES:
            return "the page table lists no page";
        default:
            return "unknown fault";
    }
}

}  // extern "C"
