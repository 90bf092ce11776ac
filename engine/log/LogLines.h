#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quernfold {

// Every text the run writes to the log or shows in a message box is built here, and nowhere else.

/**
 * A path made safe for a log line: control characters (C0, DEL, C1), U+2028/U+2029, the bidirectional marks and
 * overrides, and bytes that are not UTF-8 become "\xNN" (one per byte); a "\" followed by "x" and two hex digits
 * becomes "\x5C", so no name prints like another.
 */
std::string LogPath(std::string_view path);

std::string PageBannerLine();                                              // 77 × "="
std::string PageStartLine(std::string_view sourcePath);                    // "开始转换:" … "...."
std::string WarningBannerLine();                                           // 79 × "#"
std::string ExtractFailedLine(std::string_view path, std::string_view reason);  // "提取" … "时异常：" …
std::string PageGeneratedLine(std::string_view outputPath);                // ">>生成" … "成功！"
std::string PageFailedLine(std::string_view sourcePath, std::string_view reason);
std::string RunStoppedLine();                                              // the user stopped the run
std::string SummaryBannerLine();                                           // 78 × "*"
std::string SummaryTotalLine(std::int64_t pages);
std::string SummarySuccessLine(std::int64_t succeeded);
std::string SummaryFailureLine(std::int64_t failed);
std::string SummaryWarningLine(std::int64_t warnings);
std::string StaticFilesStartLine();                                        // after the last page's lines
std::string StaticFileFailedLine(std::string_view sourcePath, std::string_view reason);
std::string StaticFilesSummaryLine(std::int64_t total, std::int64_t unchanged, std::int64_t failed);

// Reasons a page or an include fails, written after PageFailedLine's or ExtractFailedLine's colon. A limit is
// stated from the constant that enforces it, so the text can never disagree with the check.

/** A size for people: "256 MiB", "1 GiB", or "4096 bytes" when it is not a whole number of either. */
std::string SizeText(std::uint64_t bytes);
std::string LineTooLongReason(std::uint64_t limit);
std::string CodeBlockTooLongReason(std::uint64_t limit);
/** A line or open block of an included file passes what the lines held by its includers leave of the limit. */
std::string HeldLinesTooLongReason(std::uint64_t limit);
std::string OutputTooLargeReason(std::uint64_t limit);
std::string IncludeBudgetSpentReason(std::int64_t budget);
std::string IncludesTooDeepReason(std::int64_t maxDepth);
/** throughLink: the path names a place inside the site, but a link on the way leads out of it. */
std::string OutsideSiteRootReason(bool throughLink);
std::string Utf16PageReason();
std::string NotARegularFileReason();
std::string OutOfMemoryReason();
std::string OutputIsTheSourceReason();
std::string OutputAlreadyWrittenReason(std::string_view outputPath);
std::string OutputIsReadReason(std::string_view outputPath);
std::string OutputFolderIsLinkReason(std::string_view folder);

// Message boxes: texts and titles.
inline constexpr std::string_view kTitleNotice = "提示";
inline constexpr std::string_view kTitleReminder = "提醒";
inline constexpr std::string_view kTitleWarning = "警告";
inline constexpr std::string_view kTitleError = "出错啦";

inline constexpr std::string_view kNoOutputFolderText = "未指定转换结果存放目录！";
inline constexpr std::string_view kNoSiteRootText = "未指定网站文件根目录！";
inline constexpr std::string_view kStopRunQuestion = "转换正在进行，确定要中止转换吗？";
inline constexpr std::string_view kBadTypeText = "转换类型或网页类型无效！";
std::string TooManyWarningsText();
std::string RunFinishedText(std::int64_t succeeded, std::int64_t failed);
std::string FolderUnreadableText(std::string_view folder, std::string_view reason);
std::string LogSavedText(std::string_view logPath);
std::string LogSaveFailedText(std::string_view reason);
inline constexpr std::string_view kAlreadyRunningText = "本软件已经在运行！";
/** A failure nothing else caught (the window shows it and goes on). */
std::string RuntimeFailureText(std::string_view reason);
// The description of a failure that carries none of its own (not a std::exception).
inline constexpr std::string_view kUnknownFailureText = "未知错误";

/** Whether a log line reports a failed page (the command line repeats those where no log is shown). */
bool IsPageFailedLine(std::string_view line);
/** Whether line is the log line of a static file whose copy failed (built by StaticFileFailedLine). */
bool IsStaticFileFailedLine(std::string_view line);
// The command line's own texts about the files it writes beside the pages.
std::string SideOutputTakenText(std::string_view path, std::string_view why);  // refused before the run
std::string SideOutputReadText(std::string_view path);                         // read as an include during it
// Why the save-log button does not write log.txt: it is a page, an include or an output path of the last run.
std::string LogTxtOwnedReason(std::string_view path);
std::string SourceTypeLengthNote(std::string_view sourceType);

}  // namespace quernfold
