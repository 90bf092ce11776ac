#include "engine/run/PreparedPage.h"

#include "engine/site/CachedSiteFiles.h"
#include "engine/run/StopRequest.h"

namespace quernfold {

/** The expander's log: each line goes to the page being prepared, with where the output stood at that moment. */
class PagePreparer::Recorder : public LogSink {
public:
    explicit Recorder(const ExpansionContext& context) : m_context(context) {}
    void Start(PreparedPage* page) { m_page = page; }
    void ClearLog() override {}
    void AppendLog(std::string_view line) override {
        m_page->lines.push_back({m_page->bytes.size(), m_context.warningCount, std::string(line)});
    }

private:
    const ExpansionContext& m_context;
    PreparedPage* m_page = nullptr;
};

PagePreparer::PagePreparer(const ExpanderSettings& settings, std::unique_ptr<SiteFiles> site,
                           const std::string& siteRoot, std::size_t cacheCapacity, std::size_t outputLimit,
                           bool noteLinks, OutputTree* output)
    : m_outputLimit(outputLimit), m_noteLinks(noteLinks), m_output(output), m_files(std::move(site)) {
    m_context.siteRoot = siteRoot;
    m_cachedFiles = std::make_unique<CachedSiteFiles>(*m_files, cacheCapacity);
    m_recorder = std::make_unique<Recorder>(m_context);
    m_expander = std::make_unique<PageExpander>(settings, m_context, *m_cachedFiles, *m_recorder);
    m_expander->TraceInto(&m_trace);
}

PagePreparer::~PagePreparer() = default;

PreparedPage PagePreparer::Prepare(const std::string& path) {
    PreparedPage page;
    m_context.warningCount = 0;
    m_recorder->Start(&page);
    m_expander->ForgetFilesRead();
    m_trace.Start();
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
    page.warnings = m_context.warningCount;
    page.pageWarnings = m_expander->PageWarnings();
    if (scanned) page.links = scanned->Links();
    const auto& read = m_expander->FilesRead();
    page.filesRead.assign(read.begin(), read.end());
    const auto& named = m_expander->NamedTargets();
    page.namedTargets.assign(named.begin(), named.end());
    page.trace = std::move(m_trace);
    page.size = page.bytes.size();
    if (m_output && !page.failure) {
        try {
            page.file = m_output->WriteAhead(page.bytes);
        } catch (const std::exception&) {
            page.file.reset();  // written in its turn, which meets the failure again and reports it
        }
        // Held once, in the file: a page that cannot be published from it is converted again in its turn.
        if (page.file) page.bytes = std::string();
    }
    return page;
}

}  // namespace quernfold
