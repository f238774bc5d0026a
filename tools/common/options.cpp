#include "options.h"

#include <cstdio>

namespace tools {

CommandLine::CommandLine(const char* program, std::vector<OptionSpec> specs, const char* usage)
    : program_(program), specs_(std::move(specs)), usage_(usage) {}

const OptionSpec* CommandLine::Find(const std::string& name) const {
    for (const OptionSpec& spec : specs_) {
        if (name == spec.name || (spec.short_name != nullptr && name == spec.short_name)) return &spec;
    }
    return nullptr;
}

std::string CommandLine::Names() const {
    std::string names;
    for (const OptionSpec& spec : specs_) names += std::string(spec.name) + ", ";
    return names + "--help";
}

int CommandLine::Refuse(const std::string& message) const {
    std::fprintf(stderr, "%s: %s\n", program_, message.c_str());
    return 2;
}

int CommandLine::BadValue(const std::string& name, const std::string& value) const {
    const OptionSpec* spec = Find(name);
    const std::string allowed = spec != nullptr && spec->allowed != nullptr ? spec->allowed : "no value";
    return Refuse(name + " takes " + allowed + ", not '" + value + "'");
}

int CommandLine::Parse(int argc, char** argv) {
    bool onlyOperands = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (onlyOperands || arg.size() < 2 || arg[0] != '-') {
            operands_.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyOperands = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage_, stdout);
            return 0;
        }
        // --name=value, -xVALUE (a short name glued to its value), or a
        // name whose value is the next argument.
        std::string name = arg;
        std::string value;
        bool glued = false;
        const size_t equals = arg.find('=');
        if (arg[1] == '-' && equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            glued = true;
        } else if (arg[1] != '-' && arg.size() > 2) {
            name = arg.substr(0, 2);
            value = arg.substr(2);
            glued = true;
        }
        const OptionSpec* spec = Find(name);
        if (spec == nullptr) return Refuse("unknown option '" + arg + "'; the options are " + Names());
        if (spec->allowed == nullptr) {
            if (glued) return Refuse(std::string(spec->name) + " takes no value, not '" + value + "'");
            options_.push_back({spec->name, std::string()});
            continue;
        }
        if (!glued) {
            if (i + 1 >= argc) return Refuse(std::string(spec->name) + " needs a value: " + spec->allowed);
            value = argv[++i];
        }
        options_.push_back({spec->name, value});
    }
    return -1;
}

bool ParseWhole(const std::string& text, int64_t low, int64_t high, int64_t* value) {
    if (text.empty() || text.size() > 18) return false;
    int64_t parsed = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        parsed = parsed * 10 + (c - '0');
    }
    if (parsed < low || parsed > high) return false;
    *value = parsed;
    return true;
}

}  // namespace tools
