#include "interrupt.h"

#include <atomic>
#include <csignal>
#include <initializer_list>

namespace tools {

namespace {

// The handler only stores into this, which is async-signal-safe for a
// lock-free atomic; everything else happens on the batch's own threads.
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may store only into a lock-free atomic");

extern "C" void note_signal(int number) {
    int none = 0;
    g_signal.compare_exchange_strong(none, number);
}

}  // namespace

void install_interrupt_handlers() {
    struct sigaction action = {};
    action.sa_handler = note_signal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a read from a pipe or terminal that waits returns
    // (EINTR), so the reader sees the note instead of waiting on.
    action.sa_flags = 0;
    for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
}

int interrupt_signal() { return g_signal.load(); }

}  // namespace tools
