// The multi-page container: its table of page offsets read and written.
// Only the table is read here, never a page's pixels, so that a tool can
// list a thousand pages from one 4100-byte read and refuse a table that
// points past the file without touching the bytes it claims.
#include <raster/pcx_codec.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "raster/pcx/codec/format.h"
#include "raster/pcx/codec/header.h"

namespace {

using raster::pcx::kHeaderSize;

constexpr size_t kMarkBytes = 4;
constexpr size_t kEntryBytes = 4;
constexpr uint64_t kLargestOffset = 0xFFFFFFFFu;

uint32_t field32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

void put32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

struct Table {
    std::array<uint32_t, PCX_DCX_MAX_PAGES> offsets;
    int32_t count = 0;
    int32_t faults = 0;
    uint64_t bytes = kMarkBytes;  // mark and entries, the ending zero included
};

// Reads entries until the ending zero. A table without one stops where the
// earliest page starts (no writer puts its table inside a page) or where
// the bytes end; one that lists more than PCX_DCX_MAX_PAGES keeps those.
Table read_table(const uint8_t* head, size_t head_size) {
    Table table;
    uint64_t earliest = UINT64_MAX;
    for (;;) {
        const uint64_t at = table.bytes;
        if (at + kEntryBytes > head_size || at >= earliest) {
            table.faults |= PCX_DCX_NO_END;
            return table;
        }
        const uint32_t offset = field32(head + at);
        table.bytes += kEntryBytes;
        if (offset == 0) return table;
        if (table.count == PCX_DCX_MAX_PAGES) {
            table.faults |= PCX_DCX_TOO_MANY;
            return table;
        }
        table.offsets[static_cast<size_t>(table.count++)] = offset;
        // A start inside the entries read so far is an overlap, not where
        // the table must end.
        if (offset >= table.bytes) earliest = std::min<uint64_t>(earliest, offset);
    }
}

// Each page runs to the next start above its own, or to the file's end.
// Sorting (offset, index) keys on the stack keeps this O(n log n) for the
// largest table without any allocation. Returns every page's faults, also
// of pages beyond `capacity`, which are not written.
int32_t fill_pages(const Table& table, uint64_t file_size, pcx_dcx_page* pages, int32_t capacity) {
    std::array<uint64_t, PCX_DCX_MAX_PAGES> keys;
    int32_t all = 0;
    const auto count = static_cast<size_t>(table.count);
    for (size_t i = 0; i < count; ++i) keys[i] = (static_cast<uint64_t>(table.offsets[i]) << 10) | i;
    std::sort(keys.begin(), keys.begin() + static_cast<ptrdiff_t>(count));
    for (size_t k = 0; k < count; ++k) {
        const uint64_t offset = keys[k] >> 10;
        const size_t index = static_cast<size_t>(keys[k] & 0x3FF);
        size_t next = k + 1;
        while (next < count && (keys[next] >> 10) == offset) ++next;
        const bool shared = next != k + 1 || (k > 0 && (keys[k - 1] >> 10) == offset);
        const uint64_t end = next < count ? (keys[next] >> 10) : file_size;
        int32_t faults = 0;
        if (shared || offset < table.bytes) faults |= PCX_DCX_OVERLAP;
        if (offset >= file_size || file_size - offset < kHeaderSize) faults |= PCX_DCX_PAST_END;
        all |= faults;
        if (static_cast<int32_t>(index) >= capacity) continue;
        pcx_dcx_page& page = pages[index];
        std::memset(&page, 0, sizeof page);
        page.offset = static_cast<int64_t>(offset);
        page.extent = (faults & PCX_DCX_PAST_END) != 0 ? 0 : static_cast<int64_t>(std::min(end, file_size) - offset);
        page.faults = faults;
    }
    return all;
}

}  // namespace

extern "C" {

int32_t pcx_is_dcx(const void* data, size_t size) {
    return data != nullptr && size >= kMarkBytes && field32(static_cast<const uint8_t*>(data)) == PCX_DCX_MARK ? 1 : 0;
}

int32_t pcx_dcx_list(const void* head, size_t head_size, uint64_t file_size, pcx_dcx_facts* facts, pcx_dcx_page* pages,
                     int32_t capacity) {
    const uint64_t asked = std::min<uint64_t>(file_size, PCX_DCX_HEAD_BYTES);
    if (head == nullptr || facts == nullptr || capacity < 0 || (pages == nullptr && capacity > 0) ||
        head_size < asked || head_size > file_size)
        return RASTER_REFUSED;
    std::memset(facts, 0, sizeof *facts);
    if (pcx_is_dcx(head, head_size) == 0) return PCX_NOT_DCX;
    const Table table = read_table(static_cast<const uint8_t*>(head), static_cast<size_t>(asked));
    const int32_t page_faults = fill_pages(table, file_size, pages, capacity);
    facts->pages = table.count;
    facts->table_bytes = static_cast<int64_t>(table.bytes);
    facts->faults = table.faults | page_faults | (table.count == 0 ? PCX_DCX_NO_PAGES : 0);
    return PCX_OK;
}

int32_t pcx_dcx_check_page(const void* data, size_t size, pcx_dcx_page* page) {
    if (page == nullptr || (data == nullptr && size > 0) || page->extent < 0 ||
        static_cast<uint64_t>(size) > static_cast<uint64_t>(page->extent))
        return RASTER_REFUSED;
    if (size < kHeaderSize) {
        page->faults |= PCX_DCX_NOT_PCX;
        return PCX_BAD_HEADER;
    }
    raster::pcx::Format format{};
    const int32_t result = raster::pcx::classify(static_cast<const uint8_t*>(data), format);
    if (result == PCX_BAD_HEADER) page->faults |= PCX_DCX_NOT_PCX;
    return result;
}

size_t pcx_dcx_head(const uint64_t* page_sizes, int32_t pages, void* out, size_t capacity) {
    if (page_sizes == nullptr || pages < 1 || pages > PCX_DCX_MAX_PAGES) return 0;
    uint64_t offset = PCX_DCX_HEAD_BYTES;
    for (int32_t i = 0; i < pages; ++i) {
        if (page_sizes[i] < kHeaderSize || offset > kLargestOffset) return 0;
        offset += page_sizes[i];
    }
    if (out == nullptr || capacity < PCX_DCX_HEAD_BYTES) return PCX_DCX_HEAD_BYTES;
    auto* bytes = static_cast<uint8_t*>(out);
    std::memset(bytes, 0, PCX_DCX_HEAD_BYTES);
    put32(bytes, PCX_DCX_MARK);
    offset = PCX_DCX_HEAD_BYTES;
    for (int32_t i = 0; i < pages; ++i) {
        put32(bytes + kMarkBytes + kEntryBytes * static_cast<size_t>(i), static_cast<uint32_t>(offset));
        offset += page_sizes[i];
    }
    return PCX_DCX_HEAD_BYTES;
}

}  // extern "C"
