#include "batch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <thread>
#include <vector>

#include "interrupt.h"
#include "windows_args.h"

namespace tools {

void PixelBudget::acquire(int64_t pixels) {
    std::unique_lock<std::mutex> lock(mutex_);
    // A request larger than the whole budget waits for an empty budget
    // rather than for ever.
    freed_.wait(lock, [&] { return held_ == 0 || held_ + pixels <= limit_; });
    held_ += pixels;
}

void PixelBudget::release(int64_t pixels) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ -= pixels;
    }
    freed_.notify_all();
}

namespace {

using Clock = std::chrono::steady_clock;

// The progress line, drawn by whichever worker finishes a file once a
// fifth of a second has passed since the last drawing.
class Progress {
  public:
    Progress(bool shown, const char* program, size_t total)
        : shown_(shown), program_(program), total_(total), start_(Clock::now()), last_(start_) {}

    void file_done() {
        const size_t done = ++done_;
        if (!shown_) return;
        std::lock_guard<std::mutex> lock(mutex_);
        const Clock::time_point now = Clock::now();
        if (done < total_ && now - last_ < std::chrono::milliseconds(200)) return;
        last_ = now;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        std::fprintf(stderr, "\r%s: %zu/%zu files, %.1f a second ", program_, done, total_,
                     seconds > 0 ? static_cast<double>(done) / seconds : 0.0);
        drawn_ = true;
    }

    void end_line() {
        if (drawn_) std::fputc('\n', stderr);
    }

  private:
    const bool shown_;
    const char* program_;
    const size_t total_;
    const Clock::time_point start_;
    Clock::time_point last_;
    std::atomic<size_t> done_{0};
    std::mutex mutex_;
    bool drawn_ = false;
};

}  // namespace

void run_batch(size_t count, int jobs, bool progress, const char* program, const std::function<void(size_t)>& work) {
    Progress line(progress, program, count);
    std::atomic<size_t> next{0};
    auto worker = [&] {
        while (interrupt_signal() == 0) {
            const size_t i = next++;
            if (i >= count) break;
            work(i);
            line.file_done();
        }
    };
    const size_t threads = std::min<size_t>(static_cast<size_t>(jobs < 1 ? 1 : jobs), count);
    std::vector<std::thread> pool;
    try {
        for (size_t t = 1; t < threads; ++t) pool.emplace_back(worker);
    } catch (const std::exception&) {
        // No memory or no room for another thread: the ones there are do
        // the work.
    }
    worker();
    for (std::thread& thread : pool) thread.join();
    line.end_line();
}

int core_count() {
#ifdef _WIN32
    return processor_count();
#else
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
#endif
}

}  // namespace tools
