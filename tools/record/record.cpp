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

#include "demo/geometry.h"
#include "image_files.h"
#include "options.h"

namespace probe = standin::probe;

namespace {

const char kProgram[] = "scaling-scrolling-record";

struct Options {
    int frames = 160;
    int width = kFrameWidth;  // the frame unscaled
    int height = kFrameHeight;
    std::string png_dir;
    std::string gif_path;
    std::string picture_dir = SCALING_SCROLLING_PICTURE_DIR;
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
bool parse_count(const std::string& text, int limit, int* value) {
    int64_t parsed = 0;
    if (!tools::parse_whole(text, 1, limit, &parsed)) return false;
    *value = static_cast<int>(parsed);
    return true;
}

// One option's value into the options; false when it is not allowed.
bool take_option(const tools::Option& option, Options* options) {
    const std::string& value = option.value;
    if (option.name == "--frames") return parse_count(value, kMaxFrames, &options->frames);
    if (option.name == "--step") return parse_count(value, kMaxFrames, &options->step);
    if (option.name == "--client") {
        const size_t x = value.find('x');
        return x != std::string::npos && parse_count(value.substr(0, x), kMaxClientSide, &options->width) &&
               parse_count(value.substr(x + 1), kMaxClientSide, &options->height);
    }
    if (value.empty()) return false;
    if (option.name == "--png-dir") {
        options->png_dir = value;
    } else if (option.name == "--gif") {
        options->gif_path = value;
    } else {
        options->picture_dir = value;
    }
    return true;
}

// Returns -1 when the options are good, else the exit status (0 after
// --help, 2 after a line saying what is wrong).
int parse_options(int argc, char** argv, Options* options) {
    tools::CommandLine line(kProgram, std::vector<tools::OptionRule>(std::begin(kOptions), std::end(kOptions)), kUsage);
    const int parsed = line.parse(argc, argv);
    if (parsed >= 0) return parsed;
    for (const tools::Option& option : line.options()) {
        if (!take_option(option, options)) return line.bad_value(option.name, option.value);
    }
    if (!line.operands().empty()) {
        return line.refuse("takes no file names, only options, not '" + line.operands().front() + "'");
    }
    if (options->png_dir.empty() && options->gif_path.empty()) {
        return line.refuse("nothing to write: give --png-dir DIR, --gif FILE or both");
    }
    if (options->step > options->frames) {
        return line.refuse("--step takes a whole number from 1 to the --frames value (" +
                           std::to_string(options->frames) + "), not '" + std::to_string(options->step) + "'");
    }
    std::error_code error;
    if (!std::filesystem::is_directory(options->picture_dir, error)) {
        return line.refuse("--dir takes a folder that exists, not '" + options->picture_dir + "'");
    }
    return -1;
}

// The demo's pictures the folder lacks, comma-separated; empty when all
// are there. Without them the program runs on a black sky with no logos,
// which is no recording of the demo.
std::string missing_pictures(const std::string& folder) {
    std::string missing;
    for (const char* name : {"SKY.PCX", "LOGO1.PCX", "LOGO2.PCX"}) {
        std::error_code error;
        if (std::filesystem::is_regular_file(std::filesystem::path(folder) / name, error)) continue;
        missing += (missing.empty() ? "" : ", ") + std::string(name);
    }
    return missing;
}

// Creates a folder and its parents when missing.
bool make_folder(const std::string& folder, std::string* message) {
    std::error_code error;
    if (folder.empty() || std::filesystem::is_directory(folder, error)) return true;
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder)) {
        *message = "cannot create the folder " + folder + (error ? ": " + error.message() : "");
        return false;
    }
    return true;
}

std::string frame_name(int n) {
    char name[32];
    std::snprintf(name, sizeof(name), "frame-%04d.png", n);
    return name;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const int parsed = parse_options(argc, argv, &options);
    if (parsed >= 0) return parsed;
    const std::string missing = missing_pictures(options.picture_dir);
    if (!missing.empty()) {
        std::fprintf(stderr, "%s: %s lacks the demo's pictures %s\n", kProgram, options.picture_dir.c_str(),
                     missing.c_str());
        return 1;
    }

    std::string error;
    if (!make_folder(options.png_dir, &error) ||
        !make_folder(std::filesystem::path(options.gif_path).parent_path().string(), &error)) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return 1;
    }

    probe::reset();
    probe::select_backend(probe::Backend::Headless);
    probe::set_client_size(options.width, options.height);
    // The program looks for its pictures next to its own executable.
    probe::set_module_file_name(options.picture_dir + "/scaling-scrolling");

    record::GifWriter gif;
    if (!options.gif_path.empty() &&
        !gif.open(options.gif_path, options.width, options.height, kGifDelayCentiseconds * options.step, &error)) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return 1;
    }

    // Progress for runs long enough to wonder about, on a terminal only.
    const bool show_progress = isatty(STDERR_FILENO) != 0;
    auto last_report = std::chrono::steady_clock::now();
    bool reported = false;

    int idle_passes = 0;
    int rendered = 0;
    bool failed = false;
    probe::set_idle_hook([&]() {
        ++idle_passes;
        // The first pass comes before any frame; stop once closing.
        if (idle_passes < 2 || rendered >= options.frames || failed) return;
        HWND hwnd = probe::main_window();
        record::Frame frame;
        frame.pixels = probe::client_pixels(hwnd, &frame.width, &frame.height);
        if (frame.pixels.empty()) {
            error = "the window showed no client area";
            failed = true;
        } else if (++rendered % options.step == 0) {
            if (!options.png_dir.empty() &&
                !record::write_png(options.png_dir + "/" + frame_name(rendered), frame, &error)) {
                failed = true;
            }
            if (!failed && !options.gif_path.empty() && !gif.add(frame, &error)) failed = true;
        }
        if (show_progress && std::chrono::steady_clock::now() - last_report > std::chrono::seconds(1)) {
            std::fprintf(stderr, "\r%s: frame %d of %d", kProgram, rendered, options.frames);
            last_report = std::chrono::steady_clock::now();
            reported = true;
        }
        if (failed || rendered >= options.frames) probe::post_close(hwnd);
    });

    std::string command_line;
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, &command_line[0], SW_SHOWDEFAULT);
    probe::set_idle_hook(std::function<void()>());
    if (reported) std::fputc('\n', stderr);

    if (!failed && !options.gif_path.empty() && !gif.close(&error)) failed = true;
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
