// What must be undone when a signal ends the process: a temporary file in
// flight, the terminal's modes. The stand-in registers an action for each;
// a signal that would end the process runs them all, then ends the process
// the way the signal would have.
#pragma once

#include <signal.h>

namespace posix {

// Runs in a signal handler: it may only make async-signal-safe calls
// (unlinkat, tcsetattr, write, ...) and read state that it can trust at any
// moment (set before an atomic flag says it is valid).
using InterruptAction = void (*)() noexcept;

// Registers `action` for the rest of the process; registering the same
// action again does nothing. The first registration installs the handler
// for every signal whose default is to end the process (SIGKILL and SIGSTOP
// aside, which nothing can catch). A signal the process ignores stays
// ignored, so that `nohup` keeps working; a handler the program set itself
// stays in place.
void AddInterruptAction(InterruptAction action);

// A step that the actions must find either whole or not begun: a file made
// and entered where an action will find it. The handler runs on whichever
// thread takes the signal while the others go on, so a handler on another
// thread waits for every step under way (a few seconds at most) before it
// runs the actions. On the step's own thread the handler cannot wait for
// it: with Signals::Deferred its thread takes none of the ending signals
// while it lasts (they wait for its end, at the cost of two calls); with
// Signals::Taken it may take one in the middle, and the actions must then
// tell from what the step entered before each call whether that call
// happened. Once a signal is ending the process no step begins: Began() is
// false, and the caller must not make what the actions would miss.
class UncutStep {
public:
    enum class Signals { Deferred, Taken };
    explicit UncutStep(Signals signals = Signals::Deferred);
    ~UncutStep();
    UncutStep(const UncutStep&) = delete;
    UncutStep& operator=(const UncutStep&) = delete;

    bool Began() const { return began_; }

private:
    sigset_t saved_;
    bool deferred_;
    bool began_;
};

}  // namespace posix
