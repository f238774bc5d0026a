// Waitable timers, the one kind of object a program waits for.
#ifndef STANDIN_TIMERS_H
#define STANDIN_TIMERS_H

#include <windows.h>

#include <chrono>

namespace standin {

struct WaitableTimer {
    bool manual_reset = false;
    bool armed = false;  // set and not yet expired
    bool signalled = false;
    std::chrono::steady_clock::time_point due{};
    std::chrono::milliseconds period{0};
};

// Brings the timer's state up to the present and says whether it is
// signalled; a satisfied wait on an auto-reset timer takes the signal. Null
// when the handle is not a timer.
WaitableTimer* find_timer(HANDLE handle);
bool timer_signalled(WaitableTimer& timer, std::chrono::steady_clock::time_point now);
void take_signal(WaitableTimer& timer);

}  // namespace standin

#endif  // STANDIN_TIMERS_H
