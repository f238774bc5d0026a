#include "inputs.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "paths.h"
#include "windows_args.h"

namespace fs = std::filesystem;

namespace tools {

namespace {

bool EndsWithAnyCase(const std::string& name, const std::string& extension) {
    if (name.size() <= extension.size()) return false;
    const std::string tail = name.substr(name.size() - extension.size());
    return std::equal(tail.begin(), tail.end(), extension.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

bool CollectFolder(const std::string& folder, const std::string& extension, std::vector<Input>* inputs,
                   std::string* error) {
    std::error_code code;
    if (!fs::is_directory(PathOf(folder), code)) {
        *error = folder + " is not a folder";
        return false;
    }
    std::vector<Input> found;
    fs::recursive_directory_iterator it(PathOf(folder), fs::directory_options::skip_permission_denied, code);
    for (; !code && it != fs::recursive_directory_iterator(); it.increment(code)) {
        if (!it->is_regular_file(code) || !EndsWithAnyCase(TextOf(it->path().filename()), extension)) continue;
        found.push_back({TextOf(it->path()), it->path().lexically_relative(PathOf(folder)).generic_u8string()});
    }
    if (code) {
        *error = "cannot list " + folder + ": " + code.message();
        return false;
    }
    if (found.empty()) {
        *error = "no " + extension + " files under " + folder;
        return false;
    }
    std::sort(found.begin(), found.end(), [](const Input& a, const Input& b) { return a.relative < b.relative; });
    inputs->insert(inputs->end(), found.begin(), found.end());
    return true;
}

}  // namespace

bool CollectInputs(const std::vector<std::string>& files, const std::vector<std::string>& folders,
                   const std::string& extension, std::vector<Input>* inputs, std::string* error) {
    for (const std::string& argument : files) {
        for (const std::string& file : ExpandWildcards(argument)) {
            std::error_code code;
            if (fs::is_directory(PathOf(file), code)) {
                *error = file + " is a folder (-r DIR takes every " + extension + " file under one)";
                return false;
            }
            inputs->push_back({file, TextOf(PathOf(file).filename())});
        }
    }
    for (const std::string& folder : folders) {
        if (!CollectFolder(folder, extension, inputs, error)) return false;
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
    FILE* file = OpenFile(path, "rb");
    if (file == nullptr) {
        *error = std::strerror(errno);
        return false;
    }
    bytes->clear();
    std::error_code code;
    const auto size = fs::file_size(PathOf(path), code);
    if (!code) bytes->reserve(static_cast<size_t>(size));
    uint8_t block[65536];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) bytes->insert(bytes->end(), block, block + got);
    const bool failed = std::ferror(file) != 0;
    if (failed) *error = std::strerror(errno);
    std::fclose(file);
    return !failed;
}

bool ErrorIsTerminal() {
#ifdef _WIN32
    return ErrorIsConsole();
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

}  // namespace tools
