#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "engine/text/CodePage.h"
#include "engine/text/LineReader.h"
#include "engine/output/PathRules.h"
#include "engine/report/RunReport.h"
#include "engine/page/ExpansionContext.h"
#include "engine/page/ReadTrace.h"
#include "engine/site/SiteFiles.h"

namespace quernfold {

class LogSink;
class OutputSink;

/** The choices the expander works with, as typed (untrimmed), UTF-8. */
struct ExpanderSettings {
    std::string sourceType;
    std::string outputType;
    CodePageChoice codePage = CodePageChoice::Auto;
    char separator = kNativeSeparator;
    std::size_t lineLimit = LineReader::kDefaultLineLimit;  // longest line, and longest open block, of a file
    // When set, the expansion throws RunStopped at the next line or the next 64 KiB read.
    const std::atomic<bool>* stopRequested = nullptr;
    // Whether the files directives name without being expanded are noted (static files are to be copied).
    bool noteNamedTargets = false;
    // ASP pages drop their code blocks as JSP pages do, so no server code is published.
    bool dropServerCode = false;
    // The extension rewrite also takes the source extension in other letter cases, at a word end.
    bool anyCaseLinks = false;
};

/**
 * Copies dynamic pages into an output page as static text: the extension rewrite in every line, server code
 * blocks cut out, include directives replaced by the expansion of the files they name, recursively.
 */
class PageExpander {
public:
    static constexpr std::int64_t kMaxDepth = 6;               // a directive met at this depth is refused
    static constexpr std::int64_t kIncludeBudget = 1000;       // handled directives per source page

    PageExpander(ExpanderSettings settings, ExpansionContext& context, SiteFiles& files, LogSink& log);

    /**
     * Expands one source page (depth 1) with a fresh include budget. Returns the description of the failure when
     * the page's own expansion failed (its warning is already logged and counted); nullopt otherwise. A failed
     * write of the output passes as OutputError, and a stop request as RunStopped.
     */
    std::optional<std::string> ExpandSourcePage(const std::string& pagePath, OutputSink& out);

    /** Expands one page into out, one level deeper. Failures are logged as a warning; OutputError passes. */
    std::optional<std::string> ExpandPage(const std::string& pagePath, OutputSink& out);

    /** Decides what becomes of one code block cut out of a page in code page cp, found in folder pageDir. */
    void ExpandBlock(std::string_view blockText, OutputSink& out, const std::string& pageDir, CodePage cp);

    /** The warnings of the source page expanded last, as data (the log holds them as lines). */
    const std::vector<PathReason>& PageWarnings() const { return m_pageWarnings; }

    /**
     * Every file this expander has read (pages and includes), so the run never writes over one of them; those
     * in the set given to NotNoting (the run's listed pages, kept there already) are left out.
     */
    const std::unordered_set<FileId, FileIdHash>& FilesRead() const { return m_filesRead; }
    /** known (null: none) must outlive the expander; a run of many pages does not hold each page's id twice. */
    void NotNoting(const std::unordered_set<FileId, FileIdHash>* known) { m_known = known; }
    /**
     * The files that directives named but that were not expanded (past the nesting limit or the budget, or in a
     * file whose expansion failed part-way): fragments of server code all the same, never to be published.
     */
    const std::unordered_set<std::string>& NamedTargets() const { return m_namedTargets; }
    /** Reads a page that failed to its end for the files its directives name, expanding nothing. */
    void NoteDirectiveTargets(const std::string& pagePath);
    /** Starts the sets of files read and named afresh (a worker hands over each page's sets with the page). */
    void ForgetFilesRead() {
        m_filesRead.clear();
        m_namedTargets.clear();
    }

    /** From now on, notes what each expansion depends on in trace (null: nothing is noted). */
    void TraceInto(ReadTrace* trace) { m_trace = trace; }

private:
    struct TypeTexts {
        std::string search;       // "." + source type, in the page's code page
        std::string replacement;  // "." + output type
    };
    const TypeTexts& TypesFor(CodePage cp);
    void Warn(std::string_view path, std::string_view reason);
    void ExpandInclude(std::string_view target, OutputSink& out, const std::string& pageDir, CodePage cp);
    std::optional<std::string> Resolve(const std::string& resolved, const std::string& cleaned,
                                       const std::optional<std::string>& utf8, const std::string& pageDir);
    void Expand(const std::string& pagePath, OutputSink& out);
    void NoteOpened(const std::string& path, const SourceFile& file);
    void NoteNamedTarget(const std::string& resolved, const std::string& cleaned,
                         const std::optional<std::string>& utf8, const std::string& pageDir);
    void NoteLookup(const std::string& resolved, const std::string& cleaned, bool tryRaw, const std::string& pageDir,
                    const std::optional<std::string>& found);

    ExpanderSettings m_settings;
    std::string m_sourceTypeTrimmed;
    std::string m_outputTypeTrimmed;
    bool m_aspPages;
    ExpansionContext& m_state;
    SiteFiles& m_files;
    LogSink& m_log;
    std::int64_t m_handledDirectives = 0;
    std::map<CodePage, TypeTexts> m_typeTexts;
    std::unordered_set<FileId, FileIdHash> m_filesRead;
    const std::unordered_set<FileId, FileIdHash>* m_known = nullptr;
    std::unordered_set<std::string> m_namedTargets;
    std::size_t m_heldAbove = 0;  // bytes of lines and open blocks held by the levels above the current one
    // What this run found for each include target, and why the includes that failed without output failed.
    static constexpr std::size_t kRemembered = 65536;
    std::unordered_map<std::string, std::optional<std::string>> m_resolutions;
    std::unordered_map<std::string, std::string> m_failedIncludes;
    std::vector<PathReason> m_pageWarnings;
    ReadTrace* m_trace = nullptr;
};

}  // namespace quernfold
