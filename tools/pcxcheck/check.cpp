// pcxcheck's one-file check: each file read once, its header first and then
// no further than its picture can reach, and decoded whole, so that damage the
// header cannot show (data cut short, a run past the last line, a missing
// colour trailer) is found.
#include "check.h"

#include <raster/pcx_codec.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "interrupt.h"
#include "pcx_file.h"
#include "pcx_words.h"

namespace pcxcheck {
namespace {

// The picture's bytes (all its plane lines) over the data that held them;
// a file cut short has no ratio to tell.
std::string ratio(const pcx_facts& facts) {
    const double raw = static_cast<double>(facts.bytes_per_line) * facts.planes * facts.height;
    if ((facts.damage & PCX_DAMAGE_SHORT_DATA) != 0) return "compression unknown (data cut short)";
    if (facts.data_bytes <= 0) return "no picture data";
    char text[64];
    std::snprintf(text, sizeof text, "compressed %.1f:1", raw / static_cast<double>(facts.data_bytes));
    return text;
}

Check refused(const std::string& name, const std::string& why) {
    return {Verdict::Refused, {name + ": refused: " + why}};
}

// A picture decoded whole, one byte a pixel for indexed pictures and three
// for true colour (the facts are the same in any format): PCX_OK with
// `facts`, or the refusal in `why`.
int32_t decode_facts(const std::vector<uint8_t>& data, pcx_facts* facts, std::string* why) {
    int32_t result = pcx_inspect(data.data(), data.size(), facts);
    if (result != PCX_OK) {
        *why = tools::refusal_words(result, *facts);
        return result;
    }
    const int32_t format = facts->colour_source == 0 ? PCX_FORMAT_RGB : PCX_FORMAT_INDICES;
    const size_t row = static_cast<size_t>(facts->width) * static_cast<size_t>(format);
    std::vector<uint8_t> pixels_out;
    try {
        pixels_out.resize(row * static_cast<size_t>(facts->height));
    } catch (const std::bad_alloc&) {
        *why = tools::no_memory(facts->width, facts->height);
        return RASTER_NO_MEMORY;
    }
    result = pcx_decode(data.data(), data.size(), format, pixels_out.data(), pixels_out.size(),
                        static_cast<ptrdiff_t>(row), facts);
    if (result == RASTER_NO_MEMORY) *why = tools::no_memory(facts->width, facts->height);
    if (result != PCX_OK && result != RASTER_NO_MEMORY) *why = tools::refusal_words(result, *facts);
    return result;
}

std::string summary_words(const pcx_facts& facts) {
    return std::to_string(facts.width) + " x " + std::to_string(facts.height) + ", " + tools::layout_words(facts) +
           ", version " + std::to_string(facts.version) + ", " + tools::colour_words(facts) + ", " + ratio(facts);
}

Verdict verdict_of(const pcx_facts& facts, bool longer) {
    return facts.damage != 0 ? Verdict::Damaged : facts.notes != 0 || longer ? Verdict::Noted : Verdict::Whole;
}

Check check_bytes(const std::string& name, const tools::PcxFile& file) {
    pcx_facts facts;
    std::string why;
    if (decode_facts(file.bytes, &facts, &why) != PCX_OK) return refused(name, why);
    Check check;
    check.lines.push_back(name + ": " + summary_words(facts));
    for (const std::string& words : tools::damage_words(facts)) check.lines.push_back("  damage: " + words);
    for (const std::string& words : tools::note_words(facts)) check.lines.push_back("  note: " + words);
    if (file.longer) check.lines.push_back("  note: " + tools::longer_words(file));
    check.verdict = verdict_of(facts, file.longer);
    return check;
}

// One page of a multi-page file: its line ("NAME page 3 of 7: ...") and
// verdict. A page the table lost, or that is no picture, is refused; one
// that overlaps another is damaged, whatever its pixels.
Check check_page(const std::string& path, const std::string& name, const tools::PcxFile& container, pcx_dcx_page page,
                 int64_t max_pixels) {
    Check check;
    check.verdict = Verdict::Refused;
    std::string line = name;
    tools::PcxFile file;
    std::string why;
    pcx_facts facts;
    if ((page.faults & PCX_DCX_PAST_END) != 0) {
        line += "lost: " + tools::joined(tools::fault_words(PCX_DCX_PAST_END));
    } else if (!tools::read_page(path, container, page, max_pixels, &file, &why) ||
               decode_facts(file.bytes, &facts, &why) != PCX_OK) {
        line += "refused: " + why;
    } else {
        check.verdict = verdict_of(facts, file.longer);
        if ((page.faults & PCX_DCX_OVERLAP) != 0) check.verdict = Verdict::Damaged;
        if (facts.damage != 0) line += "damaged: " + tools::joined(tools::damage_words(facts)) + "; ";
        line += summary_words(facts);
        for (const std::string& words : tools::note_words(facts)) line += "; note: " + words;
        if (file.longer) line += "; note: " + tools::longer_words(file);
        if ((page.faults & PCX_DCX_OVERLAP) != 0) line += std::string("; ") + pcx_dcx_fault_text(PCX_DCX_OVERLAP);
    }
    check.lines.push_back(line);
    return check;
}

// Every page, one line each, then the file's verdict: the worst of its
// pages and its table, refused only when no page could be read.
Check check_dcx(const std::string& path, const std::string& name, const tools::PcxFile& container, int64_t max_pixels,
                bool quiet) {
    tools::DcxPages listing;
    if (!tools::list_pages(container, &listing)) return refused(name, pcx_result_text(PCX_NOT_DCX));
    Check check;
    int counts[4] = {0, 0, 0, 0};
    const size_t count = listing.pages.size();
    for (size_t p = 0; p < count && tools::interrupt_signal() == 0; ++p) {
        const std::string page_name = name + " page " + std::to_string(p + 1) + " of " + std::to_string(count) + ": ";
        Check page = check_page(path, page_name, container, listing.pages[p], max_pixels);
        ++counts[static_cast<int>(page.verdict)];
        const bool lost = page.verdict == Verdict::Damaged || page.verdict == Verdict::Refused;
        if (!quiet || lost) check.lines.push_back(page.lines.front());
    }
    const int32_t table_faults = listing.facts.faults & ~PCX_DCX_NOT_PCX;
    if (counts[0] + counts[1] + counts[2] == 0) {
        check.verdict = Verdict::Refused;
    } else if (counts[2] + counts[3] > 0 || table_faults != 0) {
        check.verdict = Verdict::Damaged;
    } else {
        check.verdict = counts[1] > 0 ? Verdict::Noted : Verdict::Whole;
    }
    const char* verdicts[4] = {"whole", "with notes only", "damaged", "refused"};
    std::string line = name + ": " + verdicts[static_cast<int>(check.verdict)] + ": " + std::to_string(count) +
                       " page" + (count == 1 ? "" : "s") + " (" + std::to_string(counts[0]) + " whole, " +
                       std::to_string(counts[1]) + " with notes only, " + std::to_string(counts[2]) + " damaged, " +
                       std::to_string(counts[3]) + " lost or refused)";
    if (table_faults != 0) line += "; page table: " + tools::joined(tools::fault_words(table_faults));
    check.lines.push_back(line);
    return check;
}

}  // namespace

Check check_file(const std::string& path, int64_t max_pixels, bool quiet) {
    const std::string name = path == "-" ? "(standard input)" : path;
    tools::PcxFile file;
    std::string error;
    try {
        if (!tools::read_pcx_file(path, max_pixels, &file, &error)) return refused(name, error);
        if (file.dcx) return check_dcx(path, name, file, max_pixels, quiet);
        return check_bytes(name, file);
    } catch (const std::bad_alloc&) {
        return refused(name, "not enough memory");
    }
}

}  // namespace pcxcheck
