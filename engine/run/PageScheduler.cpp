#include "engine/run/PageScheduler.h"

#include <chrono>

#include "engine/output/PathRules.h"
#include "engine/platform/FileSystem.h"

namespace quernfold {

namespace {

// How often a committer waiting for a page looks at the user's stop request.
constexpr auto kStopPoll = std::chrono::milliseconds(20);

}  // namespace

PageScheduler::PageScheduler(const std::vector<std::string>& pages, unsigned workers, std::size_t window,
                             const PreparerFactory& makePreparer, std::vector<bool> skip)
    : m_pages(pages), m_window(std::max<std::size_t>(window, 1)), m_skip(std::move(skip)) {
    m_workers.reserve(workers);
    try {
        for (unsigned i = 0; i < workers; ++i) {
            m_workers.emplace_back(&PageScheduler::Work, this, makePreparer(m_cancel));
        }
    } catch (...) {
        Cancel();
        for (std::thread& worker : m_workers) worker.join();
        throw;
    }
}

PageScheduler::~PageScheduler() {
    Cancel();
    for (std::thread& worker : m_workers) worker.join();
}

void PageScheduler::Cancel() {
    {
        const std::lock_guard lock(m_mutex);
        m_cancel = true;
    }
    m_workAvailable.notify_all();
}

void PageScheduler::Work(std::unique_ptr<PagePreparer> preparer) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_workAvailable.wait(lock, [this] {
            return m_cancel || m_nextToPrepare >= m_pages.size() || m_nextToPrepare < m_nextToTake + m_window;
        });
        if (m_cancel || m_nextToPrepare >= m_pages.size()) return;
        const std::size_t index = m_nextToPrepare++;
        if (index < m_skip.size() && m_skip[index]) continue;
        lock.unlock();
        PreparedPage page;
        const std::string& path = m_pages[index];
        // A blank entry is skipped by the committer; nothing to prepare.
        if (!TrimSpaces(path).empty()) {
            try {
                page = preparer->Prepare(path);
            } catch (...) {
                page = PreparedPage();
                page.state = PreparedPage::State::Deferred;
            }
        }
        lock.lock();
        m_ready.emplace(index, std::move(page));
        m_pageReady.notify_all();
    }
}

PreparedPage PageScheduler::Take(std::size_t index, const std::atomic<bool>& userStop) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (const auto found = m_ready.find(index); found != m_ready.end()) {
            PreparedPage page = std::move(found->second);
            m_ready.erase(found);
            m_nextToTake = index + 1;
            lock.unlock();
            m_workAvailable.notify_all();
            return page;
        }
        if (userStop.load(std::memory_order_relaxed)) {
            m_cancel = true;
            lock.unlock();
            m_workAvailable.notify_all();
            PreparedPage stopped;
            stopped.state = PreparedPage::State::Stopped;
            return stopped;
        }
        m_pageReady.wait_for(lock, kStopPoll);
    }
}

void PageScheduler::Passed(std::size_t index) {
    {
        const std::lock_guard lock(m_mutex);
        m_nextToTake = index + 1;
    }
    m_workAvailable.notify_all();
}

unsigned DefaultWorkerCount() {
    return ProcessorsOnline();
}

}  // namespace quernfold
