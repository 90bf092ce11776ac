#include "engine/page/PreparedPage.h"

#include "engine/site/CachedSiteFiles.h"
#include "engine/platform/Disk.h"
#include "engine/run/RunState.h"
#include "engine/run/StopRequest.h"

namespace quernfold {

/** The expander's log: each line goes to the page being prepared, with where the output stood at that moment. */
class PagePreparer::Recorder : public LogSink {
public:
    explicit Recorder(const RunState& state) : m_state(state) {}
    void Start(PreparedPage* page) { m_page = page; }
    void ClearLog() override {}
    void AppendLog(std::string_view line) override {
        m_page->lines.push_back({m_page->bytes.size(), m_state.warningCount, std::string(line)});
    }

private:
    const RunState& m_state;
    PreparedPage* m_page = nullptr;
};

PagePreparer::PagePreparer(const ExpanderSettings& settings, const RunState& run, std::size_t cacheCapacity,
                           std::size_t outputLimit, bool noteLinks)
    : m_outputLimit(outputLimit), m_noteLinks(noteLinks), m_state(std::make_unique<RunState>()) {
    m_state->siteRoot = run.siteRoot;
    m_state->outputRoot = run.outputRoot;
    m_state->srcExt = run.srcExt;
    m_files = OpenSiteOnDisk(run.siteRoot);
    m_cachedFiles = std::make_unique<CachedSiteFiles>(*m_files, cacheCapacity);
    m_recorder = std::make_unique<Recorder>(*m_state);
    m_expander = std::make_unique<PageExpander>(settings, *m_state, *m_cachedFiles, *m_recorder);
}

PagePreparer::~PagePreparer() = default;

PreparedPage PagePreparer::Prepare(const std::string& path) {
    PreparedPage page;
    m_state->warningCount = 0;
    m_recorder->Start(&page);
    m_expander->ForgetFilesRead();
    BoundedMemoryOutput out(page.bytes, m_outputLimit);
    // The references are noted here, from the expander's own writes and code pages, as the committer would.
    std::optional<LinkScanningOutput> scanned;
    if (m_noteLinks) scanned.emplace(out);
    try {
        page.failure = m_expander->ExpandSourcePage(path, scanned ? static_cast<OutputSink&>(*scanned) : out);
    } catch (const RunStopped&) {
        page.state = PreparedPage::State::Stopped;
    } catch (const BoundedMemoryOutput::TooLarge&) {
        page.state = PreparedPage::State::Deferred;
    } catch (const std::exception&) {
        // Any other failure (out of memory while holding the page) is met again, and handled, when the page is
        // converted in its turn.
        page.state = PreparedPage::State::Deferred;
    }
    m_recorder->Start(nullptr);
    if (page.state != PreparedPage::State::Ready) {
        page.bytes = std::string();
        page.lines.clear();
        return page;
    }
    page.warnings = m_state->warningCount;
    page.pageWarnings = m_expander->PageWarnings();
    if (scanned) page.links = scanned->Links();
    const auto& read = m_expander->FilesRead();
    page.filesRead.assign(read.begin(), read.end());
    return page;
}

}  // namespace quernfold
