#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/page/OutputSink.h"
#include "engine/page/PageLinks.h"

namespace quernfold {

/** What a note of an output page stands for. */
enum class NoteKind : unsigned char {
    Link,         // a local reference
    AbsoluteUrl,  // an http(s) or "//host" URL: path holds it whole, the link check tells the local ones
    ServerCode,   // server code left in a page: path holds its kind ("<%", "<c:", ...), link the first line's text
    Exposure,     // a line naming a connection or a server path: path holds its kind, link the line's text
};

/** A local reference met in an output page: the first of those naming one path, and how many there are. */
struct PageLink {
    std::int64_t line = 0;  // 1-based line of the output page
    std::string link;       // as written, in UTF-8 (raw bytes when not valid in its code page)
    std::string path;       // the local file it names (see LocalLinkPath)
    std::int64_t count = 1;  // references in the page naming path
    std::vector<std::string> queries = {};  // the distinct query strings it was written with (bounded)
    std::int64_t queried = 0;               // references with a query string
    NoteKind kind = NoteKind::Link;
};

/**
 * A page's references, one per path named: a page that repeats one reference a million times holds one entry
 * with its count, not a million.
 */
class PageLinkList {
public:
    /** Queries kept per entry; more are one page's many values of a parameter, already plainly dynamic. */
    static constexpr std::size_t kMostQueries = 1000;

    explicit PageLinkList(std::vector<PageLink>& links) : m_links(links) {}
    void Add(std::int64_t line, std::string link, std::string path, NoteKind kind = NoteKind::Link,
             std::string_view query = {});

private:
    std::vector<PageLink>& m_links;
    std::unordered_map<std::string, std::size_t> m_index;  // kind and path -> its entry
};

/**
 * Passes the bytes of one output page on unchanged and notes the local references in them, each piece read in the
 * code page it was written in (the page's own, or an included file's). Pieces are the expander's writes: a
 * reference cut in two by a code block was server code, not a file.
 */
class LinkScanningOutput : public OutputSink {
public:
    explicit LinkScanningOutput(OutputSink& inner) : m_inner(inner) {}
    LinkScanningOutput(const LinkScanningOutput&) = delete;
    LinkScanningOutput& operator=(const LinkScanningOutput&) = delete;

    void Write(std::string_view bytes) override;
    CodePage SwitchCodePage(CodePage cp) override;

    const std::vector<PageLink>& Links() const { return m_links; }

private:
    OutputSink& m_inner;
    CodePage m_cp = CodePage::Gbk;
    std::int64_t m_line = 1;
    std::vector<PageLink> m_links;
    PageLinkList m_list{m_links};
    LinkScanState m_scan;
};

/** Notes the local references of a whole file's bytes (a copied static page) into links, one per path. */
void CollectLinks(CodePage cp, std::string_view bytes, std::vector<PageLink>& links);

}  // namespace quernfold
