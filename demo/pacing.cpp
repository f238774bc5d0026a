// Frame pacing with what Win32 offers: the compositor's own rhythm where
// desktop composition is on (DwmFlush returns once the frame just drawn has
// been composed), and always a waitable timer as the floor between two
// frames, so the rate stays bounded where composition is off, where the
// window is minimised and nothing is composed, or where DwmFlush does not
// wait at all. The timer is waited for with MsgWaitForMultipleObjects, so
// messages are answered while the program sleeps.
#include "pacing.h"

#include <dwmapi.h>

namespace {

constexpr int kDefaultRefreshRate = 60;
constexpr int kHighestRefreshRate = 1000;
constexpr LONGLONG k100nsPerSecond = 10000000;

// Only on newer systems; older ones refuse the flag and get a plain timer.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

}  // namespace

FramePacer::FramePacer(HDC windowDC)
    : timer_(nullptr), compositor_(false), countsPerSecond_(0), frameStart_(), frameDue_() {
    int rate = GetDeviceCaps(windowDC, VREFRESH);
    // 0 and 1 stand for the hardware's default rate, which is not told.
    if (rate <= 1 || rate > kHighestRefreshRate) rate = kDefaultRefreshRate;
    period100ns_ = k100nsPerSecond / rate;

    timer_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (timer_ == nullptr) timer_ = CreateWaitableTimerA(nullptr, FALSE, nullptr);
    LARGE_INTEGER frequency;
    if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0) countsPerSecond_ = frequency.QuadPart;
    // The first frame is due at once.
    if (timer_ != nullptr) ArmTimer(0);
    QueryPerformanceCounter(&frameDue_);

    BOOL composing = FALSE;
    compositor_ = countsPerSecond_ > 0 && SUCCEEDED(DwmIsCompositionEnabled(&composing)) && composing;
}

FramePacer::~FramePacer() {
    if (timer_ != nullptr) CloseHandle(timer_);
}

void FramePacer::ArmTimer(LONGLONG delay100ns) {
    // A negative due time is relative to now; zero would mean an absolute
    // time long past, which is due at once as well.
    LARGE_INTEGER due;
    due.QuadPart = -(delay100ns > 0 ? delay100ns : 1);
    SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE);
}

// Time from `then` to now, in 100-ns units; 0 without a counter. Callers
// only tell gaps within a frame apart, so anything from a second up (a
// process stopped and resumed) counts as one second, before the
// multiplication could overflow.
LONGLONG FramePacer::Since(const LARGE_INTEGER& then, LARGE_INTEGER* now) const {
    if (countsPerSecond_ == 0 || !QueryPerformanceCounter(now)) return 0;
    const LONGLONG counts = now->QuadPart - then.QuadPart;
    if (counts >= countsPerSecond_) return k100nsPerSecond;
    return counts * k100nsPerSecond / countsPerSecond_;
}

bool FramePacer::WaitForFrame() {
    if (timer_ == nullptr) {
        // Without a timer, the message wait's own timeout keeps the floor,
        // to the millisecond.
        const DWORD ms = static_cast<DWORD>(period100ns_ / 10000);
        return MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT) != WAIT_OBJECT_0;
    }
    const DWORD woke = MsgWaitForMultipleObjects(1, &timer_, FALSE, INFINITE, QS_ALLINPUT);
    if (woke == WAIT_OBJECT_0 + 1) return false;
    // The floor counts from the moment this frame was due, so neither the
    // frame's own time nor the timer waking late slows the rate; a frame
    // that came very late is not made up for by the next one coming early.
    LONGLONG late = Since(frameDue_, &frameStart_);
    if (late < 0) late = 0;
    if (late > period100ns_ / 2) late = period100ns_ / 2;
    const LONGLONG delay = period100ns_ - late;
    ArmTimer(delay);
    frameDue_.QuadPart = frameStart_.QuadPart + delay * countsPerSecond_ / k100nsPerSecond;
    return true;
}

void FramePacer::FrameDrawn() {
    if (!compositor_) return;
    LARGE_INTEGER before;
    LARGE_INTEGER after;
    QueryPerformanceCounter(&before);
    const HRESULT flushed = DwmFlush();
    const LONGLONG flush100ns = Since(before, &after);
    if (FAILED(flushed)) {
        // Composition was turned off while running: the timer alone paces.
        compositor_ = false;
        return;
    }
    // A flush that returned at once did not wait for the display (nothing
    // to compose while minimised, or a compositor that does not wait): the
    // timer keeps its full period. One that waited has put this frame on
    // the refresh; the next may start as soon as three quarters of a period
    // have passed since this one started, so timer jitter never makes the
    // program miss the following refresh.
    if (flush100ns < period100ns_ / 4) return;
    const LONGLONG early = period100ns_ * 3 / 4;
    ArmTimer(early - Since(frameStart_, &after));
    frameDue_.QuadPart = frameStart_.QuadPart + early * countsPerSecond_ / k100nsPerSecond;
}
