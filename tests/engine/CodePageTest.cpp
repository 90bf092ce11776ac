#include "engine/text/CodePage.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/text/CharsetDeclaration.h"
#include "engine/text/CodePageDetector.h"
#include "engine/platform/Transcode.h"

namespace quernfold {
namespace {

constexpr auto npos = std::string_view::npos;

std::vector<std::size_t> Segment(CodePage cp, std::string_view text) {
    std::vector<std::size_t> lengths;
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = CharLength(cp, data + i, text.size() - i);
        lengths.push_back(length);
        if (length == 0 || length > text.size() - i) {
            ADD_FAILURE() << "length " << length << " at offset " << i;
            break;
        }
        i += length;
    }
    return lengths;
}

// Steps character by character: slow, but obviously right, so the fast search can be checked against it.
std::size_t ReferenceFind(CodePage cp, std::string_view text, std::string_view needle, std::size_t from) {
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = from; i <= text.size(); i += CharLength(cp, data + i, text.size() - i)) {
        if (text.substr(i).starts_with(needle)) {
            return i;
        }
        if (i == text.size()) {
            break;
        }
    }
    return npos;
}

const char* Name(CodePage cp) {
    switch (cp) {
        case CodePage::Gbk:
            return "Gbk";
        case CodePage::Gb18030:
            return "Gb18030";
        case CodePage::Big5:
            return "Big5";
        case CodePage::ShiftJis:
            return "ShiftJis";
        case CodePage::Utf8:
            return "Utf8";
        case CodePage::SingleByte:
            return "SingleByte";
    }
    return "?";
}

// -------------------------------------------------------------------------------------------------------------

TEST(CodePageNamesTest, ParsesTheRunChoices) {
    EXPECT_EQ(ParseCodePageChoice("auto"), CodePageChoice::Auto);
    EXPECT_EQ(ParseCodePageChoice("GBK"), CodePageChoice::Gbk);
    EXPECT_EQ(ParseCodePageChoice("gb18030"), CodePageChoice::Gb18030);
    EXPECT_EQ(ParseCodePageChoice("Big5"), CodePageChoice::Big5);
    EXPECT_EQ(ParseCodePageChoice("Shift_JIS"), CodePageChoice::ShiftJis);
    EXPECT_EQ(ParseCodePageChoice("UTF-8"), CodePageChoice::Utf8);
    EXPECT_EQ(ParseCodePageChoice(""), std::nullopt);
    EXPECT_EQ(ParseCodePageChoice("latin1"), std::nullopt);
    EXPECT_EQ(ParseCodePageChoice("gbk "), std::nullopt);
}

TEST(CodePageNamesTest, MapsDeclaredCharsetNames) {
    const struct {
        std::string_view name;
        std::optional<CodePage> expected;
    } cases[] = {
        {"gb2312", CodePage::Gbk},
        {"GBK", CodePage::Gbk},
        {"cp936", CodePage::Gbk},
        {"GB18030", CodePage::Gb18030},
        {"big5", CodePage::Big5},
        {"Shift_JIS", CodePage::ShiftJis},
        {"shift-jis", CodePage::ShiftJis},
        {"SJIS", CodePage::ShiftJis},
        {"MS932", CodePage::ShiftJis},
        {"utf-8", CodePage::Utf8},
        {"UTF8", CodePage::Utf8},
        {" utf-8 ", CodePage::Utf8},
        {"ISO-8859-1", CodePage::SingleByte},
        {"iso-8859-15", CodePage::SingleByte},
        {"windows-1252", CodePage::SingleByte},
        {"Windows-1250", CodePage::SingleByte},
        {"us-ascii", CodePage::SingleByte},
        {"latin1", CodePage::SingleByte},
        {"", std::nullopt},
        {"utf-16", std::nullopt},
        {"iso-8859-99", std::nullopt},
        {"windows-1259", std::nullopt},
        {"windows-12520", std::nullopt},
        {"klingon", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CodePageFromCharsetName(c.name), c.expected) << c.name;
    }
}

TEST(CodePageNamesTest, MapsAspCodePageNumbers) {
    const struct {
        long number;
        std::optional<CodePage> expected;
    } cases[] = {
        {936, CodePage::Gbk},          {54936, CodePage::Gb18030},
        {950, CodePage::Big5},         {932, CodePage::ShiftJis},
        {65001, CodePage::Utf8},       {1250, CodePage::SingleByte},
        {1252, CodePage::SingleByte},  {1258, CodePage::SingleByte},
        {28591, CodePage::SingleByte}, {28599, CodePage::SingleByte},
        {1249, std::nullopt},          {1259, std::nullopt},
        {28590, std::nullopt},         {28600, std::nullopt},
        {65000, std::nullopt},         {0, std::nullopt},
        {-936, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CodePageFromNumber(c.number), c.expected) << c.number;
    }
}

// -------------------------------------------------------------------------------------------------------------

struct SegmentCase {
    CodePage cp;
    std::string_view text;
    std::vector<std::size_t> lengths;
};

TEST(CodePageTest, SegmentsCharacters) {
    const SegmentCase cases[] = {
        // GBK: trails in the ASCII range belong to the character before them.
        {CodePage::Gbk, "\xB1\xED", {2}},                     // 表
        {CodePage::Gbk, "a\x81\x5C\x81\x40z", {1, 2, 2, 1}},  // 乗 丂
        {CodePage::Gbk, "\x81\x60\x81\x7B\x81\x7D", {2, 2, 2}},
        {CodePage::Gbk, "\x81\x7E\x81\x80\xFE\xFE", {2, 2, 2}},
        {CodePage::Gbk, "\x81\x7F", {1, 1}},  // 0x7F is no trail
        {CodePage::Gbk, "\x81\xFF", {1, 1}},
        {CodePage::Gbk, "\x81\x3C", {1, 1}},  // below 0x40
        {CodePage::Gbk, "\x80\x41\xFF\x41", {1, 1, 1, 1}},
        {CodePage::Gbk, "\x81\x30\x81\x30", {1, 1, 1, 1}},  // four-byte forms are GB18030 only
        {CodePage::Gbk, "\x81\r\n\x81\n", {1, 1, 1, 1, 1}},
        {CodePage::Gbk, "ab\xB1", {1, 1, 1}},  // lead at the end
        // GB18030: GBK plus four-byte sequences.
        {CodePage::Gb18030, "\x94\x39\xFC\x36", {4}},  // U+1F600
        {CodePage::Gb18030, "\x81\x30\x81\x30\x81\x5C", {4, 2}},
        {CodePage::Gb18030, "\x81\x30\x81", {1, 1, 1}},
        {CodePage::Gb18030, "\x81\x30\x81\x3A", {1, 1, 1, 1}},
        {CodePage::Gb18030, "\x81\x30\x7F\x30", {1, 1, 1, 1}},
        {CodePage::Gb18030, "\x81\x39\xFE\x39", {4}},
        {CodePage::Gb18030, "\x81\x0D\x81\x0A", {1, 1, 1, 1}},
        // Big5: trails 0x40-0x7E and 0xA1-0xFE.
        {CodePage::Big5, "\xAA\xED\xA4\x5C", {2, 2}},  // 表 么
        {CodePage::Big5, "\xA4\x80", {1, 1}},
        {CodePage::Big5, "\xA4\xA0", {1, 1}},
        {CodePage::Big5, "\xA4\x7F", {1, 1}},
        {CodePage::Big5, "\xA4\xA1\xFE\xFE", {2, 2}},
        // Shift_JIS: half-width katakana are single bytes.
        {CodePage::ShiftJis, "\x95\x5C\x97\x5C", {2, 2}},  // 表 予
        {CodePage::ShiftJis, "\xB1\x5C", {1, 1}},
        {CodePage::ShiftJis, "\xA0\x41", {1, 1}},
        {CodePage::ShiftJis, "\xE0\x80\xFC\xFC", {2, 2}},
        {CodePage::ShiftJis, "\xFD\x40", {1, 1}},
        {CodePage::ShiftJis, "\x81\xFD", {1, 1}},
        {CodePage::ShiftJis, "\x9F\x7F", {1, 1}},
        // UTF-8: a valid sequence is one character, anything else one byte at a time.
        {CodePage::Utf8, "\xE8\xA1\xA8", {3}},
        {CodePage::Utf8, "\xC3\xA9\xF0\x9F\x98\x80", {2, 4}},
        {CodePage::Utf8, "\xF4\x8F\xBF\xBF", {4}},
        {CodePage::Utf8, "\xC0\x80", {1, 1}},                // overlong
        {CodePage::Utf8, "\xE0\x80\x80", {1, 1, 1}},         // overlong
        {CodePage::Utf8, "\xED\xA0\x80", {1, 1, 1}},         // surrogate
        {CodePage::Utf8, "\xF4\x90\x80\x80", {1, 1, 1, 1}},  // above U+10FFFF
        {CodePage::Utf8, "\xE8\xA1", {1, 1}},                // cut off
        {CodePage::Utf8, "\xC3<", {1, 1}},
        {CodePage::Utf8, "\xB1\xED", {1, 1}},
        // Single-byte: every byte.
        {CodePage::SingleByte, "\xE8\xA1\xA8", {1, 1, 1}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Segment(c.cp, c.text), c.lengths) << Name(c.cp) << " case of " << c.text.size() << " bytes";
    }
}

TEST(CodePageTest, NeverReadsPastTheGivenSize) {
    // The bytes after `size` would complete a character; CharLength must not look at them.
    const unsigned char bytes[] = {0x81, 0x30, 0x81, 0x30, 0xE8, 0xA1, 0xA8};
    EXPECT_EQ(CharLength(CodePage::Gbk, bytes, 1), 1u);
    EXPECT_EQ(CharLength(CodePage::Gb18030, bytes, 3), 1u);
    EXPECT_EQ(CharLength(CodePage::Gb18030, bytes, 4), 4u);
    EXPECT_EQ(CharLength(CodePage::Utf8, bytes + 4, 2), 1u);
    EXPECT_EQ(CharLength(CodePage::Utf8, bytes + 4, 3), 3u);
}

// -------------------------------------------------------------------------------------------------------------

struct FindCase {
    CodePage cp;
    std::string_view text;
    std::string_view needle;
    std::size_t from;
    std::size_t expected;
};

TEST(FindAtBoundaryTest, SkipsTrailBytesThatLookLikeTheNeedle) {
    const FindCase cases[] = {
        {CodePage::Gbk, "\x81\x5C", "\\", 0, npos},
        {CodePage::Gbk, "\x81\x5C\\", "\\", 0, 2},
        {CodePage::Gbk, "ab\x81\x5C\x82\x5C-\\", "\\", 0, 7},
        {CodePage::Gbk, "\x81\x40@", "@", 0, 2},
        {CodePage::Gbk, "\x81\x7B{", "{", 0, 2},
        {CodePage::Gbk, "\x81\x7D}", "}", 0, 2},
        {CodePage::Gbk, "\x81\x60`", "`", 0, 2},
        {CodePage::Gbk, "\x81\x7C|", "|", 0, 2},
        {CodePage::Gbk, "\x81@@", "@@", 0, npos},
        {CodePage::Gbk, "\x81@@@", "@@", 0, 2},
        {CodePage::Gbk, "\x81\x40\x81\x40%>", "@%>", 0, npos},
        {CodePage::Gbk, "\x81<%", "<%", 0, 1},  // 0x3C is below the trail range: the lead stands alone
        {CodePage::Gbk, "\x81\x81<%", "<%", 0, 2},
        {CodePage::Gbk, "\xB1\xED<%@", "<%@", 0, 2},
        {CodePage::Gb18030, "\x81\x30\x81\x30", "0", 0, npos},
        {CodePage::Gb18030, "\x81\x30\x81\x30\x30", "0", 0, 4},
        {CodePage::Gb18030, "\x81\x30\x81\x3A\x30", "0", 0, 1},
        {CodePage::Big5, "\xA4\x5C", "\\", 0, npos},
        {CodePage::Big5, "\xA4\x5C\\", "\\", 0, 2},
        {CodePage::Big5, "\xA4\x80\\", "\\", 0, 2},
        {CodePage::Big5, "\xCA\x7C|", "|", 0, 2},
        {CodePage::ShiftJis, "\x97\x5C\\", "\\", 0, 2},
        {CodePage::ShiftJis, "\xB1\\", "\\", 0, 1},  // half-width katakana, then a real backslash
        {CodePage::ShiftJis, "\x93\x7C|", "|", 0, 2},
        {CodePage::Utf8, "\xC3<%", "<%", 0, 1},
        {CodePage::Utf8, "\xE8\xA1\xA8<%", "<%", 0, 3},
        {CodePage::SingleByte, "\x81\x5C", "\\", 0, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FindAtBoundary(c.cp, c.text, c.needle, c.from), c.expected)
            << Name(c.cp) << " needle " << c.needle << " in " << c.text.size() << " bytes";
    }
}

TEST(FindAtBoundaryTest, HonoursTheStartOffset) {
    const FindCase cases[] = {
        {CodePage::Gbk, "<a<b", "<", 1, 2},        {CodePage::Gbk, "<a<b", "<", 3, npos},
        {CodePage::Gbk, "<a<b", "<", 4, npos},     {CodePage::Gbk, "<a<b", "<", 9, npos},
        {CodePage::Gbk, "<a<b", "", 4, 4},         {CodePage::Gbk, "<a<b", "", 5, npos},
        {CodePage::Gbk, "<a<b", "<a<b<", 0, npos}, {CodePage::Gbk, "x\x81\x5C\\", "\\", 1, 3},
        {CodePage::Utf8, "<a<b", "<", 1, 2},       {CodePage::Utf8, "<a<b", "<b", 3, npos},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FindAtBoundary(c.cp, c.text, c.needle, c.from), c.expected)
            << Name(c.cp) << " needle " << c.needle << " from " << c.from;
    }
}

TEST(FindAtBoundaryTest, FindsTheNeedleBehindLongAsciiAndDoubleByteRuns) {
    // Long enough that the word-at-a-time skipping and the resynchronisation after it both run.
    std::string text(37, 'a');
    for (int i = 0; i < 20; ++i) {
        text += "\x81\x5C";
    }
    text += std::string(19, 'b') + "\x81\x5C\xFF" + "\\<%=";  // 0xFF never leads
    EXPECT_EQ(FindAtBoundary(CodePage::Gbk, text, "\\"), text.size() - 4);
    EXPECT_EQ(FindAtBoundary(CodePage::Gbk, text, "<%="), text.size() - 3);
    EXPECT_EQ(FindAtBoundary(CodePage::SingleByte, text, "\\"), 38u);
    EXPECT_TRUE(ContainsAtBoundary(CodePage::Gbk, text, "\\<"));
    EXPECT_EQ(FindAtBoundary(CodePage::Gbk, text, "b"), 77u);
}

TEST(FindAtBoundaryTest, SeesADoubleByteCharacterAtAnyDistanceIntoAnAsciiRun) {
    for (std::size_t run = 0; run < 40; ++run) {
        for (std::size_t gap : {0u, 5u, 8u, 17u}) {
            const std::string tail = std::string(gap, 'b') + "\\";
            const std::string text = std::string(run, 'a') + "\x81\x5C" + tail;
            EXPECT_EQ(FindAtBoundary(CodePage::Gbk, text, "\\"), run + 2 + gap) << run << " " << gap;
            EXPECT_EQ(FindAtBoundary(CodePage::ShiftJis, text, "\\"), run + 2 + gap) << run << " " << gap;
            EXPECT_EQ(FindAtBoundary(CodePage::Gbk, text.substr(0, text.size() - 1), "\\"), npos) << run;
        }
    }
}

TEST(FindAtBoundaryTest, AgreesWithCharacterByCharacterSearchOnRandomBytes) {
    // Bytes chosen to hit leads, every kind of trail, GB18030 digits, UTF-8 pieces and line ends.
    static constexpr unsigned char kAlphabet[] = {0x81, 0x82, 0xA4, 0x97, 0xB1, 0xE0, 0xFE, 0xFF, 0x80,
                                                  0xA1, 0x30, 0x39, 0x5C, 0x40, 0x7C, 0x7F, '<',  '%',
                                                  '@',  'a',  0x0D, 0x0A, 0xC3, 0xE8, 0xF0, 0x9F, 0xBF};
    static constexpr std::string_view kNeedles[] = {"\\", "<%", "@", "0", "%>", "|", "a<", "\r\n"};
    static constexpr CodePage kPages[] = {CodePage::Gbk,      CodePage::Gb18030, CodePage::Big5,
                                          CodePage::ShiftJis, CodePage::Utf8,    CodePage::SingleByte};
    std::mt19937 random(20240611);
    for (int round = 0; round < 4000; ++round) {
        std::string text;
        const int pieces = static_cast<int>(random() % 40);
        for (int i = 0; i < pieces; ++i) {
            if (random() % 6 == 0) {
                text.append(random() % 20, 'x');  // ASCII runs of every length around the word size
            } else {
                text += static_cast<char>(kAlphabet[random() % std::size(kAlphabet)]);
            }
        }
        for (CodePage cp : kPages) {
            // Every start offset that is a boundary.
            std::vector<std::size_t> starts{0};
            for (std::size_t length : Segment(cp, text)) {
                starts.push_back(starts.back() + length);
            }
            for (std::string_view needle : kNeedles) {
                const std::size_t from = starts[random() % starts.size()];
                ASSERT_EQ(FindAtBoundary(cp, text, needle, from), ReferenceFind(cp, text, needle, from))
                    << Name(cp) << " round " << round << " needle " << needle << " from " << from;
            }
        }
    }
}

// -------------------------------------------------------------------------------------------------------------

DetectedCodePage Detect(std::string_view bytes, CodePageChoice choice = CodePageChoice::Auto) {
    CodePageDetector detector(choice);
    detector.Feed(bytes);
    return detector.Finish();
}

bool operator==(const DetectedCodePage& a, const DetectedCodePage& b) {
    return a.codePage == b.codePage && a.bomLength == b.bomLength && a.utf16 == b.utf16;
}

const std::string kGbkText = "<p>\xB1\xED</p>";  // 表: not valid UTF-8

TEST(CodePageDetectorTest, ByteOrderMarkDecides) {
    const DetectedCodePage utf8 = Detect("\xEF\xBB\xBF<%@ page pageEncoding=\"big5\"%>" + kGbkText);
    EXPECT_EQ(utf8.codePage, CodePage::Utf8);
    EXPECT_EQ(utf8.bomLength, 3u);
    EXPECT_FALSE(utf8.utf16);

    for (std::string_view bom : {"\xFF\xFE", "\xFE\xFF"}) {
        const DetectedCodePage utf16 = Detect(std::string(bom) + "<\0h\0t\0m\0l\0>\0");
        EXPECT_TRUE(utf16.utf16);
        EXPECT_EQ(utf16.bomLength, 0u);
    }
    EXPECT_FALSE(Detect("\xEF\xBB").utf16);
    EXPECT_EQ(Detect("\xEF\xBB").bomLength, 0u);
}

TEST(CodePageDetectorTest, ValidUtf8WithNonAsciiBytesBeatsADeclaration) {
    EXPECT_EQ(Detect("<meta charset=\"gbk\">\xE8\xA1\xA8").codePage, CodePage::Utf8);
    EXPECT_EQ(Detect("\xF0\x9F\x98\x80").codePage, CodePage::Utf8);
    EXPECT_EQ(Detect("x\xF4\x8F\xBF\xBF").codePage, CodePage::Utf8);
    // Not UTF-8: the declaration, else GBK.
    EXPECT_EQ(Detect("<meta charset=\"big5\">" + kGbkText).codePage, CodePage::Big5);
    EXPECT_EQ(Detect("<meta charset=\"utf-8\">" + kGbkText).codePage, CodePage::Utf8);
    EXPECT_EQ(Detect(kGbkText).codePage, CodePage::Gbk);
    EXPECT_EQ(Detect("plain ascii").codePage, CodePage::Gbk);
    EXPECT_EQ(Detect("").codePage, CodePage::Gbk);
    EXPECT_EQ(Detect("<meta charset=\"big5\">ascii only").codePage, CodePage::Big5);
}

TEST(CodePageDetectorTest, RejectsMalformedUtf8) {
    const std::string_view malformed[] = {
        "\xE8\xA1",          // cut off at the end
        "\xE8\xA1<",         // cut off before ASCII
        "\xC0\xAF",          // overlong
        "\xE0\x80\xAF",      // overlong
        "\xF0\x80\x80\xAF",  // overlong
        "\xED\xA0\x80",      // surrogate
        "\xF4\x90\x80\x80",  // above U+10FFFF
        "\xF5\x80\x80\x80",  // no such lead
        "\xE8\xA1\xA8\xA8",  // stray continuation
        "\xE8\xA1\xA8\xFF",
    };
    for (std::string_view bytes : malformed) {
        EXPECT_EQ(Detect(bytes).codePage, CodePage::Gbk) << bytes.size() << " bytes";
    }
}

struct DeclarationCase {
    std::string_view head;
    CodePage expected;
};

TEST(CodePageDetectorTest, ReadsEachKindOfDeclaration) {
    const DeclarationCase cases[] = {
        {"<%@ page contentType=\"text/html; charset=big5\" %>", CodePage::Big5},
        {"<%@page contentType=\"text/html;charset=UTF-8\"%>", CodePage::Utf8},
        {"<%@ page pageEncoding=\"Shift_JIS\" %>", CodePage::ShiftJis},
        {"<%@ page language=\"java\" PAGEENCODING = 'gb18030' %>", CodePage::Gb18030},
        {"<jsp:directive.page pageEncoding=\"big5\"/>", CodePage::Big5},
        {"<meta charset=\"big5\">", CodePage::Big5},
        {"<META CHARSET=sjis>", CodePage::ShiftJis},
        {"<meta charset=gb18030/>", CodePage::Gb18030},
        {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">", CodePage::Gbk},
        {"<meta content=\"text/html; charset=ISO-8859-1\" http-equiv=\"Content-Type\" />", CodePage::SingleByte},
        {"<meta\ncontent='text/html; Charset = big5'>", CodePage::Big5},
        {"<%@ CodePage=54936 %>", CodePage::Gb18030},
        {"<%@ LANGUAGE=\"VBSCRIPT\" CODEPAGE=\"65001\" %>", CodePage::Utf8},
        {"<%@LANGUAGE=VBScript CodePage=950%>", CodePage::Big5},
        {"<%\r\nResponse.CodePage = 932\r\n%>", CodePage::ShiftJis},
        {"<% response.codepage=1252 %>", CodePage::SingleByte},
        {"<% Session.CodePage = 950 %>", CodePage::Big5},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Detect(std::string(c.head) + kGbkText).codePage, c.expected) << c.head;
    }
}

TEST(CodePageDetectorTest, IgnoresTextThatOnlyLooksLikeADeclaration) {
    const std::string_view heads[] = {
        "<p>charset=big5</p>",
        "<metadata charset=\"big5\">",
        "<%@ include file=\"charset=big5.jsp\" %>",
        "<%@ page import=\"pageEncoding=big5\" %>",
        "<% x = myResponse.CodePage = 950 %>",
        "<% Response.CodePage %> 950",
        "<meta name=\"description\" content=\"about big5\">",
    };
    for (std::string_view head : heads) {
        EXPECT_EQ(Detect(std::string(head) + kGbkText).codePage, CodePage::Gbk) << head;
    }
}

TEST(CodePageDetectorTest, FirstRecognisedDeclarationWins) {
    const DeclarationCase cases[] = {
        {"<meta charset=\"big5\"><%@ page pageEncoding=\"gb18030\" %>", CodePage::Big5},
        {"<%@ page pageEncoding=\"gb18030\" %><meta charset=\"big5\">", CodePage::Gb18030},
        {"<%@ page contentType=\"text/html; charset=big5\" pageEncoding=\"gb18030\" %>", CodePage::Big5},
        {"<%@ page pageEncoding=\"gb18030\" contentType=\"text/html; charset=big5\" %>", CodePage::Gb18030},
        {"<% Response.CodePage = 950 %><meta charset=\"sjis\">", CodePage::Big5},
        {"<meta charset=\"klingon\"><meta charset=\"big5\">", CodePage::Big5},
        {"<%@ CodePage=12345 %><meta charset=big5>", CodePage::Big5},
        {"<%@ page pageEncoding=\"x-unknown\" contentType=\"text/html; charset=sjis\" %>", CodePage::ShiftJis},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Detect(std::string(c.head) + kGbkText).codePage, c.expected) << c.head;
    }
}

TEST(CodePageDetectorTest, LooksForDeclarationsOnlyInTheFirstFourKilobytes) {
    const std::string declaration = "<meta charset=\"big5\">";
    const std::string inside = std::string(4096 - declaration.size(), ' ') + declaration + kGbkText;
    EXPECT_EQ(Detect(inside).codePage, CodePage::Big5);
    const std::string straddling = std::string(4096 - declaration.size() + 1, ' ') + declaration + kGbkText;
    EXPECT_EQ(Detect(straddling).codePage, CodePage::Gbk);
    const std::string beyond = kGbkText + std::string(5000, ' ') + declaration;
    EXPECT_EQ(Detect(beyond).codePage, CodePage::Gbk);
}

TEST(CodePageDetectorTest, AFixedChoiceHolds) {
    const struct {
        CodePageChoice choice;
        CodePage expected;
    } choices[] = {
        {CodePageChoice::Gbk, CodePage::Gbk},   {CodePageChoice::Gb18030, CodePage::Gb18030},
        {CodePageChoice::Big5, CodePage::Big5}, {CodePageChoice::ShiftJis, CodePage::ShiftJis},
        {CodePageChoice::Utf8, CodePage::Utf8},
    };
    for (const auto& c : choices) {
        CodePageDetector detector(c.choice);
        EXPECT_FALSE(detector.NeedsWholeFile());
        EXPECT_EQ(Detect("<meta charset=\"sjis\">\xE8\xA1\xA8", c.choice).codePage, c.expected);
        EXPECT_EQ(Detect(kGbkText, c.choice).codePage, c.expected);

        const DetectedCodePage marked = Detect("\xEF\xBB\xBF" + kGbkText, c.choice);
        EXPECT_EQ(marked.codePage, c.expected);
        EXPECT_EQ(marked.bomLength, 3u);
        EXPECT_TRUE(Detect("\xFF\xFE<\0", c.choice).utf16);
        EXPECT_EQ(Detect("\xFF\xFE<\0", c.choice).codePage, c.expected);
    }
    EXPECT_TRUE(CodePageDetector(CodePageChoice::Auto).NeedsWholeFile());
}

TEST(CodePageDetectorTest, ResultDoesNotDependOnChunking) {
    const std::string valid = "<p>" + std::string(30, 'a') + "\xE8\xA1\xA8 \xF0\x9F\x98\x80\xC3\xA9</p>";
    const std::string inputs[] = {
        valid,
        valid + "\xE8\xA1",  // cut off at the very end
        "ab\xE0"
        "\x80\x80",  // overlong split after its lead
        "ab\xED"
        "\xA0\x80",  // surrogate split after its lead
        "ab\xF4"
        "\x90\x80\x80",
        std::string(20, 'x') +
            "\xF0\x9F\x98"
            "x",
        "\xEF\xBB\xBF" + kGbkText,
        std::string("\xFE\xFF\0<", 4),
        "<%@ page contentType=\"text/html; charset=big5\" %>" + kGbkText,
        "<meta charset=\"utf-8\">" + std::string(4080, ' ') + "<meta charset=\"big5\">" + kGbkText,
        std::string(4090, ' ') + "<meta charset=\"big5\">" + kGbkText,
    };
    for (CodePageChoice choice : {CodePageChoice::Auto, CodePageChoice::Big5}) {
        for (const std::string& input : inputs) {
            const DetectedCodePage whole = Detect(input, choice);
            for (std::size_t chunk : {1u, 2u, 3u, 7u, 4095u}) {
                CodePageDetector detector(choice);
                for (std::size_t i = 0; i < input.size(); i += chunk) {
                    detector.Feed(std::string_view(input).substr(i, chunk));
                }
                detector.Feed("");
                EXPECT_TRUE(detector.Finish() == whole) << "chunks of " << chunk << ", input of " << input.size();
            }
        }
    }
    // And the split cases decide as they would whole.
    EXPECT_EQ(Detect(valid).codePage, CodePage::Utf8);
    EXPECT_EQ(Detect("ab\xE0\x80\x80").codePage, CodePage::Gbk);
}

// -------------------------------------------------------------------------------------------------------------

struct ConversionCase {
    CodePage cp;
    std::string_view native;
    std::string_view utf8;
};

const ConversionCase kConversions[] = {
    {CodePage::Gbk, "inc/\xB1\xED.asp", "inc/\xE8\xA1\xA8.asp"},  // 表
    {CodePage::Gbk, "\x81\x5C\\x", "\xE4\xB9\x97\\x"},            // 乗, then a backslash
    {CodePage::Big5, "\xAA\xED\xA4\x5C", "\xE8\xA1\xA8\xE4\xB9\x88"},      // 表么
    {CodePage::ShiftJis, "\x95\x5C\\\xB1", "\xE8\xA1\xA8\\\xEF\xBD\xB1"},  // 表\ｱ
    {CodePage::Utf8, "\xE8\xA1\xA8", "\xE8\xA1\xA8"},
    {CodePage::SingleByte, "caf\xE9", "caf\xC3\xA9"},
    {CodePage::Gbk, "plain/ascii.jsp", "plain/ascii.jsp"},
    {CodePage::ShiftJis, "a\\b~c", "a\\b~c"},
    {CodePage::Gbk, "", ""},
};

TEST(CodePageConversionTest, ConvertsBothWays) {
    for (const auto& c : kConversions) {
        EXPECT_EQ(ToUtf8(c.cp, c.native), std::string(c.utf8)) << Name(c.cp) << " " << c.utf8;
        EXPECT_EQ(FromUtf8(c.cp, c.utf8), std::string(c.native)) << Name(c.cp) << " " << c.utf8;
    }
}

// Every Windows and glibc has GB18030; Wine 8 has no code page 54936, so there it cannot be tested.
TEST(CodePageConversionTest, ConvertsGb18030BothWays) {
    if (!CanConvert(CodePage::Gb18030)) GTEST_SKIP() << "this system has no GB18030 converter";
    EXPECT_EQ(ToUtf8(CodePage::Gb18030, "\x94\x39\xFC\x36"), std::string("\xF0\x9F\x98\x80"));  // U+1F600
    EXPECT_EQ(FromUtf8(CodePage::Gb18030, "\xF0\x9F\x98\x80"), std::string("\x94\x39\xFC\x36"));
    EXPECT_EQ(ToUtf8(CodePage::Gb18030, "\xB1\xED"), std::string("\xE8\xA1\xA8"));
    EXPECT_EQ(FromUtf8(CodePage::Gb18030, "\xE8\xA1\xA8"), std::string("\xB1\xED"));
    EXPECT_EQ(ToUtf8(CodePage::Gb18030, "\x81\x30\x81"), std::nullopt);  // cut off
}

TEST(CodePageConversionTest, RefusesInvalidOrUnrepresentableText) {
    EXPECT_EQ(ToUtf8(CodePage::Gbk, "a\xB1"), std::nullopt);  // cut off
    EXPECT_EQ(ToUtf8(CodePage::Gbk, "\xFF\xFF"), std::nullopt);
    EXPECT_EQ(ToUtf8(CodePage::Big5, "\xA4\x80"), std::nullopt);
    EXPECT_EQ(ToUtf8(CodePage::ShiftJis, "\x95"), std::nullopt);
    EXPECT_EQ(ToUtf8(CodePage::Utf8, "\xC0\xAF"), std::nullopt);
    EXPECT_EQ(ToUtf8(CodePage::Utf8, "\xED\xA0\x80"), std::nullopt);

    EXPECT_EQ(FromUtf8(CodePage::Gbk, "\xF0\x9F\x98\x80"), std::nullopt);
    EXPECT_EQ(FromUtf8(CodePage::Big5, "\xF0\x9F\x98\x80"), std::nullopt);
    EXPECT_EQ(FromUtf8(CodePage::SingleByte, "\xE8\xA1\xA8"), std::nullopt);
    EXPECT_EQ(FromUtf8(CodePage::Gbk, "\xB1\xED"), std::nullopt);  // not UTF-8 to begin with
    EXPECT_EQ(FromUtf8(CodePage::Gbk, "\xED\xA0\x80"), std::nullopt);
    EXPECT_EQ(FromUtf8(CodePage::Utf8, "\xE8\xA1"), std::nullopt);
    // A refusal leaves nothing behind for the next call on the same thread.
    EXPECT_EQ(ToUtf8(CodePage::Gbk, "\xB1\xED"), std::string("\xE8\xA1\xA8"));
}

TEST(CodePageConversionTest, ConvertsOnManyThreadsAtOnce) {
    std::vector<int> failures(4, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < failures.size(); ++t) {
        threads.emplace_back([&failures, t] {
            for (int i = 0; i < 200; ++i) {
                for (const auto& c : kConversions) {
                    if (ToUtf8(c.cp, c.native) != std::string(c.utf8) ||
                        FromUtf8(c.cp, c.utf8) != std::string(c.native)) {
                        ++failures[t];
                    }
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<int>(failures.size(), 0));
}

}  // namespace
}  // namespace quernfold
