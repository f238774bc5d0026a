#include "png_io.h"

#include <libdeflate.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <new>

#include "png_filter.h"

namespace pngio {

namespace {

// How the pictures are compressed (bench/README.md has the measurements
// behind the choice). Compression is most of a conversion's time, and the
// best compressor differs by kind:
// - indexed pictures: no filter (indices are no smooth signal; filtering
//   them costs time and usually bytes) and libdeflate's level 2 over the
//   whole picture in one call: its string search finds the repeats of
//   dithered and patterned art, in about half zlib's time at level 2 and
//   to fewer bytes (level 1 is quicker still but larger than zlib's on
//   dithered photographs);
// - true colour: the Paeth filter, which leaves small, repetitive residues
//   on gradients and photographs, and run-length matching with Huffman
//   codes a block (RunDeflater): on filtered true colour a string search
//   finds little that Huffman coding of the residues does not already win
//   (libdeflate's levels 1 to 6 came out larger, or slower, than zlib's
//   run-length strategy on grainy pictures), and our own encoder of that
//   one strategy spends a few instructions a byte where zlib's spends tens;
// - a picture whose data does not compress at all (noise, which stays noise
//   after any filter) is stored, which costs no search.
// One fixed filter a kind rather than a trial of all five on every row,
// which costs a third more time for under 0.1 % of bytes.
constexpr int kIndexedLevel = 2;
constexpr int kStored = 0;
constexpr uint8_t kFilterNone = 0;
constexpr uint8_t kFilterPaeth = 4;
// A picture whose sample (kSampleSlices slices of kSampleSlice bytes, from
// its start to its end) does not compress under kStoredAbove % of its size
// is stored rather than compressed.
constexpr size_t kSampleSlices = 4;
constexpr size_t kSampleSlice = 32768;
constexpr size_t kStoredAbove = 99;
// A chunk's data is at most 2^31 - 1 bytes; the compressed picture is cut
// into IDAT chunks of this size.
constexpr size_t kMostIdat = size_t{1} << 30;
constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

void put32(std::vector<uint8_t>* out, uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                              static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    out->insert(out->end(), bytes, bytes + 4);
}

// A chunk: length, type, data, and the CRC of type and data.
void put_chunk(std::vector<uint8_t>* out, const char* type, const uint8_t* data, size_t size) {
    put32(out, static_cast<uint32_t>(size));
    const size_t start = out->size();
    out->insert(out->end(), type, type + 4);
    if (size != 0) out->insert(out->end(), data, data + size);
    put32(out, libdeflate_crc32(0, out->data() + start, size + 4));
}

size_t bytes_per_pixel(Kind kind) { return kind == Kind::Rgba ? 4 : kind == Kind::Rgb ? 3 : 1; }

// A row's bytes in the file, before its filter byte.
size_t row_bytes(const Picture& picture) {
    const size_t width = static_cast<size_t>(picture.width);
    if (picture.kind != Kind::Palette) return width * bytes_per_pixel(picture.kind);
    return (width * static_cast<size_t>(picture.bit_depth) + 7) / 8;
}

// Indices of `depth` bits packed into bytes, leftmost pixel in the highest
// bits, the last byte's unused bits 0.
void pack_row(const uint8_t* indices, size_t width, int depth, uint8_t* out) {
    const int per_byte = 8 / depth;
    for (size_t x = 0; x < width; x += static_cast<size_t>(per_byte)) {
        unsigned byte = 0;
        for (int k = 0; k < per_byte; ++k) {
            const unsigned index = x + static_cast<size_t>(k) < width ? indices[x + static_cast<size_t>(k)] : 0;
            byte |= index << (8 - depth * (k + 1));
        }
        *out++ = static_cast<uint8_t>(byte);
    }
}

}  // namespace

uint8_t* Writer::Buffer::at_least(size_t count) {
    if (count > size) {
        // The old bytes go first, so that growing never holds both. Not
        // value-initialised: every byte is written before it is read.
        bytes.reset();
        size = 0;
        bytes.reset(new uint8_t[count]);
        size = count;
    }
    return bytes.get();
}

Writer::Writer() = default;

Writer::~Writer() {
    for (libdeflate_compressor* compressor : compressors_) libdeflate_free_compressor(compressor);
}

libdeflate_compressor* Writer::compressor(int level) {
    libdeflate_compressor*& kept = compressors_[level];
    if (kept == nullptr) kept = libdeflate_alloc_compressor(level);
    if (kept == nullptr) throw std::bad_alloc();
    return kept;
}

// Whether the filtered data compresses: slices from across the picture are
// tried at the indexed level (quick), and must shrink.
bool Writer::compresses(const uint8_t* filtered, size_t size) {
    if (size < kSampleSlices * kSampleSlice) return true;
    uint8_t* sample = scratch_.at_least(2 * kSampleSlices * kSampleSlice);
    for (size_t k = 0; k < kSampleSlices; ++k) {
        const size_t from = (size - kSampleSlice) / (kSampleSlices - 1) * k;
        std::memcpy(sample + k * kSampleSlice, filtered + from, kSampleSlice);
    }
    const size_t taken = kSampleSlices * kSampleSlice;
    const size_t room = taken * kStoredAbove / 100;
    // 0: it did not fit in the room.
    return libdeflate_zlib_compress(compressor(kIndexedLevel), sample, taken, sample + taken, room) != 0;
}

// Every row behind its filter byte, as the file holds it before compression.
void Writer::filter(const Picture& picture, size_t row, uint8_t* filtered) {
    const size_t width = static_cast<size_t>(picture.width);
    if (picture.kind == Kind::Palette) {
        for (int y = 0; y < picture.height; ++y, filtered += row + 1) {
            const uint8_t* pixels = picture.pixels + static_cast<ptrdiff_t>(y) * picture.stride;
            filtered[0] = kFilterNone;
            if (picture.bit_depth == 8) {
                std::memcpy(filtered + 1, pixels, row);
            } else {
                pack_row(pixels, width, picture.bit_depth, filtered + 1);
            }
        }
        return;
    }
    const FilterRow paeth = filters().paeth;
    const int bpp = static_cast<int>(bytes_per_pixel(picture.kind));
    uint8_t* zeros = scratch_.at_least(row);
    std::memset(zeros, 0, row);
    const uint8_t* prior = zeros;
    for (int y = 0; y < picture.height; ++y, filtered += row + 1) {
        const uint8_t* pixels = picture.pixels + static_cast<ptrdiff_t>(y) * picture.stride;
        filtered[0] = kFilterPaeth;
        paeth(pixels, prior, filtered + 1, row, bpp);
        prior = pixels;
    }
}

bool Writer::write(const Picture& picture, std::vector<uint8_t>* out, std::string* error) {
    out->clear();
    if (picture.width <= 0 || picture.height <= 0) {
        *error = "a PNG picture has at least one pixel";
        return false;
    }
    const size_t row = row_bytes(picture);
    const size_t raw = (row + 1) * static_cast<size_t>(picture.height);
    uint8_t* filtered = filtered_.at_least(raw);
    filter(picture, row, filtered);
    size_t compressed = 0;
    uint8_t* deflated = nullptr;
    const bool stored = !compresses(filtered, raw);
    const size_t room = bound(raw, picture.kind);
    deflated = deflated_.at_least(room);
    if (!stored && picture.kind != Kind::Palette) {
        compressed = runs_.compress(filtered, raw, deflated, room);
    } else {
        compressed =
            libdeflate_zlib_compress(compressor(stored ? kStored : kIndexedLevel), filtered, raw, deflated, room);
    }
    if (compressed == 0) {
        *error = "the compressed picture did not fit its bound";
        return false;
    }

    const size_t chunks = (compressed + kMostIdat - 1) / kMostIdat;
    out->reserve(sizeof kSignature + 25 + 12 + picture.palette.size() + compressed + 12 * chunks + 12);
    out->insert(out->end(), kSignature, kSignature + sizeof kSignature);
    const uint8_t type = picture.kind == Kind::Palette ? 3 : picture.kind == Kind::Rgb ? 2 : 6;
    const uint8_t depth = static_cast<uint8_t>(picture.kind == Kind::Palette ? picture.bit_depth : 8);
    std::vector<uint8_t> header;
    put32(&header, static_cast<uint32_t>(picture.width));
    put32(&header, static_cast<uint32_t>(picture.height));
    header.insert(header.end(), {depth, type, 0, 0, 0});  // deflate, adaptive filters, not interlaced
    put_chunk(out, "IHDR", header.data(), header.size());
    if (picture.kind == Kind::Palette) put_chunk(out, "PLTE", picture.palette.data(), picture.palette.size());
    for (size_t at = 0; at < compressed; at += kMostIdat) {
        put_chunk(out, "IDAT", deflated + at, compressed - at < kMostIdat ? compressed - at : kMostIdat);
    }
    put_chunk(out, "IEND", nullptr, 0);
    return true;
}

// Room for `raw` bytes of a picture of `kind` compressed by either way
// write() may take for it (stored, when the data does not compress).
size_t Writer::bound(size_t raw, Kind kind) {
    const size_t compressed = kind == Kind::Palette ? libdeflate_zlib_compress_bound(compressor(kIndexedLevel), raw)
                                                    : RunDeflater::bound(raw);
    return std::max(compressed, libdeflate_zlib_compress_bound(compressor(kStored), raw));
}

size_t Writer::working_bytes(const Picture& picture) {
    const size_t raw = (row_bytes(picture) + 1) * static_cast<size_t>(picture.height);
    const size_t sample = raw < kSampleSlices * kSampleSlice ? 0 : 2 * kSampleSlices * kSampleSlice;
    const size_t scratch = std::max(sample, picture.kind == Kind::Palette ? 0 : row_bytes(picture));
    // The palette at its largest: it is not known before the pixels are.
    const size_t compressed = bound(raw, picture.kind);
    const size_t file = sizeof kSignature + 25 + 12 + 768 + compressed + 12 * (raw / kMostIdat + 1) + 12;
    const size_t runs = picture.kind == Kind::Palette ? 0 : RunDeflater::working_bytes(raw);
    return raw + compressed + file + scratch + runs;
}

bool write(const Picture& picture, std::vector<uint8_t>* out, std::string* error) {
    Writer writer;
    return writer.write(picture, out, error);
}

// ---- reading --------------------------------------------------------------

namespace {

void on_error(png_structp png, png_const_charp message) {
    *static_cast<std::string*>(png_get_error_ptr(png)) = message;
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

}  // namespace

Reader::Reader() {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &message_, on_error, on_warning);
    png_ = png;
    if (png != nullptr) info_ = png_create_info_struct(png);
}

Reader::~Reader() {
    png_structp png = static_cast<png_structp>(png_);
    png_infop info = static_cast<png_infop>(info_);
    if (png != nullptr) png_destroy_read_struct(&png, &info, nullptr);
}

namespace {

void read_data(png_structp png, png_bytep bytes, size_t count) {
    Reader::Source* source = static_cast<Reader::Source*>(png_get_io_ptr(png));
    if (count > source->size - source->position) png_error(png, "the file ends inside the picture");
    std::memcpy(bytes, source->data + source->position, count);
    source->position += count;
}

bool read_info(png_structp png, png_infop info, Reader::Source* source) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, source, read_data);
    png_read_info(png, info);
    return true;
}

// The transformations that turn every kind into 1, 3 or 4 bytes a pixel.
bool set_transforms(png_structp png, png_infop info, int channels) {
    if (setjmp(png_jmpbuf(png))) return false;
    const int type = png_get_color_type(png, info);
    png_set_scale_16(png);
    if (channels == 1) {
        if (type & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(png);
        png_set_packing(png);
    } else if (channels == 3) {
        png_set_strip_alpha(png);
    } else {
        // Palette to colours, low grey depths to 8 bits, a transparent
        // colour to alpha.
        png_set_expand(png);
        if (!(type & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return true;
}

bool read_rows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    return true;
}

}  // namespace

bool Reader::open(const uint8_t* data, size_t size, std::string* error) {
    png_structp png = static_cast<png_structp>(png_);
    png_infop info = static_cast<png_infop>(info_);
    if (info == nullptr) {
        *error = "not enough memory for libpng";
        return false;
    }
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0) {
        *error = "not a PNG picture";
        return false;
    }
    source_ = {data, size, 0};
    // The size limits are the caller's (--max-pixels), not libpng's.
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
    if (!read_info(png, info, &source_)) {
        *error = message_;
        return false;
    }
    width_ = static_cast<int>(png_get_image_width(png, info));
    height_ = static_cast<int>(png_get_image_height(png, info));
    return true;
}

// Palette and grey pictures as indices, unless their transparency is kept.
int Reader::channels_for(bool alpha) {
    png_structp png = static_cast<png_structp>(png_);
    png_infop info = static_cast<png_infop>(info_);
    const int type = png_get_color_type(png, info);
    const bool transparency = (type & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (alpha && transparency) return 4;
    return (type & PNG_COLOR_MASK_COLOR) != 0 && type != PNG_COLOR_TYPE_PALETTE ? 3 : 1;
}

bool Reader::read(bool alpha, Image* image, std::string* error) {
    png_structp png = static_cast<png_structp>(png_);
    png_infop info = static_cast<png_infop>(info_);
    const int channels = channels_for(alpha);
    const int type = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    if (!set_transforms(png, info, channels)) {
        *error = message_;
        return false;
    }
    image->width = width_;
    image->height = height_;
    image->channels = channels;
    image->palette.clear();
    if (channels == 1 && type == PNG_COLOR_TYPE_PALETTE) {
        png_colorp colours = nullptr;
        int count = 0;
        png_get_PLTE(png, info, &colours, &count);
        for (int i = 0; i < count; ++i)
            image->palette.insert(image->palette.end(), {colours[i].red, colours[i].green, colours[i].blue});
    } else if (channels == 1) {
        const int levels = 1 << (depth > 8 ? 8 : depth);
        for (int i = 0; i < levels; ++i) {
            const uint8_t grey = static_cast<uint8_t>(i * 255 / (levels - 1));
            image->palette.insert(image->palette.end(), {grey, grey, grey});
        }
    }
    const size_t row = static_cast<size_t>(width_) * static_cast<size_t>(channels);
    if (png_get_rowbytes(png, info) != row) {
        *error = "an unexpected row size after conversion";
        return false;
    }
    image->pixels.assign(row * static_cast<size_t>(height_), 0);
    std::vector<png_bytep> rows(static_cast<size_t>(height_));
    for (size_t y = 0; y < rows.size(); ++y) rows[y] = image->pixels.data() + y * row;
    if (!read_rows(png, rows.data())) {
        *error = message_;
        return false;
    }
    image->transparent = false;
    for (size_t i = 3; channels == 4 && i < image->pixels.size(); i += 4) {
        if (image->pixels[i] != 0xff) {
            image->transparent = true;
            break;
        }
    }
    return true;
}

}  // namespace pngio
