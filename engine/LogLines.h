#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quernfold {

// Every text the run writes to the log or shows in a message box is built here, and nowhere else.

/**
 * A path made safe for a log line: control characters (C0, DEL, C1), U+2028/U+2029, the bidirectional marks and
 * overrides, and bytes that are not UTF-8 become "\xNN" (one per byte).
 */
std::string LogPath(std::string_view path);

std::string PageBannerLine();                                              // 77 × "="
std::string PageStartLine(std::string_view sourcePath);                    // "开始转换:" … "...."
std::string WarningBannerLine();                                           // 79 × "#"
std::string ExtractFailedLine(std::string_view path, std::string_view reason);  // "提取" … "时异常：" …
std::string PageGeneratedLine(std::string_view outputPath);                // ">>生成" … "成功！"
std::string PageFailedLine(std::string_view sourcePath, std::string_view reason);
std::string SummaryBannerLine();                                           // 78 × "*"
std::string SummaryTotalLine(std::int64_t pages);
std::string SummarySuccessLine(std::int64_t succeeded);
std::string SummaryFailureLine(std::int64_t failed);
std::string SummaryWarningLine(std::int64_t warnings);

// Message boxes: texts and titles.
inline constexpr std::string_view kTitleNotice = "提示";
inline constexpr std::string_view kTitleReminder = "提醒";
inline constexpr std::string_view kTitleWarning = "警告";
inline constexpr std::string_view kTitleError = "出错啦";

inline constexpr std::string_view kNoOutputFolderText = "未指定转换结果存放目录！";
inline constexpr std::string_view kNoSiteRootText = "未指定网站文件根目录！";
inline constexpr std::string_view kBadTypeText = "转换类型或网页类型无效！";
std::string TooManyWarningsText();
std::string RunFinishedText(std::int64_t succeeded, std::int64_t failed);
std::string FolderUnreadableText(std::string_view folder, std::string_view reason);
std::string LogSavedText(std::string_view logPath);
std::string LogSaveFailedText(std::string_view reason);

// The command line's own texts about the files it writes beside the pages.
std::string SideOutputTakenText(std::string_view path, std::string_view why);  // refused before the run
std::string SideOutputReadText(std::string_view path);                         // read as an include during it
std::string SourceTypeLengthNote(std::string_view sourceType);

}  // namespace quernfold
