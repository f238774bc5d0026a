// Memory use while the program runs: once warmed up, a frame of the whole
// program (message loop, scene, presentation onto a 1920 x 1080 window) and
// each library call takes no heap memory, and resident memory stays flat
// over 10 000 frames. Every allocation in the process goes through the
// counting operators below (and, on glibc without a sanitizer, through the
// counting malloc family as well).
#include <gtest/gtest.h>

#include <raster/raster.h>
#include <standin/probe.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "library_env.h"
#include "pcx_writer.h"

#if defined(__SANITIZE_ADDRESS__)
#define PERF_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PERF_SANITIZED 1
#endif
#endif

namespace {

std::atomic<long> allocations{0};

void* counted(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}

void* counted_aligned(std::size_t size, std::size_t alignment) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    void* p = nullptr;
    if (alignment < sizeof(void*)) alignment = sizeof(void*);
    return posix_memalign(&p, alignment, size == 0 ? 1 : size) == 0 ? p : nullptr;
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* p = counted(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = counted(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return counted(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return counted(size); }
void* operator new(std::size_t size, std::align_val_t alignment) {
    if (void* p = counted_aligned(size, static_cast<std::size_t>(alignment))) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    if (void* p = counted_aligned(size, static_cast<std::size_t>(alignment))) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

#if defined(__GLIBC__) && !defined(PERF_SANITIZED)
// C code (and C++ code calling malloc directly) is counted too. The sanitizer
// runtimes bring their own malloc, so this part is left out under them.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);

void* malloc(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}
void* memalign(std::size_t alignment, std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    void* p = __libc_memalign(alignment, size);
    if (p == nullptr) return ENOMEM;
    *out = p;
    return 0;
}
}
#endif

namespace probe = standin::probe;

namespace {

// Resident pages of this process, from /proc/self/statm.
long resident_pages() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr) return -1;
    long size = 0, resident = -1;
    if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = -1;
    std::fclose(f);
    return resident;
}

constexpr int kWarmUpFrames = 330;       // two whole 160-frame cycles and a little
constexpr int kCountedFrames = 330;      // both logos at every zoom level, twice
constexpr int kResidentFrames = 10'000;  // after the counted ones
constexpr long kResidentSlackPages = 64;

// The whole program on a headless 1920 x 1080 window: the idle hook runs
// once per pass of the message loop, right before the frame.
TEST(ProgramMemory, FramesTakeNoHeapMemoryAndResidentMemoryStaysFlat) {
    testenv::reset_library_state();
    probe::reset();
    probe::select_backend(probe::Backend::Headless);
    probe::set_client_size(1920, 1080);
    probe::set_module_file_name(std::string(DEMO_PICTURE_DIR) + "/scaling-scrolling");

    // What the idle hook records. The hook captures only a pointer to it:
    // the stand-in copies the hook on every pass, and a larger capture
    // would make that copy allocate.
    struct Watch {
        int pass = 0;
        long counted_from = -1;
        long counted_to = -1;
        long resident_from = -1;
        long resident_to = -1;
    } watch;
    Watch* w = &watch;
    probe::set_idle_hook([w]() {
        ++w->pass;
        if (w->pass == kWarmUpFrames) w->counted_from = allocations.load();
        if (w->pass == kWarmUpFrames + kCountedFrames) {
            w->counted_to = allocations.load();
            w->resident_from = resident_pages();
        }
        if (w->pass == kWarmUpFrames + kCountedFrames + kResidentFrames) {
            w->resident_to = resident_pages();
            probe::post_close(probe::main_window());
        }
    });
    std::string command_line;
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, &command_line[0], SW_SHOWDEFAULT);
    probe::set_idle_hook(std::function<void()>());

    EXPECT_EQ(status, 0);
    ASSERT_GE(watch.pass, kWarmUpFrames + kCountedFrames + kResidentFrames) << "the program ended early";
    EXPECT_EQ(watch.counted_to - watch.counted_from, 0) << "allocations in " << kCountedFrames << " frames";
    ASSERT_GT(watch.resident_from, 0);
    EXPECT_LE(watch.resident_to - watch.resident_from, kResidentSlackPages)
        << "resident pages grew from " << watch.resident_from << " to " << watch.resident_to << " over "
        << kResidentFrames << " frames";
}

// The library's per-frame calls and its other drawing calls, each repeated
// after a first call, on surfaces of every depth a frame uses.
TEST(LibraryMemory, CallsTakeNoHeapMemoryAfterTheFirst) {
    testenv::reset_library_state();
    probe::reset();
    probe::select_backend(probe::Backend::Headless);
    probe::set_client_size(640, 400);
    WNDCLASSA wc{};
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "library-memory";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, "library-memory", "", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                                nullptr);
    ASSERT_NE(hwnd, nullptr);
    HDC dc = GetDC(hwnd);
    set_window_dc(dc);
    HPALETTE palette = palette_create();
    palette_realize(palette);
    raster_init();
    const int32_t panorama = surface_create(1600, 200);
    const int32_t picture = surface_create(71, 43);
    const int32_t frame = surface_create(320, 200);
    ASSERT_GE(panorama, 0);
    ASSERT_GE(picture, 0);
    ASSERT_GE(frame, 0);

    // A 71 x 43 picture with index 0 holes, as a PCX block and as an image
    // buffer; the frame's 320 x 200 capture buffer; the scaled logo.
    pcxwrite::Picture art;
    art.width = 71;
    art.height = 43;
    for (int i = 0; i < 71 * 43; ++i) art.indices.push_back(static_cast<uint8_t>(i % 7 == 0 ? 0 : 10 + i % 200));
    for (int i = 0; i < 768; ++i) art.palette[i] = static_cast<uint8_t>(i * 5);
    const std::vector<uint8_t> pcx = pcxwrite::encode(art, pcxwrite::Options{});
    ASSERT_FALSE(pcx.empty());
    std::vector<uint8_t> capture(320 * 200);
    std::vector<uint8_t> scaled(71 * 43);
    uint8_t colours[30];
    for (int i = 0; i < 30; ++i) colours[i] = static_cast<uint8_t>(i * 8);

    // Each call's result and the allocations made during it, by name.
    struct Tally {
        const char* call;
        int32_t result;
        long allocations;
    };
    std::vector<Tally> tallies;
    tallies.reserve(64);
    auto measure = [&tallies](const char* call, const std::function<int32_t()>& body) {
        const long before = allocations.load();
        const int32_t result = body();
        tallies.push_back(Tally{call, result, allocations.load() - before});
    };
    // The calls are made through std::function objects built once, so that
    // nothing but the calls themselves can allocate while they are counted.
    int n = 0;
    int level = 1;
    const std::function<int32_t()> calls[] = {
        [&] { return pcx_set_buffer(pcx.data(), static_cast<uint32_t>(pcx.size())); },
        [&] { return surface_select(picture); },
        [&] { return pcx_display(nullptr, PCX_FROM_BUFFER | PCX_KEEP_INDICES | PCX_KEEP_PALETTE); },
        [&] { return move_to(0, 42); },
        [&] { return image_capture(scaled.data(), 71, 43); },
        [&] { return surface_select(frame); },
        [&] { return surface_copy(8 * n, 8 * n + 319, 0, 199, 0, 199, panorama, frame); },
        [&] { return image_scale(art.indices.data(), scaled.data(), 71, 43, 71 * level / 10, 43 * level / 10); },
        [&] { return move_to(100, 150); },
        [&] { return image_place(scaled.data(), 71 * level / 10, 43 * level / 10); },
        [&] { return move_to(0, 199); },
        [&] { return image_capture(capture.data(), 320, 200); },
        [&] { return set_palette_entries(10 + n % 5, 10, colours); },
        [&] { return present(0, 319, 0, 199, 0, 639, 0, 399); },
        [&] { return present(0, 319, 0, 199, 0, 319, 0, 199); },
        [&] { return present(10, 200, 5, 100, 7, 600, 3, 390); },
    };
    const char* const names[] = {
        "pcx_set_buffer",      "surface_select", "pcx_display", "move_to",     "image_capture", "surface_select",
        "surface_copy",        "image_scale",    "move_to",     "image_place", "move_to",       "image_capture",
        "set_palette_entries", "present 2x",     "present 1:1", "present part"};
    for (n = 0; n <= 40; ++n) {
        level = 1 + n % 9;
        if (n == 1) tallies.clear();  // the first round may set things up
        for (size_t i = 0; i < std::size(calls); ++i) measure(names[i], calls[i]);
    }
    ASSERT_EQ(tallies.size(), 40 * std::size(calls));
    for (size_t i = 0; i < tallies.size(); ++i) {
        const Tally& t = tallies[i];
        EXPECT_EQ(t.result, 0) << t.call << " failed (round " << 1 + i / std::size(calls) << ")";
        EXPECT_EQ(t.allocations, 0) << t.call << " allocated (round " << 1 + i / std::size(calls) << ")";
    }

    surface_deselect();
    surface_destroy(frame);
    surface_destroy(picture);
    surface_destroy(panorama);
    raster_shutdown();
    DeleteObject(palette);
    DestroyWindow(hwnd);
    probe::reset();
}

}  // namespace
