// libFuzzer target for the multi-page table (pcx_dcx_list,
// pcx_dcx_check_page, pcx_dcx_head). Input: the bytes of a DCX file.
// Besides the sanitizers' own checks, the target stops on a listing that
// reads past the head it was given, on pages reaching past the file, on
// faults the file's facts do not carry, on a page header check that
// disagrees with pcx_inspect, and on a head that, written again for the
// listed pages' extents, lists them at other offsets. Pages are inspected,
// not decoded: the codec's own target decodes.
#include <raster/pcx_codec.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

void check_page(const uint8_t* data, size_t size, const pcx_dcx_facts& facts, pcx_dcx_page page) {
    const auto offset = static_cast<uint64_t>(page.offset);
    const auto extent = static_cast<uint64_t>(page.extent);
    check(page.extent >= 0 && (extent == 0 || (offset < size && extent <= size - offset)));
    check(((page.faults & PCX_DCX_PAST_END) != 0) == (extent == 0));
    check((page.faults & ~facts.faults) == 0);
    const int32_t before = page.faults;
    const size_t header = static_cast<size_t>(std::min<uint64_t>(extent, PCX_HEADER_BYTES));
    if (header == 0) return;  // lost: nothing of it to check
    const int32_t result = pcx_dcx_check_page(data + offset, header, &page);
    pcx_facts facts_of_page;
    const int32_t inspected = pcx_inspect(data + offset, header, &facts_of_page);
    check(result == inspected);
    check(page.faults == (before | (result == PCX_BAD_HEADER ? PCX_DCX_NOT_PCX : 0)));
}

// Pages written back to back for the listed extents are listed back at the
// offsets the head gives them.
void check_rewrite(const std::vector<pcx_dcx_page>& pages) {
    std::vector<uint64_t> sizes;
    for (const pcx_dcx_page& page : pages) sizes.push_back(std::max<uint64_t>(page.extent, PCX_HEADER_BYTES));
    std::vector<uint8_t> head(PCX_DCX_HEAD_BYTES + 1, 0x5A);
    const size_t written = pcx_dcx_head(sizes.data(), static_cast<int32_t>(sizes.size()), head.data(), head.size());
    if (written == 0) return;
    check(written == PCX_DCX_HEAD_BYTES && head[PCX_DCX_HEAD_BYTES] == 0x5A);
    uint64_t total = PCX_DCX_HEAD_BYTES;
    for (uint64_t size : sizes) total += size;
    pcx_dcx_facts facts;
    std::vector<pcx_dcx_page> again(sizes.size());
    check(pcx_dcx_list(head.data(), PCX_DCX_HEAD_BYTES, total, &facts, again.data(),
                       static_cast<int32_t>(again.size())) == PCX_OK);
    check(facts.faults == 0 && facts.pages == static_cast<int32_t>(sizes.size()));
    uint64_t at = PCX_DCX_HEAD_BYTES;
    for (size_t i = 0; i < sizes.size(); ++i) {
        check(static_cast<uint64_t>(again[i].offset) == at && static_cast<uint64_t>(again[i].extent) == sizes[i]);
        at += sizes[i];
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;  // no head to give: a refused call
    // The head alone, in a buffer of its own: reading past it is a finding.
    const size_t head_size = std::min<size_t>(size, PCX_DCX_HEAD_BYTES);
    const std::vector<uint8_t> head(data, data + head_size);
    pcx_dcx_facts facts;
    std::vector<pcx_dcx_page> pages(PCX_DCX_MAX_PAGES);
    const int32_t result =
        pcx_dcx_list(head.data(), head.size(), size, &facts, pages.data(), static_cast<int32_t>(pages.size()));
    check(result == (pcx_is_dcx(data, size) != 0 ? PCX_OK : PCX_NOT_DCX));
    if (result != PCX_OK) return 0;
    check(facts.pages >= 0 && facts.pages <= PCX_DCX_MAX_PAGES);
    check(((facts.faults & PCX_DCX_NO_PAGES) != 0) == (facts.pages == 0));
    check(facts.table_bytes >= 4 && static_cast<uint64_t>(facts.table_bytes) <= head_size);
    pages.resize(static_cast<size_t>(facts.pages));
    for (const pcx_dcx_page& page : pages) check_page(data, size, facts, page);
    check_rewrite(pages);
    return 0;
}
