#include "engine/log/LogLines.h"

#include "engine/text/Utf8.h"

namespace quernfold {

namespace {

void AppendEscaped(std::string& out, unsigned char byte) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

// Characters that are valid UTF-8 but act on whoever shows the line: the C1 controls (a CSI starts a terminal
// sequence), the line and paragraph separators (a line-splitting reader starts a new line there) and the
// bidirectional marks and overrides (which reorder what is shown).
bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// A "\" that a reader could take for the start of an escape (followed by "x" and two hex digits): written as
// "\x5C", so a name holding the text "\xFF" never prints like a name holding the byte 0xFF.
bool LooksLikeAnEscape(std::string_view path, std::size_t i) {
    return path[i] == '\\' && i + 3 < path.size() && path[i + 1] == 'x' && IsHexDigit(path[i + 2]) &&
           IsHexDigit(path[i + 3]);
}

bool ActsOnTheReader(std::string_view sequence) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(sequence[i]); };
    if (sequence.size() == 2) return byte(0) == 0xC2 && byte(1) <= 0x9F;  // U+0080..U+009F
    if (sequence.size() != 3 || byte(0) != 0xE2) return false;
    if (byte(1) == 0x80) {
        const unsigned char last = byte(2);
        return last == 0x8E || last == 0x8F || last == 0xA8 || last == 0xA9 || (last >= 0xAA && last <= 0xAE);
    }
    return byte(1) == 0x81 && byte(2) >= 0xA6 && byte(2) <= 0xA9;  // U+2066..U+2069
}

std::string Number(std::int64_t value) { return std::to_string(value); }

constexpr std::string_view kPageFailedMarker = "文件转换时异常,原因为：";
constexpr std::string_view kStaticFilePrefix = "复制静态文件";
constexpr std::string_view kStaticFileFailedMarker = "时异常,原因为：";

}  // namespace

std::string LogPath(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size();) {
        const auto byte = static_cast<unsigned char>(path[i]);
        if (byte < 0x20 || byte == 0x7F || LooksLikeAnEscape(path, i)) {
            AppendEscaped(out, byte);
            ++i;
        } else if (byte < 0x80) {
            out += static_cast<char>(byte);
            ++i;
        } else if (const std::size_t length = Utf8SequenceLength(path, i); length > 0) {
            const std::string_view sequence = path.substr(i, length);
            if (ActsOnTheReader(sequence)) {
                for (const char part : sequence) AppendEscaped(out, static_cast<unsigned char>(part));
            } else {
                out.append(sequence);
            }
            i += length;
        } else {
            AppendEscaped(out, byte);
            ++i;
        }
    }
    return out;
}

std::string PageBannerLine() { return std::string(77, '='); }

std::string PageStartLine(std::string_view sourcePath) { return "开始转换:" + LogPath(sourcePath) + "...."; }

std::string WarningBannerLine() { return std::string(79, '#'); }

std::string ExtractFailedLine(std::string_view path, std::string_view reason) {
    return "提取" + LogPath(path) + "时异常：" + LogPath(reason);
}

std::string PageGeneratedLine(std::string_view outputPath) { return ">>生成" + LogPath(outputPath) + "成功！"; }

std::string PageFailedLine(std::string_view sourcePath, std::string_view reason) {
    return LogPath(sourcePath) + std::string(kPageFailedMarker) + LogPath(reason);
}

bool IsPageFailedLine(std::string_view line) { return line.find(kPageFailedMarker) != std::string_view::npos; }

std::string RunStoppedLine() { return "转换已被用户中止"; }

std::string SummaryBannerLine() { return std::string(78, '*'); }

std::string SummaryTotalLine(std::int64_t pages) { return "共转换文件" + Number(pages) + "个"; }

std::string SummarySuccessLine(std::int64_t succeeded) { return "其中：成功" + Number(succeeded) + "个"; }

std::string SummaryFailureLine(std::int64_t failed) { return "      失败" + Number(failed) + "个"; }

std::string SummaryWarningLine(std::int64_t warnings) { return "转换过程中共发生" + Number(warnings) + "次异常警告"; }

std::string StaticFilesStartLine() { return "开始复制静态文件"; }

std::string StaticFileFailedLine(std::string_view sourcePath, std::string_view reason) {
    return std::string(kStaticFilePrefix) + LogPath(sourcePath) + std::string(kStaticFileFailedMarker) + LogPath(reason);
}

bool IsStaticFileFailedLine(std::string_view line) {
    return line.starts_with(kStaticFilePrefix) && line.find(kStaticFileFailedMarker) != std::string_view::npos;
}

std::string StaticFilesSummaryLine(std::int64_t total, std::int64_t unchanged, std::int64_t failed) {
    return "复制静态文件" + Number(total) + "个，其中未变化" + Number(unchanged) + "个，失败" + Number(failed) + "个";
}

std::string TooManyWarningsText() {
    return "系统异常太多，已自动终止！\r\n可能是因为您网站根目录未定义正确，请您修改后重新进行转换！";
}

std::string RunFinishedText(std::int64_t succeeded, std::int64_t failed) {
    return "文件转换完成，成功：" + Number(succeeded) + "个，异常：" + Number(failed) + "个，详见日志!";
}

std::string FolderUnreadableText(std::string_view folder, std::string_view reason) {
    return "读取文件夹" + LogPath(folder) + "时异常,原因为：" + LogPath(reason);
}

std::string LogSavedText(std::string_view logPath) { return "日志保存成功,存放位置为：" + LogPath(logPath); }

std::string LogSaveFailedText(std::string_view reason) { return "保存日志时异常,原因为：" + LogPath(reason); }

std::string RuntimeFailureText(std::string_view reason) { return "运行时异常：" + std::string(reason); }

std::string SizeText(std::uint64_t bytes) {
    if (bytes != 0 && bytes % (std::uint64_t{1} << 30) == 0) return std::to_string(bytes >> 30) + " GiB";
    if (bytes != 0 && bytes % (std::uint64_t{1} << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    return std::to_string(bytes) + " bytes";
}

std::string LineTooLongReason(std::uint64_t limit) { return "a line is longer than the limit of " + SizeText(limit); }

std::string HeldLinesTooLongReason(std::uint64_t limit) {
    return "the lines held by this file and by the files that include it are longer than the limit of " +
           SizeText(limit) + " together";
}

std::string CodeBlockTooLongReason(std::uint64_t limit) {
    return "a code block (<% … %>) is longer than the limit of " + SizeText(limit);
}

std::string OutputTooLargeReason(std::uint64_t limit) {
    return "the output page is larger than the limit of " + SizeText(limit);
}

std::string IncludeBudgetSpentReason(std::int64_t budget) {
    return "more than " + Number(budget) + " include directives in one page; this one and all later ones are dropped";
}

std::string IncludesTooDeepReason(std::int64_t maxDepth) {
    return "includes are nested deeper than " + Number(maxDepth) + " levels (does a page include itself?); not expanded";
}

std::string OutsideSiteRootReason(bool throughLink) {
    return std::string("the file lies outside the site root") + (throughLink ? " (a link leads out of it)" : "") +
           " and is not read; choose a higher folder as the site root if it belongs to the site";
}

std::string Utf16PageReason() {
    return "the file starts with a UTF-16 byte-order mark; save it as UTF-8 or GBK to convert it";
}

std::string NotARegularFileReason() { return "not a regular file"; }

std::string OutOfMemoryReason() { return "out of memory"; }

std::string OutputIsTheSourceReason() {
    return "the output file would be the source page itself; choose another output folder or output type";
}

std::string OutputAlreadyWrittenReason(std::string_view outputPath) {
    return "an earlier page of this run was already written to " + std::string(outputPath) +
           " (names that differ only in letter case, or end alike, map to one output file)";
}

std::string OutputIsReadReason(std::string_view outputPath) {
    return "the output file " + std::string(outputPath) + " is a file this run reads; it is not replaced";
}

std::string OutputFolderIsLinkReason(std::string_view folder) {
    return "the output folder " + std::string(folder) + " is a link, which is not followed";
}

std::string SideOutputTakenText(std::string_view path, std::string_view why) {
    return "the file " + LogPath(path) + " is not written: " + LogPath(why);
}

std::string LogTxtOwnedReason(std::string_view path) {
    return std::string(path) + " is a page, an include, a static file or an output file of the last run";
}

std::string SideOutputReadText(std::string_view path) {
    return "the file " + LogPath(path) + " is not written: the run read it as an include";
}

std::string SourceTypeLengthNote(std::string_view sourceType) {
    return "note: file names are matched on their last three characters, so the source type '" + LogPath(sourceType) +
           "', of another length, can match nothing";
}

}  // namespace quernfold
