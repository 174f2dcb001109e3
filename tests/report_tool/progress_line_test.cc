#include "report_app/progress_line.h"

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

std::string Contents(std::FILE* file) {
  std::rewind(file);
  std::string text;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) text.push_back(static_cast<char>(c));
  return text;
}

// Quiet for the first second, then at most five lines a second, each over
// the last, and wiped at the end.
TEST(ProgressLine, ShowsOnlyAfterASecondAndWipesItself) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  double now = 100.0;
  {
    ProgressLine line(file, "tool", [&now] { return now; });
    now = 100.5;
    line.Count(1, 10, "groups estimated");
    EXPECT_EQ(Contents(file), "");
    now = 101.5;
    line.Count(2, 10, "groups estimated");
    now = 101.6;
    line.Count(3, 10, "groups estimated");  // within 0.2 s of the last
    now = 101.8;
    line.Count(40, 400, "rows");
    std::fseek(file, 0, SEEK_END);
  }
  const std::string first = "tool: 2/10 groups estimated";
  const std::string second = "tool: 40/400 rows";
  EXPECT_EQ(Contents(file), "\r" + first + "\r" + second +
                                std::string(first.size() - second.size(), ' ') + "\r" +
                                std::string(second.size(), ' ') + "\r");
  std::fclose(file);
}

TEST(ProgressLine, ShowsTheLastCountAtOnce) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  double now = 0.0;
  ProgressLine line(file, "t", [&now] { return now; });
  now = 2.0;
  line.Count(1, 2, "x");
  now = 2.05;
  line.Count(2, 2, "x");
  line.Clear();
  line.Clear();
  EXPECT_EQ(Contents(file), "\rt: 1/2 x\rt: 2/2 x\r" + std::string(8, ' ') + "\r");
  std::fclose(file);
}

TEST(ProgressLine, WritesNothingWithoutATerminal) {
  double now = 0.0;
  ProgressLine line(nullptr, "t", [&now] { return now; });
  now = 5.0;
  line.Count(1, 2, "x");
  line.Clear();
}

}  // namespace
}  // namespace propsmooth
