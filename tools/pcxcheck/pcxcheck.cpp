// pcxcheck: what each PCX file holds and what is wrong with it.
//
//   pcxcheck [-q] [--max-pixels N] [-r DIR]... [FILE|-]...
//
// Each file is read once, its header first (a file that is no PCX picture
// is refused after 128 bytes) and then no further than its picture can
// reach, and decoded whole, so that damage the header cannot show (data cut
// short, a run past the last line, a missing colour trailer) is found. Exit
// status 0 when no file lost anything (notes alone do not fail a file), 1
// when any file is damaged or refused, 2 for usage, 128 + the signal when
// interrupted. A multi-page (DCX) file is read page by page at the offsets
// its table gives, one line a page; the summary counts files.
#include <raster/pcx_codec.h>

#include <cstdio>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "windows_args.h"
#include "inputs.h"
#include "interrupt.h"
#include "options.h"
#include "pcx_file.h"
#include "pcx_words.h"

namespace {

const char kProgram[] = "pcxcheck";
constexpr int64_t kDefaultMaxPixels = int64_t{1} << 28;

const char kUsage[] =
    "usage: pcxcheck [-q] [--max-pixels N] [-r DIR]... [FILE|-]...\n"
    "Reads each PCX file (- is standard input) and tells its size, layout (bits x\n"
    "planes), version, colours and where they come from, how well it is compressed,\n"
    "and every damage (pixels or colours lost) and note (unusual, nothing lost) in\n"
    "words. A file is read no further than its picture can reach. A multi-page\n"
    "(DCX) file gets one line a page (\"NAME page 3 of 7: ...\"), then its verdict:\n"
    "the worst of its pages and its page table, whose faults are named; only its\n"
    "table and pages are read, a page lost to a file cut short costs nothing.\n"
    "  -r, --recursive DIR  every .pcx and .dcx file (any case) under DIR\n"
    "  -q, --quiet          print only the files (and pages) that are damaged or refused\n"
    "  --max-pixels N       refuse pictures of more than N pixels (default 268435456)\n"
    "  -h, --help           show this text\n"
    "  --version            show the version\n"
    "Exit status: 0 when no file lost anything (notes alone do not fail a file),\n"
    "1 when any file is damaged or refused, 2 for a usage error, 128 + the signal\n"
    "when interrupted.\n";

const tools::OptionRule kOptions[] = {
    {"--recursive", "-r", "a folder"},
    {"--quiet", "-q", nullptr},
    {"--max-pixels", nullptr, "a whole number of pixels from 1 to 4294967296"},
};

enum class Verdict { Whole, Noted, Damaged, Refused };

struct Check {
    Verdict verdict = Verdict::Refused;
    std::vector<std::string> lines;  // the first names the file
};

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

struct Settings {
    bool quiet = false;
    int64_t max_pixels = kDefaultMaxPixels;
    std::vector<std::string> folders;
};

// -1 to go on, else the exit status.
int parse_settings(tools::CommandLine& line, int argc, char** argv, Settings* settings) {
    const int parsed = line.parse(argc, argv);
    if (parsed >= 0) return parsed;
    for (const tools::Option& option : line.options()) {
        if (option.name == "--quiet") {
            settings->quiet = true;
        } else if (option.name == "--recursive") {
            if (option.value.empty()) return line.bad_value(option.name, option.value);
            settings->folders.push_back(option.value);
        } else if (!tools::parse_whole(option.value, 1, int64_t{1} << 32, &settings->max_pixels)) {
            return line.bad_value(option.name, option.value);
        }
    }
    if (line.operands().empty() && settings->folders.empty()) {
        return line.refuse("no files to check: give FILE... or -r DIR (pcxcheck --help for more)");
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    tools::install_interrupt_handlers();  // first: a signal from now on ends the run cleanly
    const tools::Utf8Arguments utf8(&argc, &argv);
    tools::CommandLine line(kProgram, std::vector<tools::OptionRule>(std::begin(kOptions), std::end(kOptions)), kUsage);
    Settings settings;
    const int parsed = parse_settings(line, argc, argv, &settings);
    if (parsed >= 0) return parsed;
    std::vector<tools::Input> inputs;
    std::string error;
    if (!tools::collect_inputs(line.operands(), settings.folders, {".pcx", ".dcx"}, &inputs, &error)) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return 1;
    }

    int counts[4] = {0, 0, 0, 0};
    size_t checked = 0;
    for (; checked < inputs.size() && tools::interrupt_signal() == 0; ++checked) {
        const Check check = check_file(inputs[checked].path, settings.max_pixels, settings.quiet);
        if (tools::interrupt_signal() != 0) break;  // a read the signal cut short tells nothing
        ++counts[static_cast<int>(check.verdict)];
        const bool lost = check.verdict == Verdict::Damaged || check.verdict == Verdict::Refused;
        if (settings.quiet && !lost) continue;
        for (const std::string& text : check.lines) std::printf("%s\n", text.c_str());
    }
    const int signal = tools::interrupt_signal();
    if (signal != 0) {
        std::printf("interrupted: %zu of %zu files checked: %d whole, %d with notes only, %d damaged, %d refused\n",
                    checked, inputs.size(), counts[0], counts[1], counts[2], counts[3]);
    } else if (!settings.quiet) {
        std::printf("%zu file%s: %d whole, %d with notes only, %d damaged, %d refused\n", inputs.size(),
                    inputs.size() == 1 ? "" : "s", counts[0], counts[1], counts[2], counts[3]);
    }
    std::fflush(stdout);
    if (signal != 0) return 128 + signal;
    return counts[2] + counts[3] > 0 ? 1 : 0;
}
