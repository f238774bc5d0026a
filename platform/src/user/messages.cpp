// USER32 messages: the queue, waiting for input and timers together, and
// what the display reports.
//
// One thread, one queue. Messages Win32 sends (WM_CREATE, WM_SIZE,
// WM_SETFOCUS, WM_PAINT from UpdateWindow, WM_DESTROY) call the window
// procedure directly; posted ones wait in the queue. PeekMessageA first
// lets the display put the last frame on screen and collect its events,
// then hands out posted messages, then WM_QUIT, then WM_PAINT for a window
// with an invalid part, and otherwise runs the idle hook and reports an
// empty queue.
#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "journal.h"
#include "state.h"
#include "user/user.h"

namespace standin {

namespace {

DWORD tick_count() {
    using namespace std::chrono;
    return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void post(uintptr_t hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg{};
    msg.hwnd = as<HWND>(hwnd);
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = tick_count();
    state().posted.push_back(msg);
}

bool in_range(UINT message, UINT low, UINT high) {
    return (low == 0 && high == 0) || (message >= low && message <= high);
}

// Whatever would make PeekMessageA hand out a message: posted messages, the
// quit message, display events, a close signal or a window to repaint.
bool input_pending() {
    const State& s = state();
    if (!s.posted.empty() || s.quit_posted || !s.display_events.empty() || close_requested()) return true;
    for (const auto& entry : s.windows) {
        if (!is_empty(entry.second->update)) return true;
    }
    return false;
}

bool window_matches(uintptr_t msg_window, HWND filter) {
    if (filter == nullptr) return true;
    if (h(filter) == static_cast<uintptr_t>(-1)) return msg_window == 0;
    return msg_window == h(filter);
}

using WaitClock = std::chrono::steady_clock;

// Sleeps until the first armed timer is due or `deadline`, never more than
// a second at a time, so a close signal that arrives while nothing else
// stirs is seen all the same; with a display, whatever comes from it ends
// the sleep too.
void sleep_until_due(WaitableTimer* const* timers, DWORD count, WaitClock::time_point deadline,
                     WaitClock::time_point now) {
    State& s = state();
    WaitClock::time_point wake = deadline;
    for (DWORD i = 0; i < count; ++i) {
        if (timers[i]->armed) wake = std::min(wake, timers[i]->due);
    }
    wake = std::min(wake, now + std::chrono::seconds(1));
    if (s.display) {
        s.display->wait(wake);
        // What woke the display is collected now (it would otherwise end
        // every later wait at once); it is handled as usual when the
        // program next asks for messages.
        s.display->pump(s.display_events);
    } else {
        std::this_thread::sleep_until(wake);
    }
}

}  // namespace

void process_display_events() {
    State& s = state();
    if (take_close_request()) {
        if (s.last_window != 0) s.display_events.push_back(DisplayEvent{DisplayEvent::Close, s.last_window, 0, 0});
    }
    if (s.display) {
        for (auto& entry : s.windows) s.display->present(*entry.second);
        s.display->pump(s.display_events);
    }
    while (!s.display_events.empty()) {
        const DisplayEvent event = s.display_events.front();
        s.display_events.pop_front();
        Window* window = find_window(as<HWND>(event.window));
        if (window == nullptr) continue;
        switch (event.type) {
            case DisplayEvent::Resize:
                resize(event.window, event.width, event.height);
                break;
            case DisplayEvent::Minimize:
                minimize(event.window);
                break;
            case DisplayEvent::Restore:
                restore(event.window);
                break;
            case DisplayEvent::Focus:
                send(event.window, WM_SETFOCUS, 0, 0);
                break;
            case DisplayEvent::Close:
                // The close box: the program hears WM_CLOSE through its loop.
                post(event.window, WM_CLOSE, 0, 0);
                break;
            case DisplayEvent::Expose:
                invalidate(*window, nullptr, false);
                break;
        }
    }
}

}  // namespace standin

using namespace standin;

BOOL WINAPI PeekMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
    return JournalEntry("PeekMessageA", msg, hwnd, filterMin, filterMax, removeMsg).run([&]() -> BOOL {
        State& s = state();
        if (msg == nullptr) return FALSE;
        process_display_events();
        const bool remove = (removeMsg & PM_REMOVE) != 0;
        for (auto it = s.posted.begin(); it != s.posted.end(); ++it) {
            if (window_matches(h(it->hwnd), hwnd) && in_range(it->message, filterMin, filterMax)) {
                *msg = *it;
                if (remove) s.posted.erase(it);
                return TRUE;
            }
        }
        if (s.quit_posted && in_range(WM_QUIT, filterMin, filterMax) && window_matches(0, hwnd)) {
            MSG quit{};
            quit.message = WM_QUIT;
            quit.wParam = static_cast<WPARAM>(s.quit_code);
            quit.time = tick_count();
            *msg = quit;
            if (remove) s.quit_posted = false;
            return TRUE;
        }
        if (in_range(WM_PAINT, filterMin, filterMax)) {
            for (auto& entry : s.windows) {
                if (!is_empty(entry.second->update) && window_matches(entry.first, hwnd)) {
                    MSG paint{};
                    paint.hwnd = as<HWND>(entry.first);
                    paint.message = WM_PAINT;
                    paint.time = tick_count();
                    *msg = paint;
                    return TRUE;
                }
            }
        }
        if (s.probe.idle_hook) {
            std::function<void()> hook = s.probe.idle_hook;
            hook();
        }
        return FALSE;
    });
}

DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                       DWORD wakeMask) {
    return JournalEntry("MsgWaitForMultipleObjects", count, handles, waitAll, milliseconds, wakeMask)
        .run([&]() -> DWORD {
            // Timers are the only objects to wait for; waiting for all of them at
            // once is not modelled.
            if (count > MAXIMUM_WAIT_OBJECTS || (count > 0 && handles == nullptr) || waitAll) {
                set_error(waitAll ? ERROR_CALL_NOT_IMPLEMENTED : ERROR_INVALID_PARAMETER);
                return WAIT_FAILED;
            }
            WaitableTimer* timers[MAXIMUM_WAIT_OBJECTS];
            for (DWORD i = 0; i < count; ++i) {
                timers[i] = find_timer(handles[i]);
                if (timers[i] == nullptr) {
                    set_error(ERROR_INVALID_HANDLE);
                    return WAIT_FAILED;
                }
            }
            const bool forever = milliseconds == INFINITE;
            const WaitClock::time_point deadline =
                WaitClock::now() + std::chrono::milliseconds(forever ? 0 : milliseconds);
            for (;;) {
                const WaitClock::time_point now = WaitClock::now();
                // The lowest index wins, and every object comes before input.
                for (DWORD i = 0; i < count; ++i) {
                    if (timer_signalled(*timers[i], now)) {
                        take_signal(*timers[i]);
                        count_frame_wake();
                        return WAIT_OBJECT_0 + i;
                    }
                }
                if (wakeMask != 0 && input_pending()) return WAIT_OBJECT_0 + count;
                // Unpaced, a wait that would sleep ends at once.
                if ((!forever && now >= deadline) || !state().paced) return WAIT_TIMEOUT;
                sleep_until_due(timers, count, forever ? WaitClock::time_point::max() : deadline, now);
            }
        });
}

BOOL WINAPI PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return JournalEntry("PostMessageA", hwnd, message, wParam, lParam).run([&]() -> BOOL {
        if (hwnd != nullptr && find_window(hwnd) == nullptr) {
            set_error(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        post(h(hwnd), message, wParam, lParam);
        return TRUE;
    });
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
    return JournalEntry("TranslateMessage", msg).run([&]() -> BOOL {
        // No keyboard input is modelled, so there is never a character to make.
        return FALSE;
    });
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    return JournalEntry("DispatchMessageA", msg).run([&]() -> LRESULT {
        if (msg == nullptr || msg->hwnd == nullptr || find_window(msg->hwnd) == nullptr) return 0;
        return send(h(msg->hwnd), msg->message, msg->wParam, msg->lParam);
    });
}

void WINAPI PostQuitMessage(int exitCode) {
    JournalEntry("PostQuitMessage", exitCode).run([&] {
        State& s = state();
        s.quit_posted = true;
        s.quit_code = exitCode;
    });
}
