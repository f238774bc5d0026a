#include "pixman_peers.h"

#include <pixman.h>

#include <cstring>

namespace peers {

namespace {

// Rows padded to whole 32-bit words, as pixman wants them.
struct Pixels {
    std::vector<uint32_t> words;
    int width = 0;
    int height = 0;
    int stride_words = 0;

    Pixels(int w, int h, int bytes_per_pixel) : width(w), height(h), stride_words((w * bytes_per_pixel + 3) / 4) {
        words.assign(static_cast<size_t>(stride_words) * h, 0);
    }
    uint8_t* row(int y) { return reinterpret_cast<uint8_t*>(words.data() + static_cast<size_t>(y) * stride_words); }
    const uint8_t* row(int y) const {
        return reinterpret_cast<const uint8_t*>(words.data() + static_cast<size_t>(y) * stride_words);
    }
};

pixman_image_t* wrap(Pixels& p, pixman_format_code_t format) {
    return pixman_image_create_bits(format, p.width, p.height, p.words.data(), p.stride_words * 4);
}

void release(pixman_image_t* image) {
    if (image != nullptr) pixman_image_unref(image);
}

// Nearest sampling of `source` onto all of a dest_width x dest_height
// destination.
void set_scale(pixman_image_t* source, int width, int height, int dest_width, int dest_height) {
    pixman_transform_t t;
    pixman_transform_init_identity(&t);
    t.matrix[0][0] = static_cast<pixman_fixed_t>((static_cast<int64_t>(width) << 16) / dest_width);
    t.matrix[1][1] = static_cast<pixman_fixed_t>((static_cast<int64_t>(height) << 16) / dest_height);
    pixman_image_set_transform(source, &t);
    pixman_image_set_filter(source, PIXMAN_FILTER_NEAREST, nullptr, 0);
}

}  // namespace

// ---- PixmanSliceBlt -------------------------------------------------------------

struct PixmanSliceBlt::Impl {
    Pixels source;
    Pixels target;
    pixman_image_t* source_image = nullptr;
    pixman_image_t* target_image = nullptr;
    Impl(int w, int h, int sw, int sh) : source(w, h, 1), target(sw, sh, 1) {}
    ~Impl() {
        release(target_image);
        release(source_image);
    }
};

PixmanSliceBlt::PixmanSliceBlt(const uint8_t* pixels, int width, int height, int slice_width, int slice_height)
    : impl_(new Impl(width, height, slice_width, slice_height)) {
    for (int y = 0; y < height; ++y) std::memcpy(impl_->source.row(y), pixels + static_cast<size_t>(y) * width, width);
    impl_->source_image = wrap(impl_->source, PIXMAN_a8);
    impl_->target_image = wrap(impl_->target, PIXMAN_a8);
}

PixmanSliceBlt::~PixmanSliceBlt() = default;

bool PixmanSliceBlt::ok() const { return impl_->source_image != nullptr && impl_->target_image != nullptr; }

// pixman_blt takes 16- and 32-bit pixels only; an unscaled SRC composite
// between two a8 pictures is its copy of bytes (a memcpy per row).
bool PixmanSliceBlt::blit(int left) {
    pixman_image_composite32(PIXMAN_OP_SRC, impl_->source_image, nullptr, impl_->target_image, left, 0, 0, 0, 0, 0,
                             impl_->target.width, impl_->target.height);
    return true;
}

std::vector<uint8_t> PixmanSliceBlt::target() const {
    const Pixels& t = impl_->target;
    std::vector<uint8_t> out(static_cast<size_t>(t.width) * t.height);
    for (int y = 0; y < t.height; ++y) std::memcpy(&out[static_cast<size_t>(y) * t.width], t.row(y), t.width);
    return out;
}

// ---- PixmanScale8 ---------------------------------------------------------------

struct PixmanScale8::Impl {
    Pixels source;
    pixman_image_t* image = nullptr;
    std::vector<Pixels> targets;
    std::vector<pixman_image_t*> target_images;
    std::vector<pixman_image_t*> scaled_sources;  // the source, one transform per size
    explicit Impl(int w, int h) : source(w, h, 1) {}
    ~Impl() {
        for (pixman_image_t* i : scaled_sources) release(i);
        for (pixman_image_t* i : target_images) release(i);
        release(image);
    }
};

PixmanScale8::PixmanScale8(const uint8_t* pixels, int width, int height, const std::vector<Size>& sizes)
    : impl_(new Impl(width, height)) {
    for (int y = 0; y < height; ++y) std::memcpy(impl_->source.row(y), pixels + static_cast<size_t>(y) * width, width);
    impl_->targets.reserve(sizes.size());
    for (const Size& s : sizes) {
        impl_->targets.emplace_back(s.width, s.height, 1);
        impl_->target_images.push_back(wrap(impl_->targets.back(), PIXMAN_a8));
        pixman_image_t* source = wrap(impl_->source, PIXMAN_a8);
        if (source != nullptr) set_scale(source, width, height, s.width, s.height);
        impl_->scaled_sources.push_back(source);
    }
}

PixmanScale8::~PixmanScale8() = default;

bool PixmanScale8::ok() const {
    for (size_t i = 0; i < impl_->targets.size(); ++i) {
        if (impl_->target_images[i] == nullptr || impl_->scaled_sources[i] == nullptr) return false;
    }
    return true;
}

void PixmanScale8::scale(int which) {
    const size_t i = static_cast<size_t>(which);
    pixman_image_composite32(PIXMAN_OP_SRC, impl_->scaled_sources[i], nullptr, impl_->target_images[i], 0, 0, 0, 0, 0,
                             0, impl_->targets[i].width, impl_->targets[i].height);
}

// ---- PixmanPresent8 -------------------------------------------------------------

struct PixmanPresent8::Impl {
    Pixels source;
    Pixels converted;
    Pixels window;
    pixman_indexed_t colours;
    pixman_image_t* source_image = nullptr;
    pixman_image_t* converted_image = nullptr;  // 32-bit, scaled onto the window
    pixman_image_t* converted_plain = nullptr;  // the same pixels, written one to one
    pixman_image_t* window_image = nullptr;
    Impl(int w, int h, int ww, int wh) : source(w, h, 1), converted(w, h, 4), window(ww, wh, 4) {}
    ~Impl() {
        release(window_image);
        release(converted_plain);
        release(converted_image);
        release(source_image);
    }
};

PixmanPresent8::PixmanPresent8(const uint8_t* pixels, int width, int height, const uint8_t* rgb, int window_width,
                               int window_height)
    : impl_(new Impl(width, height, window_width, window_height)) {
    Impl& m = *impl_;
    for (int y = 0; y < height; ++y) std::memcpy(m.source.row(y), pixels + static_cast<size_t>(y) * width, width);
    std::memset(&m.colours, 0, sizeof m.colours);
    for (int i = 0; i < 256; ++i) {
        m.colours.rgba[i] =
            0xFF000000u | (uint32_t{rgb[i * 3]} << 16) | (uint32_t{rgb[i * 3 + 1]} << 8) | rgb[i * 3 + 2];
    }
    m.source_image = wrap(m.source, PIXMAN_c8);
    if (m.source_image != nullptr) pixman_image_set_indexed(m.source_image, &m.colours);
    m.window_image = wrap(m.window, PIXMAN_x8r8g8b8);
    if (window_width != width || window_height != height) {
        m.converted_image = wrap(m.converted, PIXMAN_x8r8g8b8);
        m.converted_plain = wrap(m.converted, PIXMAN_x8r8g8b8);
        if (m.converted_image != nullptr) set_scale(m.converted_image, width, height, window_width, window_height);
    }
}

PixmanPresent8::~PixmanPresent8() = default;

bool PixmanPresent8::ok() const {
    const Impl& m = *impl_;
    const bool one_to_one = m.window.width == m.source.width && m.window.height == m.source.height;
    return m.source_image != nullptr && m.window_image != nullptr &&
           (one_to_one || (m.converted_image != nullptr && m.converted_plain != nullptr));
}

void PixmanPresent8::present() {
    Impl& m = *impl_;
    if (m.converted_image == nullptr) {
        pixman_image_composite32(PIXMAN_OP_SRC, m.source_image, nullptr, m.window_image, 0, 0, 0, 0, 0, 0,
                                 m.window.width, m.window.height);
        return;
    }
    pixman_image_composite32(PIXMAN_OP_SRC, m.source_image, nullptr, m.converted_plain, 0, 0, 0, 0, 0, 0,
                             m.source.width, m.source.height);
    pixman_image_composite32(PIXMAN_OP_SRC, m.converted_image, nullptr, m.window_image, 0, 0, 0, 0, 0, 0,
                             m.window.width, m.window.height);
}

std::vector<uint32_t> PixmanPresent8::window() const {
    const Pixels& w = impl_->window;
    std::vector<uint32_t> out(w.words);
    for (uint32_t& p : out) p &= 0xFFFFFFu;
    return out;
}

}  // namespace peers
