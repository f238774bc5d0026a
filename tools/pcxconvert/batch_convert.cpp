#include "batch_convert.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>

#include "inputs.h"
#include "paths.h"

namespace fs = std::filesystem;
using tools::PathOf;
using tools::TextOf;

namespace convert {

const char kSharedUsage[] =
    "  -o, --output DIR    write the outputs into DIR (made if missing), below it as they\n"
    "                      lie below their -r folder; without it, beside each input\n"
    "  -r, --recursive DIR every input file (any case of its extension) under DIR\n"
    "  -j, --jobs N        files converted at once, 1 to 256 (default: the number of cores)\n"
    "  --max-pixels N      pixels all jobs together may decode at once (default 268435456);\n"
    "                      a larger picture is refused with its size\n"
    "  --force             replace existing outputs (never done without it)\n"
    "  -h, --help          show this text\n"
    "A progress line is shown on a terminal; the end says how many files were\n"
    "converted, converted with damage and refused, and why. Exit status 0, 1 when\n"
    "any file was refused, 2 for a usage error.\n";

namespace {

constexpr int64_t kDefaultMaxPixels = int64_t{1} << 28;

const tools::OptionRule kShared[] = {
    {"--output", "-o", "a folder"},
    {"--recursive", "-r", "a folder"},
    {"--jobs", "-j", "a whole number from 1 to 256"},
    {"--max-pixels", nullptr, "a whole number of pixels from 1 to 4294967296"},
    {"--force", nullptr, nullptr},
};

struct Settings {
    std::string output;
    std::vector<std::string> folders;
    int jobs = tools::CoreCount();
    int64_t max_pixels = kDefaultMaxPixels;
    bool force = false;
};

struct Job {
    std::string input;
    std::string output;
    Outcome outcome;
};

// -1 to go on, else the exit status.
int TakeOptions(const Tool& tool, const tools::CommandLine& line, Settings* settings) {
    for (const tools::Option& option : line.options()) {
        int64_t number = 0;
        bool good = true;
        if (option.name == "--output") {
            settings->output = option.value;
            good = !option.value.empty();
        } else if (option.name == "--recursive") {
            settings->folders.push_back(option.value);
            good = !option.value.empty();
        } else if (option.name == "--jobs") {
            good = tools::ParseWhole(option.value, 1, 256, &number);
            settings->jobs = static_cast<int>(number);
        } else if (option.name == "--max-pixels") {
            good = tools::ParseWhole(option.value, 1, int64_t{1} << 32, &settings->max_pixels);
        } else if (option.name == "--force") {
            settings->force = true;
        } else {
            good = tool.take(option);
        }
        if (!good) return line.BadValue(option.name, option.value);
    }
    if (line.operands().empty() && settings->folders.empty()) {
        return line.Refuse(std::string("no files to convert: give FILE... or -r DIR (") + tool.program +
                           " --help for more)");
    }
    return -1;
}

std::string OutputFor(const tools::Input& input, const Settings& settings, const char* extension) {
    fs::path path = settings.output.empty() ? PathOf(input.path) : PathOf(settings.output) / PathOf(input.relative);
    return TextOf(path.replace_extension(extension));
}

// The jobs, each with its output; an output two inputs would share is
// refused for the later one. Output folders are made here, before any
// worker starts.
std::vector<Job> PlanJobs(const std::vector<tools::Input>& inputs, const Settings& settings, const Tool& tool) {
    std::vector<Job> jobs;
    std::map<std::string, std::string> taken;
    for (const tools::Input& input : inputs) {
        Job job{input.path, OutputFor(input, settings, tool.output_extension), {}};
        const auto [it, fresh] = taken.emplace(TextOf(PathOf(job.output).lexically_normal()), input.path);
        if (!fresh) {
            job.outcome.why = "its output " + job.output + " is also " + it->second + "'s";
        } else {
            std::error_code error;
            const fs::path folder = PathOf(job.output).parent_path();
            if (!folder.empty()) fs::create_directories(folder, error);
            if (error) job.outcome.why = "cannot make the folder " + TextOf(folder) + ": " + error.message();
        }
        jobs.push_back(job);
    }
    return jobs;
}

// Written under a temporary name and renamed, so that a failure leaves no
// partial output.
bool WriteOutput(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error) {
    const std::string part = path + ".part";
    FILE* file = tools::OpenFile(part, "wb");
    if (file == nullptr) {
        *error = std::strerror(errno);
        return false;
    }
    bool good = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (!good) *error = std::strerror(errno);
    if (std::fclose(file) != 0 && good) {
        good = false;
        *error = std::strerror(errno);
    }
    std::error_code code;
    if (good) fs::rename(PathOf(part), PathOf(path), code);
    if (good && code) {
        good = false;
        *error = code.message();
    }
    if (!good) fs::remove(PathOf(part), code);
    return good;
}

void ConvertOne(Job* job, const Settings& settings, const Converter& converter, tools::PixelBudget& budget) {
    Outcome& outcome = job->outcome;
    if (!outcome.why.empty()) return;  // refused while planning
    std::error_code code;
    if (!settings.force && fs::exists(PathOf(job->output), code)) {
        outcome.why = job->output + " exists (--force replaces it)";
        return;
    }
    std::vector<uint8_t> input;
    std::vector<uint8_t> output;
    std::string error;
    if (!tools::ReadWholeFile(job->input, &input, &error)) {
        outcome.why = "cannot be read: " + error;
        return;
    }
    outcome = converter(input, budget, &output);
    if (outcome.result == Result::Refused) return;
    if (!WriteOutput(job->output, output, &error))
        outcome = {Result::Refused, "cannot write " + job->output + ": " + error};
}

// The jobs' order of work: largest input first, so that no worker starts
// a large file when the others are about to run out of work.
std::vector<size_t> LargestFirst(const std::vector<Job>& jobs) {
    std::vector<std::pair<uintmax_t, size_t>> sizes;
    for (size_t i = 0; i < jobs.size(); ++i) {
        std::error_code error;
        const uintmax_t size = fs::file_size(PathOf(jobs[i].input), error);
        sizes.push_back({error ? 0 : size, i});
    }
    std::stable_sort(sizes.begin(), sizes.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<size_t> order;
    for (const auto& entry : sizes) order.push_back(entry.second);
    return order;
}

int Summarize(const Tool& tool, const std::vector<Job>& jobs) {
    size_t counts[3] = {0, 0, 0};
    for (const Job& job : jobs) {
        ++counts[static_cast<int>(job.outcome.result)];
        if (job.outcome.result == Result::Damaged) {
            std::fprintf(stderr, "%s: %s: converted with damage: %s\n", tool.program, job.input.c_str(),
                         job.outcome.why.c_str());
        } else if (job.outcome.result == Result::Refused) {
            std::fprintf(stderr, "%s: %s: refused: %s\n", tool.program, job.input.c_str(), job.outcome.why.c_str());
        }
    }
    std::fflush(stderr);
    std::printf("%s: %zu file%s: %zu converted (%zu of them with damage), %zu refused\n", tool.program, jobs.size(),
                jobs.size() == 1 ? "" : "s", counts[0] + counts[1], counts[1], counts[2]);
    std::fflush(stdout);
    return counts[2] > 0 ? 1 : 0;
}

}  // namespace

std::string TooLarge(int64_t width, int64_t height, int64_t limit) {
    return std::to_string(width) + " x " + std::to_string(height) + " pixels, more than --max-pixels " +
           std::to_string(limit);
}

int Run(const Tool& tool, int argc, char** argv, const std::function<Converter()>& make) {
    std::vector<tools::OptionRule> rules(std::begin(kShared), std::end(kShared));
    rules.insert(rules.end(), tool.options.begin(), tool.options.end());
    tools::CommandLine line(tool.program, rules, tool.usage);
    const int parsed = line.Parse(argc, argv);
    if (parsed >= 0) return parsed;
    Settings settings;
    const int taken = TakeOptions(tool, line, &settings);
    if (taken >= 0) return taken;

    std::vector<tools::Input> inputs;
    std::string error;
    if (!tools::CollectInputs(line.operands(), settings.folders, tool.input_extension, &inputs, &error)) {
        std::fprintf(stderr, "%s: %s\n", tool.program, error.c_str());
        return 1;
    }
    std::vector<Job> jobs = PlanJobs(inputs, settings, tool);
    const Converter converter = make();
    tools::PixelBudget budget(settings.max_pixels);
    const std::vector<size_t> order = LargestFirst(jobs);
    tools::RunBatch(jobs.size(), settings.jobs, tools::ErrorIsTerminal(), tool.program,
                    [&](size_t i) { ConvertOne(&jobs[order[i]], settings, converter, budget); });
    return Summarize(tool, jobs);
}

}  // namespace convert
