#pragma once

#include <atomic>

namespace quernfold {

/**
 * SIGINT, SIGTERM and SIGHUP (a closed terminal or connection) during a run. The first one sets the run's stop
 * request, so the run ends cleanly with its summary, log and report; a second one ends the program at once, by that
 * signal's default action. One instance at a time; the earlier handlers come back when it is destroyed.
 */
class StopSignals {
public:
    explicit StopSignals(std::atomic<bool>& stopRequested);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    /** The first signal received, or 0. */
    int Received() const;

    /** Ends the program by the signal received, with its default action, so the parent sees how it ended. */
    [[noreturn]] void EndByReceivedSignal();
};

}  // namespace quernfold
