// The journal: every Win32 call the stand-in answers, its arguments and its
// result, recorded while the probe has it on.
#ifndef STANDIN_JOURNAL_H
#define STANDIN_JOURNAL_H

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "state.h"

namespace standin {

template <typename T>
inline std::intptr_t journal_arg(T value) {
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<std::intptr_t>(value);
    } else {
        return static_cast<std::intptr_t>(value);
    }
}
inline std::intptr_t journal_arg(std::nullptr_t) { return 0; }

// One call in the journal. The entry is made when the call starts, so calls
// made from inside it (window procedures run by CreateWindowExA, for
// instance) follow it; run() gives the call's body, and whatever the body
// returns, on whichever path, is written into the entry when the entry goes
// out of scope. A Win32 call is one statement:
//
//     return JournalEntry("GetDC", hwnd).run([&]() -> HDC { ... });
class JournalEntry {
  public:
    template <typename... Args>
    explicit JournalEntry(const char* function, Args... args) {
        State& s = state();
        if (!s.probe.journal_on) return;
        index_ = static_cast<long>(s.probe.journal.size());
        s.probe.journal.push_back(probe::Call{function, {journal_arg(args)...}, 0});
    }
    JournalEntry(const JournalEntry&) = delete;
    JournalEntry& operator=(const JournalEntry&) = delete;
    ~JournalEntry() {
        // The journal may have been taken, or the stand-in reset, meanwhile.
        State& s = state();
        if (index_ >= 0 && static_cast<size_t>(index_) < s.probe.journal.size()) {
            s.probe.journal[index_].result = result_;
        }
    }

    template <typename Body>
    auto run(const Body& body) {
        if constexpr (std::is_void_v<decltype(body())>) {
            body();
        } else {
            auto result = body();
            result_ = journal_arg(result);
            return result;
        }
    }

  private:
    long index_ = -1;
    std::intptr_t result_ = 0;
};

}  // namespace standin

#endif  // STANDIN_JOURNAL_H
