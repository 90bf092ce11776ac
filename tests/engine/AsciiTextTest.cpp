#include "engine/text/AsciiText.h"

#include <gtest/gtest.h>

#include <string_view>

namespace quernfold {
namespace {

TEST(AsciiText, FoldsOnlyAsciiLetters) {
    struct Row {
        std::string_view a, b;
        bool equal;
    };
    const Row rows[] = {
        {"index.JSP", "INDEX.jsp", true},
        {"", "", true},
        {"a.jsp", "a.jsp ", false},
        // Bytes above 0x7F never fold: Latin-1 "Á"/"á" and the GBK trail bytes that look like letters.
        {"\xC1", "\xE1", false},
        {"\xD6\xD0", "\xD6\xF0", false},
        // "@" and "[" sit beside the capitals, "`" and "{" beside the small letters.
        {"@[", "`{", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(EqualsIgnoringAsciiCase(row.a, row.b), row.equal) << row.a << " / " << row.b;
    }
}

TEST(AsciiText, FindsIgnoringCaseUpToTheLastPlace) {
    EXPECT_EQ(FindIgnoringAsciiCase("<META charset>", "meta"), 1u);
    EXPECT_EQ(FindIgnoringAsciiCase("xx CharSet", "charset", 2), 3u);
    EXPECT_EQ(FindIgnoringAsciiCase("charset", "charset", 1), std::string_view::npos);
    EXPECT_EQ(FindIgnoringAsciiCase("chars", "charset"), std::string_view::npos);
    EXPECT_EQ(FindIgnoringAsciiCase("abc", "", 3), 3u);
    EXPECT_EQ(FindIgnoringAsciiCase("abc", "", 4), std::string_view::npos);
}

TEST(AsciiText, TrimsSpacesOnlyOrAllAsciiWhiteSpace) {
    struct Row {
        std::string_view text, spaces, whiteSpace;
    };
    const Row rows[] = {
        {"  htm  ", "htm", "htm"},
        {" a b ", "a b", "a b"},
        {"\thtm \t", "\thtm \t", "htm"},
        {"\r\n gbk\f\v", "\r\n gbk\f\v", "gbk"},
        {"   ", "", ""},
        {"", "", ""},
        // A non-breaking space (0xA0) is page text, not white space.
        {"\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(TrimSpaces(row.text), row.spaces) << row.text;
        EXPECT_EQ(TrimAsciiSpace(row.text), row.whiteSpace) << row.text;
    }
}

}  // namespace
}  // namespace quernfold
