// What must be undone when a signal ends the process: a temporary file in
// flight, the terminal's modes. The stand-in registers an action for each;
// a signal that would end the process runs them all, then ends the process
// the way the signal would have.
#pragma once

namespace posix {

// Runs in a signal handler: it may only make async-signal-safe calls
// (unlinkat, tcsetattr, write, ...) and read state that it can trust at any
// moment (set before a flag of type volatile sig_atomic_t says it is valid).
using InterruptAction = void (*)() noexcept;

// Registers `action` for the rest of the process; registering the same
// action again does nothing. The first registration installs the handler
// for every signal whose default is to end the process (SIGKILL and SIGSTOP
// aside, which nothing can catch). A signal the process ignores stays
// ignored, so that `nohup` keeps working; a handler the program set itself
// stays in place.
void AddInterruptAction(InterruptAction action);

}  // namespace posix
