#include "options.h"

#include <raster/pcx_codec.h>

#include <cstdio>

namespace tools {

CommandLine::CommandLine(const char* program, std::vector<OptionRule> rules, const char* usage)
    : program_(program), rules_(std::move(rules)), usage_(usage) {}

const OptionRule* CommandLine::find(const std::string& name) const {
    for (const OptionRule& rule : rules_) {
        if (name == rule.name || (rule.short_name != nullptr && name == rule.short_name)) return &rule;
    }
    return nullptr;
}

std::string CommandLine::names() const {
    std::string names;
    for (const OptionRule& rule : rules_) names += std::string(rule.name) + ", ";
    return names + (find("--version") != nullptr ? "--help" : "--help, --version");
}

int CommandLine::refuse(const std::string& message) const {
    std::fprintf(stderr, "%s: %s\n", program_, message.c_str());
    return 2;
}

int CommandLine::bad_value(const std::string& name, const std::string& value) const {
    const OptionRule* rule = find(name);
    const std::string allowed = rule != nullptr && rule->allowed != nullptr ? rule->allowed : "no value";
    return refuse(name + " takes " + allowed + ", not '" + value + "'");
}

// Short names bundled in one argument ("-qr DIR", "-qj4"): each flag is
// taken in turn, and the first name that takes a value takes the rest of the
// argument, or the next argument when nothing follows it.
int CommandLine::parse_short(const std::string& arg, int argc, char** argv, int* i) {
    for (size_t at = 1; at < arg.size(); ++at) {
        const OptionRule* rule = find(std::string("-") + arg[at]);
        if (rule == nullptr)
            return refuse("unknown option '-" + std::string(1, arg[at]) + "'; the options are " + names());
        if (rule->allowed == nullptr) {
            options_.push_back({rule->name, std::string()});
            continue;
        }
        std::string value = arg.substr(at + 1);
        if (value.empty()) {
            if (*i + 1 >= argc) return refuse(std::string(rule->name) + " needs a value: " + rule->allowed);
            value = argv[++*i];
        }
        options_.push_back({rule->name, value});
        return -1;
    }
    return -1;
}

// --name=value, or a name whose value is the next argument.
int CommandLine::parse_long(const std::string& arg, int argc, char** argv, int* i) {
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const OptionRule* rule = find(name);
    if (rule == nullptr) return refuse("unknown option '" + arg + "'; the options are " + names());
    if (rule->allowed == nullptr) {
        if (equals != std::string::npos) {
            return refuse(std::string(rule->name) + " takes no value, not '" + arg.substr(equals + 1) + "'");
        }
        options_.push_back({rule->name, std::string()});
        return -1;
    }
    if (equals != std::string::npos) {
        options_.push_back({rule->name, arg.substr(equals + 1)});
        return -1;
    }
    if (*i + 1 >= argc) return refuse(std::string(rule->name) + " needs a value: " + rule->allowed);
    options_.push_back({rule->name, argv[++*i]});
    return -1;
}

int CommandLine::parse(int argc, char** argv) {
    bool only_operands = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        // "-" alone is an operand: standard input, where a tool takes it.
        if (only_operands || arg.size() < 2 || arg[0] != '-') {
            operands_.push_back(arg);
            continue;
        }
        if (arg == "--") {
            only_operands = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage_, stdout);
            return 0;
        }
        // A tool whose own --version takes a value (pcxwrite's header
        // version) has it when one follows; alone it is the program's.
        if (arg == "--version" && (find(arg) == nullptr || i + 1 >= argc)) {
            std::printf("%s (raster) %d.%d.%d\n", program_, RASTER_VERSION_MAJOR, RASTER_VERSION_MINOR,
                        RASTER_VERSION_PATCH);
            return 0;
        }
        const int status = arg[1] == '-' ? parse_long(arg, argc, argv, &i) : parse_short(arg, argc, argv, &i);
        if (status >= 0) return status;
    }
    return -1;
}

bool parse_whole(const std::string& text, int64_t low, int64_t high, int64_t* value) {
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
