#include "inputs.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "interrupt.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

#include "paths.h"
#include "windows_args.h"

namespace fs = std::filesystem;

namespace tools {

namespace {

bool ends_with_any_case(const std::string& name, const std::string& extension) {
    if (name.size() <= extension.size()) return false;
    const std::string tail = name.substr(name.size() - extension.size());
    return std::equal(tail.begin(), tail.end(), extension.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

bool ends_with_any(const std::string& name, const std::vector<std::string>& extensions) {
    return std::any_of(extensions.begin(), extensions.end(),
                       [&](const std::string& extension) { return ends_with_any_case(name, extension); });
}

// ".pcx", ".pcx or .dcx".
std::string listed(const std::vector<std::string>& extensions) {
    std::string words;
    for (size_t i = 0; i < extensions.size(); ++i) words += (i == 0 ? "" : " or ") + extensions[i];
    return words;
}

bool collect_folder(const std::string& folder, const std::vector<std::string>& extensions, std::vector<Input>* inputs,
                    std::string* error) {
    std::error_code code;
    if (!fs::is_directory(path_of(folder), code)) {
        *error = folder + (fs::exists(path_of(folder), code) ? " is not a folder" : " does not exist");
        return false;
    }
    std::vector<Input> found;
    fs::recursive_directory_iterator it(path_of(folder), fs::directory_options::skip_permission_denied, code);
    for (; !code && it != fs::recursive_directory_iterator(); it.increment(code)) {
        if (!it->is_regular_file(code) || !ends_with_any(text_of(it->path().filename()), extensions)) continue;
        found.push_back({text_of(it->path()), it->path().lexically_relative(path_of(folder)).generic_u8string()});
    }
    if (code) {
        *error = "cannot list " + folder + ": " + code.message();
        return false;
    }
    if (found.empty()) {
        *error = "no " + listed(extensions) + " files under " + folder;
        return false;
    }
    std::sort(found.begin(), found.end(), [](const Input& a, const Input& b) { return a.relative < b.relative; });
    inputs->insert(inputs->end(), found.begin(), found.end());
    return true;
}

}  // namespace

bool collect_inputs(const std::vector<std::string>& files, const std::vector<std::string>& folders,
                    const std::vector<std::string>& extensions, std::vector<Input>* inputs, std::string* error) {
    for (const std::string& argument : files) {
        for (const std::string& file : expand_wildcards(argument)) {
            std::error_code code;
            if (fs::is_directory(path_of(file), code)) {
                *error = file + " is a folder (-r DIR takes every " + listed(extensions) + " file under one)";
                return false;
            }
            inputs->push_back({file, text_of(path_of(file).filename())});
        }
    }
    for (const std::string& folder : folders) {
        if (!collect_folder(folder, extensions, inputs, error)) return false;
    }
    return true;
}

FILE* open_input(const std::string& path, std::string* error) {
    if (path == "-") {
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY);  // bytes as they are, no line ends translated
#endif
        return stdin;
    }
    FILE* file = open_file(path, "rb");
    if (file == nullptr)
        *error = errno == ENOENT ? "does not exist" : "cannot be read: " + std::string(std::strerror(errno));
    return file;
}

void close_input(FILE* file) {
    if (file != stdin) std::fclose(file);
}

bool read_at_most(FILE* file, uint64_t most, std::vector<uint8_t>* bytes, std::string* error) {
    uint8_t block[65536];
    while (bytes->size() < most) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(sizeof block, most - bytes->size()));
        const size_t got = std::fread(block, 1, want, file);
        bytes->insert(bytes->end(), block, block + got);
        if (got == want) continue;
        if (!std::ferror(file)) return true;  // the end of the file
        // A read from a pipe or terminal that a signal cut short goes on
        // unless the signal asks the tool to stop.
        if (errno == EINTR && interrupt_signal() == 0) {
            std::clearerr(file);
            continue;
        }
        *error = errno == EINTR ? "interrupted" : "cannot be read: " + std::string(std::strerror(errno));
        return false;
    }
    return true;
}

bool read_whole_file(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
    FILE* file = open_input(path, error);
    if (file == nullptr) return false;
    bytes->clear();
    std::error_code code;
    const auto size = fs::file_size(path_of(path), code);
    if (!code) bytes->reserve(static_cast<size_t>(size));
    const bool read = read_at_most(file, UINT64_MAX, bytes, error);
    close_input(file);
    if (read && bytes->empty()) *error = "empty file";
    return read && !bytes->empty();
}

unsigned long process_id() {
#ifdef _WIN32
    return static_cast<unsigned long>(_getpid());
#else
    return static_cast<unsigned long>(getpid());
#endif
}

bool error_is_terminal() {
#ifdef _WIN32
    return error_is_console();
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

}  // namespace tools
