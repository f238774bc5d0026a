// KERNEL32 waitable timers and the performance counter, and the two DWMAPI
// calls: what a program needs to keep its frames to the display's pace.
//
// Timers run on the monotonic clock. The sleeping itself is done by
// MsgWaitForMultipleObjects (USER32 half), through the display backend.
#include <dwmapi.h>

#include <algorithm>

#include "journal.h"
#include "state.h"

namespace standin {

namespace {

using Clock = std::chrono::steady_clock;

// Win32 counts absolute due times in 100-ns units since 1601-01-01 UTC;
// the Unix epoch is this many units later.
constexpr int64_t kUnixEpochIn100ns = 116444736000000000LL;

HANDLE new_timer(bool manual_reset) {
    const uintptr_t handle = new_handle(Kind::Timer);
    WaitableTimer timer;
    timer.manual_reset = manual_reset;
    state().timers[handle] = timer;
    return as<HANDLE>(handle);
}

// A due time as Win32 gives it: negative is relative to now, positive an
// absolute wall-clock time, both in 100-ns units.
Clock::time_point due_time(LONGLONG value) {
    const Clock::time_point now = Clock::now();
    if (value <= 0) return now + std::chrono::nanoseconds(-value * 100);
    const int64_t unix_100ns = value - kUnixEpochIn100ns;
    const auto wall = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::nanoseconds(unix_100ns * 100)));
    return now + std::chrono::duration_cast<Clock::duration>(wall - std::chrono::system_clock::now());
}

}  // namespace

WaitableTimer* find_timer(HANDLE handle) {
    State& s = state();
    if (kind_of(h(handle)) != Kind::Timer) return nullptr;
    auto it = s.timers.find(h(handle));
    return it == s.timers.end() ? nullptr : &it->second;
}

bool timer_signalled(WaitableTimer& timer, Clock::time_point now) {
    if (timer.armed && (!state().paced || now >= timer.due)) {
        timer.signalled = true;
        if (timer.period.count() > 0) {
            timer.due = std::max(timer.due + timer.period, now);
        } else {
            timer.armed = false;
        }
    }
    return timer.signalled;
}

void take_signal(WaitableTimer& timer) {
    if (!timer.manual_reset) timer.signalled = false;
}

}  // namespace standin

using namespace standin;

HANDLE WINAPI CreateWaitableTimerA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, LPCSTR name) {
    return JournalEntry("CreateWaitableTimerA", security, manualReset, name).run([&]() -> HANDLE {
        // Named timers are shared between processes; there is only one here.
        if (name != nullptr) {
            set_error(ERROR_CALL_NOT_IMPLEMENTED);
            return nullptr;
        }
        return new_timer(manualReset != FALSE);
    });
}

HANDLE WINAPI CreateWaitableTimerExW(LPSECURITY_ATTRIBUTES security, LPCWSTR name, DWORD flags, DWORD access) {
    return JournalEntry("CreateWaitableTimerExW", security, name, flags, access).run([&]() -> HANDLE {
        const DWORD known = CREATE_WAITABLE_TIMER_MANUAL_RESET | CREATE_WAITABLE_TIMER_HIGH_RESOLUTION;
        if ((flags & ~known) != 0) {
            set_error(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        if (name != nullptr) {
            set_error(ERROR_CALL_NOT_IMPLEMENTED);
            return nullptr;
        }
        // Every timer here has the monotonic clock's resolution.
        return new_timer((flags & CREATE_WAITABLE_TIMER_MANUAL_RESET) != 0);
    });
}

BOOL WINAPI SetWaitableTimer(HANDLE timerHandle, const LARGE_INTEGER* dueTime, LONG period, PTIMERAPCROUTINE routine,
                             LPVOID argument, BOOL resume) {
    return JournalEntry("SetWaitableTimer", timerHandle, dueTime, period, routine, argument, resume).run([&]() -> BOOL {
        WaitableTimer* timer = find_timer(timerHandle);
        if (timer == nullptr) {
            set_error(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        // Completion routines run as asynchronous procedure calls, which need
        // alertable waits; nothing here waits that way.
        if (dueTime == nullptr || period < 0 || routine != nullptr) {
            set_error(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        timer->due = due_time(dueTime->QuadPart);
        timer->period = std::chrono::milliseconds(period);
        timer->armed = true;
        timer->signalled = false;
        return TRUE;
    });
}

BOOL WINAPI CancelWaitableTimer(HANDLE timerHandle) {
    return JournalEntry("CancelWaitableTimer", timerHandle).run([&]() -> BOOL {
        WaitableTimer* timer = find_timer(timerHandle);
        if (timer == nullptr) {
            set_error(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        // The signal state is left as it is, as Win32 does.
        timer->armed = false;
        return TRUE;
    });
}

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count) {
    return JournalEntry("QueryPerformanceCounter", count).run([&]() -> BOOL {
        if (count == nullptr) return FALSE;
        count->QuadPart = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
        return TRUE;
    });
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    return JournalEntry("QueryPerformanceFrequency", frequency).run([&]() -> BOOL {
        if (frequency == nullptr) return FALSE;
        frequency->QuadPart = 1000000000LL;
        return TRUE;
    });
}

HRESULT WINAPI DwmIsCompositionEnabled(BOOL* enabled) {
    return JournalEntry("DwmIsCompositionEnabled", enabled).run([&]() -> HRESULT {
        if (enabled == nullptr) return static_cast<HRESULT>(0x80070057L);  // E_INVALIDARG
        *enabled = FALSE;
        return S_OK;
    });
}

HRESULT WINAPI DwmFlush(void) {
    return JournalEntry("DwmFlush").run([&]() -> HRESULT { return DWM_E_COMPOSITIONDISABLED; });
}
