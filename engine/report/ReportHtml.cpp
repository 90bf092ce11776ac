#include <algorithm>
#include <functional>
#include <map>
#include <numeric>
#include <string>
#include <string_view>

#include "engine/log/LogLines.h"
#include "engine/report/LinkCauses.h"
#include "engine/report/RunReport.h"

namespace quernfold {

namespace {

// A text of the report (a path, a link as written) as HTML: escaped as in the log first, so it is valid UTF-8.
std::string Html(std::string_view text) {
    const std::string readable = LogPath(text);
    std::string out;
    out.reserve(readable.size());
    for (const char c : readable) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

const char* CauseName(std::string_view cause) {
    static constexpr std::pair<std::string_view, const char*> kNames[] = {
        {"missing", "网站中也没有此文件"},       {"notCopied", "网站中有，但未复制到输出目录"},
        {"letterCase", "文件名大小写不符"},     {"sourceExtension", "扩展名未改写为输出类型"},
        {"pageFailed", "此页面转换失败"},       {"serverCode", "链接中含服务器代码"},
        {"outside", "链接超出输出目录"}};
    for (const auto& [known, name] : kNames) {
        if (known == cause) return name;
    }
    return "";
}

constexpr std::string_view kStyle =
    "body{font-family:sans-serif;margin:2em;color:#222}h1{font-size:1.5em}h2{font-size:1.2em;border-bottom:1px solid "
    "#ccc;margin-top:2em}h3{font-size:1em}table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:2px 6px;"
    "text-align:left;vertical-align:top}code{background:#f4f4f4}.n{text-align:right}.bad{color:#b00}";

class HtmlWriter {
public:
    HtmlWriter(const RunReport& report, const std::function<void(std::string_view)>& write)
        : m_report(report), m_write(write) {}

    void All() {
        m_write("<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n<title>转换报告</title>\n"
                "<style>");
        m_write(kStyle);
        m_write("</style>\n</head>\n<body>\n<h1>转换报告</h1>\n");
        m_write("<p>网站目录：<code>" + Html(m_report.siteRoot) + "</code> 输出目录：<code>" + Html(m_report.outputDir) +
                "</code></p>\n");
        Totals();
        ProblemPages();
        BrokenLinks();
        Leftovers("服务器代码残留", "serverCode", m_report.serverCode);
        Leftovers("暴露的连接信息", "exposures", m_report.exposures);
        OtherLinks();
        Skipped();
        m_write("</body>\n</html>\n");
    }

private:
    void Row(const std::string& label, const std::string& key, std::int64_t count) {
        m_write("<tr><th>" + label + "</th><td class=\"n\" data-count=\"" + key + "\">" + std::to_string(count) +
                "</td></tr>\n");
    }

    void Totals() {
        const RunCounts& counts = m_report.counts;
        m_write("<h2>汇总</h2>\n<table>\n");
        Row("页面", "pages", counts.pages);
        Row("转换成功", "converted", counts.Converted());
        Row("转换失败", "failed", counts.failed);
        Row("警告", "warnings", counts.warnings);
        Row("断开的链接", "brokenLinksTotal", m_report.brokenLinksTotal);
        for (const auto& [cause, count] : CountByCause(m_report.brokenLinks)) {
            Row(std::string("　") + CauseName(cause) + " (" + cause + ")", "brokenLinks." + cause, count);
        }
        Row("带查询参数的链接（目标页面）", "dynamicLinks", m_report.dynamicLinks.total);
        Row("指向本机的地址", "absoluteLocal", m_report.absoluteLocal.total);
        Row("含服务器代码的页面", "pagesWithServerCode", m_report.pagesWithServerCode);
        Row("暴露连接信息的文件", "filesWithExposures", m_report.filesWithExposures);
        Row("跳过的静态文件", "skipped", static_cast<std::int64_t>(m_report.assets.skipped.size()));
        m_write("</table>\n");
    }

    void ProblemPages() {
        m_write("<h2>有警告或失败的页面</h2>\n<table>\n<tr><th>页面</th><th>输出</th><th>问题</th></tr>\n");
        for (const PageRecord& page : m_report.pages) {
            if (page.warnings.empty() && !page.failure) continue;
            std::string problems;
            if (page.failure) problems += "<span class=\"bad\">失败：" + Html(*page.failure) + "</span><br>";
            for (const PathReason& warning : page.warnings) {
                problems += "警告：<code>" + Html(warning.path) + "</code> " + Html(warning.reason) + "<br>";
            }
            m_write("<tr data-page><td>" + Html(page.source) + "</td><td>" + Html(page.output) + "</td><td>" +
                    problems + "</td></tr>\n");
        }
        m_write("</table>\n");
    }

    void Truncated(bool truncated, std::int64_t total) {
        if (truncated) m_write("<p class=\"bad\">列表已截断，共" + std::to_string(total) + "项。</p>\n");
    }

    void BrokenLinks();
    void Leftovers(const char* title, const char* key, const BoundedList<Leftover>& list);
    void OtherLinks();
    void Skipped();

    const RunReport& m_report;
    const std::function<void(std::string_view)>& m_write;
};

// By cause, in the order of the totals, then by target: each target once, with the files that name it.
void HtmlWriter::BrokenLinks() {
    const std::vector<BrokenLink>& links = m_report.brokenLinks;
    m_write("<h2>断开的链接</h2>\n");
    Truncated(m_report.brokenLinksTruncated, m_report.brokenLinksTotal);
    std::map<std::string_view, std::size_t> causeOrder;
    for (const char* cause : kLinkCauses) causeOrder.emplace(cause, causeOrder.size());
    std::vector<std::size_t> order(links.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const std::size_t ca = causeOrder.count(links[a].cause) ? causeOrder[links[a].cause] : causeOrder.size();
        const std::size_t cb = causeOrder.count(links[b].cause) ? causeOrder[links[b].cause] : causeOrder.size();
        return ca != cb ? ca < cb : links[a].target < links[b].target;
    });
    const BrokenLink* previous = nullptr;
    for (const std::size_t i : order) {
        const BrokenLink& link = links[i];
        if (!previous || previous->cause != link.cause) {
            if (previous) m_write("</ul></li>\n</ul>\n");
            m_write("<h3>" + std::string(CauseName(link.cause)) + " (" + Html(link.cause) + ")</h3>\n<ul>\n");
        } else if (previous->target != link.target) {
            m_write("</ul></li>\n");
        }
        if (!previous || previous->cause != link.cause || previous->target != link.target) {
            m_write("<li><code>" + Html(link.target) + "</code>" +
                    (link.detail.empty() ? "" : " — " + Html(link.detail)) + "<ul>\n");
        }
        m_write("<li data-broken>" + Html(link.page) + " 第" + std::to_string(link.line) + "行 <code>" +
                Html(link.link) + "</code> ×" + std::to_string(link.count) + "</li>\n");
        previous = &link;
    }
    if (previous) m_write("</ul></li>\n</ul>\n");
}

void HtmlWriter::Leftovers(const char* title, const char* key, const BoundedList<Leftover>& list) {
    m_write(std::string("<h2>") + title + "</h2>\n");
    Truncated(list.truncated, list.total);
    m_write("<table>\n<tr><th>文件</th><th>行</th><th>类型</th><th>数量</th><th>首行内容</th></tr>\n");
    for (const Leftover& item : list.entries) {
        m_write(std::string("<tr data-") + key + "><td>" + Html(item.page) + "</td><td class=\"n\">" +
                std::to_string(item.line) + "</td><td><code>" + Html(item.kind) + "</code></td><td class=\"n\">" +
                std::to_string(item.count) + "</td><td><code>" + Html(item.text) + "</code></td></tr>\n");
    }
    m_write("</table>\n");
}

void HtmlWriter::OtherLinks() {
    m_write("<h2>带查询参数的链接</h2>\n<p>目标页面存在，但所有参数值现在都显示同一个静态页面。</p>\n");
    Truncated(m_report.dynamicLinks.truncated, m_report.dynamicLinks.total);
    m_write("<table>\n<tr><th>目标页面</th><th>不同查询</th><th>链接数</th><th>首次出现</th></tr>\n");
    for (const DynamicLink& link : m_report.dynamicLinks.entries) {
        m_write("<tr data-dynamic><td>" + Html(link.target) + "</td><td class=\"n\">" + std::to_string(link.queries) +
                "</td><td class=\"n\">" + std::to_string(link.count) + "</td><td>" + Html(link.page) + " 第" +
                std::to_string(link.line) + "行 <code>" + Html(link.link) + "</code></td></tr>\n");
    }
    m_write("</table>\n<h2>指向本机的地址</h2>\n");
    Truncated(m_report.absoluteLocal.truncated, m_report.absoluteLocal.total);
    m_write("<table>\n<tr><th>文件</th><th>行</th><th>地址</th><th>数量</th></tr>\n");
    for (const BrokenLink& link : m_report.absoluteLocal.entries) {
        m_write("<tr data-local><td>" + Html(link.page) + "</td><td class=\"n\">" + std::to_string(link.line) +
                "</td><td><code>" + Html(link.link) + "</code></td><td class=\"n\">" + std::to_string(link.count) +
                "</td></tr>\n");
    }
    m_write("</table>\n");
}

void HtmlWriter::Skipped() {
    m_write("<h2>跳过的静态文件</h2>\n<table>\n<tr><th>文件</th><th>原因</th></tr>\n");
    for (const PathReason& skipped : m_report.assets.skipped) {
        m_write("<tr data-skipped><td>" + Html(skipped.path) + "</td><td>" + Html(skipped.reason) + "</td></tr>\n");
    }
    m_write("</table>\n");
}

}  // namespace

void WriteReportHtml(const RunReport& report, const std::function<void(std::string_view)>& write) {
    HtmlWriter(report, write).All();
}

std::string ReportHtml(const RunReport& report) {
    std::string html;
    WriteReportHtml(report, [&](std::string_view piece) { html.append(piece); });
    return html;
}

}  // namespace quernfold
