// What pcx2png and png2pcx share: their options, the inputs and the output
// each gets, the files converted on every core within a pixel budget, and
// the summary.
#ifndef TOOLS_PCXCONVERT_BATCH_CONVERT_H
#define TOOLS_PCXCONVERT_BATCH_CONVERT_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "batch.h"
#include "options.h"

namespace convert {

// What became of one file: converted (whole, or with damage named), its
// output kept because it exists already, the input refused, the output not
// written (failed), or never started (an interrupt came first).
enum class Result { Converted, Damaged, Kept, Refused, Failed, NotStarted };

// `why` says what was lost, why the input was refused or why writing failed.
struct Outcome {
    Result result = Result::NotStarted;
    std::string why;
};

// One file's bytes to the output's bytes. The converter holds the pixels it
// decodes in `budget` (refusing, with its size, a picture larger than the
// whole budget) for as long as it holds them.
using Converter =
    std::function<Outcome(const std::vector<uint8_t>& input, tools::PixelBudget& budget, std::vector<uint8_t>* output)>;

// One picture of a multi-page input, converted as a job of its own (so
// the pages of one file spread over the workers) into NAME-P.png, P
// numbered from 1 and padded to the page count's digits.
struct Page {
    int number = 0;  // from 1
    int count = 0;   // the file's pages
    uint64_t offset = 0, extent = 0;
    int32_t faults = 0;   // the table's words for this page, for the tool's reader
    std::string refused;  // not read at all: why (a page lost, or not in the file)
};

// NAME.png to NAME-P.png, P padded to the digits of the page count.
std::string page_output(const std::string& output, const Page& page);

struct Tool {
    const char* program;
    const char* usage;
    std::vector<std::string> input_extensions;  // ".pcx"
    const char* output_extension;               // ".png"
    std::vector<tools::OptionRule> options;     // the tool's own, beside the shared ones
    // Takes one of the tool's own options; false when its value is not
    // allowed.
    std::function<bool(const tools::Option&)> take;
    // Reads one input within --max-pixels; false with why it is refused.
    // Empty: the whole file is read.
    std::function<bool(const std::string& path, int64_t max_pixels, std::vector<uint8_t>* bytes, std::string* error)>
        read;
    // The pages of a multi-page input: true with the pages to convert, false
    // for an input of one picture (or one that cannot be read: its job says
    // why). Empty: every input is one picture.
    std::function<bool(const std::string& path, std::vector<Page>* pages)> pages;
    // Reads one page within --max-pixels; false with why it is refused.
    std::function<bool(const std::string& path, const Page& page, int64_t max_pixels, std::vector<uint8_t>* bytes,
                       std::string* error)>
        read_page;
    // One file of every input's output (png2pcx --dcx), asked for when
    // `combined` names it: the outputs are joined in input order, and the
    // file written whole only when every input was converted. False with
    // why the outputs cannot be joined.
    std::function<bool(const std::vector<std::vector<uint8_t>>& parts, std::vector<uint8_t>* whole, std::string* error)>
        combine;
    const std::string* combined = nullptr;
};

// The shared options' usage lines.
extern const char kSharedUsage[];

// Parses the command line, converts every file (every page of a multi-page
// one) and prints the summary;
// returns the exit status (0 when every file was converted or kept, 1 when
// one was refused or failed, 2 for usage, 128 + the signal after an
// interrupt). `make` is called once the options are taken, for the
// converter.
int run(const Tool& tool, int argc, char** argv, const std::function<Converter()>& make);

}  // namespace convert

#endif  // TOOLS_PCXCONVERT_BATCH_CONVERT_H
