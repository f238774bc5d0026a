// Many files on every core: a pool of workers taking files in turn, a
// budget of pixels that all of them together may hold at once (so memory
// stays bounded whatever the number of jobs), and a progress line on a
// terminal.
#ifndef TOOLS_COMMON_BATCH_H
#define TOOLS_COMMON_BATCH_H

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace tools {

// Pixels the running jobs hold. A job asks for its picture's pixels before
// decoding and waits while the others hold too many; it hands them back
// when its output is written. A request above the whole budget is the
// caller's to refuse beforehand.
class PixelBudget {
  public:
    explicit PixelBudget(int64_t limit) : limit_(limit) {}
    void acquire(int64_t pixels);
    void release(int64_t pixels);
    int64_t limit() const { return limit_; }

  private:
    const int64_t limit_;
    int64_t held_ = 0;
    std::mutex mutex_;
    std::condition_variable freed_;
};

// Holds pixels from the budget for as long as it lives.
class BudgetHold {
  public:
    BudgetHold(PixelBudget* budget, int64_t pixels) : budget_(budget), pixels_(pixels) { budget_->acquire(pixels_); }
    ~BudgetHold() { budget_->release(pixels_); }
    BudgetHold(const BudgetHold&) = delete;
    BudgetHold& operator=(const BudgetHold&) = delete;

  private:
    PixelBudget* budget_;
    int64_t pixels_;
};

// Runs work(0) .. work(count - 1) on `jobs` threads, each index at most
// once: after an interrupt (interrupt_signal) no new index is started. With
// `progress`, a line "PROGRAM: done/total files, N a second" is redrawn on
// standard error a few times a second and ended when all are done.
void run_batch(size_t count, int jobs, bool progress, const char* program, const std::function<void(size_t)>& work);

// The number of cores (at least 1).
int core_count();

}  // namespace tools

#endif  // TOOLS_COMMON_BATCH_H
