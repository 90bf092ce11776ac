#include "settings/IniFile.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace quernfold {
namespace {

struct LookupCase {
    const char* name;
    const char* text;
    const char* key;
    std::optional<std::string> expected;
};

class IniFileLookupTest : public testing::TestWithParam<LookupCase> {};

TEST_P(IniFileLookupTest, FindsTheValue) {
    const auto& c = GetParam();
    EXPECT_EQ(IniFile::Parse(c.text).Value("sys", c.key), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Lookups, IniFileLookupTest,
    testing::Values(LookupCase{"plain", "[sys]\nworkPath=/srv/www/\n", "workPath", "/srv/www/"},
                    LookupCase{"crlf", "[sys]\r\nworkPath=/srv/www/\r\n", "workPath", "/srv/www/"},
                    LookupCase{"no final line end", "[sys]\nsrcType=asp", "srcType", "asp"},
                    LookupCase{"section case", "[SYS]\nsrcType=asp\n", "srcType", "asp"},
                    LookupCase{"key case", "[sys]\nSRCTYPE=asp\n", "srcType", "asp"},
                    LookupCase{"value case kept", "[sys]\nsrcType=JSP\n", "srcType", "JSP"},
                    LookupCase{"blanks around", "  [ sys ]  \n\t workPath \t=  /a b/  \n", "workPath", "/a b/"},
                    LookupCase{"equals in value", "[sys]\nworkPath=/a=b/\n", "workPath", "/a=b/"},
                    LookupCase{"quotes are raw", "[sys]\nworkPath=\"/a/\"\n", "workPath", "\"/a/\""},
                    LookupCase{"empty value", "[sys]\nworkPath=\n", "workPath", ""},
                    LookupCase{"first duplicate wins", "[sys]\nsrcType=jsp\nsrcType=asp\n", "srcType", "jsp"},
                    LookupCase{"comment is not a key", "[sys]\n;srcType=asp\n", "srcType", std::nullopt},
                    LookupCase{"other section", "[other]\nsrcType=asp\n[sys]\n", "srcType", std::nullopt},
                    LookupCase{"key after the section ends", "[sys]\n[other]\nsrcType=asp\n", "srcType", std::nullopt},
                    LookupCase{"utf8 bom", "\xEF\xBB\xBF[sys]\nsrcType=asp\n", "srcType", "asp"},
                    LookupCase{"cjk value", "[sys]\nworkPath=/网站/根目录/\n", "workPath", "/网站/根目录/"}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (auto& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    });

TEST(IniFileTest, NewFileGetsSectionAndKeysInOrderOfFirstWrite) {
    auto file = IniFile::Parse("");
    file.SetValue("sys", "workPath", "/opt/q/");
    file.SetValue("sys", "outputDir", "/home/u/");
    file.SetValue("sys", "workPath", "/srv/");
    EXPECT_EQ(file.Text(), "[sys]\nworkPath=/srv/\noutputDir=/home/u/\n");
}

TEST(IniFileTest, WriteKeepsEverythingElseAndTheLineEnds) {
    const std::string before =
        "\xEF\xBB\xBF; settings\r\n[Window]\r\nx=1\r\n\r\n[SYS]\r\nWorkPath = /old/\r\nextra=keep me\r\n"
        "; trailing comment\r\n\r\n[later]\r\ny=2";
    auto file = IniFile::Parse(before);
    file.SetValue("sys", "workPath", "/new/");
    file.SetValue("sys", "srcType", "asp");
    EXPECT_EQ(file.Text(),
              "\xEF\xBB\xBF; settings\r\n[Window]\r\nx=1\r\n\r\n[SYS]\r\nWorkPath=/new/\r\nextra=keep me\r\n"
              "srcType=asp\r\n; trailing comment\r\n\r\n[later]\r\ny=2");
}

TEST(IniFileTest, MissingSectionIsAppendedAfterALastLineWithoutLineEnd) {
    auto file = IniFile::Parse("[other]\r\ny=2");
    file.SetValue("sys", "srcType", "jsp");
    EXPECT_EQ(file.Text(), "[other]\r\ny=2\r\n[sys]\r\nsrcType=jsp\r\n");
}

TEST(IniFileTest, ValueIsCutAtALineBreakSoItCannotAddLines) {
    auto file = IniFile::Parse("");
    file.SetValue("sys", "workPath", "/a/\n[evil]\nx=1");
    EXPECT_EQ(file.Text(), "[sys]\nworkPath=/a/\n");
}

TEST(IniFileTest, UnchangedFileRoundTripsByteForByte) {
    const std::string text = "a\r\n\n[sys]\nk=v\r\n  ;c\nno equals line\n\n";
    EXPECT_EQ(IniFile::Parse(text).Text(), text);
}

}  // namespace
}  // namespace quernfold
