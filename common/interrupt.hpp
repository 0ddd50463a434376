// Interrupts: SIGINT, SIGTERM and SIGHUP end a run through the same
// unwinding as a fatal stop, so that its private files go and the tool it
// started is stopped.  The handlers only record the signal; the run looks
// at the record at its check points (before and while waiting for a tool,
// between pairs, merges and sequences) and throws Interrupted there.
#pragma once

namespace xk {

// Installs the handlers for SIGINT, SIGTERM and SIGHUP (without restarting
// interrupted system calls, so that a wait for a tool returns at once); a
// signal ignored at the start stays ignored.
// Called by a program's main before its run.
void install_interrupt_handlers();

// The number of the first interrupting signal received, 0 when none.
int interrupt_signal();

// Throws Interrupted (common/ending.hpp) when a signal has been received.
void check_interrupt();

// Forgets a received signal (for tests that raise one).
void clear_interrupt();

}  // namespace xk
