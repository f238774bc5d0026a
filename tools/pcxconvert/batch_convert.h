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

enum class Result { Converted, Damaged, Refused };

// What became of one file; `why` says what was lost or why it was refused.
struct Outcome {
    Result result = Result::Refused;
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
};

// The shared options' usage lines.
extern const char kSharedUsage[];

// Parses the command line, converts every file and prints the summary;
// returns the exit status (0, 1 when a file was refused, 2 for usage).
// `make` is called once the options are taken, for the converter.
int Run(const Tool& tool, int argc, char** argv, const std::function<Converter()>& make);

// "W x H pixels, more than --max-pixels N"
std::string TooLarge(int64_t width, int64_t height, int64_t limit);

}  // namespace convert

#endif  // TOOLS_PCXCONVERT_BATCH_CONVERT_H
