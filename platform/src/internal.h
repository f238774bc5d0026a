// The stand-in's internal object model, shared by its USER32, GDI32 and
// KERNEL32 halves and by the probe.
//
// Every handle the stand-in gives out is a small tagged integer cast to a
// pointer: the low four bits name the kind of object, the rest is a serial
// number that is never reused, so a stale handle can never alias a newer
// object. GMEM_FIXED global blocks are the one exception: Win32 hands out
// their address as the handle, and so do we.
#ifndef STANDIN_INTERNAL_H
#define STANDIN_INTERNAL_H

#include <windows.h>

#include <standin/probe.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace standin {

enum class Kind : uintptr_t {
    Dc = 1,
    Bitmap = 2,
    Palette = 3,
    Font = 4,
    OtherGdi = 5,  // stock brushes and pens: selectable, never drawn with
    Icon = 6,
    Cursor = 7,
    Global = 8,
    File = 9,
    Window = 10,
    Instance = 11,
    Timer = 12,
};

uintptr_t new_handle(Kind kind);
inline Kind kind_of(uintptr_t handle) { return static_cast<Kind>(handle & 0xF); }

// ---- device-independent bitmap layout ------------------------------------

// What a BITMAPINFO describes, validated once.
struct DibLayout {
    int width = 0;
    int height = 0;  // always positive
    bool top_down = false;
    int bpp = 0;
    DWORD compression = BI_RGB;
    DWORD masks[3] = {0, 0, 0};  // red, green, blue (16 and 32 bpp)
    size_t stride = 0;
    size_t image_size = 0;
    int colors = 0;               // colour-table entries (indexed formats)
    const BYTE* table = nullptr;  // start of the colour table in the caller's block
};

// Checks a BITMAPINFO the way GDI does before using it; false means refuse.
bool parse_dib(const BITMAPINFO* info, UINT usage, DibLayout* out);

// ---- GDI objects ----------------------------------------------------------

enum class DcKind { Screen, Window, Memory };

struct GdiObject {
    Kind kind;
    bool stock = false;
    bool deleted = false;  // deleted while selected: freed when deselected
    int selections = 0;    // DCs that have it selected (palettes, fonts)

    // Bitmap.
    DibLayout dib;
    std::unique_ptr<BYTE[]> bits;
    std::vector<RGBQUAD> color_table;
    uintptr_t selected_into = 0;  // the memory DC holding it, or 0

    // Palette.
    std::vector<PALETTEENTRY> entries;

    // Font.
    TEXTMETRICA metrics{};

    // Stock brushes and pens: the GetStockObject index.
    int stock_index = -1;

    // Device context.
    DcKind dc_kind = DcKind::Screen;
    uintptr_t window = 0;
    bool own_dc = false;
    uintptr_t bitmap = 0;
    uintptr_t font = 0;
    uintptr_t palette = 0;
    uintptr_t brush = 0;
    uintptr_t pen = 0;
    int stretch_mode = BLACKONWHITE;

    // Palette realized on a palette device: system palette slot of each
    // logical entry (-1: mapped onto a static colour, no slot of its own).
    std::vector<int> system_slots;
};

// ---- windows ----------------------------------------------------------------

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

// ---- display backends -------------------------------------------------------

struct DisplayEvent {
    enum Type { Resize, Minimize, Restore, Focus, Close, Expose } type;
    uintptr_t window;
    int width;
    int height;
};

// The small interface the USER32 half talks to; one implementation puts
// windows on screen with SDL2, the other keeps them in memory only.
class Display {
  public:
    virtual ~Display() = default;
    // False means the display could not take the window.
    virtual bool create_window(Window& window) = 0;
    virtual void destroy_window(Window& window) = 0;
    virtual void show_window(Window& window, bool visible) = 0;
    // Moves the display's pending events into the stand-in's queue.
    virtual void pump(std::deque<DisplayEvent>& events) = 0;
    // Puts a window's framebuffer on screen if it changed since last time.
    virtual void present(Window& window) = 0;
    // Sleeps until `until`, or less if the display has something to deliver
    // (input, a window closed); early returns are allowed. Every wait of a
    // program for its next frame goes through here, so a backend can hand
    // the time to whatever drives its display.
    virtual void wait(std::chrono::steady_clock::time_point until) = 0;
    // The display's refresh rate in hertz, 0 when it cannot be learned.
    virtual int refresh_rate() = 0;
    virtual const char* name() const = 0;
};

std::unique_ptr<Display> make_headless_display();
// Null with *error filled when no display can be opened.
std::unique_ptr<Display> make_sdl_display(std::string* error);
// The browser page's canvas (WebAssembly builds only).
std::unique_ptr<Display> make_web_display();

// ---- the one block of stand-in state ----------------------------------------

struct GlobalBlock {
    std::unique_ptr<BYTE[]> data;
    size_t size = 0;
    UINT flags = 0;
    int locks = 0;
};

struct OpenFile {
    int fd = -1;
};

struct WaitableTimer {
    bool manual_reset = false;
    bool armed = false;  // set and not yet expired
    bool signalled = false;
    std::chrono::steady_clock::time_point due{};
    std::chrono::milliseconds period{0};
};

struct State {
    // Display.
    int depth = 32;
    PALETTEENTRY system_palette[256]{};
    probe::Backend backend_choice = probe::Backend::Auto;
    int forced_client_width = 0;
    int forced_client_height = 0;
    std::unique_ptr<Display> display;

    // Objects.
    std::map<uintptr_t, std::unique_ptr<GdiObject>> gdi;
    std::map<int, uintptr_t> stock;              // GetStockObject index -> handle
    uintptr_t stock_bitmap = 0;                  // the 1x1 bitmap a new memory DC holds
    std::map<std::string, WindowClass> classes;  // keyed by lower-case name
    std::map<uintptr_t, std::unique_ptr<Window>> windows;
    uintptr_t last_window = 0;
    std::map<uintptr_t, GlobalBlock> globals;
    std::map<uintptr_t, OpenFile> files;
    std::map<uintptr_t, WaitableTimer> timers;
    // Off, timers are due the moment they are set and waits never sleep.
    bool paced = true;
    std::map<uint64_t, uintptr_t> shared_resources;  // (kind, id) -> icon or cursor

    // Messages.
    std::deque<MSG> posted;
    std::deque<DisplayEvent> display_events;
    bool quit_posted = false;
    int quit_code = 0;
    std::function<void()> idle_hook;

    // KERNEL32.
    DWORD last_error = 0;
    std::string module_file_name;

    // Probe.
    bool journal_on = false;
    std::vector<probe::Call> journal;
    bool fail[5] = {false, false, false, false, false};
    long read_budget = -1;
};

State& state();

// What GetLastError reports next.
inline void set_error(DWORD error) { state().last_error = error; }
// Whether the probe armed a failure for this function; consumes it.
bool take_fault(probe::Fault fault);

// Objects kept alive after reset() so that pointers into them held by the
// program stay readable; they are simply no longer known to the stand-in.
void forget_everything();

GdiObject* find_gdi(uintptr_t handle, Kind kind);
GdiObject* find_dc(HDC dc);
Window* find_window(HWND hwnd);
void install_stock_objects();
void default_system_palette(PALETTEENTRY* palette);
// The device's colour for system palette index i at the current depth.
PALETTEENTRY system_entry(int index);
int system_palette_size();

// GDI operations the USER32 half needs.
uintptr_t create_dc(DcKind kind, uintptr_t window);
void destroy_dc(uintptr_t dc);

// Waitable timers: brings the timer's state up to the present and says
// whether it is signalled; a satisfied wait on an auto-reset timer takes the
// signal. Null when the handle is not a timer.
WaitableTimer* find_timer(HANDLE handle);
bool timer_signalled(WaitableTimer& timer, std::chrono::steady_clock::time_point now);
void take_signal(WaitableTimer& timer);

// Frame statistics (SCALING_SCROLLING_STATS): started with the display,
// counted each time a timer ends a wait.
void start_frame_stats();
void count_frame_wake();

// Draws a window's pending display events and hands out the next message.
void process_display_events();
void choose_display();

// ---- journal ----------------------------------------------------------------

template <typename T>
inline std::intptr_t journal_arg(T value) {
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<std::intptr_t>(value);
    } else {
        return static_cast<std::intptr_t>(value);
    }
}
inline std::intptr_t journal_arg(std::nullptr_t) { return 0; }

// Records one call while the journal is on. The entry is made when the call
// starts, so calls made from inside it (window procedures run by
// CreateWindowExA, for instance) follow it in the journal; its result is
// filled in when it returns.
class JournalEntry {
  public:
    template <typename... Args>
    JournalEntry(const char* function, Args... args) {
        State& s = state();
        if (!s.journal_on) return;
        index_ = static_cast<long>(s.journal.size());
        s.journal.push_back(probe::Call{function, {journal_arg(args)...}, 0});
    }
    template <typename R>
    R done(R result) {
        State& s = state();
        if (index_ >= 0 && static_cast<size_t>(index_) < s.journal.size()) {
            s.journal[index_].result = journal_arg(result);
        }
        return result;
    }
    void done_void() {}

  private:
    long index_ = -1;
};

template <typename T>
inline uintptr_t h(T handle) {
    return reinterpret_cast<uintptr_t>(handle);
}
template <typename T>
inline T as(uintptr_t value) {
    return reinterpret_cast<T>(value);
}

}  // namespace standin

#endif  // STANDIN_INTERNAL_H
