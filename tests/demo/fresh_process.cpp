#include "fresh_process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace demotest {

namespace {

// Set in the copies this helper starts: there the case must run in place,
// never start a copy of its own.
const char kChildVariable[] = "DEMO_TESTS_FRESH_PROCESS";

bool programHasRun = false;

// Runs this test program again with the given arguments (no spaces or
// quotes in them); returns its exit status, or -1 (with a failure) when it
// could not be run.
#ifdef _WIN32
int RunCopy(const std::vector<std::string>& arguments) {
    char exe[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        ADD_FAILURE() << "cannot find this test program's own file name";
        return -1;
    }
    std::string commandLine = "\"" + std::string(exe) + "\"";
    for (const std::string& argument : arguments) commandLine += " " + argument;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    SetEnvironmentVariableA(kChildVariable, "1");
    const BOOL started =
        CreateProcessA(exe, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableA(kChildVariable, nullptr);
    if (!started) {
        ADD_FAILURE() << "cannot start " << exe << " (error " << GetLastError() << ")";
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(status);
}
#else
int RunCopy(std::vector<std::string> arguments) {
    std::string exe = "/proc/self/exe";
    std::vector<char*> argv = {&exe[0]};
    for (std::string& argument : arguments) argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    setenv(kChildVariable, "1", 1);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), environ);
    unsetenv(kChildVariable);
    if (error != 0) {
        ADD_FAILURE() << "cannot start " << exe << " (error " << error << ")";
        return -1;
    }
    int raw = 0;
    if (waitpid(pid, &raw, 0) != pid) {
        ADD_FAILURE() << "lost the copy of this test program";
        return -1;
    }
    if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}
#endif

}  // namespace

bool RanInAFreshProcess() {
    if (!programHasRun) {
        programHasRun = true;
        return false;
    }
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string(test->test_suite_name()) + "." + test->name();
    if (std::getenv(kChildVariable) != nullptr) {
        ADD_FAILURE() << name << " was started to run alone, yet the program already ran in its process";
        return true;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const int status = RunCopy({"--gtest_filter=" + name, "--gtest_repeat=1"});
    EXPECT_EQ(0, status) << name << " failed in its own process (its output is above)";
    return true;
}

}  // namespace demotest
