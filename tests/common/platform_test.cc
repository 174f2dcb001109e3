// The calls that differ between systems, checked on this one against facts
// of the calendar and of the file system.
#include "common/platform.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

namespace fs = std::filesystem;

// Test that a time converts in the zone TZ names, whatever the process's own.
TEST(LocalTime, FollowsTheTimeZone) {
  struct Case {
    const char* Zone;  // POSIX TZ: the offset is west of Greenwich
    std::time_t When;
    int Year, Month, Day, Hour, Minute, Weekday, DayOfYear;
  };
  const Case cases[] = {
      {"UTC0", 0, 70, 0, 1, 0, 0, 4, 0},                   // a Thursday
      {"XST-5:30", 0, 70, 0, 1, 5, 30, 4, 0},              // east: same day
      {"YST8", 0, 69, 11, 31, 16, 0, 3, 364},              // west: the year before
      {"UTC0", 951782400, 100, 1, 29, 0, 0, 2, 59},        // 29 Feb 2000
      {"UTC0", 4107542399, 200, 1, 28, 23, 59, 0, 58},     // 2100 is no leap year
  };
  const char* saved = std::getenv("TZ");
  const std::string kept = saved != nullptr ? saved : "";
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Zone) + " " + std::to_string(c.When));
    setenv("TZ", c.Zone, 1);
    tzset();
    const std::tm t = LocalTime(c.When);
    EXPECT_EQ(t.tm_year, c.Year);
    EXPECT_EQ(t.tm_mon, c.Month);
    EXPECT_EQ(t.tm_mday, c.Day);
    EXPECT_EQ(t.tm_hour, c.Hour);
    EXPECT_EQ(t.tm_min, c.Minute);
    EXPECT_EQ(t.tm_wday, c.Weekday);
    EXPECT_EQ(t.tm_yday, c.DayOfYear);
  }
  if (saved != nullptr) {
    setenv("TZ", kept.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

// A fresh folder of this test's own under GoogleTest's temporary folder,
// with a "/" to append names to; the test removes it at its end.
std::string FreshFolder(const char* name) {
  const fs::path dir = fs::path(::testing::TempDir()) / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir.string() + "/";
}

// Test that two names are one file exactly when they reach one existing file.
TEST(NameOneExistingFile, TellsOneFileFromTwo) {
  const std::string dir = FreshFolder("platform_identity");
  std::ofstream(dir + "a.txt") << "12345";
  std::ofstream(dir + "b.txt") << "12345";  // same bytes, another file
  fs::create_directory(dir + "sub");
  fs::create_symlink("a.txt", dir + "soft.txt");
  fs::create_hard_link(dir + "a.txt", dir + "hard.txt");
  fs::create_symlink("gone.txt", dir + "dangling.txt");
  struct Case {
    std::string A, B;
    bool Same;
  };
  const Case cases[] = {
      {dir + "a.txt", dir + "a.txt", true},
      {dir + "a.txt", dir + "sub/../a.txt", true},
      {dir + "a.txt", dir + "soft.txt", true},
      {dir + "hard.txt", dir + "a.txt", true},
      {dir + "a.txt", dir + "b.txt", false},
      {dir + "a.txt", dir + "gone.txt", false},
      {dir + "gone.txt", dir + "gone.txt", false},  // only existing files
      {dir + "dangling.txt", dir + "gone.txt", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.A + " " + c.B);
    EXPECT_EQ(NameOneExistingFile(c.A, c.B), c.Same);
  }
  fs::remove_all(dir);
}

// Test that an open stream is told apart as a folder, a regular file with
// its size, or neither.
TEST(InspectStream, KindAndSize) {
  const std::string dir = FreshFolder("platform_stream");
  std::ofstream(dir + "empty.txt").flush();
  std::ofstream(dir + "seven.txt") << "-1 1 2\n";
  struct Case {
    std::string Name;
    bool Folder, Regular;
    std::uint64_t Bytes;
  };
  const Case cases[] = {
      {dir + "seven.txt", false, true, 7},
      {dir + "empty.txt", false, true, 0},
      {dir + "", true, false, 0},
      {"/dev/null", false, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::FILE* stream = std::fopen(c.Name.c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    StreamKind kind;
    kind.Bytes = 99;  // must be overwritten
    EXPECT_TRUE(InspectStream(stream, &kind));
    std::fclose(stream);
    EXPECT_EQ(kind.Folder, c.Folder);
    EXPECT_EQ(kind.Regular, c.Regular);
    EXPECT_EQ(kind.Bytes, c.Bytes);
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace propsmooth
