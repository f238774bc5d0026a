// pcx2png: PCX pictures to PNG files, many at once, on every core.
//
//   pcx2png [options] FILE... [-r DIR]... [-o DIR]
//
// Indexed pictures become palette PNGs at the smallest bit depth that holds
// the indices they use, true colour becomes RGB, and a fourth plane is kept
// (as RGBA) only with --alpha. A damaged picture is converted with what its
// data held and named at the end. A multi-page (DCX) file becomes a PNG a
// page, each page a job of its own.
#include <memory>
#include <string>
#include <vector>

#include "windows_args.h"
#include "batch_convert.h"
#include "pcx2png_convert.h"
#include "png_io.h"

namespace {

using pcx2png::PageRange;
using pcx2png::Workspace;

const char kUsageHead[] =
    "usage: pcx2png [options] FILE... [-r DIR]... [-o DIR]\n"
    "Converts PCX pictures to PNG files (NAME.pcx to NAME.png), on every core.\n"
    "Indexed pictures become palette PNGs of 1, 2, 4 or 8 bits a pixel (the fewest\n"
    "that hold the colours used), true colour becomes RGB.\n"
    "A multi-page (DCX) file becomes one PNG a page, NAME-1.png, NAME-2.png, ... (the\n"
    "numbers padded to the page count's digits), its pages spread over the cores; a\n"
    "page lost to a file cut short is named and the rest converted.\n"
    "  --alpha             keep a 4-plane picture's fourth plane, as RGBA (the format\n"
    "                      does not say whether it is alpha; without --alpha it is dropped)\n"
    "  --page LIST         only these pages of multi-page files: N, N-M, N- or a\n"
    "                      comma list of them (3,5-7); single pictures are whole\n";

}  // namespace

int main(int argc, char** argv) {
    const tools::Utf8Arguments utf8(&argc, &argv);
    const std::string usage = std::string(kUsageHead) + convert::kSharedUsage;
    bool keep_alpha = false;
    std::vector<PageRange> ranges;
    convert::Tool tool{
        "pcx2png",
        usage.c_str(),
        {".pcx", ".dcx"},
        ".png",
        {{"--alpha", nullptr, nullptr},
         {"--page", nullptr, "a page number from 1 to 1023, a range N-M or N-, or a comma list of them"}},
        [&](const tools::Option& option) {
            if (option.name == "--page") return pcx2png::parse_pages(option.value, &ranges);
            keep_alpha = true;
            return true;
        },
        pcx2png::read_bounded,
        [&](const std::string& path, std::vector<convert::Page>* pages) {
            return pcx2png::list_pages(ranges, path, pages);
        },
        pcx2png::read_page,
        nullptr,
        nullptr};
    return convert::run(tool, argc, argv, [&] {
        // One workspace a thread converting, each kept from file to file.
        auto workspaces = std::make_shared<pngio::Pool<Workspace>>();
        return [keep_alpha, workspaces](const std::vector<uint8_t>& data, tools::PixelBudget& budget,
                                        std::vector<uint8_t>* png) {
            return pcx2png::convert_picture(keep_alpha, data, budget, *workspaces, png);
        };
    });
}
