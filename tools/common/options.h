// Command-line options, parsed the same way in every tool: `--opt value` and
// `--opt=value` both work, a short name (`-j 4`, `-j4`) where one is given,
// short flags bundle (`-qr DIR`), `--` ends the options, `-` alone is an
// operand, `--help` (or `-h`) prints the usage and `--version` the
// library's version ("pcxcheck (raster) 1.3.0"), both exiting 0 (a tool
// whose own --version takes a value, pcxwrite's, has it when one follows),
// and anything wrong is one line naming the option and what it allows
// (status 2).
#ifndef TOOLS_COMMON_OPTIONS_H
#define TOOLS_COMMON_OPTIONS_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tools {

// One option: its long name ("--jobs"), a short one ("-j") or nullptr, and
// for an option that takes a value, the values it allows in words ("a whole
// number from 1 to 256"); nullptr makes it a flag.
struct OptionRule {
    const char* name;
    const char* short_name;
    const char* allowed;
};

struct Option {
    std::string name;   // the long name, whichever way it was given
    std::string value;  // empty for a flag
};

class CommandLine {
  public:
    CommandLine(const char* program, std::vector<OptionRule> rules, const char* usage);

    // Splits the arguments into options (in order) and operands. Returns -1
    // to go on, 0 after printing the usage for --help or the version for
    // --version, 2 after a line saying what is wrong.
    int parse(int argc, char** argv);

    const std::vector<Option>& options() const { return options_; }
    const std::vector<std::string>& operands() const { return operands_; }

    // "PROGRAM: MESSAGE" on standard error; returns 2.
    int refuse(const std::string& message) const;
    // "PROGRAM: --opt takes ALLOWED, not 'VALUE'"; returns 2.
    int bad_value(const std::string& name, const std::string& value) const;
    const char* program() const { return program_; }

  private:
    const OptionRule* find(const std::string& name) const;
    int parse_short(const std::string& arg, int argc, char** argv, int* i);
    int parse_long(const std::string& arg, int argc, char** argv, int* i);
    std::string names() const;

    const char* program_;
    std::vector<OptionRule> rules_;
    const char* usage_;
    std::vector<Option> options_;
    std::vector<std::string> operands_;
};

// A whole number from low to high, digits only (no sign, no spaces).
bool parse_whole(const std::string& text, int64_t low, int64_t high, int64_t* value);

}  // namespace tools

#endif  // TOOLS_COMMON_OPTIONS_H
