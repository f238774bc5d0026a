// The library set up as the demo sets it up, on a headless window of a
// chosen client size: shared by the benchmarks that present.
#ifndef BENCH_HEADLESS_LIBRARY_H
#define BENCH_HEADLESS_LIBRARY_H

#include <standin/probe.h>

#include <raster/raster.h>

#include "raster/state.h"

class HeadlessLibrary {
  public:
    HeadlessLibrary(int client_width, int client_height) {
        namespace probe = standin::probe;
        probe::reset();
        probe::select_backend(probe::Backend::Headless);
        probe::set_client_size(client_width, client_height);
        WNDCLASSA wc{};
        wc.style = CS_OWNDC;
        wc.lpfnWndProc = PlainWindow;
        wc.lpszClassName = "RasterBench";
        RegisterClassA(&wc);
        window_ = CreateWindowExA(0, "RasterBench", "bench", WS_OVERLAPPEDWINDOW, 0, 0, 320, 200, nullptr, nullptr,
                                  nullptr, nullptr);
        dc_ = GetDC(window_);
        raster::state = raster::LibraryState{};
        raster::state.work_buffer_pointer = raster::state.work_buffer;
        set_window_dc(dc_);
        palette_ = palette_create();
        palette_realize(palette_);
        raster_init();
    }
    // Destroys whatever surfaces are left, then takes the library and the
    // window down.
    ~HeadlessLibrary() {
        surface_deselect();
        for (int32_t slot = 0; slot < raster::kSlotCount; ++slot) {
            if (raster::state.slot_bits[slot] != nullptr) surface_destroy(slot);
        }
        raster_shutdown();
        if (palette_ != nullptr) DeleteObject(palette_);
        if (window_ != nullptr) {
            ReleaseDC(window_, dc_);
            DestroyWindow(window_);
        }
        standin::probe::reset();
    }
    HeadlessLibrary(const HeadlessLibrary&) = delete;
    HeadlessLibrary& operator=(const HeadlessLibrary&) = delete;

    HWND window() const { return window_; }

  private:
    static LRESULT CALLBACK PlainWindow(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
        return DefWindowProcA(hwnd, message, wparam, lparam);
    }

    HWND window_ = nullptr;
    HDC dc_ = nullptr;
    HPALETTE palette_ = nullptr;
};

#endif  // BENCH_HEADLESS_LIBRARY_H
