// pcxcheck, pcx2png and png2pcx run as people run them, each in a child
// process: interrupted batches, a memory limit, files that are no pictures
// or never end, the layouts png2pcx is asked for, and the manual pages.
#include <gtest/gtest.h>
#include <raster/pcx_codec.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <functional>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "png_io.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

Bytes read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string read_text(const fs::path& path) {
    const Bytes bytes = read_bytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void write_bytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A folder of the case's own, removed after it.
class Scratch {
  public:
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "pcx_tools_XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

// A tool in a child process with standard input from `input` (or
// /dev/null), output and errors into files; `memory` limits its address
// space (0: no limit).
struct Child {
    pid_t pid = -1;
    fs::path out, err;

    Child(const std::vector<std::string>& args, const Scratch& scratch, rlim_t memory = 0,
          const std::string& input = "/dev/null")
        : out(scratch / "stdout"), err(scratch / "stderr") {
        pid = fork();
        if (pid != 0) return;
        if (memory != 0) {
            const rlimit limit{memory, memory};
            setrlimit(RLIMIT_AS, &limit);
        }
        freopen(input.c_str(), "rb", stdin);
        freopen(out.c_str(), "wb", stdout);
        freopen(err.c_str(), "wb", stderr);
        std::vector<char*> argv;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }

    // The exit status, with the child's resource use.
    int wait(rusage* usage = nullptr) {
        int status = 0;
        rusage ignored;
        wait4(pid, &status, 0, usage != nullptr ? usage : &ignored);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    }
};

// A PCX picture made by the codec: true colour, a pattern that runs little.
Bytes pcx_picture(int width, int height, int seed) {
    Bytes rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>((i * 7 + i / 97 * 13 + seed) % 251);
    const size_t size = pcx_encode(rgb.data(), width, height, width * 3, PCX_FORMAT_RGB, nullptr, 0, nullptr, 0);
    Bytes pcx(size);
    pcx_encode(rgb.data(), width, height, width * 3, PCX_FORMAT_RGB, nullptr, 0, pcx.data(), size);
    return pcx;
}

// A PCX header for 1 bit in 1 plane, every row one run per 63 zero bytes:
// a huge picture in a small file.
Bytes huge_black_white_pcx(int side) {
    Bytes pcx(128, 0);
    const int line = (side + 15) / 16 * 2;
    pcx[0] = 10, pcx[1] = 5, pcx[2] = 1, pcx[3] = 1;
    pcx[8] = static_cast<uint8_t>((side - 1) & 0xff), pcx[9] = static_cast<uint8_t>((side - 1) >> 8);
    pcx[10] = pcx[8], pcx[11] = pcx[9];
    pcx[65] = 1, pcx[66] = static_cast<uint8_t>(line & 0xff), pcx[67] = static_cast<uint8_t>(line >> 8), pcx[68] = 1;
    pcx[19] = pcx[20] = pcx[21] = 255;  // entry 1 white
    for (int y = 0; y < side; ++y) {
        for (int left = line; left > 0; left -= 63) pcx.insert(pcx.end(), {uint8_t(0xc0 | std::min(left, 63)), 0});
    }
    return pcx;
}

Bytes png_bytes(const pngio::Picture& picture) {
    Bytes png;
    std::string error;
    EXPECT_TRUE(pngio::write(picture, &png, &error)) << error;
    return png;
}

// Every file under `folder` is whole: no temporary, and each decodes.
void expect_only_whole_files(const fs::path& folder, size_t* count) {
    *count = 0;
    if (!fs::exists(folder)) return;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        const Bytes bytes = read_bytes(entry.path());
        ++*count;
        if (entry.path().extension() == ".pcx") {
            pcx_facts facts;
            Bytes rgb(64 * 48 * 3);
            ASSERT_EQ(pcx_decode(bytes.data(), bytes.size(), PCX_FORMAT_RGB, rgb.data(), rgb.size(), 64 * 3, &facts),
                      PCX_OK)
                << entry.path();
            EXPECT_EQ(facts.damage, 0) << entry.path();
            continue;
        }
        ASSERT_EQ(entry.path().extension(), ".png") << "not a whole output: " << entry.path();
        pngio::Reader reader;
        pngio::Image image;
        std::string error;
        ASSERT_TRUE(reader.open(bytes.data(), bytes.size(), &error) && reader.read(false, &image, &error))
            << entry.path() << ": " << error;
    }
}

// 200 pictures converted, interrupted at moments spread over the batch
// (by each of the three signals in turn), then run again to the end.
// `fill` writes the inputs into its folder.
void interrupt_and_rerun(const std::string& tool, const std::function<void(const fs::path&)>& fill) {
    Scratch scratch;
    std::vector<std::string> args = {
        tool, "-j", "2", "-r", (scratch / "in").string(), "-o", (scratch / "out").string()};
    fs::create_directories(scratch / "in");
    fill(scratch / "in");
    const int signals[] = {SIGINT, SIGTERM, SIGHUP};
    int interrupted = 0;
    for (int attempt = 0; attempt < 6; ++attempt) {
        fs::remove_all(scratch / "out");
        Child child(args, scratch);
        // From the first output on (the handlers are in place by then), at
        // moments spread over the batch.
        const auto start = std::chrono::steady_clock::now();
        while (!fs::exists(scratch / "out") && std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        std::this_thread::sleep_for(std::chrono::milliseconds(attempt * attempt / 2));  // 0 to 12
        const int signal = signals[attempt % 3];
        kill(child.pid, signal);
        const int status = child.wait();
        const std::string said = read_text(child.out);
        size_t whole = 0;
        expect_only_whole_files(scratch / "out", &whole);
        if (status == 0) {  // finished before the signal came
            EXPECT_EQ(whole, 200u) << said;
            continue;
        }
        if (status == 1000 + signal) {  // it came before the handlers: nothing was started
            EXPECT_EQ(whole, 0u);
            continue;
        }
        ASSERT_EQ(status, 128 + signal) << said << read_text(child.err);
        ++interrupted;
        const std::string expected = ": interrupted: " + std::to_string(whole) + " of 200 converted, 0 kept";
        EXPECT_NE(said.find(expected), std::string::npos) << said << " (" << whole << " files)";
        // The same command finishes the job, keeping what is there.
        Child again(args, scratch);
        ASSERT_EQ(again.wait(), 0) << read_text(again.err);
        EXPECT_NE(read_text(again.out).find(std::to_string(200 - whole) + " converted (0 of them with damage), " +
                                            std::to_string(whole) + " kept, 0 refused, 0 failed"),
                  std::string::npos)
            << read_text(again.out);
        expect_only_whole_files(scratch / "out", &whole);
        EXPECT_EQ(whole, 200u);
    }
    EXPECT_GE(interrupted, 3) << "too few signals came while the batch ran";
}

// 200 files of one picture each, made by `make`.
std::function<void(const fs::path&)> files_of(const std::string& extension, const std::function<Bytes(int)>& make) {
    return [=](const fs::path& folder) {
        for (int i = 0; i < 200; ++i) write_bytes(folder / ("p" + std::to_string(i) + extension), make(i));
    };
}

TEST(PcxToolsBatch, InterruptedBatchLeavesWholeFilesAndARerunFinishesIt) {
    interrupt_and_rerun(PCX2PNG, files_of(".pcx", [](int i) { return pcx_picture(64, 48, i); }));
}

// One file of 200 pages: its pages are the batch's jobs.
TEST(PcxToolsBatch, InterruptedMultiPageFileLeavesWholePagesAndARerunFinishesIt) {
    interrupt_and_rerun(PCX2PNG, [](const fs::path& folder) {
        std::vector<Bytes> pages;
        std::vector<uint64_t> sizes;
        for (int i = 0; i < 200; ++i) {
            pages.push_back(pcx_picture(64, 48, i));
            sizes.push_back(pages.back().size());
        }
        Bytes file(PCX_DCX_HEAD_BYTES);
        ASSERT_EQ(pcx_dcx_head(sizes.data(), 200, file.data(), file.size()), file.size());
        for (const Bytes& page : pages) file.insert(file.end(), page.begin(), page.end());
        write_bytes(folder / "fax.dcx", file);
    });
}

TEST(PcxToolsBatch, InterruptedPngBatchLeavesWholeFilesAndARerunFinishesIt) {
    interrupt_and_rerun(PNG2PCX, files_of(".png", [](int i) {
                            Bytes rgb(64 * 48 * 3);
                            for (size_t k = 0; k < rgb.size(); ++k)
                                rgb[k] = static_cast<uint8_t>((k * 7 + k / 97 * 13 + i) % 251);
                            pngio::Picture picture;
                            picture.width = 64, picture.height = 48, picture.pixels = rgb.data(),
                            picture.stride = 64 * 3;
                            return png_bytes(picture);
                        }));
}

TEST(PcxToolsBatch, KeptFailedAndForced) {
    Scratch scratch;
    write_bytes(scratch / "a.pcx", pcx_picture(5, 3, 1));
    write_bytes(scratch / "b.pcx", pcx_picture(6, 2, 2));
    write_bytes(scratch / "out.png", {'k', 'e', 'e', 'p'});
    // An existing output is kept: counted, not a failure.
    Child kept({PCX2PNG, (scratch / "a.pcx").string(), (scratch / "b.pcx").string(), "-o", scratch.path().string()},
               scratch);
    ASSERT_EQ(kept.wait(), 0);
    Child again({PCX2PNG, (scratch / "a.pcx").string(), "-o", scratch.path().string()}, scratch);
    ASSERT_EQ(again.wait(), 0);
    EXPECT_EQ(read_text(again.out),
              "pcx2png: 1 file: 0 converted (0 of them with damage), 1 kept, 0 refused, 0 failed\n");
    // An output folder that cannot be made: failed, not refused.
    Child failed({PCX2PNG, (scratch / "a.pcx").string(), "-o", (scratch / "out.png" / "sub").string()}, scratch);
    EXPECT_EQ(failed.wait(), 1);
    EXPECT_EQ(read_text(failed.out),
              "pcx2png: 1 file: 0 converted (0 of them with damage), 0 kept, 0 refused, 1 failed\n");
    EXPECT_NE(read_text(failed.err)
                  .find("a.pcx: failed: cannot write " + (scratch / "out.png" / "sub" / "a.png").string() +
                        ": cannot make the folder"),
              std::string::npos);
    // Nothing written, no folder made.
    Child refused({PNG2PCX, (scratch / "missing.png").string(), "-o", (scratch / "never").string()}, scratch);
    EXPECT_EQ(refused.wait(), 1);
    EXPECT_EQ(read_text(refused.err), "png2pcx: " + (scratch / "missing.png").string() + ": refused: does not exist\n");
    EXPECT_FALSE(fs::exists(scratch / "never"));
    // --force replaces.
    Child forced({PCX2PNG, "--force", (scratch / "b.pcx").string(), "-o", scratch.path().string()}, scratch);
    EXPECT_EQ(forced.wait(), 0);
    EXPECT_EQ(read_bytes(scratch / "b.png")[1], 'P');
}

// Each tool under an address-space limit, one picture that cannot fit
// between two that can: the small ones are done, the large one is named.
TEST(PcxToolsMemory, APictureThatCannotFitFailsAloneUnderALimit) {
    if (kAddressSanitizer)
        GTEST_SKIP() << "built with AddressSanitizer, whose shadow memory no address-space limit fits";
    Scratch scratch;
    write_bytes(scratch / "a.pcx", pcx_picture(20, 10, 3));
    write_bytes(scratch / "big.pcx", huge_black_white_pcx(16000));
    write_bytes(scratch / "c.pcx", pcx_picture(9, 30, 4));
    const Bytes grey(16000, 7);
    pngio::Picture huge;
    huge.kind = pngio::Kind::Palette, huge.bit_depth = 8, huge.width = huge.height = 16000;
    huge.pixels = grey.data(), huge.stride = 0, huge.palette.assign(3 * 8, 9);
    write_bytes(scratch / "big.png", png_bytes(huge));
    const rlim_t limit = rlim_t{200} << 20;
    const std::string why = "big.%s: refused: not enough memory for 16000 x 16000 pixels\n";
    struct Run {
        std::vector<std::string> args;
        std::string summary;
    } runs[] = {
        {{PCXCHECK, "a.pcx", "big.pcx", "c.pcx"}, "3 files: 2 whole, 0 with notes only, 0 damaged, 1 refused\n"},
        // A budget the picture with the PNG writer's buffers fits in, so
        // that the memory runs out rather than the budget.
        {{PCX2PNG, "-j", "2", "--max-pixels", "4294967296", "a.pcx", "big.pcx", "c.pcx", "-o", "png"},
         "pcx2png: 3 files: 2 converted (0 of them with damage), 0 kept, 1 refused, 0 failed\n"},
        {{PNG2PCX, "-j", "2", "png/a.png", "big.png", "png/c.png", "-o", "pcx"},
         "png2pcx: 3 files: 2 converted (0 of them with damage), 0 kept, 1 refused, 0 failed\n"},
    };
    for (Run& run : runs) {
        for (size_t i = 1; i < run.args.size(); ++i) {
            if (run.args[i].find('.') != std::string::npos || run.args[i - 1] == "-o")
                run.args[i] = (scratch / run.args[i]).string();
        }
        Child child(run.args, scratch, limit);
        EXPECT_EQ(child.wait(), 1) << run.args[0] << read_text(child.err);
        const std::string out = read_text(child.out), err = read_text(child.err);
        const std::string said = run.args[0] == PCXCHECK ? out : err;
        char line[128];
        std::snprintf(line, sizeof line, why.c_str(), run.args[0] == PNG2PCX ? "png" : "pcx");
        EXPECT_NE(said.find(line), std::string::npos) << said;
        EXPECT_NE(out.find(run.summary), std::string::npos) << out;
    }
    EXPECT_TRUE(fs::exists(scratch / "pcx" / "a.pcx") && fs::exists(scratch / "pcx" / "c.pcx"));
}

// A file that is no PCX picture is refused after its header, whatever its
// size; one longer than its picture can need is read only as far as that.
TEST(PcxToolsReading, EndlessAndHugeFilesAreRefusedAtOnce) {
    Scratch scratch;
    const fs::path sparse = scratch / "sparse.pcx";
    { std::ofstream(sparse).put('\0'); }
    fs::resize_file(sparse, uint64_t{3} << 30);
    // Against the same program doing nothing (an instrumented build starts
    // slower and larger): reading all of either would take seconds and
    // gigabytes.
    const auto timed = [&](const std::string& path, rusage* usage) {
        const auto start = std::chrono::steady_clock::now();
        Child child({PCXCHECK, path}, scratch);
        EXPECT_EQ(child.wait(usage), path == "--version" ? 0 : 1);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    rusage idle;
    const double idle_seconds = timed("--version", &idle);
    for (const std::string& path : {std::string("/dev/zero"), sparse.string()}) {
        rusage usage;
        const double seconds = timed(path, &usage);
        EXPECT_LT(seconds, idle_seconds + 0.5) << path;
        EXPECT_LT(usage.ru_maxrss, idle.ru_maxrss + 8 * 1024) << path << ": kilobytes";
        const std::string said = read_text(scratch / "stdout");
        EXPECT_EQ(said.substr(0, path.size() + 30), path + ": refused: not a PCX picture (") << said;
    }
}

TEST(PcxToolsReading, LongEmptyStandardInputAndBundledFlags) {
    Scratch scratch;
    // 7 x 3 true colour, 8 bytes a plane line: at most 128 + 2 * 24 * 3 +
    // 769 + 4096 = 5137 bytes; zeros past that are not read.
    Bytes pcx = pcx_picture(7, 3, 5);
    ASSERT_EQ(pcx[66] + pcx[67] * 256, 8);
    pcx.resize(100000, 0);
    write_bytes(scratch / "long.pcx", pcx);
    write_bytes(scratch / "empty.pcx", {});
    Child child({PCXCHECK, (scratch / "long.pcx").string(), "-", (scratch / "empty.pcx").string()}, scratch, 0,
                (scratch / "long.pcx").string());
    EXPECT_EQ(child.wait(), 1);
    const std::string out = read_text(child.out);
    EXPECT_NE(out.find("  note: the file goes on past the 5137 bytes its picture can need; the rest was not read\n"
                       "(standard input): 7 x 3, 8 bits x 3 planes"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("empty.pcx: refused: empty file\n"), std::string::npos) << out;
    // -qr DIR: quiet and recursive; the whole picture is left out.
    fs::create_directories(scratch / "tree");
    write_bytes(scratch / "tree" / "fine.pcx", pcx_picture(4, 4, 6));
    Child quiet({PCXCHECK, "-qr", (scratch / "tree").string()}, scratch);
    EXPECT_EQ(quiet.wait(), 0);
    EXPECT_EQ(read_text(quiet.out), "");
    for (const char* tool : {PCXCHECK, PCX2PNG, PNG2PCX}) {
        Child version({tool, "--version"}, scratch);
        EXPECT_EQ(version.wait(), 0);
        EXPECT_EQ(read_text(version.out),
                  fs::path(tool).filename().string() + " (raster) " + std::to_string(RASTER_VERSION_MAJOR) + "." +
                      std::to_string(RASTER_VERSION_MINOR) + "." + std::to_string(RASTER_VERSION_PATCH) + "\n");
    }
}

// Each --layout on a picture it must take, read back by the codec.
TEST(PcxToolsLayouts, EachLayoutTakesAPictureThatFits) {
    Scratch scratch;
    const int w = 13, h = 5;
    Bytes rgba(w * h * 4);
    for (int i = 0; i < w * h; ++i) {
        const int colour = (i * 7 + i / w) % 16;  // exactly 16 colours
        rgba[i * 4] = static_cast<uint8_t>(colour * 16), rgba[i * 4 + 1] = static_cast<uint8_t>(255 - colour * 9);
        rgba[i * 4 + 2] = static_cast<uint8_t>(colour * colour), rgba[i * 4 + 3] = static_cast<uint8_t>(100 + i);
    }
    Bytes rgb(w * h * 3);
    for (int i = 0; i < w * h; ++i) std::copy_n(&rgba[i * 4], 3, &rgb[i * 3]);
    pngio::Picture opaque;
    opaque.width = w, opaque.height = h, opaque.pixels = rgb.data(), opaque.stride = w * 3;
    pngio::Picture clear = opaque;
    clear.kind = pngio::Kind::Rgba, clear.pixels = rgba.data(), clear.stride = w * 4;
    write_bytes(scratch / "opaque.png", png_bytes(opaque));
    write_bytes(scratch / "clear.png", png_bytes(clear));
    struct Case {
        const char* layout;
        const char* png;
        int bits, planes, format;
    } cases[] = {{"16", "opaque.png", 1, 4, 3},
                 {"256", "opaque.png", 8, 1, 3},
                 {"rgb", "opaque.png", 8, 3, 3},
                 {"rgba", "clear.png", 8, 4, 4}};
    for (const Case& c : cases) {
        const fs::path out = scratch / c.layout;
        Child child({PNG2PCX, "--layout", c.layout, (scratch / c.png).string(), "-o", out.string()}, scratch);
        ASSERT_EQ(child.wait(), 0) << c.layout << ": " << read_text(child.err);
        const Bytes pcx = read_bytes(out / (std::string(c.png, 0, std::string(c.png).size() - 4) + ".pcx"));
        ASSERT_GT(pcx.size(), 128u);
        EXPECT_EQ(pcx[3], c.bits) << c.layout;
        EXPECT_EQ(pcx[65], c.planes) << c.layout;
        Bytes pixels(w * h * c.format + 1, 0xa5);
        pcx_facts facts;
        ASSERT_EQ(pcx_decode(pcx.data(), pcx.size(), c.format, pixels.data(), pixels.size() - 1, w * c.format, &facts),
                  PCX_OK);
        EXPECT_EQ(facts.damage, 0);
        EXPECT_EQ(pixels.back(), 0xa5);
        pixels.pop_back();
        EXPECT_EQ(pixels, c.format == 4 ? rgba : rgb) << c.layout;
    }
}

// Every option a tool's --help names is in its manual page.
TEST(PcxToolsManual, EveryOptionInTheHelpIsInThePage) {
    Scratch scratch;
    const std::pair<const char*, const char*> tools[] = {
        {PCXCHECK, "pcxcheck/pcxcheck.1"}, {PCX2PNG, "pcxconvert/pcx2png.1"}, {PNG2PCX, "pcxconvert/png2pcx.1"}};
    for (const auto& [tool, page] : tools) {
        Child help({tool, "--help"}, scratch);
        ASSERT_EQ(help.wait(), 0);
        const std::string usage = read_text(help.out);
        std::string text = read_text(fs::path(TOOLS_SOURCE_DIR) / page);
        ASSERT_FALSE(text.empty()) << page;
        for (size_t at; (at = text.find("\\-")) != std::string::npos;) text.replace(at, 2, "-");
        size_t options = 0;
        for (size_t at = usage.find('-'); at != std::string::npos; at = usage.find('-', at + 1)) {
            const bool starts = at == 0 || usage[at - 1] == ' ' || usage[at - 1] == '\n' || usage[at - 1] == '[';
            if (!starts) continue;
            size_t end = at + 1;
            while (end < usage.size() && (std::isalnum(static_cast<unsigned char>(usage[end])) || usage[end] == '-'))
                ++end;
            const std::string option = usage.substr(at, end - at);
            if (option.size() < 2) continue;
            ++options;
            EXPECT_NE(text.find(option), std::string::npos) << page << " lacks " << option;
            at = end;
        }
        EXPECT_GE(options, 6u) << page;
    }
}

}  // namespace
