#include "engine/log/LogLines.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

namespace quernfold {
namespace {

// The text's code points as glibc's own decoder reads it (a check that does not share the code under test);
// nullopt when it is not UTF-8.
std::optional<std::u32string> DecodedByGlibc(const std::string& text) {
    static const iconv_t cd = ::iconv_open("UTF-32LE", "UTF-8");
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string in = text;
    std::string out(text.size() * 4 + 4, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    if (::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) {
        return std::nullopt;
    }
    std::u32string decoded;
    for (const char* at = out.data(); at < outPtr; at += 4) {
        char32_t c = 0;
        for (int i = 3; i >= 0; --i) c = (c << 8) | static_cast<unsigned char>(at[i]);
        decoded.push_back(c);
    }
    return decoded;
}

bool IsValidUtf8(const std::string& text) {
    return DecodedByGlibc(text).has_value();
}

// The code points a log line must never hold raw, decoded by glibc: controls, line separators, bidi controls.
bool IsUnsafeCodePoint(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

bool HasControlCharacter(const std::string& text) {
    const std::optional<std::u32string> decoded = DecodedByGlibc(text);
    return !decoded || std::any_of(decoded->begin(), decoded->end(), IsUnsafeCodePoint);
}

TEST(LogPath, EscapesControlCharactersAndBytesThatAreNotUtf8) {
    struct Row {
        const char* name;
        std::string path;
        std::string logged;
    };
    const Row rows[] = {
        {"PlainAscii", "/w/news/a b.jsp", "/w/news/a b.jsp"},
        // A name holding the text "\xFF" never prints like one holding the byte 0xFF; other "\" stay as they are.
        {"ByteFF", "a\xFF.jsp", "a\\xFF.jsp"},
        {"BackslashThatReadsLikeAnEscape", "a\\xFF.jsp\\x4a", "a\\x5CxFF.jsp\\x5Cx4a"},
        {"OtherBackslashes", "a\\b\\x4.jsp\\xZZ\\X41\\", "a\\b\\x4.jsp\\xZZ\\X41\\"},
        {"LineBreaksCannotForgeALine", "a\r\n>>生成/etc/passwd成功！", "a\\x0D\\x0A>>生成/etc/passwd成功！"},
        {"NulTabEscAndDelete",
         std::string("n\0t\te\x1B"
                     "d\x7F",
                     8),
         "n\\x00t\\x09e\\x1Bd\\x7F"},
        {"LastControlCharacter", "\x1F ", "\\x1F "},
        {"TwoThreeAndFourByteUtf8Stay", "\xC2\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", "\xC2\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"},
        {"HighestCodePointStays", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
        {"C1ControlsU0080AndNel", "\xC2\x80\xC2\x85", "\\xC2\\x80\\xC2\\x85"},
        {"C1Csi", "\xC2\x9B" "31m", "\\xC2\\x9B" "31m"},
        {"LastC1AndTheNoBreakSpaceAfterIt", "\xC2\x9F\xC2\xA0", "\\xC2\\x9F\xC2\xA0"},
        {"LineAndParagraphSeparatorsCannotForgeALine", "\xE2\x80\xA8>>生成out/evil.html成功！\xE2\x80\xA9",
         "\\xE2\\x80\\xA8>>生成out/evil.html成功！\\xE2\\x80\\xA9"},
        {"BidiMarks", "\xE2\x80\x8E\xE2\x80\x8F", "\\xE2\\x80\\x8E\\xE2\\x80\\x8F"},
        {"BidiEmbeddingsAndOverrides", "\xE2\x80\xAA\xE2\x80\xAE", "\\xE2\\x80\\xAA\\xE2\\x80\\xAE"},
        {"BidiIsolates", "\xE2\x81\xA6\xE2\x81\xA9", "\\xE2\\x81\\xA6\\xE2\\x81\\xA9"},
        {"NeighboursOfTheEscapedRangesStay", "\xE2\x80\x8D\xE2\x80\xA7\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA",
         "\xE2\x80\x8D\xE2\x80\xA7\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA"},
        {"GbkNameWithBackslashTrailByte", "\xD5\x5C\xB1\x7C.jsp", "\\xD5\\\\xB1|.jsp"},
        {"LoneContinuationByte", "a\x80z", "a\\x80z"},
        {"OverlongSlash", "\xC0\xAF", "\\xC0\\xAF"},
        {"OverlongThreeBytes", "\xE0\x80\xAF", "\\xE0\\x80\\xAF"},
        {"Surrogate", "\xED\xA0\x80", "\\xED\\xA0\\x80"},
        {"AboveU10FFFF", "\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},
        {"NoSuchLeadByte", "\xF5\xFF\xFE", "\\xF5\\xFF\\xFE"},
        {"SequenceCutShortByTheEnd", "a\xE4\xB8", "a\\xE4\\xB8"},
        {"SequenceCutShortByAnAsciiByte", "\xE4\xB8x\xE4\xB8\xAD", "\\xE4\\xB8x\xE4\xB8\xAD"},
        {"UpperCaseHexDigits", "\xAB\xCD\xEF", "\\xAB\\xCD\\xEF"},
        {"Empty", "", ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(LogPath(row.path), row.logged) << row.name;
    }
}

TEST(LogPath, AnyTwoBytesGiveValidUtf8WithoutControlCharacters) {
    for (int first = 0; first < 256; ++first) {
        for (int second = 0; second < 256; ++second) {
            const std::string path{'a', static_cast<char>(first), static_cast<char>(second), 'z'};
            const std::string logged = LogPath(path);
            ASSERT_TRUE(IsValidUtf8(logged)) << first << " " << second;
            ASSERT_FALSE(HasControlCharacter(logged)) << first << " " << second;
            // A path that is already safe is logged as it is.
            if (IsValidUtf8(path) && !HasControlCharacter(path)) {
                ASSERT_EQ(logged, path) << first << " " << second;
            }
        }
    }
}

TEST(LogPath, NoThreeByteCharacterThatActsOnTheReaderGetsThrough) {
    // Every character from U+0800 to U+FFFF, judged by glibc's decoding rather than by the escaper's own table.
    for (char32_t c = 0x800; c <= 0xFFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        const std::string path{'a', static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                               static_cast<char>(0x80 | (c & 0x3F)), 'z'};
        const std::string logged = LogPath(path);
        ASSERT_FALSE(HasControlCharacter(logged)) << std::hex << static_cast<unsigned>(c);
        if (!IsUnsafeCodePoint(c)) {
            ASSERT_EQ(logged, path) << std::hex << static_cast<unsigned>(c);
        }
    }
}

TEST(LogLines, EveryLineEscapesThePathsAndReasonsItNames) {
    const std::string evil = "x\r\n\xFF.jsp";
    const std::string safe = "x\\x0D\\x0A\\xFF.jsp";
    EXPECT_EQ(PageStartLine(evil), "开始转换:" + safe + "....");
    EXPECT_EQ(PageGeneratedLine(evil), ">>生成" + safe + "成功！");
    EXPECT_EQ(ExtractFailedLine(evil, "reason\n"), "提取" + safe + "时异常：reason\\x0A");
    EXPECT_EQ(PageFailedLine(evil, "the output folder " + evil + " is a link"),
              safe + "文件转换时异常,原因为：the output folder " + safe + " is a link");
    EXPECT_EQ(FolderUnreadableText(evil, "Permission denied"),
              "读取文件夹" + safe + "时异常,原因为：Permission denied");
    EXPECT_EQ(LogSavedText(evil), "日志保存成功,存放位置为：" + safe);
}

TEST(LogLines, SizesInLimitTextsAreWholeUnitsOrBytes) {
    struct Row {
        std::uint64_t bytes;
        const char* text;
    };
    const Row rows[] = {
        {std::uint64_t{256} << 20, "256 MiB"}, {std::uint64_t{1} << 30, "1 GiB"},  {std::uint64_t{3} << 30, "3 GiB"},
        {std::uint64_t{1536} << 20, "1536 MiB"}, {(std::uint64_t{1} << 20) + 1, "1048577 bytes"}, {64, "64 bytes"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(SizeText(row.bytes), row.text);
    }
    EXPECT_EQ(LineTooLongReason(std::uint64_t{256} << 20), "a line is longer than the limit of 256 MiB");
    EXPECT_EQ(IncludesTooDeepReason(6),
              "includes are nested deeper than 6 levels (does a page include itself?); not expanded");
}

}  // namespace
}  // namespace quernfold
