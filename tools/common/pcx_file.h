// A PCX file read no further than its picture can reach: the 128-byte
// header first, so that anything that is no PCX picture (a text, a device
// such as /dev/zero, a huge file of zeros) is refused after 128 bytes, and
// then at most the largest file the header's picture can need.
#ifndef TOOLS_COMMON_PCX_FILE_H
#define TOOLS_COMMON_PCX_FILE_H

#include <raster/pcx_codec.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tools {

struct PcxFile {
    std::vector<uint8_t> bytes;  // the file, or its first `limit` bytes
    uint64_t limit = 0;          // the most the header's picture can need
    bool longer = false;         // the file goes on past `limit`
    // A multi-page (DCX) file: `bytes` holds its head, the table
    // (pcx_dcx_list), or the whole file when read from standard input.
    bool dcx = false;
    uint64_t file_size = 0;  // of a DCX file
};

// The largest file a picture of this header can need: every byte of every
// plane line costing two bytes (a run of one), the 769-byte trailer, and a
// margin for padding some writers leave.
uint64_t largest_pcx_file(int64_t height, int64_t planes, int64_t bytes_per_line);

// Reads `path` ("-": standard input); a DCX file is recognised by its mark
// and only its head is read. False with why the file is refused in
// `error`: it does not exist or cannot be read, is empty, is no PCX picture
// (the codec's words), or has more than `max_pixels` pixels ("W x H pixels,
// more than --max-pixels N"); also "not enough memory to read N bytes".
bool read_pcx_file(const std::string& path, int64_t max_pixels, PcxFile* file, std::string* error);

// The head of `path` when it is a DCX file (false otherwise, or with why it
// cannot be read in `error`): for planning the pages of a batch without
// reading any picture.
bool read_dcx_head(const std::string& path, PcxFile* file, std::string* error);

struct DcxPages {
    pcx_dcx_facts facts{};
    std::vector<pcx_dcx_page> pages;  // in table order
};

// The pages a DCX head lists; false when it holds no DCX mark.
bool list_pages(const PcxFile& container, DcxPages* pages);

// Reads one listed page of the DCX file `path` whose head is `container`
// (from memory when the container holds the whole file, as for standard
// input), as read_pcx_file reads a picture: its header first, then no
// further than its extent and what its picture can need.
bool read_page(const std::string& path, const PcxFile& container, const pcx_dcx_page& page, int64_t max_pixels,
               PcxFile* file, std::string* error);
// The same from the file `path` itself.
bool read_page(const std::string& path, const pcx_dcx_page& page, int64_t max_pixels, PcxFile* file,
               std::string* error);

// "the file goes on past the N bytes its picture can need; the rest was not read"
std::string longer_words(const PcxFile& file);

// "W x H pixels, more than --max-pixels N"
std::string too_large(int64_t width, int64_t height, int64_t limit);

// "not enough memory for W x H pixels"
std::string no_memory(int64_t width, int64_t height);

}  // namespace tools

#endif  // TOOLS_COMMON_PCX_FILE_H
