// pcxcheck: what each PCX file holds and what is wrong with it.
//
//   pcxcheck [-q] [--max-pixels N] [-r DIR]... [FILE]...
//
// Each file is read once and decoded whole, so that damage the header
// cannot show (data cut short, a run past the last line, a missing colour
// trailer) is found. Exit status 0 when no file lost anything (notes alone
// do not fail a file), 1 when any file is damaged or refused, 2 for usage.
#include <raster/pcx_codec.h>

#include <cstdio>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "windows_args.h"
#include "inputs.h"
#include "options.h"
#include "pcx_words.h"

namespace {

const char kProgram[] = "pcxcheck";
constexpr int64_t kDefaultMaxPixels = int64_t{1} << 28;

const char kUsage[] =
    "usage: pcxcheck [-q] [--max-pixels N] [-r DIR]... [FILE]...\n"
    "Reads each PCX file whole and tells its size, layout (bits x planes), version,\n"
    "colours and where they come from, how well it is compressed, and every damage\n"
    "(pixels or colours lost) and note (unusual, nothing lost) in words.\n"
    "  -r, --recursive DIR  every .pcx file (any case) under DIR\n"
    "  -q, --quiet          print only the files that are damaged or refused\n"
    "  --max-pixels N       refuse pictures of more than N pixels (default 268435456)\n"
    "  -h, --help           show this text\n"
    "Exit status: 0 when no file lost anything (notes alone do not fail a file),\n"
    "1 when any file is damaged or refused, 2 for a usage error.\n";

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
std::string Ratio(const pcx_facts& facts) {
    const double raw = static_cast<double>(facts.bytes_per_line) * facts.planes * facts.height;
    if ((facts.damage & PCX_DAMAGE_SHORT_DATA) != 0) return "compression unknown (data cut short)";
    if (facts.data_bytes <= 0) return "no picture data";
    char text[64];
    std::snprintf(text, sizeof text, "compressed %.1f:1", raw / static_cast<double>(facts.data_bytes));
    return text;
}

Check Refused(const std::string& name, const std::string& why) {
    return {Verdict::Refused, {name + ": refused: " + why}};
}

// The picture decoded whole, one byte a pixel for indexed pictures and
// three for true colour: the facts are the same in any format.
Check CheckBytes(const std::string& name, const std::vector<uint8_t>& data, int64_t maxPixels) {
    pcx_facts facts;
    int32_t result = pcx_inspect(data.data(), data.size(), &facts);
    if (result != PCX_OK) return Refused(name, tools::RefusalWords(result, facts));
    const int64_t pixels = int64_t{facts.width} * facts.height;
    if (pixels > maxPixels) {
        return Refused(name, std::to_string(facts.width) + " x " + std::to_string(facts.height) +
                                 " pixels, more than --max-pixels " + std::to_string(maxPixels));
    }
    const int32_t format = facts.colour_source == 0 ? PCX_FORMAT_RGB : PCX_FORMAT_INDICES;
    const size_t row = static_cast<size_t>(facts.width) * static_cast<size_t>(format);
    std::vector<uint8_t> pixelsOut;
    try {
        pixelsOut.resize(row * static_cast<size_t>(facts.height));
    } catch (const std::bad_alloc&) {
        return Refused(name, pcx_result_text(RASTER_NO_MEMORY));
    }
    result = pcx_decode(data.data(), data.size(), format, pixelsOut.data(), pixelsOut.size(),
                        static_cast<ptrdiff_t>(row), &facts);
    if (result != PCX_OK) return Refused(name, tools::RefusalWords(result, facts));

    Check check;
    check.lines.push_back(name + ": " + std::to_string(facts.width) + " x " + std::to_string(facts.height) + ", " +
                          tools::LayoutWords(facts) + ", version " + std::to_string(facts.version) + ", " +
                          tools::ColourWords(facts) + ", " + Ratio(facts));
    for (const std::string& words : tools::DamageWords(facts)) check.lines.push_back("  damage: " + words);
    for (const std::string& words : tools::NoteWords(facts)) check.lines.push_back("  note: " + words);
    check.verdict = facts.damage != 0 ? Verdict::Damaged : facts.notes != 0 ? Verdict::Noted : Verdict::Whole;
    return check;
}

Check CheckFile(const std::string& path, int64_t maxPixels) {
    std::vector<uint8_t> data;
    std::string error;
    if (!tools::ReadWholeFile(path, &data, &error)) return Refused(path, "cannot be read: " + error);
    return CheckBytes(path, data, maxPixels);
}

struct Settings {
    bool quiet = false;
    int64_t maxPixels = kDefaultMaxPixels;
    std::vector<std::string> folders;
};

// -1 to go on, else the exit status.
int ParseSettings(tools::CommandLine& line, int argc, char** argv, Settings* settings) {
    const int parsed = line.Parse(argc, argv);
    if (parsed >= 0) return parsed;
    for (const tools::Option& option : line.options()) {
        if (option.name == "--quiet") {
            settings->quiet = true;
        } else if (option.name == "--recursive") {
            if (option.value.empty()) return line.BadValue(option.name, option.value);
            settings->folders.push_back(option.value);
        } else if (!tools::ParseWhole(option.value, 1, int64_t{1} << 32, &settings->maxPixels)) {
            return line.BadValue(option.name, option.value);
        }
    }
    if (line.operands().empty() && settings->folders.empty()) {
        return line.Refuse("no files to check: give FILE... or -r DIR (pcxcheck --help for more)");
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    const tools::Utf8Arguments utf8(&argc, &argv);
    tools::CommandLine line(kProgram, std::vector<tools::OptionRule>(std::begin(kOptions), std::end(kOptions)), kUsage);
    Settings settings;
    const int parsed = ParseSettings(line, argc, argv, &settings);
    if (parsed >= 0) return parsed;
    std::vector<tools::Input> inputs;
    std::string error;
    if (!tools::CollectInputs(line.operands(), settings.folders, ".pcx", &inputs, &error)) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return 1;
    }

    int counts[4] = {0, 0, 0, 0};
    for (const tools::Input& input : inputs) {
        const Check check = CheckFile(input.path, settings.maxPixels);
        ++counts[static_cast<int>(check.verdict)];
        const bool lost = check.verdict == Verdict::Damaged || check.verdict == Verdict::Refused;
        if (settings.quiet && !lost) continue;
        for (const std::string& text : check.lines) std::printf("%s\n", text.c_str());
    }
    if (!settings.quiet) {
        std::printf("%zu file%s: %d whole, %d with notes only, %d damaged, %d refused\n", inputs.size(),
                    inputs.size() == 1 ? "" : "s", counts[0], counts[1], counts[2], counts[3]);
    }
    std::fflush(stdout);
    return counts[2] + counts[3] > 0 ? 1 : 0;
}
