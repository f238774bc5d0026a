// pcx2png's conversion of one picture (or one page of a multi-page file) to
// PNG bytes, and its reading and listing of pages: a library beside the
// program, so that whoever converts files for pcx2png's users elsewhere (the
// Python archive commands) writes the program's very bytes.
#ifndef TOOLS_PCXCONVERT_PCX2PNG_CONVERT_H
#define TOOLS_PCXCONVERT_PCX2PNG_CONVERT_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "batch.h"
#include "batch_convert.h"
#include "png_io.h"

namespace pcx2png {

// What a conversion keeps for the next one: the PNG writer's buffers and
// the decoded pixels' bytes, so that a worker converting file after file
// (or page after page) asks the system for no fresh pages, which it would
// zero, for either. One is lent to a conversion at a time, so there are no
// more of them than threads converting.
class Workspace {
  public:
    pngio::Writer writer;

    // Room for `count` bytes of pixels, grown when a picture needs more
    // (the old bytes freed first, so that growing never holds both), never
    // shrunk. Not cleared: the decoder writes every byte of every row, and
    // zeros the rows a damaged file does not hold.
    uint8_t* pixels_for(size_t count) {
        if (count > size_) {
            pixels_.reset();
            size_ = 0;
            pixels_.reset(new uint8_t[count]);
            size_ = count;
        }
        return pixels_.get();
    }

  private:
    std::unique_ptr<uint8_t[]> pixels_;
    size_t size_ = 0;
};

// The picture in `data` as PNG bytes: indices as a palette PNG of the fewest
// bits that hold them, true colour as RGB (RGBA for four planes with
// `keep_alpha`), its pixels and the writer's buffers held in `budget`.
convert::Outcome convert_picture(bool keep_alpha, const std::vector<uint8_t>& data, tools::PixelBudget& budget,
                                 pngio::Pool<Workspace>& workspaces, std::vector<uint8_t>* png);

// The PCX file read no further than its picture can reach.
bool read_bounded(const std::string& path, int64_t max_pixels, std::vector<uint8_t>* bytes, std::string* error);

// --page: inclusive ranges of page numbers, `last` 0 for an open end.
struct PageRange {
    int first, last;
};

// --page's value as ranges; false when it is not one.
bool parse_pages(const std::string& text, std::vector<PageRange>* ranges);

// The pages of a DCX input that --page selects; pages asked for that the
// file does not have are refused by number.
bool list_pages(const std::vector<PageRange>& ranges, const std::string& path, std::vector<convert::Page>* pages);

// One page of a multi-page file read within `max_pixels`; false with why not.
bool read_page(const std::string& path, const convert::Page& page, int64_t max_pixels, std::vector<uint8_t>* bytes,
               std::string* error);

}  // namespace pcx2png

#endif  // TOOLS_PCXCONVERT_PCX2PNG_CONVERT_H
