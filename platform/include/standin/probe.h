// Steering and observing the Win32 stand-in, for tests and tools only.
//
// Nothing in raster/ or demo/ includes this header: it exists so that a test
// can choose the display the program runs on, drive a whole WinMain run
// from outside, look at what reached the window, and check which platform
// calls a library operation made.
#ifndef STANDIN_PROBE_H
#define STANDIN_PROBE_H

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace standin {
namespace probe {

// Puts the whole stand-in back to its start state: windows, DCs, GDI objects,
// global blocks and open files are forgotten (not freed), the journal is
// cleared and off, faults are cleared, the display is 32 bits deep with the
// default system palette, the backend choice is Auto, the client size is
// unforced, the idle hook is cleared, the module file name override is
// cleared and pacing is off.
void reset();

// Pacing on: waitable timers keep real time and waits sleep, as they do for
// the program run by itself. Off (after reset()): a timer is due the moment
// it is set and a wait never sleeps, so a program that paces its frames with
// a timer composes one on every idle pass and tests and tools drive frames
// as fast as they like.
void set_pacing(bool on);

// ---- display ------------------------------------------------------------

// Depth reported by GetDeviceCaps(BITSPIXEL) * GetDeviceCaps(PLANES):
// 4, 8, 15, 16, 24 or 32 (BITSPIXEL gives the depth, PLANES 1). Default 32.
void set_display_depth(int bits);
int display_depth();

// The system palette that GetSystemPaletteEntries reports (and whose static
// colours a palette device keeps). Default: the 20 static colours of a
// 256-colour display in entries 0..9 and 246..255, black elsewhere.
void set_system_palette(UINT first, UINT count, const PALETTEENTRY* entries);
void get_system_palette(UINT first, UINT count, PALETTEENTRY* entries);

enum class Backend { Auto, Headless, Sdl, KeptFrames };
// Which backend the next first window is created on. Auto picks SDL2 when a
// display can be opened (and SCALING_SCROLLING_HEADLESS is not set), else
// reports failure. Tests and tools choose Headless; KeptFrames is headless
// too, but keeps whole-window frames of 8-bit bitmaps as the web page's
// display does and draws them into the framebuffer only when the program
// next asks for messages (or when another call draws there first).
void select_backend(Backend backend);

// Forces the client size of windows created from now on (0, 0 = unforced:
// outer size minus the 4-pixel frame and 23-pixel caption).
void set_client_size(int width, int height);

// ---- windows ------------------------------------------------------------

// The most recently created window that still exists, or null.
HWND main_window();
bool window_exists(HWND hwnd);
// Copy of the client framebuffer, one 0x00RRGGBB value per pixel, rows top
// first. Empty when the window does not exist or is minimised.
std::vector<uint32_t> client_pixels(HWND hwnd, int* width, int* height);
// Fills the client framebuffer with one value (to see what a draw changed).
void fill_client(HWND hwnd, uint32_t xrgb);
// The part of the client area currently invalid (empty RECT when valid).
RECT update_rect(HWND hwnd);
int stretch_mode(HDC dc);
HPALETTE selected_palette(HDC dc);
HGDIOBJ selected_bitmap(HDC dc);

// Events the display would deliver; each is queued as the display backend
// queues it and takes effect when the program next asks for messages.
void post_resize(HWND hwnd, int client_width, int client_height);
void post_minimize(HWND hwnd);
void post_restore(HWND hwnd);
void post_focus(HWND hwnd);
void post_close(HWND hwnd);

// Runs each time PeekMessageA finds the queue empty, before it returns 0.
// Pass an empty function to remove it.
void set_idle_hook(std::function<void()> hook);

// What GetModuleFileNameA reports (empty string: the real executable path).
void set_module_file_name(const std::string& path);

// ---- journal ------------------------------------------------------------

struct Call {
    std::string function;             // e.g. "SelectObject"
    std::vector<std::intptr_t> args;  // every argument, pointers and handles cast
    std::intptr_t result;
};
void journal_enable(bool on);
std::vector<Call> journal_take();  // returns and clears the entries so far
// Only the names, in order: handy for order checks.
std::vector<std::string> journal_names(const std::vector<Call>& calls);

// ---- faults -------------------------------------------------------------

enum class Fault { GlobalAlloc, CreateDIBSection, CreateCompatibleDC, CreatePalette, CreateFileA };
// The next call of that function fails (returns its failure value).
void fail_next(Fault fault);
// From now on ReadFile delivers at most n more bytes in all, then 0;
// a negative n lifts the limit.
void cut_reads_after(long n);

// ---- bookkeeping --------------------------------------------------------

int live_gdi_objects();    // bitmaps, palettes and DCs created and not yet deleted
int live_global_blocks();  // GlobalAlloc blocks not yet freed
int open_files();          // CreateFileA handles not yet closed

}  // namespace probe
}  // namespace standin

#endif  // STANDIN_PROBE_H
