#include "platform/posix/Interrupts.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <atomic>
#include <cstdint>

namespace posix {
namespace {

// Every signal whose default action ends the process and that can be
// caught. SIGXFSZ is absent: the copies ignore it, so that a write beyond
// the file-size limit fails instead of ending the run.
constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGILL,  SIGTRAP,   SIGABRT, SIGBUS,
                                  SIGFPE,  SIGUSR1, SIGSEGV, SIGUSR2, SIGPIPE,   SIGALRM, SIGTERM,
                                  SIGXCPU, SIGVTALRM, SIGPROF, SIGIO, SIGSYS};

const sigset_t& EndingSignals() {
    static const sigset_t set = [] {
        sigset_t signals;
        sigemptyset(&signals);
        for (const int signal : kEndingSignals) sigaddset(&signals, signal);
        return signals;
    }();
    return set;
}

// Few actions exist (the copy's temporary file, the terminal); a fixed table
// of atomics keeps registration safe against a signal arriving meanwhile.
constexpr int kMaxActions = 4;
std::atomic<InterruptAction> actions[kMaxActions];

// The handoff between the handler and the steps, each side writing its own
// atomic and then reading the other's (all sequentially consistent): either
// a step sees that the process is ending and does not begin, or the handler
// sees the step under way and waits for it.
std::atomic<bool> ending{false};
std::atomic<int> stepsUnderWay{0};
// Of those, this thread's: a handler that cut into one of them on this very
// thread waits only for the others. Counted up before and down after the
// shared count, so that the handler never takes its own step for another's.
thread_local std::atomic<int> ownStepsUnderWay{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "read in a signal handler");

// A step is a few system calls; one that hangs (a file server gone) must
// not keep the process from ending.
constexpr std::int64_t kLongestWaitNs = 2'000'000'000;

std::int64_t MonotonicNs() {
    struct timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void WaitForStepsUnderWay() {
    ending.store(true);
    const std::int64_t until = MonotonicNs() + kLongestWaitNs;
    while (stepsUnderWay.load() - ownStepsUnderWay.load() > 0 && MonotonicNs() < until) {
        const struct timespec pause = {0, 100'000};
        ::nanosleep(&pause, nullptr);
    }
}

void RunActionsAndEnd(int signal) {
    WaitForStepsUnderWay();
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
    handler.sa_mask = EndingSignals();
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

UncutStep::UncutStep(Signals signals) : deferred_(signals == Signals::Deferred) {
    if (deferred_) ::pthread_sigmask(SIG_BLOCK, &EndingSignals(), &saved_);
    ownStepsUnderWay.fetch_add(1);
    stepsUnderWay.fetch_add(1);
    began_ = !ending.load();
    if (!began_) {
        stepsUnderWay.fetch_sub(1);
        ownStepsUnderWay.fetch_sub(1);
    }
}

UncutStep::~UncutStep() {
    if (began_) {
        stepsUnderWay.fetch_sub(1);
        ownStepsUnderWay.fetch_sub(1);
    }
    // A signal that came meanwhile is taken here, by this thread if no other.
    if (deferred_) ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

}  // namespace posix
