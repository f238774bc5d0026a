#include "pcx_file.h"

#include <raster/pcx_codec.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

#include "inputs.h"
#include "paths.h"
#include "pcx_words.h"

namespace tools {

namespace {

constexpr uint64_t kHeaderBytes = PCX_HEADER_BYTES;
constexpr uint64_t kTrailerBytes = PCX_TRAILER_BYTES;
// Standard input cannot be read at an offset, so a multi-page file there
// is held whole; its offsets are 32-bit, and no page can need more than
// this past the last one.
constexpr uint64_t kLargestStream = (uint64_t{1} << 32) + (uint64_t{1} << 30);
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

// A multi-page file: its head for a file (the pages are read at their
// offsets later), the whole stream for standard input.
bool read_container(FILE* input, const std::string& path, PcxFile* file, std::string* error) {
    file->dcx = true;
    if (path == "-") {
        if (!read_at_most(input, kLargestStream, &file->bytes, error)) return false;
        file->file_size = file->bytes.size();
        return true;
    }
    std::error_code code;
    file->file_size = std::filesystem::file_size(path_of(path), code);
    if (code) {
        *error = "cannot be read: " + code.message();
        return false;
    }
    return read_at_most(input, PCX_DCX_HEAD_BYTES, &file->bytes, error);
}

// Reads a picture of at most `extent` bytes from where `input` stands.
bool read_picture(FILE* input, const std::string& path, uint64_t extent, int64_t max_pixels, PcxFile* file,
                  std::string* error) {
    pcx_facts facts;
    if (!take_header(file->bytes, max_pixels, &facts, error)) return false;
    file->limit = largest_pcx_file(facts.height, facts.planes, facts.bytes_per_line);
    try {
        reserve(path, std::min(file->limit, extent), &file->bytes);
        if (!read_at_most(input, std::min(file->limit + 1, extent), &file->bytes, error)) return false;
    } catch (const std::bad_alloc&) {
        *error = "not enough memory to read " + std::to_string(file->limit) + " bytes";
        return false;
    }
    file->longer = file->bytes.size() > file->limit;
    if (file->longer) file->bytes.resize(static_cast<size_t>(file->limit));
    return true;
}

bool read_open(FILE* input, const std::string& path, int64_t max_pixels, PcxFile* file, std::string* error) {
    *file = PcxFile();
    if (!read_at_most(input, kHeaderBytes, &file->bytes, error)) return false;
    if (file->bytes.empty()) {
        *error = "empty file";
        return false;
    }
    if (pcx_is_dcx(file->bytes.data(), file->bytes.size()) != 0) return read_container(input, path, file, error);
    return read_picture(input, path, UINT64_MAX, max_pixels, file, error);
}

// Moves to `offset` in a file opened for reading; offsets reach 4 GiB,
// past what a 32-bit long holds.
bool seek(FILE* input, uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(input, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(input, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
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

bool read_page(const std::string& path, const PcxFile& container, const pcx_dcx_page& page, int64_t max_pixels,
               PcxFile* file, std::string* error) {
    *file = PcxFile();
    const auto offset = static_cast<uint64_t>(page.offset);
    const auto extent = static_cast<uint64_t>(page.extent);
    if (container.bytes.size() == container.file_size) {  // held whole
        const auto* start = container.bytes.data() + offset;
        file->bytes.assign(start, start + std::min<uint64_t>(extent, kHeaderBytes));
        pcx_facts facts;
        if (!take_header(file->bytes, max_pixels, &facts, error)) return false;
        file->limit = largest_pcx_file(facts.height, facts.planes, facts.bytes_per_line);
        file->longer = extent > file->limit;
        file->bytes.assign(start, start + std::min(extent, file->limit));
        return true;
    }
    return read_page(path, page, max_pixels, file, error);
}

bool read_page(const std::string& path, const pcx_dcx_page& page, int64_t max_pixels, PcxFile* file,
               std::string* error) {
    *file = PcxFile();
    const auto offset = static_cast<uint64_t>(page.offset);
    const auto extent = static_cast<uint64_t>(page.extent);
    FILE* input = open_input(path, error);
    if (input == nullptr) return false;
    bool read = seek(input, offset);
    if (!read) *error = "cannot be read: " + std::string(std::strerror(errno));
    read = read && read_at_most(input, std::min<uint64_t>(extent, kHeaderBytes), &file->bytes, error) &&
           read_picture(input, path, extent, max_pixels, file, error);
    close_input(input);
    return read;
}

bool read_dcx_head(const std::string& path, PcxFile* file, std::string* error) {
    *file = PcxFile();
    FILE* input = open_input(path, error);
    if (input == nullptr) return false;
    bool dcx = read_at_most(input, 4, &file->bytes, error) && pcx_is_dcx(file->bytes.data(), file->bytes.size()) != 0;
    dcx = dcx && read_container(input, path, file, error);
    close_input(input);
    return dcx;
}

bool list_pages(const PcxFile& container, DcxPages* pages) {
    pages->pages.resize(PCX_DCX_MAX_PAGES);
    const int32_t result = pcx_dcx_list(container.bytes.data(), container.bytes.size(), container.file_size,
                                        &pages->facts, pages->pages.data(), PCX_DCX_MAX_PAGES);
    pages->pages.resize(result == PCX_OK ? static_cast<size_t>(pages->facts.pages) : 0);
    return result == PCX_OK;
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
