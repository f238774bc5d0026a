// Interrupts (Ctrl-C, a terminal closed, kill) that a tool notices between
// files, so that a batch stops with only whole outputs left and says how far
// it got.
#ifndef TOOLS_COMMON_INTERRUPT_H
#define TOOLS_COMMON_INTERRUPT_H

namespace tools {

// From now on an interrupt is recorded instead of ending the program.
void InstallInterruptHandlers();

// 0 while no interrupt arrived, else the signal it stands for: SIGINT (2),
// SIGTERM (15) or SIGHUP (1).
int InterruptSignal();

}  // namespace tools

#endif  // TOOLS_COMMON_INTERRUPT_H
