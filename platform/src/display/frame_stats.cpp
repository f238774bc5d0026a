// Frame statistics for measuring the program from outside. With
// SCALING_SCROLLING_STATS set (to anything but 0), the program prints one
// line at exit: the frames it was woken for by a timer (a paced program
// composes one frame for each), the time they took and the processor time
// they used. SIGUSR1 starts the count afresh, so a measurement can leave out
// start-up and window resizing.
#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "display/display.h"

namespace standin {

namespace {

using Clock = std::chrono::steady_clock;

volatile sig_atomic_t g_restart_requested = 0;

struct Stats {
    bool on = false;
    long frames = 0;
    Clock::time_point since{};
    double cpu_since = 0;  // seconds of user and system time
};

Stats& stats() {
    static Stats s;
    return s;
}

double cpu_seconds() {
    rusage usage;
    if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void restart() {
    Stats& s = stats();
    s.frames = 0;
    s.since = Clock::now();
    s.cpu_since = cpu_seconds();
}

void on_restart_signal(int) { g_restart_requested = 1; }

void report() {
    const Stats& s = stats();
    const double seconds = std::chrono::duration<double>(Clock::now() - s.since).count();
    const double cpu = cpu_seconds() - s.cpu_since;
    const auto frames = static_cast<double>(s.frames);
    std::fprintf(stderr, "%s: %ld frames in %.2f s, %.1f a second, %.3f ms of processor time each\n",
                 program_invocation_short_name, s.frames, seconds, seconds > 0 ? frames / seconds : 0.0,
                 s.frames > 0 ? cpu * 1000.0 / frames : 0.0);
}

}  // namespace

void start_frame_stats() {
    Stats& s = stats();
    const char* env = std::getenv("SCALING_SCROLLING_STATS");
    if (s.on || env == nullptr || env[0] == '\0' || std::strcmp(env, "0") == 0) return;
    s.on = true;
    restart();
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = on_restart_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR1, &action, nullptr);
    std::atexit(report);
}

void count_frame_wake() {
    Stats& s = stats();
    if (!s.on) return;
    if (g_restart_requested) {
        g_restart_requested = 0;
        restart();
    }
    ++s.frames;
}

}  // namespace standin
