#include "platform/posix/interrupts.h"

#include <signal.h>

#include <atomic>

namespace posix {
namespace {

// Every signal whose default action ends the process and that can be
// caught. SIGXFSZ is absent: the copies ignore it, so that a write beyond
// the file-size limit fails instead of ending the run.
constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGILL,  SIGTRAP,   SIGABRT, SIGBUS,
                                  SIGFPE,  SIGUSR1, SIGSEGV, SIGUSR2, SIGPIPE,   SIGALRM, SIGTERM,
                                  SIGXCPU, SIGVTALRM, SIGPROF, SIGIO, SIGSYS};

// Few actions exist (the copy's temporary file, the terminal); a fixed table
// of atomics keeps registration safe against a signal arriving meanwhile.
constexpr int kMaxActions = 4;
std::atomic<InterruptAction> actions[kMaxActions];

void RunActionsAndEnd(int signal) {
    for (int i = kMaxActions - 1; i >= 0; --i) {
        if (const InterruptAction action = actions[i].load()) action();
    }
    // SA_RESETHAND put the default action back; the signal is blocked until
    // this handler returns, and then ends the process as it would have.
    ::raise(signal);
}

void InstallHandlers() {
    struct sigaction handler {};
    handler.sa_handler = RunActionsAndEnd;
    handler.sa_flags = SA_RESETHAND;
    // A second signal during the clean-up waits for it to finish.
    sigemptyset(&handler.sa_mask);
    for (const int signal : kEndingSignals) sigaddset(&handler.sa_mask, signal);
    for (const int signal : kEndingSignals) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0) continue;
        const bool isDefault = (current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_DFL;
        if (isDefault) ::sigaction(signal, &handler, nullptr);
    }
}

}  // namespace

void AddInterruptAction(InterruptAction action) {
    static const bool installed = (InstallHandlers(), true);
    (void)installed;
    for (std::atomic<InterruptAction>& slot : actions) {
        InterruptAction expected = nullptr;
        if (slot.load() == action) return;
        if (slot.compare_exchange_strong(expected, action)) return;
    }
}

}  // namespace posix
