// The one block of stand-in state: everything the Win32 calls model, from
// the display to the open files, dropped whole by the probe's reset().
#ifndef STANDIN_STATE_H
#define STANDIN_STATE_H

#include <windows.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>

#include "display/display.h"
#include "gdi_objects.h"
#include "handles.h"
#include "probe_state.h"
#include "timers.h"
#include "window.h"

namespace standin {

struct GlobalBlock {
    std::unique_ptr<BYTE[]> data;
    size_t size = 0;
    UINT flags = 0;
    int locks = 0;
};

struct OpenFile {
    int fd = -1;
};

struct State {
    // Display.
    int depth = 32;
    PALETTEENTRY system_palette[256]{};
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

    // KERNEL32.
    DWORD last_error = 0;
    std::string module_file_name;

    ProbeState probe;
};

State& state();

// What GetLastError reports next.
inline void set_error(DWORD error) { state().last_error = error; }

// Objects kept alive after reset() so that pointers into them held by the
// program stay readable; they are simply no longer known to the stand-in.
void forget_everything();

}  // namespace standin

#endif  // STANDIN_STATE_H
