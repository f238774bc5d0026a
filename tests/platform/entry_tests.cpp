// The program entry, signals and the missing-display message, seen from
// outside: the fixture program runs as a child process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Outcome {
    int status = -1;  // exit code, or -signal
    std::string out;
    std::string err;
};

std::string read_all(int fd) {
    std::string text;
    char buffer[256];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    return text;
}

// Runs the fixture with the given arguments and environment changes
// ("NAME=value" sets, "NAME" alone unsets). With signal_when_ready, waits
// for the fixture's "ready" line and then sends that signal.
Outcome run_fixture(const std::vector<std::string>& args, const std::vector<std::string>& env,
                    int signal_when_ready = 0) {
    int out_pipe[2], err_pipe[2];
    EXPECT_EQ(pipe(out_pipe), 0);
    EXPECT_EQ(pipe(err_pipe), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        close(out_pipe[0]);
        close(err_pipe[0]);
        alarm(30);  // a fixture that hangs dies instead of holding up the suite
        for (const std::string& e : env) {
            const size_t eq = e.find('=');
            if (eq == std::string::npos) {
                unsetenv(e.c_str());
            } else {
                setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
            }
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(STANDIN_FIXTURE_PATH));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(STANDIN_FIXTURE_PATH, argv.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    Outcome outcome;
    if (signal_when_ready != 0) {
        char c;
        while (outcome.out.find("ready\n") == std::string::npos && read(out_pipe[0], &c, 1) == 1) outcome.out += c;
        kill(pid, signal_when_ready);
    }
    outcome.out += read_all(out_pipe[0]);
    outcome.err = read_all(err_pipe[0]);
    close(out_pipe[0]);
    close(err_pipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return outcome;
}

TEST(Entry, WinMainResultIsTheExitCode) {
    EXPECT_EQ(run_fixture({"exit", "7"}, {}).status, 7);
    EXPECT_EQ(run_fixture({"exit", "0"}, {}).status, 0);
}

TEST(Entry, WinMainGetsTheCommandLineAndShowDefault) {
    const Outcome outcome = run_fixture({"args", "a", "b"}, {});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "[args a b] 10 1\n");
}

TEST(Entry, SigtermClosesTheWindowAndTheProgramEndsWithZero) {
    const Outcome outcome = run_fixture({"window"}, {"SCALING_SCROLLING_HEADLESS=1"}, SIGTERM);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "ready\n");
}

TEST(Entry, SigintClosesTheWindowToo) {
    const Outcome outcome = run_fixture({"window"}, {"SCALING_SCROLLING_HEADLESS=1"}, SIGINT);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
}

TEST(Entry, WithoutADisplayOneLineSaysWhatToDo) {
    const Outcome outcome =
        run_fixture({"window"}, {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "SCALING_SCROLLING_HEADLESS"});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.out, "") << "it never runs invisibly";
    ASSERT_FALSE(outcome.err.empty());
    EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << "exactly one line: " << outcome.err;
    EXPECT_NE(outcome.err.find("SCALING_SCROLLING_HEADLESS=1"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("xvfb-run"), std::string::npos) << outcome.err;
}

}  // namespace
