// Keeps the idle-time frames to the display's pace: at most one frame per
// refresh, and the time between frames spent asleep while the message queue
// is still served.
#ifndef DEMO_PACING_H
#define DEMO_PACING_H

#include <windows.h>

class FramePacer {
  public:
    // The refresh rate is read from the window's device context; 60 a
    // second where the device does not tell it.
    explicit FramePacer(HDC windowDC);
    ~FramePacer();
    FramePacer(const FramePacer&) = delete;
    FramePacer& operator=(const FramePacer&) = delete;

    // Called when the message queue is empty: sleeps until the next frame is
    // due (true) or a message arrives (false).
    bool WaitForFrame();
    // Called once the frame has been drawn.
    void FrameDrawn();

  private:
    void ArmTimer(LONGLONG delay100ns);
    LONGLONG Since(const LARGE_INTEGER& then, LARGE_INTEGER* now) const;

    HANDLE timer_;
    bool compositor_;
    LONGLONG period100ns_;
    LONGLONG countsPerSecond_;
    LARGE_INTEGER frameStart_;
    // When the timer was asked to wake the program for this frame.
    LARGE_INTEGER frameDue_;
};

#endif  // DEMO_PACING_H
