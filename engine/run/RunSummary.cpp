#include "engine/run/RunSummary.h"

#include "engine/log/LogLines.h"
#include "engine/log/Sinks.h"
#include "engine/run/RunPlan.h"

namespace quernfold {

namespace {

const char* EncodingName(CodePageChoice choice) {
    switch (choice) {
        case CodePageChoice::Gbk:
            return "gbk";
        case CodePageChoice::Gb18030:
            return "gb18030";
        case CodePageChoice::Big5:
            return "big5";
        case CodePageChoice::ShiftJis:
            return "shift_jis";
        case CodePageChoice::Utf8:
            return "utf-8";
        case CodePageChoice::Auto:
            break;
    }
    return "auto";
}

void WriteSummary(const RunCounts& counts, LogSink& log) {
    log.AppendLog(SummaryBannerLine());
    log.AppendLog(SummaryTotalLine(counts.pages));
    log.AppendLog(SummarySuccessLine(counts.Converted()));
    log.AppendLog(SummaryFailureLine(counts.failed));
    log.AppendLog(SummaryWarningLine(counts.warnings));
    if (const auto& files = counts.staticFiles) {
        log.AppendLog(StaticFilesSummaryLine(files->Total(), files->unchanged, files->failed));
    }
    log.AppendLog(SummaryBannerLine());
}

}  // namespace

void FinishRun(const RunCounts& counts, const ConversionChoices& choices, const RunPlan& plan, const RunSinks& sinks,
               RunResult& result) {
    WriteSummary(counts, sinks.log);
    if (counts.stopped != RunStop::User) {
        sinks.messages.ShowMessage(RunFinishedText(counts.Converted(), counts.failed), kTitleNotice,
                                   MessageIcon::Information);
    }
    result.outcome = RunOutcome::Completed;
    result.counts = counts;
    if (RunReport* report = sinks.report) {
        report->siteRoot = plan.SiteRoot();
        report->sourceType = plan.SourceType();
        report->outputType = plan.OutputType();
        report->outputDir = plan.OutputRoot();
        report->encoding = EncodingName(choices.codePage);
        report->counts = counts;
    }
}

}  // namespace quernfold
