#include "engine/run/PagePublisher.h"

#include <algorithm>

#include "engine/log/LogLines.h"
#include "engine/report/LinkCheck.h"
#include "engine/run/StopRequest.h"
#include "engine/text/Errors.h"

namespace quernfold {

namespace {

constexpr std::uint64_t kOutputPageLimit = std::uint64_t{1} << 30;  // 1 GiB

/** Counts the bytes of a page on their way to its output. */
class CountingOutput : public OutputSink {
public:
    explicit CountingOutput(OutputSink& inner) : m_inner(inner) {}
    void Write(std::string_view bytes) override {
        m_inner.Write(bytes);
        m_written += bytes.size();
    }
    CodePage SwitchCodePage(CodePage cp) override { return m_inner.SwitchCodePage(cp); }
    std::uint64_t Written() const { return m_written; }

private:
    OutputSink& m_inner;
    std::uint64_t m_written = 0;
};

}  // namespace

PagePublisher::PagePublisher(Parts parts) : m_parts(std::move(parts)) {
    if (m_parts.unchanged) m_parts.expander.TraceInto(&m_trace);
    // The listed pages count as read already (IsReadByRun asks the plan first): their ids are not held twice.
    m_parts.expander.NotNoting(&m_parts.plan.PageIds());
}

bool PagePublisher::PublishKept(std::size_t index) {
    const std::string outputPath = m_parts.plan.OutputOf(index).outputPath;
    if (!m_parts.plan.Outputs().Claim(index, outputPath)) {
        m_parts.unchanged->Forget(index);
        return false;
    }
    for (const FileId& id : m_parts.unchanged->FilesOf(index)) {
        if (m_parts.plan.PageIds().count(id) == 0) m_filesReadAhead.insert(id);
    }
    m_parts.pageLog.AppendLog(PageGeneratedLine(outputPath));
    std::vector<PageLink> links;
    if (m_parts.links) links = m_parts.linksAgain(index);
    Record(index, outputPath, std::nullopt, {}, m_parts.links ? &links : nullptr);
    m_parts.pageLog.Release();
    return true;
}

// Notes a page converted cleanly, with what its expansion read, for the next run's record.
void PagePublisher::NoteConverted(std::size_t index, const PageOutput& out, std::uint64_t size,
                                  const PreparedPage* prepared) {
    // The file is whole and in place now: a change time later than this is someone else's.
    const std::int64_t settled = ReadTrace::NowNs();
    try {
        m_parts.unchanged->Converted(index, out.Id(), size, settled, prepared ? prepared->trace : m_trace);
    } catch (const std::exception&) {
        // The page is published all the same; without its record the next run converts it again.
    }
}

bool PagePublisher::IsReadByRun(const FileId& id) const {
    return m_parts.plan.PageIds().count(id) > 0 || m_parts.expander.FilesRead().count(id) > 0 ||
           m_filesReadAhead.count(id) > 0;
}

void PagePublisher::Publish(std::size_t index, PreparedPage* prepared) {
    RunState& state = m_parts.state;
    if (TrimSpaces(state.fileList[index]).empty()) return;
    const std::int64_t warningsBefore = state.warningCount;
    try {
        PublishHeld(index, m_parts.plan.OutputOf(index), prepared);
    } catch (const RunStopped&) {
        m_parts.pageLog.Drop();
        state.warningCount = warningsBefore;
        throw;
    }
    m_parts.pageLog.Release();
}

// Replays a page converted ahead: its bytes (into out, unless they are in its file already) and its log lines in
// the order the expansion made them, its warnings counted as they come. Returns the page's own failure, as the
// expansion would.
std::optional<std::string> PagePublisher::Replay(const PreparedPage& page, OutputSink* out) {
    for (const FileId& id : page.filesRead) {
        if (m_parts.plan.PageIds().count(id) == 0) m_filesReadAhead.insert(id);
    }
    m_namedAhead.insert(page.namedTargets.begin(), page.namedTargets.end());
    std::size_t written = 0;
    std::int64_t counted = 0;
    for (const PreparedPage::Line& line : page.lines) {
        if (out) out->Write(std::string_view(page.bytes).substr(written, line.outputOffset - written));
        written = line.outputOffset;
        for (; counted < line.warnings; ++counted) m_parts.state.CountWarning();
        m_parts.pageLog.AppendLog(line.text);
    }
    if (out) out->Write(std::string_view(page.bytes).substr(written));
    for (; counted < page.warnings; ++counted) m_parts.state.CountWarning();
    return page.failure;
}

// The file a worker wrote ahead for the page, given its name; nullptr when there is none or it cannot take the
// name where it is (another file system below the output root): the page is then written here as any other.
std::unique_ptr<PageOutput> PagePublisher::PlaceWrittenAhead(const OutputPathPlan& plan, PreparedPage* prepared) {
    if (!prepared || !prepared->file) return nullptr;
    try {
        return m_parts.output.Place(std::move(prepared->file), plan);
    } catch (const OutputError&) {
        return nullptr;
    } catch (const FileError&) {
        return nullptr;
    }
}

// Publish with the page's lines going to the held log.
void PagePublisher::PublishHeld(std::size_t index, const OutputPathPlan& plan, PreparedPage* prepared) {
    RunState& state = m_parts.state;
    const std::string& path = state.fileList[index];
    const std::string& outputPath = plan.outputPath;
    std::unique_ptr<PageOutput> out;
    // A page that fails before it is expanded has no warnings of its own yet: the expander still holds the
    // previous page's.
    bool expanded = false;
    const std::int64_t warningsBefore = state.warningCount;
    m_trace.Start();
    try {
        m_parts.overlap.CheckOutputIsNotTheSource(path, outputPath);
        // A page that fails still claims its output path, so a later page cannot take it over.
        if (!m_parts.plan.Outputs().Claim(index, outputPath)) throw FileError(OutputAlreadyWrittenReason(outputPath));
        const bool hadFile = prepared && prepared->file;
        out = PlaceWrittenAhead(plan, prepared);
        const bool writtenAhead = out != nullptr;
        // A page whose file cannot take its name is converted here, as one too large to hold ahead is.
        if (hadFile && !writtenAhead) prepared = nullptr;
        if (!writtenAhead) out = m_parts.output.Create(plan, kOutputPageLimit);
        // With a report, the page's references are noted as it is written (a page converted ahead brings its own).
        CountingOutput counted(*out);
        std::optional<LinkScanningOutput> scanned;
        if (m_parts.links && !prepared) scanned.emplace(counted);
        expanded = true;
        const std::optional<std::string> failure =
            prepared ? Replay(*prepared, writtenAhead ? nullptr : out.get())
                     : m_parts.expander.ExpandSourcePage(path, scanned ? static_cast<OutputSink&>(*scanned) : counted);
        m_parts.overlap.CheckOutputIsNotRead(outputPath, [this](const FileId& id) { return IsReadByRun(id); });
        if (failure) {
            // The page's own warning is already logged; the page is still a failure, never "converted", and
            // nothing of it is published.
            out->Discard();
            m_failed.push_back(index);
            state.CountFailedPage(true);
            m_parts.pageLog.AppendLog(PageFailedLine(path, *failure));
            Record(index, outputPath, failure, PageWarnings(prepared), nullptr);
            return;
        }
        out->Publish();
        if (m_parts.unchanged && state.warningCount == warningsBefore) {
            NoteConverted(index, *out, prepared ? prepared->size : counted.Written(), prepared);
        }
        // From now on an include that reaches this file reads its source page, as before the page was written.
        m_parts.overlap.Published(out->Id(), path);
        m_parts.pageLog.AppendLog(PageGeneratedLine(outputPath));
        Record(index, outputPath, std::nullopt, PageWarnings(prepared),
               prepared ? &prepared->links : scanned ? &scanned->Links() : nullptr);
    } catch (const RunStopped&) {
        if (out) out->Discard();
        m_parts.output.RemoveFoldersMadeForLastPage();
        throw;
    } catch (const std::exception& failure) {
        // Nothing half-written is published: a file that stood at the output path stays as it was.
        if (out) out->Discard();
        // A page that failed part-way is still read to its end for the fragments its directives name.
        if (expanded && !prepared) m_parts.expander.NoteDirectiveTargets(path);
        m_failed.push_back(index);
        state.CountFailedPage(false);
        m_parts.pageLog.AppendLog(PageFailedLine(path, failure.what()));
        Record(index, out ? outputPath : std::string(), std::string(failure.what()),
               expanded ? PageWarnings(prepared) : std::vector<PathReason>(), nullptr, true);
    }
}

// The page's facts for the report, in list order; links: the references of what was published.
void PagePublisher::Record(std::size_t index, const std::string& output, std::optional<std::string> failure,
                           std::vector<PathReason> warnings, const std::vector<PageLink>* links,
                           bool failureIsWarning) {
    if (!m_parts.report) return;
    const std::string& source = m_parts.state.fileList[index];
    PageRecord record{source, output, !failure, std::move(warnings), std::move(failure)};
    if (failureIsWarning) record.warnings.push_back({source, *record.failure});
    m_parts.report->pages.push_back(std::move(record));
    if (links) m_parts.links->AddPage(index, output, *links);
}

// The warnings of the page just expanded (or converted ahead), for the report.
std::vector<PathReason> PagePublisher::PageWarnings(const PreparedPage* prepared) const {
    if (!m_parts.report) return {};
    return prepared ? prepared->pageWarnings : m_parts.expander.PageWarnings();
}

std::optional<bool> PagePublisher::PageWithOutput(const std::string& outputPath) const {
    const std::optional<std::size_t> page = m_parts.plan.Outputs().FirstPageWith(outputPath);
    if (!page) return std::nullopt;
    return !std::binary_search(m_failed.begin(), m_failed.end(), *page);
}

std::vector<std::string> PagePublisher::NamedTargets() const {
    std::vector<std::string> named(m_namedAhead.begin(), m_namedAhead.end());
    named.insert(named.end(), m_parts.expander.NamedTargets().begin(), m_parts.expander.NamedTargets().end());
    return named;
}

}  // namespace quernfold
