#pragma once

#include <atomic>
#include <exception>

namespace quernfold {

/**
 * Thrown where a run notices that the user asked it to stop (between pages, and inside a page while its text is
 * read). It passes through every per-page guard: a stopped page is abandoned, neither converted nor failed.
 */
class RunStopped : public std::exception {
public:
    const char* what() const noexcept override { return "the run was stopped on request"; }
};

/** Throws RunStopped once stop (when there is one) has been set. */
inline void ThrowIfStopRequested(const std::atomic<bool>* stop) {
    if (stop && stop->load(std::memory_order_relaxed)) throw RunStopped();
}

}  // namespace quernfold
