// What a tool needs from Windows that POSIX systems give it for free: the
// command line in UTF-8 (Windows keeps it in UTF-16; the narrow argv is in a
// code page that cannot name every file), the file arguments' wildcards
// expanded (cmd.exe leaves `*.pcx` to the program), whether standard error
// is a console, and the processors Windows reports. Elsewhere each is a
// no-op or the plain POSIX answer.
#ifndef TOOLS_COMMON_WINDOWS_ARGS_H
#define TOOLS_COMMON_WINDOWS_ARGS_H

#include <string>
#include <vector>

namespace tools {

#ifdef _WIN32

// For as long as it lives, *argc and *argv are the program's arguments in
// UTF-8 and a console shows UTF-8 output (its code page is put back at the
// end). Made first thing in main.
class Utf8Arguments {
  public:
    Utf8Arguments(int* argc, char*** argv);
    ~Utf8Arguments();
    Utf8Arguments(const Utf8Arguments&) = delete;
    Utf8Arguments& operator=(const Utf8Arguments&) = delete;

  private:
    std::vector<std::string> arguments_;
    std::vector<char*> pointers_;
    unsigned output_code_page_ = 0;  // the console's, to put back
};

// The files a file argument with `*` or `?` in its last part names, in name
// order, each with the argument's folder as written (`\` or `/`, drive
// letter and all); the argument itself when it has no wildcard or matches
// nothing (so that the missing file is named as given).
std::vector<std::string> expand_wildcards(const std::string& argument);

// Standard error is a console (not a file, pipe or NUL).
bool error_is_console();

// Logical processors in every processor group.
int processor_count();

#else

class Utf8Arguments {
  public:
    Utf8Arguments(int*, char***) {}
};

inline std::vector<std::string> expand_wildcards(const std::string& argument) { return {argument}; }

#endif

}  // namespace tools

#endif  // TOOLS_COMMON_WINDOWS_ARGS_H
