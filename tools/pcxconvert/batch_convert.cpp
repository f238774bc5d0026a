#include "batch_convert.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <new>
#include <system_error>

#include "inputs.h"
#include "interrupt.h"
#include "paths.h"

namespace fs = std::filesystem;
using tools::path_of;
using tools::text_of;

namespace convert {

const char kSharedUsage[] =
    "  -o, --output DIR    write the outputs into DIR (made if missing), below it as they\n"
    "                      lie below their -r folder; without it, beside each input\n"
    "  -r, --recursive DIR every input file (any case of its extension) under DIR\n"
    "  -j, --jobs N        files converted at once, 1 to 256 (default: the number of cores)\n"
    "  --max-pixels N      pixels all jobs together may decode at once (default 268435456);\n"
    "                      a larger picture is refused with its size\n"
    "  --force             replace existing outputs (without it they are kept)\n"
    "  -h, --help          show this text\n"
    "  --version           show the version\n"
    "Outputs are written whole or not at all. A progress line is shown on a\n"
    "terminal; the end says how many files were converted (with damage), kept\n"
    "(their output exists), refused (the input) and failed (the output could not\n"
    "be written), and why. Ctrl-C stops the batch with whole files only; the same\n"
    "command run again converts the rest. Exit status 0, 1 when any file was\n"
    "refused or failed, 2 for a usage error, 128 + the signal when interrupted.\n";

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
    int jobs = tools::core_count();
    int64_t max_pixels = kDefaultMaxPixels;
    bool force = false;
};

struct Job {
    Job(const std::string& in, const std::string& out) : input(in), output(out), name(in) {}

    std::string input;
    std::string output;
    Outcome outcome;
    std::string name;  // in messages: the input, or "INPUT page P"
    const Page* page = nullptr;
};

// -1 to go on, else the exit status.
int take_options(const Tool& tool, const tools::CommandLine& line, Settings* settings) {
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
            good = tools::parse_whole(option.value, 1, 256, &number);
            settings->jobs = static_cast<int>(number);
        } else if (option.name == "--max-pixels") {
            good = tools::parse_whole(option.value, 1, int64_t{1} << 32, &settings->max_pixels);
        } else if (option.name == "--force") {
            settings->force = true;
        } else {
            good = tool.take(option);
        }
        if (!good) return line.bad_value(option.name, option.value);
    }
    for (const std::string& operand : line.operands()) {
        if (operand == "-") {
            return line.refuse(
                std::string("- (standard input) is not taken: name the files, whose names name the "
                            "outputs (pcxcheck reads standard input)"));
        }
    }
    if (line.operands().empty() && settings->folders.empty()) {
        return line.refuse(std::string("no files to convert: give FILE... or -r DIR (") + tool.program +
                           " --help for more)");
    }
    return -1;
}

std::string output_for(const tools::Input& input, const Settings& settings, const char* extension) {
    fs::path path = settings.output.empty() ? path_of(input.path) : path_of(settings.output) / path_of(input.relative);
    return text_of(path.replace_extension(extension));
}

// The jobs, each with its output (a multi-page input one a page); an output
// two inputs would share is refused for the later one.
std::vector<Job> plan_jobs(const std::vector<tools::Input>& inputs, const Settings& settings, const Tool& tool,
                           std::vector<std::vector<Page>>* pages) {
    std::vector<Job> jobs;
    std::map<std::string, std::string> taken;
    pages->resize(inputs.size());
    for (size_t i = 0; i < inputs.size(); ++i) {
        const tools::Input& input = inputs[i];
        const std::string output = output_for(input, settings, tool.output_extension);
        std::vector<Page>& own = (*pages)[i];
        if (!tool.pages || !tool.pages(input.path, &own)) own.clear();
        const size_t count = std::max<size_t>(own.size(), 1);
        for (size_t p = 0; p < count; ++p) {
            Job job(input.path, output);
            if (!own.empty()) {
                job.page = &own[p];
                job.output = page_output(output, own[p]);
                job.name = input.path + " page " + std::to_string(own[p].number);
                if (!own[p].refused.empty()) job.outcome = {Result::Refused, own[p].refused};
            }
            const auto [it, fresh] = taken.emplace(text_of(path_of(job.output).lexically_normal()), job.name);
            if (!fresh) job.outcome = {Result::Refused, "its output " + job.output + " is also " + it->second + "'s"};
            jobs.push_back(job);
        }
    }
    return jobs;
}

// The output's folder, made when the first file is written into it (so a
// batch that writes nothing makes nothing).
bool make_folder(const std::string& path, std::string* error) {
    const fs::path folder = path_of(path).parent_path();
    std::error_code code;
    if (folder.empty() || fs::is_directory(folder, code)) return true;
    fs::create_directories(folder, code);
    std::error_code again;
    if (!code || fs::is_directory(folder, again)) return true;  // made by this job, or by another at once
    *error = "cannot make the folder " + text_of(folder) + ": " + code.message();
    return false;
}

// Written under a temporary name and renamed, so that a failure or an
// interrupt leaves no partial output: the temporary is removed instead.
// Result::Converted when written; Failed with the reason, or NotStarted when
// an interrupt came.
Result write_output(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error) {
    if (!make_folder(path, error)) return Result::Failed;
    const std::string part = path + "." + std::to_string(tools::process_id()) + ".part";  // two runs never share one
    FILE* file = tools::open_file(part, "wb");
    if (file == nullptr) {
        *error = std::strerror(errno);
        return Result::Failed;
    }
    bool good = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (!good) *error = std::strerror(errno);
    if (std::fclose(file) != 0 && good) {
        good = false;
        *error = std::strerror(errno);
    }
    std::error_code code;
    const bool interrupted = tools::interrupt_signal() != 0;
    if (good && !interrupted) fs::rename(path_of(part), path_of(path), code);
    if (good && code) {
        good = false;
        *error = code.message();
    }
    if (!good || interrupted) fs::remove(path_of(part), code);
    return interrupted ? Result::NotStarted : good ? Result::Converted : Result::Failed;
}

Outcome read_and_convert(const Job& job, const Settings& settings, const Tool& tool, const Converter& converter,
                         tools::PixelBudget& budget, std::vector<uint8_t>* output) {
    std::vector<uint8_t> input;
    std::string error;
    const bool read = job.page != nullptr ? tool.read_page(job.input, *job.page, settings.max_pixels, &input, &error)
                      : tool.read         ? tool.read(job.input, settings.max_pixels, &input, &error)
                                          : tools::read_whole_file(job.input, &input, &error);
    if (!read) return {Result::Refused, error};
    return converter(input, budget, output);
}

void convert_one(Job* job, const Settings& settings, const Tool& tool, const Converter& converter,
                 tools::PixelBudget& budget) {
    Outcome& outcome = job->outcome;
    if (outcome.result != Result::NotStarted) return;  // refused while planning
    std::error_code code;
    if (!settings.force && fs::exists(path_of(job->output), code)) {
        outcome = {Result::Kept, std::string()};
        return;
    }
    std::vector<uint8_t> output;
    try {
        outcome = read_and_convert(*job, settings, tool, converter, budget, &output);
    } catch (const std::bad_alloc&) {
        outcome = {Result::Refused, "not enough memory"};
    }
    if (outcome.result != Result::Converted && outcome.result != Result::Damaged) return;
    std::string error;
    const Result written = write_output(job->output, output, &error);
    if (written == Result::Failed) outcome = {Result::Failed, "cannot write " + job->output + ": " + error};
    if (written == Result::NotStarted) outcome = {Result::NotStarted, std::string()};
}

// The jobs' order of work: largest input first, so that no worker starts
// a large file when the others are about to run out of work.
std::vector<size_t> largest_first(const std::vector<Job>& jobs) {
    std::vector<std::pair<uintmax_t, size_t>> sizes;
    sizes.reserve(jobs.size());
    for (size_t i = 0; i < jobs.size(); ++i) {
        std::error_code error;
        const uintmax_t size =
            jobs[i].page != nullptr ? jobs[i].page->extent : fs::file_size(path_of(jobs[i].input), error);
        sizes.push_back({error ? 0 : size, i});
    }
    std::stable_sort(sizes.begin(), sizes.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<size_t> order;
    order.reserve(sizes.size());
    for (const auto& entry : sizes) order.push_back(entry.second);
    return order;
}

// Each file that lost something or was not written, then the counts:
// "PROGRAM: 200 files: 190 converted (2 of them with damage), 8 kept,
// 1 refused, 1 failed", or after an interrupt "PROGRAM: interrupted: 37 of
// 200 converted, ...". Returns the exit status.
int summarize(const Tool& tool, const std::vector<Job>& jobs, size_t inputs) {
    size_t counts[6] = {0, 0, 0, 0, 0, 0};
    const char* words[6] = {nullptr, "converted with damage", nullptr, "refused", "failed", nullptr};
    for (const Job& job : jobs) {
        const int result = static_cast<int>(job.outcome.result);
        ++counts[result];
        if (words[result] != nullptr) {
            std::fprintf(stderr, "%s: %s: %s: %s\n", tool.program, job.name.c_str(), words[result],
                         job.outcome.why.c_str());
        }
    }
    std::fflush(stderr);
    const int signal = tools::interrupt_signal();
    const size_t converted = counts[0] + counts[1];
    if (signal != 0) {
        std::printf("%s: interrupted: %zu of %zu converted, %zu kept, %zu refused, %zu failed\n", tool.program,
                    converted, jobs.size(), counts[2], counts[3], counts[4]);
    } else {
        // Counted by output: with a multi-page input, the files and their pages.
        const std::string files = std::to_string(inputs) + (inputs == 1 ? " file" : " files");
        const std::string outputs =
            jobs.size() == inputs ? files : files + " (" + std::to_string(jobs.size()) + " pictures)";
        std::printf("%s: %s: %zu converted (%zu of them with damage), %zu kept, %zu refused, %zu failed\n",
                    tool.program, outputs.c_str(), converted, counts[1], counts[2], counts[3], counts[4]);
    }
    std::fflush(stdout);
    if (signal != 0) return 128 + signal;
    return counts[3] + counts[4] > 0 ? 1 : 0;
}

// The converted parts joined by the tool and written whole: Converted,
// Failed (why in `error`, or printed when they cannot be joined), or
// NotStarted after an interrupt.
Result join_and_write(const Tool& tool, const std::vector<std::vector<uint8_t>>& parts, std::string* error) {
    const std::string& path = *tool.combined;
    std::vector<uint8_t> whole;
    try {
        if (!tool.combine(parts, &whole, error)) {
            std::fprintf(stderr, "%s: %s: not written: %s\n", tool.program, path.c_str(), error->c_str());
            error->clear();
            return Result::Failed;
        }
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: %s: not written: not enough memory\n", tool.program, path.c_str());
        return Result::Failed;
    }
    return write_output(path, whole, error);
}

// Every input converted on the workers and kept, then joined into one file
// that is written whole, or not at all when any input was refused, an
// interrupt came or the file could not be written. An existing file is
// kept unless --force.
int run_combined(const Tool& tool, const std::vector<tools::Input>& inputs, const Settings& settings,
                 const Converter& converter) {
    const std::string& path = *tool.combined;
    std::error_code code;
    if (!settings.force && fs::exists(path_of(path), code)) {
        std::printf("%s: %s kept: it exists (--force replaces it)\n", tool.program, path.c_str());
        return 0;
    }
    std::vector<Job> jobs;
    jobs.reserve(inputs.size());
    for (const tools::Input& input : inputs) jobs.emplace_back(input.path, path);
    std::vector<std::vector<uint8_t>> parts(jobs.size());
    tools::PixelBudget budget(settings.max_pixels);
    tools::run_batch(jobs.size(), settings.jobs, tools::error_is_terminal(), tool.program, [&](size_t i) {
        try {
            jobs[i].outcome = read_and_convert(jobs[i], settings, tool, converter, budget, &parts[i]);
        } catch (const std::bad_alloc&) {
            jobs[i].outcome = {Result::Refused, "not enough memory"};
        }
    });
    size_t lost = 0;
    for (const Job& job : jobs) {
        if (job.outcome.result == Result::Converted || job.outcome.result == Result::Damaged) continue;
        ++lost;
        if (job.outcome.result == Result::Refused)
            std::fprintf(stderr, "%s: %s: refused: %s\n", tool.program, job.name.c_str(), job.outcome.why.c_str());
    }
    std::string error;
    const bool go = lost == 0 && tools::interrupt_signal() == 0;
    const Result written = go ? join_and_write(tool, parts, &error) : Result::NotStarted;
    if (written == Result::Failed && !error.empty())
        std::fprintf(stderr, "%s: cannot write %s: %s\n", tool.program, path.c_str(), error.c_str());
    std::fflush(stderr);
    if (const int signal = tools::interrupt_signal(); signal != 0) {
        std::printf("%s: interrupted: %s not written\n", tool.program, path.c_str());
        return 128 + signal;
    }
    if (written == Result::Converted) {
        std::printf("%s: %zu file%s into %s\n", tool.program, jobs.size(), jobs.size() == 1 ? "" : "s", path.c_str());
        return 0;
    }
    std::printf("%s: %s not written: %zu of %zu files refused\n", tool.program, path.c_str(), lost, jobs.size());
    return 1;
}

}  // namespace

std::string page_output(const std::string& output, const Page& page) {
    const std::string digits = std::to_string(page.count);
    std::string number = std::to_string(page.number);
    number.insert(0, digits.size() - std::min(digits.size(), number.size()), '0');
    const fs::path path = path_of(output);
    return text_of(path.parent_path() / path_of(text_of(path.stem()) + "-" + number + text_of(path.extension())));
}

int run(const Tool& tool, int argc, char** argv, const std::function<Converter()>& make) {
    tools::install_interrupt_handlers();  // first: a signal from now on ends the batch cleanly
    std::vector<tools::OptionRule> rules(std::begin(kShared), std::end(kShared));
    rules.insert(rules.end(), tool.options.begin(), tool.options.end());
    tools::CommandLine line(tool.program, rules, tool.usage);
    const int parsed = line.parse(argc, argv);
    if (parsed >= 0) return parsed;
    Settings settings;
    const int taken = take_options(tool, line, &settings);
    if (taken >= 0) return taken;

    std::vector<tools::Input> inputs;
    std::string error;
    if (!tools::collect_inputs(line.operands(), settings.folders, tool.input_extensions, &inputs, &error)) {
        std::fprintf(stderr, "%s: %s\n", tool.program, error.c_str());
        return 1;
    }
    const Converter converter = make();
    if (tool.combined != nullptr && !tool.combined->empty()) return run_combined(tool, inputs, settings, converter);
    std::vector<std::vector<Page>> pages;
    std::vector<Job> jobs = plan_jobs(inputs, settings, tool, &pages);
    tools::PixelBudget budget(settings.max_pixels);
    const std::vector<size_t> order = largest_first(jobs);
    tools::run_batch(jobs.size(), settings.jobs, tools::error_is_terminal(), tool.program,
                     [&](size_t i) { convert_one(&jobs[order[i]], settings, tool, converter, budget); });
    return summarize(tool, jobs, inputs.size());
}

}  // namespace convert
