#include "png_io.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>
#include <new>

namespace pngio {

namespace {

// How the pictures are compressed (bench/README.md has the measurements
// behind the choice). PNG writing is most of a conversion's time, and most
// of that is zlib's search for repeated strings:
// - indexed pictures: no filter (indices are no smooth signal; filtering
//   them costs time and usually bytes) and zlib level 2, whose quick search
//   still finds the repeats of dithered and patterned art that run-length
//   matching alone misses: two thirds of the default level 6's time for
//   about 5 % more bytes;
// - true colour: the Paeth filter, which leaves small, repetitive residues
//   on gradients and photographs, and run-length matching (Z_RLE) instead
//   of the string search, which on filtered true colour finds little that
//   Huffman coding of the residues does not already win: 1.6 times as fast
//   as level 2 with the same filter, for no more bytes.
constexpr int kIndexedLevel = 2;

void on_error(png_structp png, png_const_charp message) {
    *static_cast<std::string*>(png_get_error_ptr(png)) = message;
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

void append(png_structp png, png_bytep data, size_t count) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    bool stored = true;
    try {
        out->insert(out->end(), data, data + count);
    } catch (const std::bad_alloc&) {
        stored = false;
    }
    if (!stored) png_error(png, "not enough memory for the PNG file");
}

void flush_nothing(png_structp) {}

// Everything that may end in png_error, under one setjmp; no object with a
// destructor lives in this frame.
bool write_all(png_structp png, png_infop info, const Picture& picture, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    const int type = picture.kind == Kind::Palette ? PNG_COLOR_TYPE_PALETTE
                     : picture.kind == Kind::Rgb   ? PNG_COLOR_TYPE_RGB
                                                   : PNG_COLOR_TYPE_RGB_ALPHA;
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height),
                 picture.kind == Kind::Palette ? picture.bit_depth : 8, type, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (picture.kind == Kind::Palette) {
        png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(picture.palette.data()),
                     static_cast<int>(picture.palette.size() / 3));
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
        png_set_compression_level(png, kIndexedLevel);
        png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
    } else {
        // One fixed filter rather than libpng's trial of all five on every
        // row, which costs a third more time for under 0.1 % of bytes.
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH);
        png_set_compression_strategy(png, Z_RLE);
    }
    // Larger IDAT chunks: fewer calls into zlib and fewer chunk headers.
    png_set_compression_buffer_size(png, 1 << 17);
    png_write_info(png, info);
    if (picture.kind == Kind::Palette && picture.bit_depth < 8) png_set_packing(png);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

bool write(const Picture& picture, std::vector<uint8_t>* out, std::string* error) {
    out->clear();
    // Room for the worst case (incompressible rows, their filter bytes and
    // the chunks around them), so the file is never moved while it grows;
    // pages the file does not reach are never touched.
    const size_t bytes_per_pixel = picture.kind == Kind::Rgba ? 4 : picture.kind == Kind::Rgb ? 3 : 1;
    const size_t raw = (static_cast<size_t>(picture.width) * bytes_per_pixel + 1) * static_cast<size_t>(picture.height);
    out->reserve(raw + raw / 1000 + 65536);  // std::bad_alloc is the caller's
    std::vector<png_bytep> rows(static_cast<size_t>(picture.height));
    for (size_t y = 0; y < rows.size(); ++y) {
        rows[y] = const_cast<png_bytep>(picture.pixels + static_cast<ptrdiff_t>(y) * picture.stride);
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, on_error, on_warning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    bool written = false;
    if (info != nullptr) {
        png_set_write_fn(png, out, append, flush_nothing);
        written = write_all(png, info, picture, rows.data());
    } else {
        *error = "not enough memory for libpng";
    }
    png_destroy_write_struct(&png, &info);
    return written;
}

// ---- reading --------------------------------------------------------------

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
