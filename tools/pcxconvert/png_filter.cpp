// The plain Paeth filter, and the list of filter tables, widest first.
#include "png_filter.h"

#include <cstdlib>

#include "cpu/dispatch.h"

namespace pngio {

namespace {

uint8_t paeth_predictor(int a, int b, int c) {
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

void paeth_plain(const uint8_t* row, const uint8_t* prior, uint8_t* out, size_t bytes, int bpp) {
    const size_t left = static_cast<size_t>(bpp) < bytes ? static_cast<size_t>(bpp) : bytes;
    // With nothing to the left the predictor is the byte above.
    for (size_t i = 0; i < left; ++i) out[i] = static_cast<uint8_t>(row[i] - prior[i]);
    for (size_t i = left; i < bytes; ++i) {
        out[i] = static_cast<uint8_t>(row[i] - paeth_predictor(row[i - bpp], prior[i], prior[i - bpp]));
    }
}

constexpr fastpath::Variant<Filters> kVariants[] = {
#if defined(FASTPATH_AVX2)
    {fastpath::Cpu::Avx2, &kAvx2Filters},
#endif
#if defined(__SSE2__)
    {fastpath::Cpu::Sse2, &kSse2Filters},
#endif
    {fastpath::Cpu::Plain, &kPlainFilters},
};

const fastpath::Dispatch<Filters>& dispatch() {
    // Built once, in a thread-safe way: every worker filters.
    static const fastpath::Dispatch<Filters> tables(kVariants, &Filters::paeth);
    return tables;
}

}  // namespace

const Filters kPlainFilters{paeth_plain};

const Filters& filters() {
    static const Filters& chosen = dispatch().chosen();
    return chosen;
}

const Filters& reference_filters() { return *dispatch().at(fastpath::Cpu::Plain); }
const Filters* sse2_filters() { return dispatch().at(fastpath::Cpu::Sse2); }
const Filters* avx2_filters() { return dispatch().at(fastpath::Cpu::Avx2); }

}  // namespace pngio
