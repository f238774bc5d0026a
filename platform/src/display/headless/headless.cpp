// The headless display: windows live in memory only. Events come from the
// probe alone; waiting for a frame is plain sleeping.
#include <thread>

#include "display/display.h"

namespace standin {

namespace {

class HeadlessDisplay : public Display {
  public:
    bool create_window(Window&) override { return true; }
    void destroy_window(Window&) override {}
    void show_window(Window&, bool) override {}
    void pump(std::deque<DisplayEvent>&) override {}
    void present(Window& window) override { window.framebuffer_changed = false; }
    void wait(std::chrono::steady_clock::time_point until) override { std::this_thread::sleep_until(until); }
    int refresh_rate() override { return 0; }
    const char* name() const override { return "headless"; }
};

}  // namespace

std::unique_ptr<Display> make_headless_display() { return std::make_unique<HeadlessDisplay>(); }

}  // namespace standin
