// The probe: steering and observing the stand-in from tests and tools.
#include <algorithm>
#include <cstring>

#include "state.h"

namespace standin {
namespace probe {

void reset() {
    forget_everything();
    state().paced = false;
}

void set_pacing(bool on) { state().paced = on; }

void set_display_depth(int bits) {
    if (bits == 4 || bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32) state().depth = bits;
}

int display_depth() { return state().depth; }

void set_system_palette(UINT first, UINT count, const PALETTEENTRY* entries) {
    State& s = state();
    for (UINT i = 0; i < count && first + i < 256; ++i) s.system_palette[first + i] = entries[i];
}

void get_system_palette(UINT first, UINT count, PALETTEENTRY* entries) {
    const State& s = state();
    for (UINT i = 0; i < count && first + i < 256; ++i) entries[i] = s.system_palette[first + i];
}

void select_backend(Backend backend) { state().probe.backend_choice = backend; }

void set_client_size(int width, int height) {
    State& s = state();
    s.probe.forced_client_width = std::max(width, 0);
    s.probe.forced_client_height = std::max(height, 0);
}

HWND main_window() {
    State& s = state();
    if (s.windows.empty()) return nullptr;
    return as<HWND>(s.windows.rbegin()->first);  // handles grow with creation
}

bool window_exists(HWND hwnd) { return find_window(hwnd) != nullptr; }

std::vector<uint32_t> client_pixels(HWND hwnd, int* width, int* height) {
    Window* window = find_window(hwnd);
    const bool shown = window != nullptr && !window->minimized;
    if (width != nullptr) *width = shown ? window->client_width : 0;
    if (height != nullptr) *height = shown ? window->client_height : 0;
    if (!shown) return {};
    return std::vector<uint32_t>(window->framebuffer.begin(), window->framebuffer.end());
}

void fill_client(HWND hwnd, uint32_t xrgb) {
    Window* window = find_window(hwnd);
    if (window == nullptr) return;
    std::fill(window->framebuffer.begin(), window->framebuffer.end(), xrgb);
    window->framebuffer_changed = true;
}

RECT update_rect(HWND hwnd) {
    Window* window = find_window(hwnd);
    if (window == nullptr || window->update.right <= window->update.left ||
        window->update.bottom <= window->update.top) {
        return RECT{0, 0, 0, 0};
    }
    return window->update;
}

int stretch_mode(HDC dc) {
    GdiObject* object = find_dc(dc);
    return object == nullptr ? 0 : object->stretch_mode;
}

HPALETTE selected_palette(HDC dc) {
    GdiObject* object = find_dc(dc);
    return object == nullptr ? nullptr : as<HPALETTE>(object->palette);
}

HGDIOBJ selected_bitmap(HDC dc) {
    GdiObject* object = find_dc(dc);
    return object == nullptr ? nullptr : as<HGDIOBJ>(object->bitmap);
}

static void queue(DisplayEvent::Type type, HWND hwnd, int width, int height) {
    state().display_events.push_back(DisplayEvent{type, h(hwnd), width, height});
}

void post_resize(HWND hwnd, int client_width, int client_height) {
    queue(DisplayEvent::Resize, hwnd, client_width, client_height);
}

void post_minimize(HWND hwnd) { queue(DisplayEvent::Minimize, hwnd, 0, 0); }

void post_restore(HWND hwnd) { queue(DisplayEvent::Restore, hwnd, 0, 0); }

void post_focus(HWND hwnd) { queue(DisplayEvent::Focus, hwnd, 0, 0); }

void post_close(HWND hwnd) { queue(DisplayEvent::Close, hwnd, 0, 0); }

void set_idle_hook(std::function<void()> hook) { state().probe.idle_hook = std::move(hook); }

void set_module_file_name(const std::string& path) { state().module_file_name = path; }

void journal_enable(bool on) { state().probe.journal_on = on; }

std::vector<Call> journal_take() {
    std::vector<Call> calls;
    calls.swap(state().probe.journal);
    return calls;
}

std::vector<std::string> journal_names(const std::vector<Call>& calls) {
    std::vector<std::string> names;
    names.reserve(calls.size());
    for (const Call& call : calls) names.push_back(call.function);
    return names;
}

void fail_next(Fault fault) { state().probe.fail[static_cast<int>(fault)] = true; }

void cut_reads_after(long n) { state().probe.read_budget = n < 0 ? -1 : n; }

int live_gdi_objects() {
    int count = 0;
    for (const auto& entry : state().gdi) {
        const GdiObject& object = *entry.second;
        if (object.stock || object.deleted || object.own_dc) continue;  // own DCs go with their window
        if (object.kind == Kind::Dc || object.kind == Kind::Bitmap || object.kind == Kind::Palette) ++count;
    }
    return count;
}

int live_global_blocks() { return static_cast<int>(state().globals.size()); }

int open_files() { return static_cast<int>(state().files.size()); }

}  // namespace probe
}  // namespace standin
