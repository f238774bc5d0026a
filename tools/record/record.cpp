// Runs the demo's real WinMain on the stand-in's headless display and writes
// what its window showed: one PNG per frame and/or an animated GIF.
//
//   scaling-scrolling-record [--frames N] [--step K] [--client WxH]
//                            [--png-dir DIR] [--gif FILE] [--dir PICTURE_DIR]
//
// The idle hook runs each time the message loop finds its queue empty, just
// before that pass composes a frame; so at the hook's second call the client
// area holds the first frame, and so on. After N frames the window is closed
// the way a user closes it, and the recorder exits with the program's status.
#include <windows.h>

#include <standin/probe.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "image_files.h"
#include "options.h"

namespace probe = standin::probe;

namespace {

const char kProgram[] = "scaling-scrolling-record";

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
constexpr int kMaxFrames = 100000;
constexpr int kMaxClientSide = 4096;

const char kUsage[] =
    "usage: scaling-scrolling-record [--frames N] [--step K] [--client WxH] [--png-dir DIR] [--gif FILE]\n"
    "                                [--dir PICTURE_DIR]\n"
    "Runs the demo without a display and writes what its window shows.\n"
    "  --frames N     frames to render, 1 to 100000 (default 160, one full cycle)\n"
    "  --step K       keep every K-th rendered frame, 1 to N (default 1); a smaller GIF\n"
    "  --client WxH   client area size, each side 1 to 4096 (default 320x200)\n"
    "  --png-dir DIR  write DIR/frame-0001.png ..., numbered by rendered frame (DIR is created)\n"
    "  --gif FILE     write an animated GIF (its folder is created)\n"
    "  --dir DIR      folder holding SKY.PCX, LOGO1.PCX and LOGO2.PCX (default: the build's);\n"
    "                 a folder without them is named with what it lacks (status 1)\n"
    "  --help         show this text\n"
    "At least one of --png-dir and --gif is needed. --opt=value and --opt value both work.\n";

const tools::OptionRule kOptions[] = {
    {"--frames", nullptr, "a whole number from 1 to 100000"},
    {"--step", nullptr, "a whole number from 1 to the --frames value"},
    {"--client", nullptr, "WIDTHxHEIGHT, each from 1 to 4096"},
    {"--png-dir", nullptr, "a folder name"},
    {"--gif", nullptr, "a file name"},
    {"--dir", nullptr, "a folder that holds SKY.PCX, LOGO1.PCX and LOGO2.PCX"},
};

// A whole number from 1 to limit.
bool ParseCount(const std::string& text, int limit, int* value) {
    int64_t parsed = 0;
    if (!tools::ParseWhole(text, 1, limit, &parsed)) return false;
    *value = static_cast<int>(parsed);
    return true;
}

// One option's value into the options; false when it is not allowed.
bool TakeOption(const tools::Option& option, Options* options) {
    const std::string& value = option.value;
    if (option.name == "--frames") return ParseCount(value, kMaxFrames, &options->frames);
    if (option.name == "--step") return ParseCount(value, kMaxFrames, &options->step);
    if (option.name == "--client") {
        const size_t x = value.find('x');
        return x != std::string::npos && ParseCount(value.substr(0, x), kMaxClientSide, &options->width) &&
               ParseCount(value.substr(x + 1), kMaxClientSide, &options->height);
    }
    if (value.empty()) return false;
    if (option.name == "--png-dir") {
        options->pngDir = value;
    } else if (option.name == "--gif") {
        options->gifPath = value;
    } else {
        options->pictureDir = value;
    }
    return true;
}

// Returns -1 when the options are good, else the exit status (0 after
// --help, 2 after a line saying what is wrong).
int ParseOptions(int argc, char** argv, Options* options) {
    tools::CommandLine line(kProgram, std::vector<tools::OptionRule>(std::begin(kOptions), std::end(kOptions)), kUsage);
    const int parsed = line.Parse(argc, argv);
    if (parsed >= 0) return parsed;
    for (const tools::Option& option : line.options()) {
        if (!TakeOption(option, options)) return line.BadValue(option.name, option.value);
    }
    if (!line.operands().empty()) {
        return line.Refuse("takes no file names, only options, not '" + line.operands().front() + "'");
    }
    if (options->pngDir.empty() && options->gifPath.empty()) {
        return line.Refuse("nothing to write: give --png-dir DIR, --gif FILE or both");
    }
    if (options->step > options->frames) {
        return line.Refuse("--step takes a whole number from 1 to the --frames value (" +
                           std::to_string(options->frames) + "), not '" + std::to_string(options->step) + "'");
    }
    std::error_code error;
    if (!std::filesystem::is_directory(options->pictureDir, error)) {
        return line.Refuse("--dir takes a folder that exists, not '" + options->pictureDir + "'");
    }
    return -1;
}

// The demo's pictures the folder lacks, comma-separated; empty when all
// are there. Without them the program runs on a black sky with no logos,
// which is no recording of the demo.
std::string MissingPictures(const std::string& folder) {
    std::string missing;
    for (const char* name : {"SKY.PCX", "LOGO1.PCX", "LOGO2.PCX"}) {
        std::error_code error;
        if (std::filesystem::is_regular_file(std::filesystem::path(folder) / name, error)) continue;
        missing += (missing.empty() ? "" : ", ") + std::string(name);
    }
    return missing;
}

// Creates a folder and its parents when missing.
bool MakeFolder(const std::string& folder, std::string* message) {
    std::error_code error;
    if (folder.empty() || std::filesystem::is_directory(folder, error)) return true;
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder)) {
        *message = "cannot create the folder " + folder + (error ? ": " + error.message() : "");
        return false;
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
    const int parsed = ParseOptions(argc, argv, &options);
    if (parsed >= 0) return parsed;
    const std::string missing = MissingPictures(options.pictureDir);
    if (!missing.empty()) {
        std::fprintf(stderr, "%s: %s lacks the demo's pictures %s\n", kProgram, options.pictureDir.c_str(),
                     missing.c_str());
        return 1;
    }

    std::string error;
    if (!MakeFolder(options.pngDir, &error) ||
        !MakeFolder(std::filesystem::path(options.gifPath).parent_path().string(), &error)) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return 1;
    }

    probe::reset();
    probe::select_backend(probe::Backend::Headless);
    probe::set_client_size(options.width, options.height);
    // The program looks for its pictures next to its own executable.
    probe::set_module_file_name(options.pictureDir + "/scaling-scrolling");

    record::GifWriter gif;
    if (!options.gifPath.empty() &&
        !gif.Open(options.gifPath, options.width, options.height, kGifDelayCentiseconds * options.step, &error)) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return 1;
    }

    // Progress for runs long enough to wonder about, on a terminal only.
    const bool showProgress = isatty(STDERR_FILENO) != 0;
    auto lastReport = std::chrono::steady_clock::now();
    bool reported = false;

    int idlePasses = 0;
    int rendered = 0;
    bool failed = false;
    probe::set_idle_hook([&]() {
        ++idlePasses;
        // The first pass comes before any frame; stop once closing.
        if (idlePasses < 2 || rendered >= options.frames || failed) return;
        HWND hwnd = probe::main_window();
        record::Frame frame;
        frame.pixels = probe::client_pixels(hwnd, &frame.width, &frame.height);
        if (frame.pixels.empty()) {
            error = "the window showed no client area";
            failed = true;
        } else if (++rendered % options.step == 0) {
            if (!options.pngDir.empty() &&
                !record::WritePng(options.pngDir + "/" + FrameName(rendered), frame, &error)) {
                failed = true;
            }
            if (!failed && !options.gifPath.empty() && !gif.Add(frame, &error)) failed = true;
        }
        if (showProgress && std::chrono::steady_clock::now() - lastReport > std::chrono::seconds(1)) {
            std::fprintf(stderr, "\r%s: frame %d of %d", kProgram, rendered, options.frames);
            lastReport = std::chrono::steady_clock::now();
            reported = true;
        }
        if (failed || rendered >= options.frames) probe::post_close(hwnd);
    });

    std::string commandLine;
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, &commandLine[0], SW_SHOWDEFAULT);
    probe::set_idle_hook(std::function<void()>());
    if (reported) std::fputc('\n', stderr);

    if (!failed && !options.gifPath.empty() && !gif.Close(&error)) failed = true;
    if (failed) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return status != 0 ? status : 1;
    }
    if (rendered < options.frames) {
        std::fprintf(stderr, "%s: the program ended after %d of %d frames\n", kProgram, rendered, options.frames);
        return status != 0 ? status : 1;
    }
    return status;
}
