// Whole-program cases in a process of their own.
//
// UpdateFrame builds its logos and surface handles once per process, and the
// shell's globals keep what the last run left in them, so the program can
// run only once in a process and be checked against a fresh start. A case
// that runs it begins with
//
//     if (demotest::RanInAFreshProcess()) return;
//
// The first such case in a process runs right here. Every later one (a whole
// run of the test program, a shuffled or repeated one) is run again in a new
// copy of this test program that runs that case alone; its output appears
// in this one's, and its result becomes this case's result.
#ifndef TESTS_DEMO_FRESH_PROCESS_H
#define TESTS_DEMO_FRESH_PROCESS_H

namespace demotest {

// False when the case is to run in this process; true when it has already
// run in a copy of the program (its failure, if any, is reported).
bool RanInAFreshProcess();

}  // namespace demotest

#endif  // TESTS_DEMO_FRESH_PROCESS_H
