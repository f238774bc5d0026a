// Handles. Every handle the stand-in gives out is a small tagged integer cast
// to a pointer: the low four bits name the kind of object, the rest is a
// serial number that is never reused, so a stale handle can never alias a
// newer object. GMEM_FIXED global blocks are the one exception: Win32 hands
// out their address as the handle, and so do we.
#ifndef STANDIN_HANDLES_H
#define STANDIN_HANDLES_H

#include <cstdint>

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

template <typename T>
inline uintptr_t h(T handle) {
    return reinterpret_cast<uintptr_t>(handle);
}
template <typename T>
inline T as(uintptr_t value) {
    return reinterpret_cast<T>(value);
}

}  // namespace standin

#endif  // STANDIN_HANDLES_H
