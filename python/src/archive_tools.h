// One file's check and one file's conversion exactly as pcxcheck and pcx2png
// do them, for the archive module's workers: the same words, the same PNG
// bytes, because they are the tools' own code (pcxcheck's check and pcx2png's
// conversion libraries).
#ifndef PYTHON_SRC_ARCHIVE_TOOLS_H
#define PYTHON_SRC_ARCHIVE_TOOLS_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace archive {

// pcxcheck's verdict on one file: its kind (0 whole, 1 with notes only,
// 2 damaged, 3 refused, as pcxcheck counts them) and the lines it prints for
// the file, joined with newlines, without the last one.
struct Verdict {
    int kind = 3;
    std::string text;
};

Verdict check_file(const std::string& path, int64_t max_pixels);

// pcx2png's conversion of one file into memory: `result` is pcx2png's
// (0 converted, 1 converted with damage, 3 refused); `why` names the damage
// or the refusal; `png` holds the file's bytes for results 0 and 1.
struct Png {
    int result = 3;
    std::string why;
    std::vector<uint8_t> png;
};

struct PageJob;

// Conversions one after another (a worker's batch), each as pcx2png makes
// it, keeping their working memory (the decoded pixels, the PNG writer's
// buffers) from one file to the next as pcx2png's workers do: fresh pages
// for every file cost a conversion more than its decoding. One thread at a
// time.
class Converter {
  public:
    Converter();
    ~Converter();
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    Png png_of(const std::string& path, bool keep_alpha, int64_t max_pixels);
    // One page that pages_of listed.
    Png page_png_of(const std::string& path, const PageJob& page, bool keep_alpha, int64_t max_pixels);

  private:
    struct Kept;
    std::unique_ptr<Kept> kept_;
};

// One page of a multi-page file as pcx2png plans it: its number from 1, the
// file's page count, where it lies, the table's faults for it, why it is
// refused without being read (lost, or not in the file; empty otherwise) and
// its output, NAME-P.png beside the file's own.
struct PageJob {
    int number = 0;
    int count = 0;
    uint64_t offset = 0, extent = 0;
    int32_t faults = 0;
    std::string refused;
    std::string output;
};

// pcx2png --page's ranges, `last` 0 for an open end; false when `text` is
// not a list of them.
struct PageRange {
    int first = 0, last = 0;
};
bool parse_pages(const std::string& text, std::vector<PageRange>* ranges);

// The pages of the file at `path` that `ranges` select (every page when
// empty), with their outputs named from the file's own `output`; false for
// a file of one picture, converted whole.
bool pages_of(const std::string& path, const std::vector<PageRange>& ranges, const std::string& output,
              std::vector<PageJob>* pages);

// The tools' own list of inputs under a folder: every file ending in one of
// `extensions` (any case), in their order, as (path, path below the folder,
// size in bytes, 0 when it cannot be told). False with the tools' words in
// `error`.
struct Found {
    std::string path;
    std::string relative;
    uint64_t size = 0;
};
bool collect_folder(const std::string& folder, const std::vector<std::string>& extensions, std::vector<Found>* found,
                    std::string* error);

}  // namespace archive

#endif  // PYTHON_SRC_ARCHIVE_TOOLS_H
