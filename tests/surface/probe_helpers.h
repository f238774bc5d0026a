// Helpers for the suites that steer and watch the stand-in.
#ifndef TESTS_SURFACE_PROBE_HELPERS_H
#define TESTS_SURFACE_PROBE_HELPERS_H

#include <gtest/gtest.h>

#include <standin/probe.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "library_env.h"

namespace coretest {

using standin::probe::Call;
using Arg = std::optional<std::intptr_t>;
constexpr std::nullopt_t kAny = std::nullopt;

template <typename T>
std::intptr_t as_arg(T value) {
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<std::intptr_t>(value);
    } else {
        return static_cast<std::intptr_t>(value);
    }
}

// One journal entry against a name and the arguments that matter (kAny for
// the rest).
inline ::testing::AssertionResult call_is(const Call& call, const std::string& name, const std::vector<Arg>& args) {
    if (call.function != name)
        return ::testing::AssertionFailure() << "call " << call.function << ", expected " << name;
    if (call.args.size() != args.size()) {
        return ::testing::AssertionFailure()
               << name << " has " << call.args.size() << " arguments, expected " << args.size();
    }
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] && *args[i] != call.args[i]) {
            return ::testing::AssertionFailure()
                   << name << " argument " << i << " is " << call.args[i] << ", expected " << *args[i];
        }
    }
    return ::testing::AssertionSuccess();
}

inline std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : " ") + name;
    return text;
}

// The names of the calls, in order, as one string for readable failures.
inline std::string call_names(const std::vector<Call>& calls) { return joined(standin::probe::journal_names(calls)); }

// Each test starts from a fresh stand-in on the display depth it names.
class ProbeTest : public ::testing::Test {
  protected:
    void SetUp() override { standin::probe::reset(); }
    void TearDown() override {
        standin::probe::journal_enable(false);
        if (started_) testenv::stop_library(palette_);
        standin::probe::reset();
    }
    void start(int depth) {
        standin::probe::set_display_depth(depth);
        palette_ = testenv::start_library();
        started_ = true;
    }
    std::vector<Call> watch_from_here() {
        standin::probe::journal_take();
        standin::probe::journal_enable(true);
        return {};
    }
    std::vector<Call> take() { return standin::probe::journal_take(); }

    HPALETTE palette_ = nullptr;
    bool started_ = false;
};

}  // namespace coretest

#endif  // TESTS_SURFACE_PROBE_HELPERS_H
