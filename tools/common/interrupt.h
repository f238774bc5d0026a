// Ctrl-C and its kin for the batch tools: the signal is only noted, and the
// batch looks at the note between files and before it renames an output
// into place, so that it stops with whole files only, removes the
// temporaries of the files in flight, prints what it did so far and exits
// with 128 + the signal, as a shell expects of a program a signal ended.
#ifndef TOOLS_COMMON_INTERRUPT_H
#define TOOLS_COMMON_INTERRUPT_H

namespace tools {

// SIGINT, SIGTERM and SIGHUP (on Windows, the console's Ctrl-C and
// Ctrl-Break, and the console closed as SIGTERM) from now on set the note
// instead of ending the program.
void install_interrupt_handlers();

// 0 while no such signal arrived, else the first one's number (SIGINT 2,
// SIGTERM 15, SIGHUP 1).
int interrupt_signal();

}  // namespace tools

#endif  // TOOLS_COMMON_INTERRUPT_H
