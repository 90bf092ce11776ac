#include "engine/report/RunReport.h"

#include <functional>
#include <string_view>

#include <nlohmann/json.hpp>

#include "engine/log/LogLines.h"
#include "engine/report/LinkCauses.h"

namespace quernfold {

namespace {

using Json = nlohmann::ordered_json;

// Every text of the report is escaped as in the log, so the JSON library only ever sees valid UTF-8.
Json Text(const std::string& text) { return LogPath(text); }

Json PathReasons(const std::vector<PathReason>& items, const char* reasonKey) {
    Json list = Json::array();
    for (const PathReason& item : items) list.push_back(Json{{"path", Text(item.path)}, {reasonKey, Text(item.reason)}});
    return list;
}

Json Stopped(RunStop stop) {
    switch (stop) {
        case RunStop::Limit:
            return "limit";
        case RunStop::User:
            return "user";
        case RunStop::None:
            break;
    }
    return nullptr;
}

}  // namespace

void WriteReportJson(const RunReport& report, const std::function<void(std::string_view)>& write) {
    // Built piece by piece, one element of each list at a time, so a report of a big site never stands whole in
    // memory: an object per line inside the lists, easy to read and to grep.
    auto field = [&](const char* name, const Json& value, bool last = false) {
        write(std::string("  \"") + name + "\": " + value.dump() + (last ? "\n" : ",\n"));
    };
    auto list = [&](const char* indent, const char* name, std::size_t count, const auto& element, bool last) {
        write(std::string(indent) + "\"" + name + "\": [");
        for (std::size_t i = 0; i < count; ++i) {
            write(std::string(i == 0 ? "\n" : ",\n") + indent + "  " + element(i).dump());
        }
        write(count == 0 ? std::string("]") : std::string("\n") + indent + "]");
        write(last ? "\n" : ",\n");
    };

    write("{\n");
    field("choices", Json{{"siteRoot", Text(report.siteRoot)},     {"sourceType", Text(report.sourceType)},
                          {"outputType", Text(report.outputType)}, {"outputDir", Text(report.outputDir)},
                          {"encoding", Text(report.encoding)}});
    list("  ", "pages", report.pages.size(), [&](std::size_t i) {
        const PageRecord& page = report.pages[i];
        return Json{{"source", Text(page.source)},
                    {"output", Text(page.output)},
                    {"status", page.converted ? "converted" : "failed"},
                    {"warnings", PathReasons(page.warnings, "reason")},
                    {"failure", page.failure ? Text(*page.failure) : Json(nullptr)}};
    }, false);
    const AssetRecords& assets = report.assets;
    write("  \"assets\": {\n");
    list("    ", "copied", assets.copied.size(), [&](std::size_t i) { return Text(assets.copied[i]); }, false);
    list("    ", "unchanged", assets.unchanged.size(), [&](std::size_t i) { return Text(assets.unchanged[i]); }, false);
    list("    ", "failed", assets.failed.size(), [&](std::size_t i) {
        return Json{{"path", Text(assets.failed[i].path)}, {"reason", Text(assets.failed[i].reason)}};
    }, false);
    list("    ", "skipped", assets.skipped.size(), [&](std::size_t i) {
        return Json{{"path", Text(assets.skipped[i].path)}, {"why", Text(assets.skipped[i].reason)}};
    }, true);
    write("  },\n");
    Json byCause = Json::object();
    for (const auto& [cause, count] : CountByCause(report.brokenLinks)) byCause[cause] = count;
    field("totals", Json{{"pages", report.counts.pages},
                         {"converted", report.counts.Converted()},
                         {"failed", report.counts.failed},
                         {"warnings", report.counts.warnings},
                         {"brokenLinks", std::move(byCause)},
                         {"dynamicLinks", report.dynamicLinks.total},
                         {"absoluteLocal", report.absoluteLocal.total},
                         {"pagesWithServerCode", report.pagesWithServerCode},
                         {"filesWithExposures", report.filesWithExposures}});
    field("stopped", Stopped(report.counts.stopped));
    field("brokenLinksTotal", report.brokenLinksTotal);
    field("truncated", report.brokenLinksTruncated);
    list("  ", "brokenLinks", report.brokenLinks.size(), [&](std::size_t i) {
        const BrokenLink& link = report.brokenLinks[i];
        Json entry{{"page", Text(link.page)}, {"line", link.line}, {"link", Text(link.link)},
                   {"target", Text(link.target)}, {"count", link.count}, {"cause", link.cause}};
        if (!link.detail.empty()) entry["detail"] = Text(link.detail);
        return entry;
    }, false);
    // Not broken, but not what the site showed either: one static page for every query, and URLs to the machine
    // the site ran on.
    const auto& dynamic = report.dynamicLinks;
    field("dynamicLinksTruncated", dynamic.truncated);
    list("  ", "dynamicLinks", dynamic.entries.size(), [&](std::size_t i) {
        const DynamicLink& link = dynamic.entries[i];
        return Json{{"target", Text(link.target)}, {"queries", link.queries}, {"count", link.count},
                    {"page", Text(link.page)},     {"line", link.line},       {"link", Text(link.link)}};
    }, false);
    const auto& local = report.absoluteLocal;
    field("absoluteLocalTruncated", local.truncated);
    list("  ", "absoluteLocal", local.entries.size(), [&](std::size_t i) {
        const BrokenLink& link = local.entries[i];
        return Json{{"page", Text(link.page)}, {"line", link.line},   {"link", Text(link.link)},
                    {"host", Text(link.target)}, {"count", link.count}};
    }, false);
    // What a visitor must not read: code the server ran, and where its data lives.
    auto leftovers = [&](const char* name, const BoundedList<Leftover>& items, bool last) {
        field((std::string(name) + "Total").c_str(), items.total);
        field((std::string(name) + "Truncated").c_str(), items.truncated);
        list("  ", name, items.entries.size(), [&](std::size_t i) {
            const Leftover& item = items.entries[i];
            return Json{{"page", Text(item.page)}, {"line", item.line}, {"kind", item.kind},
                        {"count", item.count},     {"text", Text(item.text)}};
        }, last);
    };
    leftovers("serverCode", report.serverCode, false);
    leftovers("exposures", report.exposures, true);
    write("}\n");
}

std::string ReportJson(const RunReport& report) {
    std::string json;
    WriteReportJson(report, [&](std::string_view piece) { json.append(piece); });
    return json;
}

}  // namespace quernfold
