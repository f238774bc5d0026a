// What the probe steers and records, kept apart from the state the Win32
// calls themselves model.
#ifndef STANDIN_PROBE_STATE_H
#define STANDIN_PROBE_STATE_H

#include <standin/probe.h>

#include <functional>
#include <vector>

namespace standin {

struct ProbeState {
    probe::Backend backend_choice = probe::Backend::Auto;
    // A window's client size, whatever CreateWindowExA asks (0: as asked).
    int forced_client_width = 0;
    int forced_client_height = 0;
    // Run by PeekMessageA when it finds nothing to hand out.
    std::function<void()> idle_hook;
    bool journal_on = false;
    std::vector<probe::Call> journal;
    bool fail[5] = {false, false, false, false, false};
    long read_budget = -1;  // bytes ReadFile may still read, or -1
};

// Whether the probe armed a failure for this function; consumes it.
bool take_fault(probe::Fault fault);

}  // namespace standin

#endif  // STANDIN_PROBE_STATE_H
