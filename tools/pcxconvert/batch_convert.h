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

struct Tool {
    const char* program;
    const char* usage;
    const char* input_extension;             // ".pcx"
    const char* output_extension;            // ".png"
    std::vector<tools::OptionRule> options;  // the tool's own, beside the shared ones
    // Takes one of the tool's own options; false when its value is not
    // allowed.
    std::function<bool(const tools::Option&)> take;
    // Reads one input within --max-pixels; false with why it is refused.
    // Empty: the whole file is read.
    std::function<bool(const std::string& path, int64_t max_pixels, std::vector<uint8_t>* bytes, std::string* error)>
        read;
};

// The shared options' usage lines.
extern const char kSharedUsage[];

// Parses the command line, converts every file and prints the summary;
// returns the exit status (0 when every file was converted or kept, 1 when
// one was refused or failed, 2 for usage, 128 + the signal after an
// interrupt). `make` is called once the options are taken, for the
// converter.
int run(const Tool& tool, int argc, char** argv, const std::function<Converter()>& make);

}  // namespace convert

#endif  // TOOLS_PCXCONVERT_BATCH_CONVERT_H
