#include "engine/platform/StopSignals.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>

namespace quernfold {

namespace {

// Only what a signal handler may touch: lock-free atomics and plain system calls.
std::atomic<bool>* g_stopRequested = nullptr;
volatile sig_atomic_t g_firstSignal = 0;
struct sigaction g_previousInt {};
struct sigaction g_previousTerm {};
struct sigaction g_previousHup {};

static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnStopSignal(int signalNumber) {
    if (g_firstSignal == 0) {
        g_firstSignal = signalNumber;
        if (g_stopRequested) g_stopRequested->store(true);
        return;
    }
    // A second signal: no more waiting. What is published is whole (pages are renamed into place complete).
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
}

}  // namespace

StopSignals::StopSignals(std::atomic<bool>& stopRequested) {
    g_stopRequested = &stopRequested;
    g_firstSignal = 0;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &g_previousInt);
    ::sigaction(SIGTERM, &action, &g_previousTerm);
    ::sigaction(SIGHUP, &action, &g_previousHup);
}

StopSignals::~StopSignals() {
    ::sigaction(SIGINT, &g_previousInt, nullptr);
    ::sigaction(SIGTERM, &g_previousTerm, nullptr);
    ::sigaction(SIGHUP, &g_previousHup, nullptr);
    g_stopRequested = nullptr;
}

int StopSignals::Received() const { return g_firstSignal; }

void StopSignals::EndByReceivedSignal() {
    const int signalNumber = g_firstSignal;
    ::signal(signalNumber, SIG_DFL);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signalNumber);
    ::sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
    ::raise(signalNumber);
    // Not reached unless the signal is ignored by default, which SIGINT, SIGTERM and SIGHUP are not.
    std::_Exit(128 + signalNumber);
}

}  // namespace quernfold
