#include "engine/page/PageExpander.h"

#include <cstring>
#include <memory>

#include "engine/text/CodePageDetector.h"
#include "engine/text/Errors.h"
#include "engine/page/CaseVariants.h"
#include "engine/page/IncludeDirective.h"
#include "engine/site/IncludeLookup.h"
#include "engine/text/LineReader.h"
#include "engine/log/LogLines.h"
#include "engine/page/OutputSink.h"
#include "engine/page/ReplaceEach.h"
#include "engine/output/PathRules.h"
#include "engine/log/Sinks.h"
#include "engine/run/StopRequest.h"
#include "engine/platform/Transcode.h"

namespace quernfold {

namespace {

constexpr std::size_t kDetectChunk = 256 * 1024;
constexpr std::size_t kFirstHeadChunk = 16 * 1024;
constexpr std::size_t kStopCheckChunk = 64 * 1024;

/** A page file read in pieces small enough that a stop request is seen within every 64 KiB of text. */
class StopCheckingFile : public SourceFile {
public:
    StopCheckingFile(std::unique_ptr<SourceFile> inner, const std::atomic<bool>* stop)
        : m_inner(std::move(inner)), m_stop(stop) {}
    std::size_t Read(char* buffer, std::size_t size) override {
        ThrowIfStopRequested(m_stop);
        return m_inner->Read(buffer, std::min(size, kStopCheckChunk));
    }
    void Rewind() override { m_inner->Rewind(); }
    // The size tells how much to read at once: without it each page would clear and offer a larger buffer.
    std::optional<std::uint64_t> Size() const override { return m_inner->Size(); }
    FileId Id() const override { return m_inner->Id(); }
    std::optional<FileStamp> OpenedStamp() const override { return m_inner->OpenedStamp(); }

private:
    std::unique_ptr<SourceFile> m_inner;
    const std::atomic<bool>* m_stop;
};

/** A page opened for reading, its code page decided and the reader placed after any byte-order mark. */
struct OpenedPage {
    std::unique_ptr<SourceFile> file;
    CodePage codePage = CodePage::Gbk;
    std::unique_ptr<LineReader> reader;
};

// A short read is not the end of the file (a pipe or a network file system may return less than asked).
std::size_t ReadFully(SourceFile& file, char* buffer, std::size_t size) {
    std::size_t total = 0;
    while (total < size) {
        const std::size_t got = file.Read(buffer + total, size - total);
        if (got == 0) break;
        total += got;
    }
    return total;
}

OpenedPage OpenPage(SiteFiles& files, const std::string& path, CodePageChoice choice, bool included,
                    std::size_t lineLimit, const std::atomic<bool>* stop) {
    OpenedPage page;
    // The listed page was a regular file when the walk saw it; an include is looked at before it is opened.
    page.file = included ? files.Open(path) : files.OpenPage(path);
    if (const std::string* held = page.file->HeldBytes()) {
        // A file kept in memory (an include met before) is read in place, and its code page decided once.
        std::optional<DetectedCodePage>* slot = page.file->DetectedSlot(choice);
        std::optional<DetectedCodePage> local;
        std::optional<DetectedCodePage>& detected = slot ? *slot : local;
        if (!detected) {
            CodePageDetector detector(choice);
            detector.Feed(*held);
            detected = detector.Finish();
        }
        if (detected->utf16) {
            throw FileError(Utf16PageReason());
        }
        page.codePage = detected->codePage;
        page.reader = std::make_unique<LineReader>(*held, lineLimit);
        if (included && detected->bomLength > 0) page.reader->Skip(detected->bomLength);
        return page;
    }
    if (stop) page.file = std::make_unique<StopCheckingFile>(std::move(page.file), stop);
    CodePageDetector detector(choice);
    // Most included files are small: the head starts small and grows, so a page with a thousand includes does not
    // clear a quarter megabyte for each of them. A file that tells its size is asked for all of it at once, one
    // byte more than it holds so the short read marks the end.
    std::string head;
    const std::size_t firstChunk =
        page.file->Size() ? static_cast<std::size_t>(std::min<std::uint64_t>(*page.file->Size() + 1, kDetectChunk))
                          : kFirstHeadChunk;
    for (std::size_t size = 0, capacity = firstChunk;; capacity = std::min(kDetectChunk, capacity * 4)) {
        head.resize(capacity);
        size += ReadFully(*page.file, head.data() + size, capacity - size);
        if (size < capacity || capacity == kDetectChunk) {
            head.resize(size);
            break;
        }
    }
    detector.Feed(head);
    const bool wholeFile = head.size() < kDetectChunk;
    if (!wholeFile && detector.NeedsWholeFile()) {
        // A page is UTF-8 only when all of it is, so the detection pass reads to the end, then starts again.
        std::string more(kDetectChunk, '\0');
        while (const std::size_t got = page.file->Read(more.data(), more.size())) {
            detector.Feed(std::string_view(more.data(), got));
        }
        page.file->Rewind();
        head.clear();
    }
    const DetectedCodePage detected = detector.Finish();
    if (detected.utf16) {
        throw FileError(Utf16PageReason());
    }
    page.codePage = detected.codePage;
    page.reader = std::make_unique<LineReader>(*page.file, std::move(head), wholeFile, lineLimit);
    if (included && detected.bomLength > 0) page.reader->Skip(detected.bomLength);
    return page;
}

/** Replaces every needle found at a character boundary by replacement, left to right, without overlap. */
bool ReplaceAll(CodePage cp, std::string_view line, std::string_view needle, std::string_view replacement,
                std::string& out) {
    return ReplaceEach(line, needle.size(), replacement, out,
                       [&](std::size_t from) { return FindAtBoundary(cp, line, needle, from); });
}

// "<%" and "%>" are made of bytes that are never a trail byte in any supported code page, so the markers are
// found bytewise. Returns the offset of the first marker at or after `from`.
std::size_t FindMarker(std::string_view line, std::size_t from) {
    const char* data = line.data();
    std::size_t at = from;
    while (at < line.size()) {
        const void* hit = std::memchr(data + at, '%', line.size() - at);
        if (!hit) return std::string_view::npos;
        const std::size_t percent = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
        if (percent > from && data[percent - 1] == '<') return percent - 1;
        if (percent + 1 < line.size() && data[percent + 1] == '>') return percent;
        at = percent + 1;
    }
    return std::string_view::npos;
}

// An open block is held whole until its end marker, so it is bounded like a line.
// sharedLimit: the whole limit when the includers' lines hold part of it (0 when this file has it to itself).
void CheckBlockSize(const std::string& block, std::size_t limit, std::size_t sharedLimit) {
    if (block.size() > limit) {
        throw FileError(sharedLimit > 0 ? HeldLinesTooLongReason(sharedLimit) : CodeBlockTooLongReason(limit));
    }
}

/** Adds the bytes one level holds to the total of the levels above a nested expansion, for its duration. */
struct HeldBytes {
    std::size_t& total;
    std::size_t bytes;
    HeldBytes(std::size_t& t, std::size_t b) : total(t), bytes(b) { total += bytes; }
    ~HeldBytes() { total -= bytes; }
    HeldBytes(const HeldBytes&) = delete;
    HeldBytes& operator=(const HeldBytes&) = delete;
};

// Whether "<!" occurs in line: "!" is rare in page text, while "<" opens every tag.
bool HasCommentStart(std::string_view line) {
    for (std::size_t at = line.find('!', 1); at != std::string_view::npos; at = line.find('!', at + 1)) {
        if (line[at - 1] == '<') return true;
    }
    return false;
}

/**
 * The whole lines at the front of bytes that the line-by-line path would copy unchanged, so they can be written
 * in one piece: each ends in CR LF (which is what is written after every line) and holds no other CR or LF, no
 * "%" (so no marker), no occurrence of the search text, even across a character boundary (so no rewrite), nor in
 * another letter case when such variants are rewritten too, and in ASP pages no "<!" (so no comment that could
 * become a block). Returns their length in bytes.
 */
std::size_t PlainLines(std::string_view bytes, std::string_view search, bool aspPages, bool anyCase,
                       std::size_t lineLimit) {
    const char* data = bytes.data();
    std::size_t start = 0;
    while (start < bytes.size()) {
        const void* lf = std::memchr(data + start, '\n', bytes.size() - start);
        if (!lf) break;
        const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(lf) - data);
        if (end == start || data[end - 1] != '\r') break;
        const std::string_view line(data + start, end - 1 - start);
        if (line.size() > lineLimit || std::memchr(line.data(), '\r', line.size()) ||
            std::memchr(line.data(), '%', line.size()) || line.find(search) != std::string_view::npos) {
            break;
        }
        if (aspPages && HasCommentStart(line)) break;
        if (anyCase && FindCaseVariant(line, search) != std::string_view::npos) break;
        start = end + 1;
    }
    return start;
}

bool HasMarker(std::string_view line) {
    return line.find("<%") != std::string_view::npos || line.find("%>") != std::string_view::npos;
}

/** State of one page's expansion; every call has its own, so a nested expansion never disturbs its includer. */
struct PageScan {
    bool inBlock = false;
    std::string pending;
    std::string rewritten;
    std::string anyCase;
    std::string aspForm;
    std::string aspScratch;
};

// An ASP include is written as an HTML comment: every comment of such a line becomes a block.
std::string_view CommentsAsBlocks(CodePage cp, std::string_view line, PageScan& scan) {
    if (ReplaceAll(cp, line, "<!--", "<%", scan.aspScratch)) {
        scan.aspForm.swap(scan.aspScratch);
        line = scan.aspForm;
    }
    if (ReplaceAll(cp, line, "-->", "%>", scan.aspScratch)) {
        scan.aspForm.swap(scan.aspScratch);
        line = scan.aspForm;
    }
    return line;
}

}  // namespace

PageExpander::PageExpander(ExpanderSettings settings, ExpansionContext& state, SiteFiles& files, LogSink& log)
    : m_settings(std::move(settings)),
      m_sourceTypeTrimmed(TrimSpaces(m_settings.sourceType)),
      m_outputTypeTrimmed(TrimSpaces(m_settings.outputType)),
      m_aspPages(m_settings.sourceType == "asp"),
      m_state(state),
      m_files(files),
      m_log(log) {}

const PageExpander::TypeTexts& PageExpander::TypesFor(CodePage cp) {
    auto found = m_typeTexts.find(cp);
    if (found != m_typeTexts.end()) return found->second;
    // The type texts come from the window in UTF-8; a page is searched in its own code page.
    const auto source = FromUtf8(cp, m_settings.sourceType);
    const auto output = FromUtf8(cp, m_settings.outputType);
    TypeTexts texts{TypeExtension(source ? *source : m_settings.sourceType),
                    TypeExtension(output ? *output : m_settings.outputType)};
    return m_typeTexts.emplace(cp, std::move(texts)).first->second;
}

void PageExpander::Warn(std::string_view path, std::string_view reason) {
    m_state.CountWarning();
    m_pageWarnings.push_back({std::string(path), std::string(reason)});
    m_log.AppendLog(WarningBannerLine());
    m_log.AppendLog(ExtractFailedLine(path, reason));
}

std::optional<std::string> PageExpander::ExpandSourcePage(const std::string& pagePath, OutputSink& out) {
    m_handledDirectives = 0;
    m_pageWarnings.clear();
    m_state.pageDepth = 0;
    return ExpandPage(pagePath, out);
}

std::optional<std::string> PageExpander::ExpandPage(const std::string& pagePath, OutputSink& out) {
    struct DepthGuard {
        std::int64_t& depth;
        explicit DepthGuard(std::int64_t& d) : depth(d) { ++depth; }
        ~DepthGuard() { --depth; }
    } guard(m_state.pageDepth);
    try {
        Expand(pagePath, out);
        return std::nullopt;
    } catch (const OutputError&) {
        throw;
    } catch (const RunStopped&) {
        throw;
    } catch (const std::bad_alloc&) {
        const std::string reason = OutOfMemoryReason();
        Warn(pagePath, reason);
        return reason;
    } catch (const std::exception& failure) {
        Warn(pagePath, failure.what());
        NoteDirectiveTargets(pagePath);
        return std::string(failure.what());
    }
}

// Every file opened is one the run reads, and one a re-run must find unchanged.
void PageExpander::NoteOpened(const std::string& path, const SourceFile& file) {
    if (const FileId id = file.Id(); id.Known() && !(m_known && m_known->count(id) > 0)) m_filesRead.insert(id);
    if (!m_trace) return;
    if (const std::optional<FileStamp> stamp = file.OpenedStamp()) {
        m_trace->opened.push_back({path, *stamp});
    } else {
        m_trace->doubtful = true;
    }
}

void PageExpander::Expand(const std::string& pagePath, OutputSink& out) {
    const bool included = m_state.pageDepth > 1;
    // The lines and open blocks held by the including levels count against the same limit as this file's own.
    const std::size_t lineLimit = m_settings.lineLimit - std::min(m_heldAbove, m_settings.lineLimit);
    OpenedPage page =
        OpenPage(m_files, pagePath, m_settings.codePage, included, lineLimit, m_settings.stopRequested);
    const std::size_t sharedLimit = m_heldAbove > 0 ? m_settings.lineLimit : 0;
    if (sharedLimit > 0) page.reader->ShareLimit(sharedLimit);
    NoteOpened(pagePath, *page.file);
    const CodePage cp = page.codePage;
    // The bytes written from here on are in this file's code page, until its includer takes over again.
    struct CodePageScope {
        OutputSink& out;
        CodePage previous;
        ~CodePageScope() { out.SwitchCodePage(previous); }
    } codePageScope{out, out.SwitchCodePage(cp)};
    const TypeTexts& types = TypesFor(cp);
    const std::string pageDir = ParentDir(pagePath, m_settings.separator);

    PageScan scan;
    std::string_view raw;
    for (;;) {
        ThrowIfStopRequested(m_settings.stopRequested);
        if (!scan.inBlock) {
            // Most lines of a page are text to copy as they stand: they go out together, many lines per write.
            const std::string_view buffered = page.reader->Buffered();
            const std::size_t plain = PlainLines(buffered, types.search, m_aspPages, m_settings.anyCaseLinks, lineLimit);
            if (plain > 0) {
                out.Write(buffered.substr(0, plain));
                page.reader->Consume(plain);
            }
        }
        if (!page.reader->Next(raw)) break;
        std::string_view line = raw;
        if (ReplaceAll(cp, line, types.search, types.replacement, scan.rewritten)) line = scan.rewritten;
        if (m_settings.anyCaseLinks && ReplaceCaseVariants(line, types.search, types.replacement, scan.anyCase)) {
            line = scan.anyCase;
        }
        if (m_aspPages && line.find("<!") != std::string_view::npos && ContainsAtBoundary(cp, line, "include")) {
            line = CommentsAsBlocks(cp, line, scan);
        }
        if (!HasMarker(line)) {
            if (!scan.inBlock) {
                out.WriteLine(line);
            } else {
                scan.pending += "\r\n";
                scan.pending.append(line);
                CheckBlockSize(scan.pending, lineLimit, sharedLimit);
            }
            continue;
        }
        // What stands since the last marker is the text buffer (outside a block) or the code buffer (inside).
        std::size_t segment = 0;
        std::size_t at = 0;
        for (std::size_t marker; (marker = FindMarker(line, at)) != std::string_view::npos;) {
            if (line[marker] == '<') {
                // Inside a block, the code gathered on this line is dropped and an empty line written.
                out.WriteLine(scan.inBlock ? std::string_view() : line.substr(segment, marker - segment));
                scan.inBlock = true;
                segment = at = marker + 2;
            } else if (scan.inBlock) {
                scan.pending.append(line.substr(segment, marker - segment));
                HeldBytes held(m_heldAbove, raw.size() + scan.pending.size());
                ExpandBlock(scan.pending, out, pageDir, cp);
                scan.pending.clear();
                scan.inBlock = false;
                segment = at = marker + 2;
            } else {
                at = marker + 1;  // a stray "%>" outside a block is text
            }
        }
        const std::string_view rest = line.substr(segment);
        if (scan.inBlock) {
            scan.pending.append(rest);
            CheckBlockSize(scan.pending, lineLimit, sharedLimit);
        } else if (!rest.empty()) {
            out.WriteLine(rest);
        }
    }
    // A block still open at the end of the page is dropped.
}

}  // namespace quernfold
