#include "engine/RunReport.h"

#include <nlohmann/json.hpp>

#include "engine/LogLines.h"

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

Json Paths(const std::vector<std::string>& paths) {
    Json list = Json::array();
    for (const std::string& path : paths) list.push_back(Text(path));
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

std::string ReportJson(const RunReport& report) {
    Json json;
    json["choices"] = Json{{"siteRoot", Text(report.siteRoot)},     {"sourceType", Text(report.sourceType)},
                           {"outputType", Text(report.outputType)}, {"outputDir", Text(report.outputDir)},
                           {"encoding", Text(report.encoding)}};
    Json pages = Json::array();
    for (const PageRecord& page : report.pages) {
        pages.push_back(Json{{"source", Text(page.source)},
                             {"output", Text(page.output)},
                             {"status", page.converted ? "converted" : "failed"},
                             {"warnings", PathReasons(page.warnings, "reason")},
                             {"failure", page.failure ? Text(*page.failure) : Json(nullptr)}});
    }
    json["pages"] = std::move(pages);
    json["assets"] = Json{{"copied", Paths(report.assets.copied)},
                          {"unchanged", Paths(report.assets.unchanged)},
                          {"failed", PathReasons(report.assets.failed, "reason")},
                          {"skipped", PathReasons(report.assets.skipped, "why")}};
    json["totals"] = Json{{"pages", report.totalPages},
                          {"converted", report.converted},
                          {"failed", report.failed},
                          {"warnings", report.warnings}};
    json["stopped"] = Stopped(report.stopped);
    Json links = Json::array();
    for (const BrokenLink& link : report.brokenLinks) {
        links.push_back(Json{{"page", Text(link.page)},
                             {"line", link.line},
                             {"link", Text(link.link)},
                             {"target", Text(link.target)}});
    }
    json["brokenLinks"] = std::move(links);
    return json.dump(2) + "\n";
}

}  // namespace quernfold
