// The PNG row filters that have fast versions: a plain reference
// (png_filter.cpp), SSE2 and AVX2 ones in files of their own, one table
// chosen once through cpu/. No function body here: the AVX2 file includes
// it.
#ifndef TOOLS_PCXCONVERT_PNG_FILTER_H
#define TOOLS_PCXCONVERT_PNG_FILTER_H

#include <cstddef>
#include <cstdint>

namespace pngio {

// The Paeth filter of one row of `bytes` bytes, `bpp` (1 to 4) bytes a
// pixel: out[i] = row[i] - paeth(row[i - bpp], prior[i], prior[i - bpp]),
// the bytes left of the row counting as 0. `prior` is the row above (zeros
// for the first row); `out` overlaps neither.
using FilterRow = void (*)(const uint8_t* row, const uint8_t* prior, uint8_t* out, size_t bytes, int bpp);

struct Filters {
    FilterRow paeth;
};

// The tables the files register; a fast filter hands rows narrower than a
// vector, and pixels wider than 4 bytes, to the plain one.
extern const Filters kPlainFilters;
extern const Filters kSse2Filters;
extern const Filters kAvx2Filters;

// The table for this processor (capped by RASTER_CPU), chosen once.
const Filters& filters();

// Each table on its own, for the tests: null where the build or the
// processor lacks it.
const Filters& reference_filters();
const Filters* sse2_filters();
const Filters* avx2_filters();

}  // namespace pngio

#endif  // TOOLS_PCXCONVERT_PNG_FILTER_H
