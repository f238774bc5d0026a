// The Windows side of windows_args.h: UTF-16 from the system, UTF-8 inside.
#include "windows_args.h"

// shellapi.h needs what windows.h declares first.
#include <windows.h>
// (CommandLineToArgvW)
#include <shellapi.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>

namespace tools {

namespace {

std::string utf8(const wchar_t* wide) {
    const int length = static_cast<int>(std::wcslen(wide));
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, wide, length, text.data(), size, nullptr, nullptr);
    return text;
}

std::wstring wide(const std::string& text) {
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), size);
    return wide;
}

// `*` any run of characters, `?` any one, letters in any case, as Windows
// matches names. Applied to the long name: FindFirstFileW also matches the
// short 8.3 names, by which `*.pcx` would find "picture.pcxold".
bool matches(const wchar_t* pattern, const wchar_t* name) {
    const wchar_t* star = nullptr;
    const wchar_t* resume = nullptr;
    while (*name != L'\0') {
        if (*pattern == L'*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == L'?' || std::towlower(*pattern) == std::towlower(*name)) {
            ++pattern;
            ++name;
        } else if (star != nullptr) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == L'*') ++pattern;
    return *pattern == L'\0';
}

// Where the last part of a path starts: after its last `\` or `/`, or after
// a drive letter's colon ("C:*.pcx").
size_t name_start(const std::string& path) {
    const size_t separator = path.find_last_of("\\/");
    if (separator != std::string::npos) return separator + 1;
    return path.size() >= 2 && path[1] == ':' ? 2 : 0;
}

}  // namespace

Utf8Arguments::Utf8Arguments(int* argc, char*** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide != nullptr) {
        for (int i = 0; i < count; ++i) arguments_.push_back(utf8(wide[i]));
        LocalFree(wide);
        for (std::string& argument : arguments_) pointers_.push_back(argument.data());
        pointers_.push_back(nullptr);
        *argc = count;
        *argv = pointers_.data();
    }
    output_code_page_ = GetConsoleOutputCP();
    if (output_code_page_ != 0) SetConsoleOutputCP(CP_UTF8);
}

Utf8Arguments::~Utf8Arguments() {
    if (output_code_page_ != 0) SetConsoleOutputCP(output_code_page_);
}

std::vector<std::string> expand_wildcards(const std::string& argument) {
    const size_t start = name_start(argument);
    const std::wstring pattern = wide(argument.substr(start));
    if (pattern.find_first_of(L"*?") == std::wstring::npos) return {argument};
    std::vector<std::string> found;
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW(wide(argument).c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            // Folders are taken with -r, not by a file argument.
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
            if (matches(pattern.c_str(), entry.cFileName)) found.push_back(utf8(entry.cFileName));
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    if (found.empty()) return {argument};
    std::sort(found.begin(), found.end());
    for (std::string& name : found) name.insert(0, argument, 0, start);
    return found;
}

bool error_is_console() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

int processor_count() {
    const DWORD count = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    return count == 0 ? 1 : static_cast<int>(count);
}

}  // namespace tools
