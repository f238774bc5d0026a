// A PCX file read no further than its picture can reach: the 128-byte
// header first, so that anything that is no PCX picture (a text, a device
// such as /dev/zero, a huge file of zeros) is refused after 128 bytes, and
// then at most the largest file the header's picture can need.
#ifndef TOOLS_COMMON_PCX_FILE_H
#define TOOLS_COMMON_PCX_FILE_H

#include <cstdint>
#include <string>
#include <vector>

namespace tools {

struct PcxFile {
    std::vector<uint8_t> bytes;  // the file, or its first `limit` bytes
    uint64_t limit = 0;          // the most the header's picture can need
    bool longer = false;         // the file goes on past `limit`
};

// The largest file a picture of this header can need: every byte of every
// plane line costing two bytes (a run of one), the 769-byte trailer, and a
// margin for padding some writers leave.
uint64_t largest_pcx_file(int64_t height, int64_t planes, int64_t bytes_per_line);

// Reads `path` ("-": standard input). False with why the file is refused in
// `error`: it does not exist or cannot be read, is empty, is no PCX picture
// (the codec's words), or has more than `max_pixels` pixels ("W x H pixels,
// more than --max-pixels N"); also "not enough memory to read N bytes".
bool read_pcx_file(const std::string& path, int64_t max_pixels, PcxFile* file, std::string* error);

// "the file goes on past the N bytes its picture can need; the rest was not read"
std::string longer_words(const PcxFile& file);

// "W x H pixels, more than --max-pixels N"
std::string too_large(int64_t width, int64_t height, int64_t limit);

// "not enough memory for W x H pixels"
std::string no_memory(int64_t width, int64_t height);

}  // namespace tools

#endif  // TOOLS_COMMON_PCX_FILE_H
