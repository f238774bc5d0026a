// The headless display: windows live in memory only. Events come from the
// probe alone; waiting for a frame is plain sleeping.
//
// Its "kept-frames" kind keeps whole-window frames of 8-bit bitmaps as the
// page's canvas does and draws them at present, into the framebuffer, which
// stands for its screen: the kept frame's whole path runs, and is tested,
// without a browser.
#include <thread>

#include "display/display.h"

namespace standin {

namespace {

class HeadlessDisplay : public Display {
  public:
    explicit HeadlessDisplay(bool keep_frames) : keep_frames_(keep_frames) {}

    bool create_window(Window& window) override {
        if (keep_frames_) window.backend_data = new KeptFrame;
        return true;
    }
    void destroy_window(Window& window) override {
        delete static_cast<KeptFrame*>(window.backend_data);
        window.backend_data = nullptr;
    }
    void show_window(Window&, bool) override {}
    void pump(std::deque<DisplayEvent>&) override {}
    void present(Window& window) override {
        if (KeptFrame* frame = kept_frame(window)) frame->settle(window);
        window.framebuffer_changed = false;
    }
    void wait(std::chrono::steady_clock::time_point until) override { std::this_thread::sleep_until(until); }
    int refresh_rate() override { return 0; }
    const char* name() const override { return keep_frames_ ? "kept-frames" : "headless"; }
    KeptFrame* kept_frame(Window& window) override { return static_cast<KeptFrame*>(window.backend_data); }

  private:
    bool keep_frames_;
};

std::unique_ptr<Display> open_headless(std::string*) { return std::make_unique<HeadlessDisplay>(false); }
std::unique_ptr<Display> open_kept_frames(std::string*) { return std::make_unique<HeadlessDisplay>(true); }

}  // namespace

const DisplayBackend kHeadlessDisplay = {"headless", open_headless};
const DisplayBackend kKeptFramesDisplay = {"kept-frames", open_kept_frames};

}  // namespace standin
