// Windows: their classes, their state and the client framebuffer they are
// drawn in.
#ifndef STANDIN_WINDOW_H
#define STANDIN_WINDOW_H

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace standin {

struct WindowClass {
    WNDCLASSA wc{};
    std::string name;
    ATOM atom = 0;
};

// A window's client pixels, 0x00RRGGBB, rows top first and client_width
// apart. They live in memory of their own until a display backend moves them
// into the window's on-screen image, so that drawing lands there directly
// and nothing is copied to show a frame; the backend takes them back before
// that image goes away.
class Framebuffer {
  public:
    Framebuffer() = default;
    Framebuffer(const Framebuffer&) = delete;
    Framebuffer& operator=(const Framebuffer&) = delete;

    uint32_t* data() { return pixels_; }
    const uint32_t* data() const { return pixels_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    uint32_t* begin() { return pixels_; }
    uint32_t* end() { return pixels_ + size_; }
    const uint32_t* begin() const { return pixels_; }
    const uint32_t* end() const { return pixels_ + size_; }
    uint32_t& operator[](size_t i) { return pixels_[i]; }
    const uint32_t& operator[](size_t i) const { return pixels_[i]; }

    void assign(size_t count, uint32_t value) {
        own_.assign(count, value);
        use_own();
    }
    void clear() {
        own_.clear();
        use_own();
    }
    // Takes `pixels` as the new content; `pixels` gets the old own memory.
    void swap(std::vector<uint32_t>& pixels) {
        own_.swap(pixels);
        use_own();
    }
    // Moves the pixels into `memory` (room for size() values, kept alive by
    // the caller until take_back()), which from then on is drawn in.
    void move_into(uint32_t* memory) {
        std::copy(begin(), end(), memory);
        std::vector<uint32_t>().swap(own_);
        pixels_ = memory;
        moved_ = true;
    }
    // Copies the pixels back into memory of their own.
    void take_back() {
        if (!moved_) return;
        std::vector<uint32_t> copy(begin(), end());
        own_.swap(copy);
        use_own();
    }
    bool moved() const { return moved_; }

  private:
    void use_own() {
        pixels_ = own_.data();
        size_ = own_.size();
        moved_ = false;
    }

    std::vector<uint32_t> own_;
    uint32_t* pixels_ = nullptr;
    size_t size_ = 0;
    bool moved_ = false;
};

struct Window {
    uintptr_t handle = 0;
    std::string class_name;
    UINT class_style = 0;
    WNDPROC proc = nullptr;
    std::string title;
    DWORD style = 0;
    int x = 0, y = 0, outer_width = 0, outer_height = 0;
    int client_width = 0, client_height = 0;
    int restored_width = 0, restored_height = 0;  // client size while minimised
    bool visible = false;
    bool minimized = false;
    bool destroying = false;
    Framebuffer framebuffer;
    bool framebuffer_changed = false;
    RECT update{0, 0, 0, 0};  // bounding box of the invalid part; empty = valid
    bool erase_pending = false;
    uintptr_t own_dc = 0;
    void* backend_data = nullptr;
};

Window* find_window(HWND hwnd);

}  // namespace standin

#endif  // STANDIN_WINDOW_H
