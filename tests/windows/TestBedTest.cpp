// The test bed must be what the program is for: a Chinese Windows, whose ANSI code page is 936 (GBK). Under
// Wine that comes from the zh_CN.UTF-8 locale; without it every code-page test below would pass on the wrong
// system, so this one says why up front.
#include <windows.h>

#include <gtest/gtest.h>

TEST(TestBed, AnsiCodePageIsChinese) {
  EXPECT_EQ(GetACP(), 936u) << "the tests expect a Chinese Windows; under Wine set LC_ALL=zh_CN.UTF-8 "
                               "(localedef -i zh_CN -f UTF-8 zh_CN.UTF-8)";
}
