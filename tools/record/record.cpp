// Runs the demo's real WinMain on the stand-in's headless display and writes
// what its window showed: one PNG per frame and/or an animated GIF.
//
//   scaling-scrolling-record [--frames N] [--client WxH] [--png-dir DIR]
//                            [--gif FILE] [--dir PICTURE_DIR] [--step K]
//
// The idle hook runs each time the message loop finds its queue empty, just
// before that pass composes a frame; so at the hook's second call the client
// area holds the first frame, and so on. After N frames the window is closed
// the way a user closes it, and the recorder exits with the program's status.
#include <windows.h>

#include <standin/probe.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "image_files.h"

namespace probe = standin::probe;

namespace {

struct Options {
    int frames = 160;
    int width = 320;
    int height = 200;
    std::string pngDir;
    std::string gifPath;
    std::string pictureDir = SCALING_SCROLLING_PICTURE_DIR;
    int step = 1;
};

constexpr int kGifDelayCentiseconds = 3;
constexpr int kLimit = 100000;

void Usage() {
    std::fprintf(stderr,
                 "usage: scaling-scrolling-record [--frames N] [--client WxH] [--png-dir DIR] [--gif FILE] "
                 "[--dir PICTURE_DIR]\n"
                 "  --frames N     frames to record (default 160, one full cycle)\n"
                 "  --client WxH   client area size (default 320x200)\n"
                 "  --png-dir DIR  write DIR/frame-0001.png ... (the directory must exist)\n"
                 "  --gif FILE     write an animated GIF\n"
                 "  --dir DIR      directory holding SKY.PCX, LOGO1.PCX, LOGO2.PCX\n"
                 "  --step K       keep every K-th frame only (default 1), for a smaller GIF\n");
}

bool ParseCount(const std::string& text, int* value) {
    if (text.empty() || text.size() > 6) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    *value = std::atoi(text.c_str());
    return *value >= 1 && *value <= kLimit;
}

bool ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return false;
        const std::string value = argv[++i];
        if (arg == "--frames") {
            if (!ParseCount(value, &options->frames)) return false;
        } else if (arg == "--client") {
            const size_t x = value.find('x');
            if (x == std::string::npos) return false;
            if (!ParseCount(value.substr(0, x), &options->width) || options->width > 4096) return false;
            if (!ParseCount(value.substr(x + 1), &options->height) || options->height > 4096) return false;
        } else if (arg == "--png-dir") {
            options->pngDir = value;
        } else if (arg == "--gif") {
            options->gifPath = value;
        } else if (arg == "--step") {
            if (!ParseCount(value, &options->step)) return false;
        } else if (arg == "--dir") {
            options->pictureDir = value;
        } else {
            return false;
        }
    }
    return true;
}

std::string FrameName(int n) {
    char name[32];
    std::snprintf(name, sizeof(name), "frame-%04d.png", n);
    return name;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        Usage();
        return 2;
    }

    probe::reset();
    probe::select_backend(probe::Backend::Headless);
    probe::set_client_size(options.width, options.height);
    // The program looks for its pictures next to its own executable.
    probe::set_module_file_name(options.pictureDir + "/scaling-scrolling");

    record::GifWriter gif;
    std::string error;
    if (!options.gifPath.empty() &&
        !gif.Open(options.gifPath, options.width, options.height, kGifDelayCentiseconds * options.step, &error)) {
        std::fprintf(stderr, "scaling-scrolling-record: %s\n", error.c_str());
        return 1;
    }

    int idlePasses = 0;
    int shown = 0;
    int recorded = 0;
    bool failed = false;
    probe::set_idle_hook([&]() {
        ++idlePasses;
        // The first pass comes before any frame; stop once closing.
        if (idlePasses < 2 || recorded >= options.frames || failed) return;
        HWND hwnd = probe::main_window();
        record::Frame frame;
        frame.pixels = probe::client_pixels(hwnd, &frame.width, &frame.height);
        if (frame.pixels.empty()) {
            error = "the window showed no client area";
            failed = true;
        } else if (++shown % options.step == 0) {
            ++recorded;
            if (!options.pngDir.empty() && !record::WritePng(options.pngDir + "/" + FrameName(shown), frame, &error)) {
                failed = true;
            }
            if (!failed && !options.gifPath.empty() && !gif.Add(frame, &error)) failed = true;
        }
        if (failed || recorded >= options.frames) probe::post_close(hwnd);
    });

    std::string commandLine;
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, &commandLine[0], SW_SHOWDEFAULT);
    probe::set_idle_hook(std::function<void()>());

    if (!failed && !options.gifPath.empty() && recorded > 0 && !gif.Close(&error)) failed = true;
    if (failed) {
        std::fprintf(stderr, "scaling-scrolling-record: %s\n", error.c_str());
        return status != 0 ? status : 1;
    }
    if (recorded < options.frames) {
        std::fprintf(stderr, "scaling-scrolling-record: the program ended after %d of %d frames\n", recorded,
                     options.frames);
        return status != 0 ? status : 1;
    }
    return status;
}
