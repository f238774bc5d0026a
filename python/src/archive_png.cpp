// pcx2png's conversion of one file or one page through the tool's own
// library: the PNG bytes are the tool's because the code is.
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "archive_tools.h"
#include "batch.h"
#include "batch_convert.h"
#include "pcx2png_convert.h"
#include "png_io.h"

namespace archive {
namespace {

// As pcx2png's batch takes one picture: decoded within a budget of the pixel
// limit (a worker converts one at a time), and out of memory is this
// picture's refusal, never the process's end.
template <typename Read>
Png convert_read(const Read& read, bool keep_alpha, int64_t max_pixels, pngio::Pool<pcx2png::Workspace>& workspaces) {
    Png out;
    try {
        std::vector<uint8_t> input;
        if (!read(&input, &out.why)) return out;
        tools::PixelBudget budget(max_pixels);
        const convert::Outcome outcome = pcx2png::convert_picture(keep_alpha, input, budget, workspaces, &out.png);
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

}  // namespace

struct Converter::Kept {
    pngio::Pool<pcx2png::Workspace> workspaces;
};

Converter::Converter() : kept_(std::make_unique<Kept>()) {}

Converter::~Converter() = default;

Png Converter::png_of(const std::string& path, bool keep_alpha, int64_t max_pixels) {
    return convert_read([&](std::vector<uint8_t>* bytes,
                            std::string* why) { return pcx2png::read_bounded(path, max_pixels, bytes, why); },
                        keep_alpha, max_pixels, kept_->workspaces);
}

Png Converter::page_png_of(const std::string& path, const PageJob& page, bool keep_alpha, int64_t max_pixels) {
    convert::Page entry;
    entry.number = page.number;
    entry.count = page.count;
    entry.offset = page.offset;
    entry.extent = page.extent;
    entry.faults = page.faults;
    return convert_read([&](std::vector<uint8_t>* bytes,
                            std::string* why) { return pcx2png::read_page(path, entry, max_pixels, bytes, why); },
                        keep_alpha, max_pixels, kept_->workspaces);
}

bool parse_pages(const std::string& text, std::vector<PageRange>* ranges) {
    std::vector<pcx2png::PageRange> parsed;
    if (!pcx2png::parse_pages(text, &parsed)) return false;
    for (const pcx2png::PageRange& range : parsed) ranges->push_back({range.first, range.last});
    return true;
}

bool pages_of(const std::string& path, const std::vector<PageRange>& ranges, const std::string& output,
              std::vector<PageJob>* pages) {
    std::vector<pcx2png::PageRange> wanted;
    wanted.reserve(ranges.size());
    for (const PageRange& range : ranges) wanted.push_back({range.first, range.last});
    std::vector<convert::Page> listed;
    try {
        if (!pcx2png::list_pages(wanted, path, &listed)) return false;
    } catch (const std::bad_alloc&) {
        return false;  // as pcx2png plans it: the file is then one job, refused when it is read
    }
    for (const convert::Page& page : listed) {
        pages->push_back({page.number, page.count, page.offset, page.extent, page.faults, page.refused,
                          convert::page_output(output, page)});
    }
    return true;
}

}  // namespace archive
