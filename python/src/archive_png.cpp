// pcx2png's conversion of one file, built from the program's own source with
// its entry point renamed, for the same reason as archive_check.cpp: the PNG
// bytes are the tool's because the code is.
#include <raster/pcx_codec.h>

#include <new>
#include <string>
#include <vector>

#include "archive_tools.h"
#include "batch_convert.h"
#include "pcx_file.h"
#include "pcx_words.h"
#include "png_io.h"
#include "windows_args.h"

#define main pcx2png_program_main
#include "pcx2png.cpp"
#undef main

namespace archive {

// As pcx2png's batch takes one file: read within the pixel limit, decode
// within a budget of that limit (a worker converts one file at a time), and
// out of memory is this file's refusal, never the process's end.
Png png_of(const std::string& path, bool keep_alpha, int64_t max_pixels) {
    Png out;
    try {
        std::vector<uint8_t> input;
        if (!read_bounded(path, max_pixels, &input, &out.why)) return out;
        tools::PixelBudget budget(max_pixels);
        pngio::Pool<Workspace> workspaces;
        const convert::Outcome outcome = convert_picture(keep_alpha, input, budget, workspaces, &out.png);
        out.result = static_cast<int>(outcome.result);
        out.why = outcome.why;
    } catch (const std::bad_alloc&) {
        out = Png{};
        out.why = "not enough memory";
    }
    if (out.result != static_cast<int>(convert::Result::Converted) &&
        out.result != static_cast<int>(convert::Result::Damaged)) {
        out.png.clear();
    }
    return out;
}

}  // namespace archive
