#include "allegro_peers.h"

#define ALLEGRO_NO_MAGIC_MAIN
#include <allegro.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace peers {

namespace {

// Started once for the whole program, without a display.
bool allegro_started() {
    static const bool started = install_allegro(SYSTEM_NONE, &errno, std::atexit) == 0;
    return started;
}

BITMAP* bitmap8(const uint8_t* pixels, int width, int height) {
    if (!allegro_started()) return nullptr;
    BITMAP* b = create_bitmap_ex(8, width, height);
    if (b != nullptr && pixels != nullptr) {
        for (int y = 0; y < height; ++y) std::memcpy(b->line[y], pixels + static_cast<size_t>(y) * width, width);
    }
    return b;
}

std::vector<uint8_t> rows8(const BITMAP* b) {
    std::vector<uint8_t> out(static_cast<size_t>(b->w) * b->h);
    for (int y = 0; y < b->h; ++y) std::memcpy(&out[static_cast<size_t>(y) * b->w], b->line[y], b->w);
    return out;
}

void free_bitmap(BITMAP* b) {
    if (b != nullptr) destroy_bitmap(b);
}

}  // namespace

// ---- AllegroSliceBlit -----------------------------------------------------------

struct AllegroSliceBlit::Impl {
    BITMAP* source = nullptr;
    BITMAP* target = nullptr;
};

AllegroSliceBlit::AllegroSliceBlit(const uint8_t* pixels, int width, int height, int slice_width, int slice_height)
    : impl_(new Impl) {
    impl_->source = bitmap8(pixels, width, height);
    impl_->target = bitmap8(nullptr, slice_width, slice_height);
}

AllegroSliceBlit::~AllegroSliceBlit() {
    free_bitmap(impl_->target);
    free_bitmap(impl_->source);
}

bool AllegroSliceBlit::ok() const { return impl_->source != nullptr && impl_->target != nullptr; }

void AllegroSliceBlit::blit(int left) {
    ::blit(impl_->source, impl_->target, left, 0, 0, 0, impl_->target->w, impl_->target->h);
}

std::vector<uint8_t> AllegroSliceBlit::target() const { return rows8(impl_->target); }

// ---- AllegroStretch8 ------------------------------------------------------------

struct AllegroStretch8::Impl {
    BITMAP* source = nullptr;
    std::vector<BITMAP*> targets;
    bool ok = false;
};

AllegroStretch8::AllegroStretch8(const uint8_t* pixels, int width, int height, const std::vector<Size>& sizes)
    : impl_(new Impl) {
    impl_->source = bitmap8(pixels, width, height);
    bool ok = impl_->source != nullptr;
    for (const Size& s : sizes) {
        impl_->targets.push_back(bitmap8(nullptr, s.width, s.height));
        ok = ok && impl_->targets.back() != nullptr;
    }
    impl_->ok = ok;
}

AllegroStretch8::~AllegroStretch8() {
    for (BITMAP* b : impl_->targets) free_bitmap(b);
    free_bitmap(impl_->source);
}

bool AllegroStretch8::ok() const { return impl_->ok; }

void AllegroStretch8::stretch(int which) {
    BITMAP* d = impl_->targets[static_cast<size_t>(which)];
    stretch_blit(impl_->source, d, 0, 0, impl_->source->w, impl_->source->h, 0, 0, d->w, d->h);
}

// ---- AllegroSprite8 -------------------------------------------------------------

struct AllegroSprite8::Impl {
    BITMAP* sprite = nullptr;
    RLE_SPRITE* rle = nullptr;
    BITMAP* target = nullptr;
    bool run_length = false;
};

AllegroSprite8::AllegroSprite8(const uint8_t* pixels, int width, int height, int target_width, int target_height,
                               bool run_length)
    : impl_(new Impl) {
    impl_->run_length = run_length;
    impl_->sprite = bitmap8(pixels, width, height);
    impl_->target = bitmap8(nullptr, target_width, target_height);
    if (run_length && impl_->sprite != nullptr) impl_->rle = get_rle_sprite(impl_->sprite);
}

AllegroSprite8::~AllegroSprite8() {
    if (impl_->rle != nullptr) destroy_rle_sprite(impl_->rle);
    free_bitmap(impl_->target);
    free_bitmap(impl_->sprite);
}

bool AllegroSprite8::ok() const {
    return impl_->sprite != nullptr && impl_->target != nullptr && (!impl_->run_length || impl_->rle != nullptr);
}

void AllegroSprite8::clear(uint8_t index) { clear_to_color(impl_->target, index); }

void AllegroSprite8::draw(int x, int y) {
    if (impl_->run_length) {
        draw_rle_sprite(impl_->target, impl_->rle, x, y);
    } else {
        draw_sprite(impl_->target, impl_->sprite, x, y);
    }
}

std::vector<uint8_t> AllegroSprite8::target() const { return rows8(impl_->target); }

// ---- AllegroPresent8 ------------------------------------------------------------

struct AllegroPresent8::Impl {
    BITMAP* source = nullptr;
    BITMAP* converted = nullptr;
    BITMAP* window = nullptr;
    PALETTE palette;
};

AllegroPresent8::AllegroPresent8(const uint8_t* pixels, int width, int height, const uint8_t* rgb, int window_width,
                                 int window_height)
    : impl_(new Impl) {
    impl_->source = bitmap8(pixels, width, height);
    if (impl_->source == nullptr) return;
    // Allegro palettes hold 6-bit channels; 8-bit colours come out of them
    // by its own scaling, so the colours differ slightly from the library's.
    for (int i = 0; i < PAL_SIZE; ++i) {
        impl_->palette[i].r = static_cast<unsigned char>(rgb[i * 3] >> 2);
        impl_->palette[i].g = static_cast<unsigned char>(rgb[i * 3 + 1] >> 2);
        impl_->palette[i].b = static_cast<unsigned char>(rgb[i * 3 + 2] >> 2);
        impl_->palette[i].filler = 0;
    }
    impl_->window = create_bitmap_ex(32, window_width, window_height);
    const bool one_to_one = window_width == width && window_height == height;
    impl_->converted = one_to_one ? nullptr : create_bitmap_ex(32, width, height);
}

AllegroPresent8::~AllegroPresent8() {
    free_bitmap(impl_->window);
    free_bitmap(impl_->converted);
    free_bitmap(impl_->source);
}

bool AllegroPresent8::ok() const {
    const bool one_to_one = impl_->window != nullptr && impl_->source != nullptr &&
                            impl_->window->w == impl_->source->w && impl_->window->h == impl_->source->h;
    return impl_->source != nullptr && impl_->window != nullptr && (one_to_one || impl_->converted != nullptr);
}

void AllegroPresent8::present() {
    select_palette(impl_->palette);
    BITMAP* s = impl_->source;
    if (impl_->converted == nullptr) {
        blit(s, impl_->window, 0, 0, 0, 0, s->w, s->h);
    } else {
        blit(s, impl_->converted, 0, 0, 0, 0, s->w, s->h);
        stretch_blit(impl_->converted, impl_->window, 0, 0, s->w, s->h, 0, 0, impl_->window->w, impl_->window->h);
    }
    unselect_palette();
}

std::vector<uint32_t> AllegroPresent8::window() const {
    const BITMAP* w = impl_->window;
    std::vector<uint32_t> out(static_cast<size_t>(w->w) * w->h);
    for (int y = 0; y < w->h; ++y) std::memcpy(&out[static_cast<size_t>(y) * w->w], w->line[y], w->w * 4u);
    for (uint32_t& p : out) p &= 0xFFFFFFu;
    return out;
}

// ---- PCX ------------------------------------------------------------------------

namespace {

struct MemoryFile {
    const uint8_t* data;
    size_t size;
    size_t at;
};

int memory_close(void*) { return 0; }
int memory_getc(void* user) {
    auto* m = static_cast<MemoryFile*>(user);
    return m->at < m->size ? m->data[m->at++] : EOF;
}
int memory_ungetc(int c, void* user) {
    auto* m = static_cast<MemoryFile*>(user);
    if (m->at == 0) return EOF;
    --m->at;
    return c;
}
long memory_read(void* p, long n, void* user) {
    auto* m = static_cast<MemoryFile*>(user);
    const size_t left = m->size - m->at;
    const size_t take = static_cast<size_t>(n) < left ? static_cast<size_t>(n) : left;
    std::memcpy(p, m->data + m->at, take);
    m->at += take;
    return static_cast<long>(take);
}
int memory_putc(int, void*) { return EOF; }
long memory_write(const void*, long, void*) { return 0; }
int memory_seek(void* user, int offset) {
    auto* m = static_cast<MemoryFile*>(user);
    if (offset < 0 || m->at + static_cast<size_t>(offset) > m->size) return -1;
    m->at += static_cast<size_t>(offset);
    return 0;
}
int memory_eof(void* user) {
    auto* m = static_cast<MemoryFile*>(user);
    return m->at >= m->size;
}
int memory_error(void*) { return 0; }

const PACKFILE_VTABLE kMemoryVtable = {memory_close, memory_getc, memory_ungetc, memory_read, memory_putc,
                                       memory_write, memory_seek, memory_eof,    memory_error};

}  // namespace

long allegro_load_pcx_from_memory(const uint8_t* data, size_t size) {
    if (!allegro_started()) return 0;
    MemoryFile m{data, size, 0};
    PACKFILE* f = pack_fopen_vtable(&kMemoryVtable, &m);
    if (f == nullptr) return 0;
    set_color_conversion(COLORCONV_24_TO_32);
    PALETTE palette;
    BITMAP* b = load_pcx_pf(f, palette);
    pack_fclose(f);
    if (b == nullptr) return 0;
    const long pixels = static_cast<long>(b->w) * b->h;
    destroy_bitmap(b);
    return pixels;
}

}  // namespace peers
