#include "options.h"

#include <cstdio>

namespace tools {

CommandLine::CommandLine(const char* program, std::vector<OptionRule> rules, const char* usage)
    : program_(program), rules_(std::move(rules)), usage_(usage) {}

const OptionRule* CommandLine::Find(const std::string& name) const {
    for (const OptionRule& rule : rules_) {
        if (name == rule.name || (rule.short_name != nullptr && name == rule.short_name)) return &rule;
    }
    return nullptr;
}

std::string CommandLine::Names() const {
    std::string names;
    for (const OptionRule& rule : rules_) names += std::string(rule.name) + ", ";
    return names + "--help";
}

int CommandLine::Refuse(const std::string& message) const {
    std::fprintf(stderr, "%s: %s\n", program_, message.c_str());
    return 2;
}

int CommandLine::BadValue(const std::string& name, const std::string& value) const {
    const OptionRule* rule = Find(name);
    const std::string allowed = rule != nullptr && rule->allowed != nullptr ? rule->allowed : "no value";
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
        const OptionRule* rule = Find(name);
        if (rule == nullptr) return Refuse("unknown option '" + arg + "'; the options are " + Names());
        if (rule->allowed == nullptr) {
            if (glued) return Refuse(std::string(rule->name) + " takes no value, not '" + value + "'");
            options_.push_back({rule->name, std::string()});
            continue;
        }
        if (!glued) {
            if (i + 1 >= argc) return Refuse(std::string(rule->name) + " needs a value: " + rule->allowed);
            value = argv[++i];
        }
        options_.push_back({rule->name, value});
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
