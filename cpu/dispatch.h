// Choosing among the variants of a table of fast paths, the same way for
// every table in the library, its codec and the stand-in. A table is a struct of
// function pointers; its variants form a list, widest first, each with the
// instruction set it needs, and ending with the plain one, which fills
// every entry. A variant may leave an entry empty (null): that entry falls
// back to the next variant down the list that has it. Adding a variant for
// a wider instruction set is one file (the table and its functions) and one
// line in the list.
//
// Only the plain files that make the choice include this header; the files
// compiled for wider instructions never do.
#ifndef FASTPATH_DISPATCH_H
#define FASTPATH_DISPATCH_H

#include <array>
#include <cstddef>

#include "cpu/cpu.h"

namespace fastpath {

// One variant: its table, and the narrowest level that runs it.
template <class Table>
struct Variant {
    Cpu needs;
    const Table* table;
};

// The tables of one list resolved once for each level: every empty entry
// taken from the variants below. The entries are named once, as member
// pointers, where the list is resolved; an entry left out of them is never
// filled.
template <class Table>
class Dispatch {
  public:
    template <size_t N, class... Entry>
    Dispatch(const Variant<Table> (&list)[N], Entry Table::*... entries) {
        for (int level = 0; level < kCpuLevels; ++level) {
            Table resolved{};
            bool own = false;  // a variant needs exactly this level
            for (const Variant<Table>& variant : list) {
                if (static_cast<int>(variant.needs) > level) continue;
                own = own || static_cast<int>(variant.needs) == level;
                const Table& from = *variant.table;
                ((resolved.*entries = resolved.*entries != nullptr ? resolved.*entries : from.*entries), ...);
            }
            tables_[level] = resolved;
            own_[level] = own;
        }
    }

    // The table in use: the widest at or below cpu_level().
    const Table& chosen() const { return tables_[static_cast<int>(cpu_level())]; }

    // The variant for exactly `level`, for the tests: null where the list
    // has none or the processor cannot run it (RASTER_CPU aside).
    const Table* at(Cpu level) const {
        const int k = static_cast<int>(level);
        return own_[k] && level <= cpu_supported() ? &tables_[k] : nullptr;
    }

  private:
    std::array<Table, kCpuLevels> tables_{};
    std::array<bool, kCpuLevels> own_{};
};

}  // namespace fastpath

#endif  // FASTPATH_DISPATCH_H
