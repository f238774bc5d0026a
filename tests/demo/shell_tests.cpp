// The whole program through the stand-in: WinMain runs on the headless
// display, the idle hook looks at the window and the library between frames,
// and the journal shows which platform calls were made in which order.
// UpdateFrame's statics are built once per process, so every case runs the
// program in a fresh process (fresh_process.h).
#include <gtest/gtest.h>

#include <raster/raster.h>
#include <standin/probe.h>

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "frame_model.h"
#include "fresh_process.h"
#include "library_env.h"
#include "raster/state.h"
#include "scene.h"
#include "shell.h"

namespace probe = standin::probe;
using demomodel::SamePixels;

namespace {

std::vector<std::string> Names(const std::vector<probe::Call>& calls) { return probe::journal_names(calls); }

size_t Count(const std::vector<std::string>& names, const std::string& name) {
    size_t n = 0;
    for (const std::string& s : names) n += s == name;
    return n;
}

// Checks that `wanted` occurs in `names` in this order (other calls may lie
// between).
::testing::AssertionResult InOrder(const std::vector<std::string>& names, const std::vector<std::string>& wanted) {
    size_t at = 0;
    for (size_t i = 0; i < wanted.size(); ++i) {
        while (at < names.size() && names[at] != wanted[i]) ++at;
        if (at == names.size()) {
            std::string seen;
            for (const std::string& n : names) seen += n + " ";
            return ::testing::AssertionFailure()
                   << "call " << i << " (" << wanted[i] << ") not found in order; journal: " << seen;
        }
        ++at;
    }
    return ::testing::AssertionSuccess();
}

// Copies a file; false when it cannot.
bool CopyFile(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    out << in.rdbuf();
    return in.good() && out.good();
}

class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testenv::reset_library_state();
        probe::reset();
        probe::select_backend(probe::Backend::Headless);
        probe::set_client_size(320, 200);
        UseDirectory(DEMO_PICTURE_DIR);
        pictures_ = demomodel::LoadDemoPictures(DEMO_PICTURE_DIR);
        logo1_ = demomodel::LogoFromPicture(pictures_.logo1, 264, 40);
        logo2_ = demomodel::LogoFromPicture(pictures_.logo2, 264, 40);
        panoramaModel_ = demomodel::PanoramaModel(&pictures_.sky, 0);
    }

    void TearDown() override {
        probe::set_idle_hook(std::function<void()>());
        if (!scratchDir_.empty()) {
            for (const char* name : {"SKY.PCX", "LOGO1.PCX", "LOGO2.PCX"}) std::remove((scratchDir_ + name).c_str());
            rmdir(scratchDir_.c_str());
        }
    }

    void UseDirectory(const std::string& dir) { probe::set_module_file_name(dir + "/scaling-scrolling"); }

    // A fresh directory holding the named pictures only.
    std::string DirectoryWith(const std::vector<std::string>& names) {
        char pattern[] = "/tmp/demo-shell-XXXXXX";
        const char* made = mkdtemp(pattern);
        EXPECT_NE(nullptr, made);
        scratchDir_ = std::string(made != nullptr ? made : "/nonexistent") + "/";
        for (const std::string& name : names) {
            EXPECT_TRUE(CopyFile(std::string(DEMO_PICTURE_DIR) + "/" + name, scratchDir_ + name)) << name;
        }
        return scratchDir_.substr(0, scratchDir_.size() - 1);
    }

    // Runs WinMain; the hook gets the idle pass number (1 = before the first
    // frame, n = after frame n - 1) and returns false to close the window.
    int Run(const std::function<bool(int)>& onIdle, int cmdShow = SW_SHOWDEFAULT) {
        int pass = 0;
        bool closing = false;
        probe::set_idle_hook([&]() {
            ++pass;
            if (closing) return;
            if (!onIdle(pass)) {
                closing = true;
                probe::post_close(probe::main_window());
            }
        });
        std::string commandLine;
        const int status = WinMain(GetModuleHandleA(nullptr), nullptr, &commandLine[0], cmdShow);
        probe::set_idle_hook(std::function<void()>());
        return status;
    }

    std::vector<uint8_t> FrameSurface() const { return testenv::surface_rows(frameSurface->Handle()); }

    std::vector<uint8_t> Expected(int scrollX) const {
        return demomodel::ExpectedFrame(panoramaModel_, logo1_, logo2_, scrollX);
    }

    // Runs the whole program for `passes` idle passes and, from the second
    // on (when the previous pass's frame is complete), compares the frame
    // surface with the model; the window is then closed.
    void RunAndCheckFrames(int passes) {
        int checked = 0;
        const int status = Run([&](int pass) {
            if (pass >= 2) {
                const int scrollX = (pass - 1) * 8;
                EXPECT_TRUE(SamePixels(FrameSurface(), Expected(scrollX), 320)) << "scrollX " << scrollX;
                ++checked;
            }
            return pass < passes;
        });
        EXPECT_EQ(0, status);
        EXPECT_EQ(passes - 1, checked);
    }

    // A 320 x 200 frame of palette indices in the colours the window shows
    // once the upper logo's file was read last.
    std::vector<uint32_t> Colours(const std::vector<uint8_t>& indices) const {
        std::vector<uint32_t> out(indices.size());
        const std::vector<uint8_t>& p = pictures_.logo2.palette;
        for (size_t i = 0; i < indices.size(); ++i) {
            const int v = indices[i];
            out[i] = (uint32_t(p[v * 3]) << 16) | (uint32_t(p[v * 3 + 1]) << 8) | p[v * 3 + 2];
        }
        return out;
    }

    void ExpectEverythingReleased() {
        EXPECT_EQ(0, probe::live_gdi_objects());
        EXPECT_EQ(0, probe::live_global_blocks());
        EXPECT_EQ(0, probe::open_files());
        for (int slot = 0; slot < raster::kSlotCount; ++slot) EXPECT_EQ(nullptr, raster::state.slot_bits[slot]);
        EXPECT_EQ(nullptr, raster::state.memory_dc) << "library not shut down";
        EXPECT_EQ(nullptr, probe::main_window());
    }

    demomodel::Pictures pictures_;
    demomodel::Logo logo1_;
    demomodel::Logo logo2_;
    std::vector<uint8_t> panoramaModel_;
    std::string scratchDir_;
};

TEST_F(ShellTest, StartUpFramesAndShutDownHappenInOrder) {
    if (demotest::RanInAFreshProcess()) return;
    probe::journal_enable(true);
    const int status = Run([](int pass) { return pass < 3; });
    EXPECT_EQ(0, status);
    const std::vector<std::string> names = Names(probe::journal_take());
    EXPECT_TRUE(InOrder(names, {
                                   "RegisterClassA",
                                   "CreateWindowExA",
                                   "GetDC",               // WM_CREATE: the window's own DC to the library,
                                   "CreatePalette",       // the palette built
                                   "RealizePalette",      // and realized,
                                   "CreateCompatibleDC",  // before the library starts
                                   "CreateDIBSection",    // frame surface
                                   "CreateDIBSection",    // panorama
                                   "ShowWindow",
                                   "UpdateWindow",
                                   "BeginPaint",
                                   "StretchDIBits",
                                   "EndPaint",
                                   "GetModuleFileNameA",
                                   "CreateFileA",  // SKY.PCX
                                   "PeekMessageA",
                                   "CreateFileA",  // LOGO1.PCX at the first idle pass
                                   "CreateFileA",  // LOGO2.PCX
                                   "StretchDIBits",
                                   "PeekMessageA",
                                   "StretchDIBits",
                                   "DefWindowProcA",  // WM_CLOSE
                                   "DeleteObject",    // WM_DESTROY: the palette,
                                   "ReleaseDC",       // the DC,
                                   "PostQuitMessage",
                                   "DeleteDC",  // the library's memory DC, last
                               }));
    EXPECT_EQ(3u, Count(names, "CreateFileA"));
    EXPECT_EQ(1u, Count(names, "RegisterClassA"));
    ExpectEverythingReleased();
}

TEST_F(ShellTest, WindowIsTheOneTheProgramDescribes) {
    if (demotest::RanInAFreshProcess()) return;
    probe::journal_enable(true);
    HWND seen = nullptr;
    const int status = Run([&](int) {
        seen = probe::main_window();
        return false;
    });
    EXPECT_EQ(0, status);
    ASSERT_NE(nullptr, seen);
    for (const probe::Call& call : probe::journal_take()) {
        if (call.function == "CreateWindowExA") {
            EXPECT_STREQ("QXvbndemo", reinterpret_cast<const char*>(call.args[1]));
            EXPECT_STREQ("Scaling and Scrolling", reinterpret_cast<const char*>(call.args[2]));
            EXPECT_EQ(WS_OVERLAPPEDWINDOW, call.args[3]);
            EXPECT_EQ(CW_USEDEFAULT, call.args[4]);
            EXPECT_EQ(320, call.args[6]);
            EXPECT_EQ(200, call.args[7]);
        }
    }
}

TEST_F(ShellTest, FirstPaintShowsThePanoramaBeforeTheSkyIsRead) {
    if (demotest::RanInAFreshProcess()) return;
    probe::journal_enable(true);
    std::vector<probe::Call> startUp;
    std::vector<uint32_t> client;
    std::intptr_t panoramaBits = 0;
    const int status = Run([&](int pass) {
        startUp = probe::journal_take();
        panoramaBits = reinterpret_cast<std::intptr_t>(raster::state.slot_bits[panoramaSurface->Handle()]);
        int w = 0, h = 0;
        client = probe::client_pixels(probe::main_window(), &w, &h);
        return pass < 1;
    });
    EXPECT_EQ(0, status);
    ASSERT_NE(0, panoramaBits);
    const std::vector<std::string> names = Names(startUp);
    ASSERT_TRUE(InOrder(names, {"UpdateWindow", "StretchDIBits", "CreateFileA"}));
    for (const probe::Call& call : startUp) {
        if (call.function != "StretchDIBits") continue;
        // The first present: the panorama's top-left 320 x 200 onto the whole
        // client area, before anything was read into it.
        EXPECT_EQ(0, call.args[1]);
        EXPECT_EQ(0, call.args[2]);
        EXPECT_EQ(320, call.args[3]);
        EXPECT_EQ(200, call.args[4]);
        EXPECT_EQ(0, call.args[5]);
        EXPECT_EQ(0, call.args[6]);
        EXPECT_EQ(320, call.args[7]);
        EXPECT_EQ(200, call.args[8]);
        EXPECT_EQ(panoramaBits, call.args[9]);
        break;
    }
    // Nothing but the unread panorama (colour 0, black) reached the window.
    ASSERT_EQ(320u * 200u, client.size());
    for (uint32_t p : client) ASSERT_EQ(0u, p);
}

TEST_F(ShellTest, BeforeTheFirstSizeMessagePresentsDrawNothing) {
    if (demotest::RanInAFreshProcess()) return;
    // Started hidden, the window gets no WM_SIZE: every present covers an
    // empty destination until one arrives.
    probe::journal_enable(true);
    std::vector<uint32_t> before;
    std::vector<uint32_t> after;
    HWND hwnd = nullptr;
    const int status = Run(
        [&](int pass) {
            hwnd = probe::main_window();
            int w = 0, h = 0;
            if (pass == 1) probe::fill_client(hwnd, 0x123456);
            if (pass == 4) {
                before = probe::client_pixels(hwnd, &w, &h);
                // The size arrives; the next frame reaches the window.
                WndProc(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(320, 200));
            }
            if (pass == 5) after = probe::client_pixels(hwnd, &w, &h);
            return pass < 5;
        },
        SW_HIDE);
    EXPECT_EQ(0, status);
    ASSERT_EQ(320u * 200u, before.size());
    for (uint32_t p : before) ASSERT_EQ(0x123456u, p) << "a present before WM_SIZE drew";
    int presents = 0;
    for (const probe::Call& call : probe::journal_take()) {
        if (call.function != "StretchDIBits") continue;
        // The fourth frame comes after the size message.
        if (++presents > 3) break;
        EXPECT_EQ(0, call.args[3]) << "present " << presents;
        EXPECT_EQ(0, call.args[4]) << "present " << presents;
    }
    ASSERT_EQ(320u * 200u, after.size());
    EXPECT_EQ(Colours(Expected(32)), after) << "frame 4 after the size arrived";
}

TEST_F(ShellTest, MinimisedWindowKeepsComposingWithoutDrawing) {
    if (demotest::RanInAFreshProcess()) return;
    std::vector<int> composed;  // scroll positions seen while minimised
    bool allMatched = true;
    std::vector<uint32_t> restored;
    const int status = Run([&](int pass) {
        HWND hwnd = probe::main_window();
        int w = 0, h = 0;
        if (pass == 2) probe::post_minimize(hwnd);
        if (pass >= 4 && pass <= 8) {
            // Frame pass - 1 was composed into the frame surface ...
            allMatched = allMatched && FrameSurface() == Expected((pass - 1) * 8);
            composed.push_back((pass - 1) * 8);
            // ... but the window shows nothing.
            EXPECT_TRUE(probe::client_pixels(hwnd, &w, &h).empty()) << "pass " << pass;
            EXPECT_EQ(0, shellWindow.clientWidth);
            EXPECT_EQ(0, shellWindow.clientHeight);
        }
        if (pass == 8) probe::post_restore(hwnd);
        if (pass == 10) restored = probe::client_pixels(hwnd, &w, &h);
        return pass < 10;
    });
    EXPECT_EQ(0, status);
    EXPECT_EQ(5u, composed.size());
    EXPECT_TRUE(allMatched) << "frames composed while minimised differ from the expected ones";
    EXPECT_EQ(Colours(Expected(72)), restored) << "after restoring, frames reach the window again";
}

TEST_F(ShellTest, FocusRealizesThePaletteAgainAndRepaints) {
    if (demotest::RanInAFreshProcess()) return;
    probe::journal_enable(true);
    std::vector<std::string> between;
    HPALETTE selected = nullptr;
    const int status = Run([&](int pass) {
        HWND hwnd = probe::main_window();
        if (pass == 3) {
            probe::journal_take();
            probe::post_focus(hwnd);
        }
        if (pass == 4) {
            between = Names(probe::journal_take());
            selected = probe::selected_palette(shellWindow.dc);
            EXPECT_EQ(0, probe::update_rect(hwnd).right - probe::update_rect(hwnd).left) << "repainted";
        }
        return pass < 4;
    });
    EXPECT_EQ(0, status);
    EXPECT_TRUE(InOrder(between, {"StretchDIBits",  // frame 3
                                  "PeekMessageA", "SelectPalette", "RealizePalette", "InvalidateRect",
                                  "DispatchMessageA", "BeginPaint", "StretchDIBits", "EndPaint"}));
    EXPECT_EQ(shellWindow.palette, selected);
}

TEST_F(ShellTest, ResizingStretchesTheFrameOverTheClientArea) {
    if (demotest::RanInAFreshProcess()) return;
    std::vector<uint32_t> client;
    std::vector<uint8_t> frame;
    int width = 0, height = 0;
    const int status = Run([&](int pass) {
        if (pass == 2) probe::post_resize(probe::main_window(), 640, 300);
        if (pass == 4) {
            client = probe::client_pixels(probe::main_window(), &width, &height);
            frame = FrameSurface();
        }
        return pass < 4;
    });
    EXPECT_EQ(0, status);
    ASSERT_EQ(640, width);
    ASSERT_EQ(300, height);
    EXPECT_TRUE(SamePixels(frame, Expected(24), 320));
    const std::vector<uint32_t> colours = Colours(frame);
    // Twice as wide, one and a half times as tall: a surface pixel covers the
    // client pixels that map back onto it.
    for (int y = 0; y < 300; ++y) {
        for (int x = 0; x < 640; ++x) {
            const uint32_t want = colours[(y * 200 / 300) * 320 + x / 2];
            ASSERT_EQ(want, client[y * 640 + x]) << "client pixel (" << x << ", " << y << ")";
        }
    }
}

TEST_F(ShellTest, WholeCycleReachesTheWindowFrameByFrame) {
    if (demotest::RanInAFreshProcess()) return;
    int checked = 0;
    const int status = Run([&](int pass) {
        if (pass >= 2) {
            const int scrollX = ((pass - 1) * 8) % 1280;
            const std::vector<uint8_t> expected = Expected(scrollX);
            EXPECT_TRUE(SamePixels(FrameSurface(), expected, 320)) << "scrollX " << scrollX;
            int w = 0, h = 0;
            EXPECT_EQ(Colours(expected), probe::client_pixels(probe::main_window(), &w, &h)) << "scrollX " << scrollX;
            ++checked;
        }
        return pass <= 161 && !HasFailure();
    });
    EXPECT_EQ(0, status);
    EXPECT_EQ(161, checked);
}

TEST_F(ShellTest, ClosingEndsWithStatusZeroAndEverythingReleased) {
    if (demotest::RanInAFreshProcess()) return;
    const int status = Run([](int pass) { return pass < 2; });
    EXPECT_EQ(0, status);
    ExpectEverythingReleased();
}

TEST_F(ShellTest, WindowClosedBeforeTheFirstIdlePassNeverReadsTheLogos) {
    if (demotest::RanInAFreshProcess()) return;
    // Open the display once, so that its close request (what SIGTERM asks
    // for) is armed; then the request is waiting when the loop first asks.
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "ScratchWindow";
    RegisterClassA(&wc);
    HWND scratch = CreateWindowExA(0, "ScratchWindow", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, scratch);
    DestroyWindow(scratch);
    std::raise(SIGTERM);

    probe::journal_enable(true);
    int passes = 0;
    const int status = Run([&](int) {
        ++passes;
        return false;
    });
    EXPECT_EQ(0, status);
    EXPECT_EQ(0, passes) << "the window should have closed before any idle pass";
    const std::vector<std::string> names = Names(probe::journal_take());
    EXPECT_EQ(1u, Count(names, "CreateFileA")) << "only SKY.PCX is read";
    EXPECT_TRUE(InOrder(names, {"GetModuleFileNameA", "CreateFileA", "PeekMessageA", "DispatchMessageA",
                                "PostQuitMessage", "DeleteDC"}));
    ExpectEverythingReleased();
}

TEST_F(ShellTest, MissingSkyLeavesThePanoramaAsItWasUnderTheLogos) {
    if (demotest::RanInAFreshProcess()) return;
    UseDirectory(DirectoryWith({"LOGO1.PCX", "LOGO2.PCX"}));
    panoramaModel_ = demomodel::PanoramaModel(nullptr, 0);
    RunAndCheckFrames(50);
}

TEST_F(ShellTest, MissingUpperLogoIsCapturedFromWhatTheLowerOneLeft) {
    if (demotest::RanInAFreshProcess()) return;
    // LOGO2.PCX is absent: its capture takes the frame surface's top-left as
    // LOGO1.PCX left it, so the upper logo shows the lower one's picture.
    UseDirectory(DirectoryWith({"SKY.PCX", "LOGO1.PCX"}));
    logo2_ = logo1_;
    RunAndCheckFrames(50);
}

TEST_F(ShellTest, MissingLowerLogoCapturesTheBlankFrameSurface) {
    if (demotest::RanInAFreshProcess()) return;
    UseDirectory(DirectoryWith({"SKY.PCX", "LOGO2.PCX"}));
    logo1_.rowsTopFirst.assign(logo1_.rowsTopFirst.size(), 0);
    RunAndCheckFrames(50);
}

TEST_F(ShellTest, DirectoryThatLeavesNoRoomForTheLogoNamesReadsOnlyTheSky) {
    if (demotest::RanInAFreshProcess()) return;
    // 120 characters of directory: "SKY.PCX" just fits the 128-byte path
    // buffer, "LOGO1.PCX" and "LOGO2.PCX" do not and are refused whole.
    std::string dir = std::string(DEMO_PICTURE_DIR) + "/";
    if (dir.size() > 120) GTEST_SKIP() << "build directory too deep for this check";
    while (dir.size() < 120) dir += '/';
    probe::set_module_file_name(dir + "x");
    probe::journal_enable(true);
    // The logos were refused, so they captured the blank frame surface.
    logo1_.rowsTopFirst.assign(logo1_.rowsTopFirst.size(), 0);
    logo2_ = logo1_;
    std::string seenDir;
    const int status = Run([&](int pass) {
        if (pass == 1) seenDir = moduleDir;
        if (pass == 2) {
            EXPECT_TRUE(SamePixels(FrameSurface(), Expected(8), 320));
        }
        if (pass == 36) {
            EXPECT_TRUE(SamePixels(FrameSurface(), Expected(280), 320));
        }
        return pass < 36;
    });
    EXPECT_EQ(0, status);
    EXPECT_EQ(dir, seenDir);
    EXPECT_EQ(1u, Count(Names(probe::journal_take()), "CreateFileA"));
}

TEST_F(ShellTest, ModuleNameLongerThanTheBufferReadsNoPicture) {
    if (demotest::RanInAFreshProcess()) return;
    // GetModuleFileNameA cuts the name to 127 characters, so its directory
    // is unknown: no path is built from it and no file is opened.
    std::string dir = std::string(DEMO_PICTURE_DIR) + "/";
    while (dir.size() < 200) dir += '/';
    probe::set_module_file_name(dir + "scaling-scrolling");
    probe::journal_enable(true);
    panoramaModel_ = demomodel::PanoramaModel(nullptr, 0);
    const int status = Run([&](int pass) {
        if (pass == 40) {
            demomodel::Logo blank = logo1_;
            blank.rowsTopFirst.assign(blank.rowsTopFirst.size(), 0);
            EXPECT_TRUE(SamePixels(FrameSurface(), demomodel::ExpectedFrame(panoramaModel_, blank, blank, 312), 320));
        }
        return pass < 40;
    });
    EXPECT_EQ(0, status);
    EXPECT_EQ(0u, Count(Names(probe::journal_take()), "CreateFileA"));
}

TEST_F(ShellTest, BackslashEndsTheDirectoryAsWellAsSlash) {
    if (demotest::RanInAFreshProcess()) return;
    probe::set_module_file_name("C:\\DEMO\\RUN.EXE");
    std::string seenDir;
    std::string skyPath;
    const int status = Run([&](int) {
        seenDir = moduleDir;
        char path[kPathBufferSize];
        if (BuildModulePath(path, "SKY.PCX")) skyPath = path;
        return false;
    });
    EXPECT_EQ(0, status);
    EXPECT_EQ("C:\\DEMO\\", seenDir);
    EXPECT_EQ("C:\\DEMO\\SKY.PCX", skyPath);
}

TEST_F(ShellTest, ModuleNameWithoutDirectoryReadsFromTheCurrentDirectory) {
    if (demotest::RanInAFreshProcess()) return;
    // No separator at all: the directory is empty and the pictures are
    // looked for where the program runs, not under "programSKY.PCX".
    char cwd[4096];
    ASSERT_NE(nullptr, getcwd(cwd, sizeof(cwd)));
    ASSERT_EQ(0, chdir(DEMO_PICTURE_DIR));
    probe::set_module_file_name("scaling-scrolling");
    std::string seenDir = "unset";
    const int status = Run([&](int pass) {
        if (pass == 1) seenDir = moduleDir;
        if (pass == 40) {
            EXPECT_TRUE(SamePixels(FrameSurface(), Expected(312), 320));
        }
        return pass < 40;
    });
    EXPECT_EQ(0, chdir(cwd));
    EXPECT_EQ(0, status);
    EXPECT_EQ("", seenDir);
}

}  // namespace
