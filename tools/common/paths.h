// File names are UTF-8 everywhere in the tools. On POSIX systems they go to
// the system as they are; on Windows they must become UTF-16 for the wide
// calls (the narrow ones use a code page that cannot name every file), so
// every path the tools open or look at goes through these.
#ifndef TOOLS_COMMON_PATHS_H
#define TOOLS_COMMON_PATHS_H

#include <cstdio>
#include <filesystem>
#include <string>

namespace tools {

// A path from UTF-8 text.
inline std::filesystem::path path_of(const std::string& utf8) { return std::filesystem::u8path(utf8); }

// A path's UTF-8 text, with the system's separators as they are.
inline std::string text_of(const std::filesystem::path& path) { return path.u8string(); }

// fopen by a UTF-8 name; mode is one of "rb", "wb".
inline FILE* open_file(const std::string& utf8, const char* mode) {
#ifdef _WIN32
    const std::wstring wide_mode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(path_of(utf8).c_str(), wide_mode.c_str());
#else
    return std::fopen(utf8.c_str(), mode);
#endif
}

}  // namespace tools

#endif  // TOOLS_COMMON_PATHS_H
