#include "engine/LogLines.h"

namespace quernfold {

namespace {

std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[at + i]);
        const unsigned char min = i == 1 ? low : 0x80, max = i == 1 ? high : 0xBF;
        if (byte < min || byte > max) return 0;
    }
    return length;
}

void AppendEscaped(std::string& out, unsigned char byte) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

// Characters that are valid UTF-8 but act on whoever shows the line: the C1 controls (a CSI starts a terminal
// sequence), the line and paragraph separators (a line-splitting reader starts a new line there) and the
// bidirectional marks and overrides (which reorder what is shown).
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

}  // namespace

std::string LogPath(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size();) {
        const auto byte = static_cast<unsigned char>(path[i]);
        if (byte < 0x20 || byte == 0x7F) {
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
    return LogPath(sourcePath) + "文件转换时异常,原因为：" + LogPath(reason);
}

std::string SummaryBannerLine() { return std::string(78, '*'); }

std::string SummaryTotalLine(std::int64_t pages) { return "共转换文件" + Number(pages) + "个"; }

std::string SummarySuccessLine(std::int64_t succeeded) { return "其中：成功" + Number(succeeded) + "个"; }

std::string SummaryFailureLine(std::int64_t failed) { return "      失败" + Number(failed) + "个"; }

std::string SummaryWarningLine(std::int64_t warnings) { return "转换过程中共发生" + Number(warnings) + "次异常警告"; }

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

std::string SideOutputTakenText(std::string_view path, std::string_view why) {
    return "the file " + LogPath(path) + " is not written: " + LogPath(why);
}

std::string SideOutputReadText(std::string_view path) {
    return "the file " + LogPath(path) + " is not written: the run read it as an include";
}

std::string SourceTypeLengthNote(std::string_view sourceType) {
    return "note: file names are matched on their last three characters, so the source type '" + LogPath(sourceType) +
           "', of another length, can match nothing";
}

}  // namespace quernfold
