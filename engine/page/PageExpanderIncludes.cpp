#include "engine/page/PageExpander.h"

#include <cerrno>

#include "engine/log/LogLines.h"
#include "engine/output/PathRules.h"
#include "engine/page/IncludeDirective.h"
#include "engine/page/OutputSink.h"
#include "engine/platform/Transcode.h"
#include "engine/site/IncludeLookup.h"
#include "engine/text/Errors.h"

// The expander's include directives: what a code block names, where that file is, and its expansion within the
// include budget and the nesting limit.

namespace quernfold {

namespace {

/** Counts what a nested expansion writes, so a failure before its first byte can be told apart. */
struct CountingSink : OutputSink {
    explicit CountingSink(OutputSink& inner) : out(inner) {}
    void Write(std::string_view bytes) override {
        written += bytes.size();
        out.Write(bytes);
    }
    OutputSink& out;
    std::uint64_t written = 0;
};

}  // namespace

void PageExpander::ExpandBlock(std::string_view blockText, OutputSink& out, const std::string& pageDir,
                               CodePage cp) {
    std::string scratch;
    const std::optional<std::string_view> target = IncludeTarget(cp, blockText, scratch);
    if (!target) {
        if (m_aspPages && !m_settings.dropServerCode) {
            out.Write("<%");
            out.Write(blockText);
            out.WriteLine("%>");
        }
        return;
    }
    if (target->empty()) return;
    ExpandInclude(*target, out, pageDir, cp);
}

void PageExpander::ExpandInclude(std::string_view target, OutputSink& out, const std::string& pageDir, CodePage cp) {
    const char sep = m_settings.separator;
    const std::string cleaned = CleanIncludeTarget(cp, target, sep);
    if (cleaned.empty()) return;
    // The target is text in the page's code page; file names on this system are UTF-8.
    const std::optional<std::string> utf8 = ToUtf8(cp, cleaned);
    const std::string resolved = ResolveIncludePath(utf8.value_or(cleaned), pageDir, m_state.siteRoot, sep);

    ++m_handledDirectives;
    if (m_handledDirectives > kIncludeBudget) {
        if (m_handledDirectives == kIncludeBudget + 1) {
            Warn(resolved, IncludeBudgetSpentReason(kIncludeBudget));
        }
        NoteNamedTarget(resolved, cleaned, utf8, pageDir);
        return;
    }
    if (m_state.pageDepth >= kMaxDepth) {
        Warn(resolved, IncludesTooDeepReason(kMaxDepth));
        NoteNamedTarget(resolved, cleaned, utf8, pageDir);
        return;
    }
    if (!IsInsideRoot(resolved, m_state.siteRoot, sep)) {
        Warn(resolved, OutsideSiteRootReason(false));
        return;
    }
    const std::optional<std::string> found = Resolve(resolved, cleaned, utf8, pageDir);
    if (!found) {
        Warn(resolved, SystemReason(ENOENT));
        return;
    }
    // A file that failed before it wrote a byte fails the same way for every directive that names it: its
    // warning is written again, but the file is not read again.
    if (const auto failed = m_failedIncludes.find(*found); failed != m_failedIncludes.end()) {
        Warn(*found, failed->second);
        return;
    }
    CountingSink counted(out);
    const std::optional<std::string> failure = ExpandPage(*found, counted);
    if (failure && counted.written == 0) {
        if (m_failedIncludes.size() >= kRemembered) m_failedIncludes.clear();
        m_failedIncludes.emplace(*found, *failure);
    }
}

std::optional<std::string> PageExpander::Resolve(const std::string& resolved, const std::string& cleaned,
                                                 const std::optional<std::string>& utf8, const std::string& pageDir) {
    // Each distinct target is looked up once per run: as spelled, ignoring case, with the rewrite undone, and
    // in the page's own code page.
    const bool tryRaw = utf8 && *utf8 != cleaned;
    std::string key = resolved;
    if (tryRaw) key.append(1, '\0').append(pageDir).append(1, '\0').append(cleaned);
    if (const auto known = m_resolutions.find(key); known != m_resolutions.end()) {
        NoteLookup(resolved, cleaned, tryRaw, pageDir, known->second);
        return known->second;
    }
    IncludeLookup lookup{m_files, m_settings.separator, m_sourceTypeTrimmed, m_outputTypeTrimmed, m_state.siteRoot};
    std::optional<std::string> found = lookup.FindTarget(resolved, cleaned, tryRaw, pageDir);
    if (m_resolutions.size() >= kRemembered) m_resolutions.clear();
    m_resolutions.emplace(std::move(key), found);
    NoteLookup(resolved, cleaned, tryRaw, pageDir, found);
    return found;
}

void PageExpander::NoteLookup(const std::string& resolved, const std::string& cleaned, bool tryRaw,
                              const std::string& pageDir, const std::optional<std::string>& found) {
    if (m_trace) m_trace->lookups.push_back({resolved, cleaned, tryRaw, pageDir, found});
}

}  // namespace quernfold
