// libFuzzer target for the page expander, with includes served from files in memory described by the input.
//
// Input: four option bytes (source type, output type, code page, read size), then the page's bytes, then any
// number of files, each introduced by a line "\n@@" + path + "\n". A path is relative to the site root "/w/";
// "../" and a leading "/" place a file outside the site, where no open may ever reach. The page is "/w/d/p." +
// the source type, so "../" in an include already climbs to the root.
//
// Checks, besides the sanitizers and the time-out: no file, folder or listing outside the root is opened; and a
// page without "<%", "%>", "<!" and the source type comes out line for line equal to its input.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text/CodePage.h"
#include "engine/text/Errors.h"
#include "engine/log/LogText.h"
#include "tests/support/MemorySiteFiles.h"
#include "engine/page/OutputSink.h"
#include "engine/page/PageExpander.h"
#include "engine/output/PathRules.h"
#include "engine/page/ExpansionContext.h"

namespace quernfold {
namespace {

constexpr std::string_view kSiteRoot = "/w/";
constexpr std::string_view kPageFolder = "/w/d/";
constexpr std::string_view kFileMark = "\n@@";

const char* const kSourceTypes[] = {"jsp", "asp", "JSP", "jspf", " asp ", ""};
const char* const kOutputTypes[] = {"html", "htm", "jsp", " html", "", "h"};
const CodePageChoice kCodePages[] = {CodePageChoice::Auto, CodePageChoice::Gbk,      CodePageChoice::Gb18030,
                                     CodePageChoice::Big5, CodePageChoice::ShiftJis, CodePageChoice::Utf8};

[[noreturn]] void Fail(const char* what, const std::string& path) {
    std::fprintf(stderr, "%s: %s\n", what, path.c_str());
    std::abort();
}

// The path as the file system would take it: no links in memory, so ".." takes back the segment before it.
std::string Normalize(std::string_view path) {
    std::vector<std::string_view> kept;
    for (const std::string_view segment : SplitKeepEmpty(path, '/')) {
        if (segment.empty() || segment == ".") continue;
        if (segment == "..") {
            if (!kept.empty()) kept.pop_back();
            continue;
        }
        kept.push_back(segment);
    }
    std::string normal;
    for (const std::string_view segment : kept) {
        normal.push_back('/');
        normal.append(segment);
    }
    return normal.empty() ? "/" : normal;
}

bool WithinRoot(const std::string& path, bool rootItselfAllowed) {
    if (path.empty() || path.front() != '/') return false;  // relative to a working folder the site knows nothing of
    const std::string normal = Normalize(path);
    if (normal == "/w") return rootItselfAllowed;
    return normal.compare(0, 3, "/w/") == 0;
}

// Serves at most `step` bytes per read, as a pipe or a network file system may: the expander must not take a short
// read for the end of the file.
class TrickleFile : public SourceFile {
public:
    TrickleFile(std::unique_ptr<SourceFile> inner, std::size_t step) : m_inner(std::move(inner)), m_step(step) {}
    std::size_t Read(char* buffer, std::size_t size) override {
        return m_inner->Read(buffer, m_step == 0 ? size : std::min(size, m_step));
    }
    void Rewind() override { m_inner->Rewind(); }

private:
    std::unique_ptr<SourceFile> m_inner;
    std::size_t m_step;
};

// The site in memory, watched: reaching outside the root is the finding this target exists for.
class WatchedFiles : public SiteFiles {
public:
    WatchedFiles(MemorySiteFiles& inner, std::size_t step) : m_inner(inner), m_step(step) {}

    std::unique_ptr<SourceFile> Open(const std::string& path) override {
        if (!WithinRoot(path, false)) Fail("opened a file outside the site root", path);
        return std::make_unique<TrickleFile>(m_inner.Open(path), m_step);
    }
    EntryKind Kind(const std::string& path) override {
        if (!WithinRoot(path, true)) Fail("looked at a path outside the site root", path);
        return m_inner.Kind(path);
    }
    std::vector<std::string> ListNames(const std::string& folder) override {
        if (!WithinRoot(folder, true)) Fail("listed a folder outside the site root", folder);
        return m_inner.ListNames(folder);
    }

private:
    MemorySiteFiles& m_inner;
    std::size_t m_step;
};

// What the expander must write for a page it has nothing to do in: every line, ended by CR LF.
std::string LinesEndedByCrLf(std::string_view text) {
    std::string out;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", at);
        if (end == std::string_view::npos) {
            out.append(text.substr(at));
            out.append("\r\n");
            break;
        }
        out.append(text.substr(at, end - at));
        out.append("\r\n");
        at = end + 1;
        if (text[end] == '\r' && at < text.size() && text[at] == '\n') ++at;
    }
    return out;
}

bool StartsWithUtf16Mark(std::string_view text) {
    return text.size() >= 2 && ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF'));
}

}  // namespace
}  // namespace quernfold

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quernfold;
    if (size < 4) return 0;
    const std::string sourceType = kSourceTypes[data[0] % std::size(kSourceTypes)];
    const std::string outputType = kOutputTypes[data[1] % std::size(kOutputTypes)];
    const CodePageChoice codePage = kCodePages[data[2] % std::size(kCodePages)];
    const std::size_t readStep = data[3] % 8;  // 0: whole reads
    const std::string_view body(reinterpret_cast<const char*>(data) + 4, size - 4);

    MemorySiteFiles memory;
    const std::string pagePath = std::string(kPageFolder) + "p." + std::string(TrimSpaces(sourceType));
    std::size_t mark = body.find(kFileMark);
    const std::string_view page = body.substr(0, mark);
    memory.Add(pagePath, std::string(page));
    while (mark != std::string_view::npos) {
        const std::size_t nameStart = mark + kFileMark.size();
        const std::size_t nameEnd = body.find('\n', nameStart);
        if (nameEnd == std::string_view::npos) break;
        const std::string_view name = body.substr(nameStart, nameEnd - nameStart);
        mark = body.find(kFileMark, nameEnd);
        const std::string_view content =
            body.substr(nameEnd + 1, mark == std::string_view::npos ? mark : mark - nameEnd - 1);
        const std::string path = Normalize(name.starts_with('/') ? name : std::string(kSiteRoot) + std::string(name));
        if (path != pagePath && path != "/w") memory.Add(path, std::string(content));
    }

    WatchedFiles files(memory, readStep);
    ExpansionContext state;
    state.siteRoot = kSiteRoot;
    LogText log;
    PageExpander expander({sourceType, outputType, codePage, '/'}, state, files, log);
    StringOutput out;
    std::optional<std::string> failure;
    try {
        failure = expander.ExpandSourcePage(pagePath, out);
    } catch (const OutputError&) {
        std::abort();  // writing to memory cannot fail
    }
    if (state.pageDepth != 0) Fail("the depth was not restored", std::to_string(state.pageDepth));

    const std::string typeText = "." + sourceType;
    const bool plain = page.find("<%") == std::string_view::npos && page.find("%>") == std::string_view::npos &&
                       page.find("<!") == std::string_view::npos && page.find(typeText) == std::string_view::npos;
    if (failure && !StartsWithUtf16Mark(page)) Fail("the page failed", *failure);
    if (plain && !failure && out.Text() != LinesEndedByCrLf(page)) Fail("a plain page changed", pagePath);
    return 0;
}
