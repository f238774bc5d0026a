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
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "check.h"
#include "windows_args.h"
#include "inputs.h"
#include "interrupt.h"
#include "options.h"

namespace {

using pcxcheck::Check;
using pcxcheck::check_file;
using pcxcheck::Verdict;

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
    "  -q, --quiet          print only the files and pages damaged or refused\n"
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
