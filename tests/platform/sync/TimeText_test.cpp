#include "platform/TimeText.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

using namespace platform;

TEST(Gbk, ChineseTextRoundTripsThroughUtf8) {
  const std::string utf8 = "全部磁盘空间满● D:\\VIDEO 读取配置失败：";
  bool ok = false;
  const std::string gbk = Utf8ToGbk(utf8, &ok);
  EXPECT_TRUE(ok);
  // "全部" and "●" as code page 936 stores them, ASCII unchanged.
  EXPECT_EQ(gbk.substr(0, 4), "\xC8\xAB\xB2\xBF");
  EXPECT_EQ(gbk.substr(14, 2), "\xA1\xF1");
  EXPECT_NE(gbk.find(" D:\\VIDEO "), std::string::npos);
  ok = false;
  EXPECT_EQ(GbkToUtf8(gbk, &ok), utf8);
  EXPECT_TRUE(ok);
  EXPECT_EQ(GbkToUtf8("", &ok), "");
  EXPECT_TRUE(ok);
}

TEST(Gbk, InvalidInputIsReplacedAndReported) {
  bool ok = true;
  // 0xFF is never a GBK byte; the ASCII around it survives.
  EXPECT_EQ(GbkToUtf8("A\xFF" "B", &ok), "A\xEF\xBF\xBD" "B");
  EXPECT_FALSE(ok);
  // A lead byte cut off at the end of the text.
  ok = true;
  EXPECT_EQ(GbkToUtf8("\xC8\xAB\xC8", &ok), "全\xEF\xBF\xBD");
  EXPECT_FALSE(ok);

  // A character GBK cannot hold becomes one '?', a stray UTF-8 byte another; neither
  // swallows the text after it.
  ok = true;
  EXPECT_EQ(Utf8ToGbk("a\xF0\x9F\x98\x80" "b\xE4" "c", &ok), "a?b?c");
  EXPECT_FALSE(ok);
}

TEST(TimeFormat, FormatsLocalTimeFieldsWithStrftimePatterns) {
  LocalTime time;
  time.year = 2010;
  time.month = 5;
  time.day = 25;
  time.hour = 8;
  time.minute = 3;
  time.second = 9;
  EXPECT_EQ(FormatTime("%Y%m%d_%H%M%S", time), "20100525_080309");
  EXPECT_EQ(FormatTime("%Y_%m_%d %a", time), "2010_05_25 Tue") << "weekday comes from the date";
  EXPECT_EQ(FormatTime("", time), "");
  EXPECT_EQ(FormatTime(nullptr, time), "");
  time.month = 2;
  time.day = 30;
  EXPECT_EQ(FormatTime("%Y", time), "") << "30 February is not a time";
  time.month = 13;
  EXPECT_EQ(FormatTime("%Y", time), "");
}

TEST(TimeFormat, LocalTimeConversionsAgreeWithTheHostClock) {
  LocalTime converted;
  const std::time_t stamp = 1274774589;  // a moment in 2010
  ASSERT_TRUE(ToLocalTime(stamp, converted));
  EXPECT_EQ(converted.year, 2010);
  EXPECT_EQ(FromLocalTime(converted), stamp);
  EXPECT_EQ(converted.milliseconds, 0);
  LocalTime invalid;
  EXPECT_EQ(FromLocalTime(invalid), -1);

  const std::time_t before = std::time(nullptr);
  const LocalTime now = GetLocalTime();
  const std::time_t after = std::time(nullptr);
  const std::time_t seconds = FromLocalTime(now);
  EXPECT_GE(seconds, before - 1);
  EXPECT_LE(seconds, after + 1);
  EXPECT_LT(now.milliseconds, 1000);
  EXPECT_LE(now.dayOfWeek, 6);
}

TEST(CompareNoCase, FoldsOnlyAsciiLetters) {
  EXPECT_EQ(CompareNoCase("Setting.INI", "setting.ini"), 0);
  EXPECT_TRUE(EqualsNoCase("CHN_01", "chn_01"));
  EXPECT_LT(CompareNoCase("abc", "ABD"), 0);
  EXPECT_GT(CompareNoCase("abd", "ABC"), 0);
  EXPECT_LT(CompareNoCase("ab", "ABC"), 0) << "a prefix sorts first";
  EXPECT_FALSE(EqualsNoCase("\xC8\xAB", "\xE8\xAB")) << "GBK bytes are not case-folded";
  EXPECT_LT(CompareNoCase("a", "\xC8"), 0) << "bytes compare unsigned";
}

}  // namespace
