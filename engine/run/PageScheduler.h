#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/run/PreparedPage.h"

namespace quernfold {

/**
 * Converts the pages of a run ahead of their turn on worker threads, each with its own PagePreparer, and hands
 * them to the one caller (the committer) strictly in list order. Workers stay at most `window` pages ahead of
 * the committer, so memory is bounded by the window times the preparers' output limit. Nothing a worker does
 * shows outside: pages not taken are simply dropped.
 */
class PageScheduler {
public:
    /** Makes one worker's preparer; its expander must check the atomic it is given for stop requests. */
    using PreparerFactory = std::function<std::unique_ptr<PagePreparer>(const std::atomic<bool>& cancel)>;

    /** skip: the pages not to prepare (kept from the last run), by index; empty: none. */
    PageScheduler(const std::vector<std::string>& pages, unsigned workers, std::size_t window,
                  const PreparerFactory& makePreparer, std::vector<bool> skip = {});
    /** Cancels what is still being prepared and waits for the workers. */
    ~PageScheduler();
    PageScheduler(const PageScheduler&) = delete;
    PageScheduler& operator=(const PageScheduler&) = delete;

    /**
     * Page index (0-based; each index once, in order), when it is ready. Once userStop is set, a page that is not
     * ready yet comes back as Stopped and the workers abandon what they are doing.
     */
    PreparedPage Take(std::size_t index, const std::atomic<bool>& userStop);

    /** The committer is past page index, one of the pages skipped: the workers may go further ahead. */
    void Passed(std::size_t index);

    /** Workers stop taking pages and abandon the ones they are on. */
    void Cancel();

private:
    void Work(std::unique_ptr<PagePreparer> preparer);

    const std::vector<std::string>& m_pages;
    const std::size_t m_window;
    const std::vector<bool> m_skip;
    std::atomic<bool> m_cancel{false};
    std::mutex m_mutex;
    std::condition_variable m_workAvailable;
    std::condition_variable m_pageReady;
    std::size_t m_nextToPrepare = 0;
    std::size_t m_nextToTake = 0;
    std::map<std::size_t, PreparedPage> m_ready;
    std::vector<std::thread> m_workers;
};

/** The number of workers a run uses when none is asked for: the processors online. */
unsigned DefaultWorkerCount();

}  // namespace quernfold
