#include "image_files.h"

#include <gif_lib.h>
#include <png.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace record {

namespace {

struct FileCloser {
    void operator()(FILE* f) const {
        if (f != nullptr) std::fclose(f);
    }
};

std::string gif_error(int code) {
    const char* text = GifErrorString(code);
    return text != nullptr ? text : "GIF error " + std::to_string(code);
}

}  // namespace

bool write_png(const std::string& path, const Frame& frame, std::string* error) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        *error = "cannot create " + path;
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        *error = "out of memory writing " + path;
        return false;
    }
    std::vector<png_byte> row(static_cast<size_t>(frame.width) * 3);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        *error = "cannot write " + path;
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, frame.width, frame.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            const uint32_t p = frame.pixels[static_cast<size_t>(y) * frame.width + x];
            row[x * 3 + 0] = static_cast<png_byte>(p >> 16);
            row[x * 3 + 1] = static_cast<png_byte>(p >> 8);
            row[x * 3 + 2] = static_cast<png_byte>(p);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fflush(file.get()) != 0) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

GifWriter::~GifWriter() {
    if (gif_ != nullptr) EGifCloseFile(gif_, nullptr);
}

bool GifWriter::open(const std::string& path, int width, int height, int delay_centiseconds, std::string* error) {
    int code = 0;
    // Opened here rather than by giflib, so the file gets the usual
    // permissions (giflib would make it private to its owner).
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) {
        *error = "cannot create " + path;
        return false;
    }
    gif_ = EGifOpenFileHandle(fd, &code);
    if (gif_ == nullptr) {
        ::close(fd);
        *error = "cannot create " + path + ": " + gif_error(code);
        return false;
    }
    width_ = width;
    height_ = height;
    delay_ = delay_centiseconds;
    first_ = true;
    EGifSetGifVersion(gif_, true);
    return true;
}

bool GifWriter::add(const Frame& frame, std::string* error) {
    if (gif_ == nullptr) {
        *error = "GIF not open";
        return false;
    }
    if (frame.width != width_ || frame.height != height_) {
        *error = "frame size changed during the recording";
        return false;
    }
    // The frame's colours, sorted, so the same frame always gets the same map.
    std::vector<uint32_t> colours(frame.pixels);
    std::sort(colours.begin(), colours.end());
    colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
    if (colours.size() > 256) {
        *error = "a frame has " + std::to_string(colours.size()) + " colours; a GIF frame holds 256";
        return false;
    }
    int map_size = 2;
    while (map_size < static_cast<int>(colours.size())) map_size *= 2;
    std::vector<GifColorType> entries(map_size, GifColorType{0, 0, 0});
    for (size_t i = 0; i < colours.size(); ++i) {
        entries[i].Red = static_cast<GifByteType>(colours[i] >> 16);
        entries[i].Green = static_cast<GifByteType>(colours[i] >> 8);
        entries[i].Blue = static_cast<GifByteType>(colours[i]);
    }
    ColorMapObject* map = GifMakeMapObject(map_size, entries.data());
    if (map == nullptr) {
        *error = "out of memory";
        return false;
    }
    std::unique_ptr<ColorMapObject, void (*)(ColorMapObject*)> map_owner(map, GifFreeMapObject);

    if (first_) {
        // The first frame's map doubles as the global one, for viewers that
        // want one; every frame still carries its own.
        if (EGifPutScreenDesc(gif_, width_, height_, 8, 0, map) == GIF_ERROR) {
            *error = gif_error(gif_->Error);
            return false;
        }
        static const GifByteType kLoop[] = {1, 0, 0};  // repeat forever
        if (EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
            EGifPutExtensionBlock(gif_, 11, "NETSCAPE2.0") == GIF_ERROR ||
            EGifPutExtensionBlock(gif_, 3, kLoop) == GIF_ERROR || EGifPutExtensionTrailer(gif_) == GIF_ERROR) {
            *error = gif_error(gif_->Error);
            return false;
        }
        first_ = false;
    }

    GraphicsControlBlock gcb;
    gcb.DisposalMode = DISPOSE_DO_NOT;
    gcb.UserInputFlag = false;
    gcb.DelayTime = delay_;
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType gcb_bytes[4];
    const size_t gcb_length = EGifGCBToExtension(&gcb, gcb_bytes);
    if (EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(gcb_length), gcb_bytes) == GIF_ERROR ||
        EGifPutImageDesc(gif_, 0, 0, width_, height_, false, map) == GIF_ERROR) {
        *error = gif_error(gif_->Error);
        return false;
    }
    std::vector<GifPixelType> line(width_);
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            const uint32_t p = frame.pixels[static_cast<size_t>(y) * width_ + x];
            line[x] = static_cast<GifPixelType>(std::lower_bound(colours.begin(), colours.end(), p) - colours.begin());
        }
        if (EGifPutLine(gif_, line.data(), width_) == GIF_ERROR) {
            *error = gif_error(gif_->Error);
            return false;
        }
    }
    return true;
}

bool GifWriter::close(std::string* error) {
    if (gif_ == nullptr) return true;
    int code = 0;
    const int result = EGifCloseFile(gif_, &code);
    gif_ = nullptr;
    if (result == GIF_ERROR) {
        *error = "cannot finish the GIF: " + gif_error(code);
        return false;
    }
    return true;
}

}  // namespace record
