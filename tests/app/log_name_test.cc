// The log file's name and the console time stamp text.
#include "app/log_name.h"

#include <ctime>
#include <string>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

std::string WithBackslashes(std::string text) {
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  return text;
}

// Written with "/"; every row is checked again with each "/" turned into a
// backslash, on both sides. The backslash that follows a last element "."
// or ".." is a backslash in both variants. Long names are neither cut nor
// refused: every part is kept whole.
TEST(MakeLogFileName, ReplacesTheExtension) {
  struct Case {
    std::string OutFileName;
    std::string LogFileName;
  };
  const std::string directory = std::string(300, 'd') + "/" + std::string(280, 'e') + "/";
  const std::string base(300, 'b');
  const Case kCases[] = {
      {"output.txt", "output.log"},
      {"output", "output.log"},
      {"out.txt.bak", "out.txt.log"},
      {"out.", "out.log"},
      {"out..txt", "out..log"},
      {"a.b.c", "a.b.log"},
      {".profile", ".log"},
      {"dir.d/out", "dir.d/out.log"},
      {"res/sub/out.csv", "res/sub/out.log"},
      {"res/", "res/.log"},
      {"C:out.txt", "C:out.log"},
      {"C:/res/out.txt", "C:/res/out.log"},
      {"ab:c.txt", "ab:c.log"},
      {"x*y?.txt", "x*y?.log"},
      {"out.LOG", "out.log"},
      {"out.log", "out.log"},
      {"", ".log"},
      {"res/..", "res/..\\.log"},
      {"res/.", "res/.\\.log"},
      {".", ".\\.log"},
      {"..", "..\\.log"},
      {"C:..", "C:..\\.log"},
      {"C:.", "C:.\\.log"},
      {"C:", "C:.log"},
      {"C:/", "C:/.log"},
      {"c:x", "c:x.log"},
      {"a:b:c.txt", "a:b:c.log"},
      {":a.txt", ":a.log"},
      // Only an element of exactly one or two dots stays a directory.
      {"res/...", "res/...log"},
      {"...", "...log"},
      {"res/..a", "res/..log"},
      {"res/a..", "res/a..log"},
      {"res/../out.txt", "res/../out.log"},
      {"./out", "./out.log"},
      {"/abs/out.txt", "/abs/out.log"},
      {"//server/share/out.txt", "//server/share/out.log"},
      {"res//out.txt", "res//out.log"},
      {"dir.d/sub.e/", "dir.d/sub.e/.log"},
      // The drive is the first character, not the first byte: "é" is two
      // bytes in UTF-8, so "é:" is a drive and ".." stays a directory.
      {"\xC3\xA9:..", "\xC3\xA9:..\\.log"},
      {"\xC3\xA9:out.txt", "\xC3\xA9:out.log"},
      {"r\xC3\xA9s/o\xC3\xBBt.t\xC3\xA9", "r\xC3\xA9s/o\xC3\xBBt.log"},
      // Either separator ends a directory, also in one name with both.
      {"a\\b/c.d\\e.txt", "a\\b/c.d\\e.log"},
      {"a/b\\c.d/e.txt", "a/b\\c.d/e.log"},
      {"a.b\\c", "a.b\\c.log"},
      {"a/b.c\\", "a/b.c\\.log"},
      {directory + base + ".txt", directory + base + ".log"},
      {base, base + ".log"},
      {"out." + std::string(300, 'x'), "out.log"},
      {"C:" + directory + "..", "C:" + directory + "..\\.log"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.OutFileName.substr(0, 60));
    EXPECT_EQ(MakeLogFileName(c.OutFileName), c.LogFileName);
    EXPECT_EQ(MakeLogFileName(WithBackslashes(c.OutFileName)),
              WithBackslashes(c.LogFileName));
  }
}

std::tm MakeTime(int year, int month, int day, int hour, int minute, int second,
                 int weekday) {
  std::tm when{};
  when.tm_year = year - 1900;
  when.tm_mon = month - 1;
  when.tm_mday = day;
  when.tm_hour = hour;
  when.tm_min = minute;
  when.tm_sec = second;
  when.tm_wday = weekday;
  return when;
}

TEST(FormatTimeStamp, FormatsFixedWidthText) {
  struct Case {
    std::tm When;
    const char* Expected;
  };
  const Case kCases[] = {
      {MakeTime(2004, 1, 5, 9, 3, 7, 1), "Mon Jan 05 09:03:07 2004\n"},
      {MakeTime(2004, 2, 1, 12, 30, 45, 0), "Sun Feb 01 12:30:45 2004\n"},
      {MakeTime(2004, 1, 6, 0, 0, 0, 2), "Tue Jan 06 00:00:00 2004\n"},
      {MakeTime(2003, 12, 31, 23, 59, 59, 3), "Wed Dec 31 23:59:59 2003\n"},
      {MakeTime(1000, 3, 10, 1, 2, 3, 4), "Thu Mar 10 01:02:03 1000\n"},
      {MakeTime(9999, 12, 31, 23, 59, 59, 5), "Fri Dec 31 23:59:59 9999\n"},
      {MakeTime(999, 6, 15, 8, 0, 0, 6), "Sat Jun 15 08:00:00  999\n"},
      {MakeTime(5, 7, 4, 8, 0, 0, 6), "Sat Jul 04 08:00:00    5\n"},
      {MakeTime(10000, 1, 1, 0, 0, 0, 6), "Sat Jan 01 00:00:00 10000\n"},
      {MakeTime(2024, 2, 29, 10, 11, 12, 4), "Thu Feb 29 10:11:12 2024\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.Expected);
    EXPECT_EQ(FormatTimeStamp(c.When), c.Expected);
  }
}

TEST(FormatTimeStamp, NamesEveryWeekdayAndMonth) {
  const char* const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int weekday = 0; weekday < 7; ++weekday) {
    for (int month = 1; month <= 12; ++month) {
      const std::string text =
          FormatTimeStamp(MakeTime(2010, month, 28, 14, 15, 16, weekday));
      SCOPED_TRACE(text);
      EXPECT_EQ(text, std::string(kWeekdays[weekday]) + " " + kMonths[month - 1] +
                          " 28 14:15:16 2010\n");
      EXPECT_EQ(text.size(), 25u);
    }
  }
}

}  // namespace
}  // namespace propsmooth
