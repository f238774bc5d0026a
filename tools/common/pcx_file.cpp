#include "pcx_file.h"

#include <raster/pcx_codec.h>

#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>

#include "inputs.h"
#include "pcx_words.h"

namespace tools {

namespace {

constexpr uint64_t kHeaderBytes = 128;
constexpr uint64_t kTrailerBytes = 769;
// Room for the zero bytes some writers pad a file with (to a block, or to
// an even size); anything past it cannot be the picture's.
constexpr uint64_t kMargin = 4096;

// The header's facts; false with the refusal in `error`.
bool take_header(const std::vector<uint8_t>& header, int64_t max_pixels, pcx_facts* facts, std::string* error) {
    const int32_t result = pcx_inspect(header.data(), header.size(), facts);
    if (result != PCX_OK) {
        *error = refusal_words(result, *facts);
        return false;
    }
    if (int64_t{facts->width} * facts->height > max_pixels) {
        *error = too_large(facts->width, facts->height, max_pixels);
        return false;
    }
    return true;
}

// Room for the bytes to come, when the file says how many there are, so the
// buffer is never moved while it grows.
void reserve(const std::string& path, uint64_t limit, std::vector<uint8_t>* bytes) {
    std::error_code code;
    if (path == "-" || !std::filesystem::is_regular_file(path, code)) return;
    const uint64_t size = std::filesystem::file_size(path, code);
    if (!code) bytes->reserve(static_cast<size_t>(std::min(size, limit + 1)));
}

bool read_open(FILE* input, const std::string& path, int64_t max_pixels, PcxFile* file, std::string* error) {
    file->bytes.clear();
    if (!read_at_most(input, kHeaderBytes, &file->bytes, error)) return false;
    if (file->bytes.empty()) {
        *error = "empty file";
        return false;
    }
    pcx_facts facts;
    if (!take_header(file->bytes, max_pixels, &facts, error)) return false;
    file->limit = largest_pcx_file(facts.height, facts.planes, facts.bytes_per_line);
    try {
        reserve(path, file->limit, &file->bytes);
        if (!read_at_most(input, file->limit + 1, &file->bytes, error)) return false;
    } catch (const std::bad_alloc&) {
        *error = "not enough memory to read " + std::to_string(file->limit) + " bytes";
        return false;
    }
    file->longer = file->bytes.size() > file->limit;
    if (file->longer) file->bytes.resize(static_cast<size_t>(file->limit));
    return true;
}

}  // namespace

uint64_t largest_pcx_file(int64_t height, int64_t planes, int64_t bytes_per_line) {
    const uint64_t line = 2 * static_cast<uint64_t>(planes) * static_cast<uint64_t>(bytes_per_line);
    return kHeaderBytes + line * static_cast<uint64_t>(height) + kTrailerBytes + kMargin;
}

bool read_pcx_file(const std::string& path, int64_t max_pixels, PcxFile* file, std::string* error) {
    FILE* input = open_input(path, error);
    if (input == nullptr) return false;
    const bool read = read_open(input, path, max_pixels, file, error);
    close_input(input);
    return read;
}

std::string longer_words(const PcxFile& file) {
    return "the file goes on past the " + std::to_string(file.limit) +
           " bytes its picture can need; the rest was not read";
}

std::string too_large(int64_t width, int64_t height, int64_t limit) {
    return std::to_string(width) + " x " + std::to_string(height) + " pixels, more than --max-pixels " +
           std::to_string(limit);
}

std::string no_memory(int64_t width, int64_t height) {
    return "not enough memory for " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

}  // namespace tools
