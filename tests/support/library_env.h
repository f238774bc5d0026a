// Shared set-up for the library's test suites. Portable: uses only the
// library and Win32 calls, so the suites built on it also run on Windows.
#ifndef TESTS_SUPPORT_LIBRARY_ENV_H
#define TESTS_SUPPORT_LIBRARY_ENV_H

#include <raster/raster.h>

#include <cstdint>
#include <vector>

namespace testenv {

// Puts the library state back to the values it holds at load, so one test's
// surfaces and palette never leak into the next when a suite runs in one
// process.
void reset_library_state();

// The demo's start-up in miniature: the screen DC as window DC, the palette
// created and realized, raster_init. Returns the palette (caller deletes it
// through stop_library).
HPALETTE start_library();
// Deselects, destroys every surface still in use, shuts the library down and
// deletes the palette.
void stop_library(HPALETTE palette);

// Creates a surface of the given size at the current creation depth and
// selects it; returns the handle (negative on failure).
int32_t make_selected_surface(int32_t width, int32_t height);

// Address of pixel (x, y), y counted from the top, of a surface in use.
uint8_t* pixel_address(int32_t handle, int32_t x, int32_t y);
// Fills every byte of a surface's pixel array with one value.
void fill_surface(int32_t handle, uint8_t value);
// The surface's pixel array, rows top first, stride bytes each.
std::vector<uint8_t> surface_rows(int32_t handle);

}  // namespace testenv

#endif  // TESTS_SUPPORT_LIBRARY_ENV_H
