// PNG files in memory for pcx2png and png2pcx: written directly (rows
// filtered by the project's own kernels, the whole picture compressed in
// one go by libdeflate or our run encoder), read through libpng.
#ifndef TOOLS_PCXCONVERT_PNG_IO_H
#define TOOLS_PCXCONVERT_PNG_IO_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "run_deflate.h"

struct libdeflate_compressor;

namespace pngio {

enum class Kind { Palette, Rgb, Rgba };

// A picture to write: one byte a pixel (an index) for Palette, written at
// `bit_depth` (1, 2, 4 or 8) with `palette` (red, green, blue triples);
// three or four bytes a pixel for Rgb and Rgba. Rows top first, `stride`
// bytes apart.
struct Picture {
    Kind kind = Kind::Rgb;
    int width = 0;
    int height = 0;
    const uint8_t* pixels = nullptr;
    ptrdiff_t stride = 0;
    int bit_depth = 8;
    std::vector<uint8_t> palette;
};

// Writes PNG files, keeping its working memory (the filtered rows, the
// compressed data, the compressors) from one picture to the next, so that
// a worker converting file after file asks the system for no fresh pages.
// One thread at a time.
class Writer {
  public:
    Writer();
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // The PNG file's bytes in `out`; false with the reason in `error` (a
    // picture no PNG can hold); throws std::bad_alloc when there is no
    // memory for it.
    bool write(const Picture& picture, std::vector<uint8_t>* out, std::string* error);

    // The most memory writing `picture` can take beside its pixels: the
    // filtered rows, the compressed data at its bound, the file's bytes
    // (as large) and the sampling scratch. For a budget to count before the
    // pixels are decoded: a palette picture's size is that of its
    // `bit_depth`, so pass 8 when the depth is not known yet.
    size_t working_bytes(const Picture& picture);

  private:
    size_t bound(size_t raw, Kind kind);

    // Bytes that keep their pages: grown when a picture needs more, never
    // shrunk, never cleared.
    struct Buffer {
        std::unique_ptr<uint8_t[]> bytes;
        size_t size = 0;
        uint8_t* at_least(size_t count);
    };

    libdeflate_compressor* compressor(int level);
    bool compresses(const uint8_t* filtered, size_t size);
    void filter(const Picture& picture, size_t row_bytes, uint8_t* filtered);

    Buffer filtered_;
    Buffer deflated_;
    Buffer scratch_;
    // By level, made when first used.
    libdeflate_compressor* compressors_[13] = {};
    RunDeflater runs_;
};

// Working objects for many threads (writers, or whatever a conversion
// keeps from file to file): each conversion takes one for its time, so
// there are never more than there are threads converting at once, and each
// is reused by the next conversion on any thread.
template <class T>
class Pool {
  public:
    class Lease {
      public:
        Lease(Pool* pool, std::unique_ptr<T> item) : pool_(pool), item_(std::move(item)) {}
        ~Lease() { pool_->give_back(std::move(item_)); }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        T& operator*() const { return *item_; }
        T* operator->() const { return item_.get(); }

      private:
        Pool* pool_;
        std::unique_ptr<T> item_;
    };

    // An idle one, or a new one (std::bad_alloc when there is no memory).
    Lease take() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!idle_.empty()) {
            std::unique_ptr<T> item = std::move(idle_.back());
            idle_.pop_back();
            return Lease(this, std::move(item));
        }
        // Room to keep every one ever made, so that giving one back never
        // allocates.
        idle_.reserve(made_ + 1);
        std::unique_ptr<T> item = std::make_unique<T>();
        ++made_;
        return Lease(this, std::move(item));
    }

  private:
    void give_back(std::unique_ptr<T> item) {
        std::lock_guard<std::mutex> lock(mutex_);
        idle_.push_back(std::move(item));
    }

    std::mutex mutex_;
    std::vector<std::unique_ptr<T>> idle_;
    size_t made_ = 0;
};

using WriterPool = Pool<Writer>;

// The PNG file's bytes through a writer of its own (for a single picture).
bool write(const Picture& picture, std::vector<uint8_t>* out, std::string* error);

// A PNG read back for png2pcx. `channels` 1: one index a pixel into
// `palette` (palette pictures, and grey ones with a grey ramp as palette);
// 3: red, green, blue; 4: and alpha. 16-bit samples are scaled to 8 bits.
struct Image {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<uint8_t> palette;  // channels 1: red, green, blue triples
    std::vector<uint8_t> pixels;   // width * channels bytes a row, top row first
    bool transparent = false;      // channels 4 and some alpha below 255
};

class Reader {
  public:
    Reader();
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // The header: size and kind. False with the reason in `error`.
    bool open(const uint8_t* data, size_t size, std::string* error);
    int width() const { return width_; }
    int height() const { return height_; }
    // The pixels. With `alpha`, a picture with transparency (an alpha
    // channel or a transparent colour) comes as 4 channels; without, its
    // transparency is dropped and it comes as indices or red, green, blue.
    bool read(bool alpha, Image* image, std::string* error);

    // The bytes libpng reads from.
    struct Source {
        const uint8_t* data = nullptr;
        size_t size = 0;
        size_t position = 0;
    };

  private:
    int channels_for(bool alpha);

    void* png_ = nullptr;
    void* info_ = nullptr;
    Source source_;
    std::string message_;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace pngio

#endif  // TOOLS_PCXCONVERT_PNG_IO_H
