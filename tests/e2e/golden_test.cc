// Golden runs: each folder of tests/golden holds a data file, optional
// options and the exact console text, log and table that the run must give.
// tests/golden/compose.py derives the expected files independently.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/run_tool.h"

namespace propsmooth::e2e {
namespace {

struct Case {
  const char* Folder;
  const char* What;
};

constexpr Case kCases[] = {
    {"single-group", "five regions, one group, fit converges in 6 steps"},
    {"text-mode", "the same records with CR LF, odd line breaks and Ctrl-Z"},
    {"failed-unit", "one unit whose fit leaves Alpha negative: *** rows"},
    {"unit-order", "units 7, 3, 7, 3: sections 3 then 7, rows as read"},
    {"tie-mean", "mean 1/128 printed with a tie to even, -E10000"},
    {"units-example", "examples/units.txt: one-region and failed units"},
    {"empty", "no record: log header and table header only"},
    {"limit-zero", "-L0: no step, every fit fails"},
    {"eps-infinite", "-E+INF: no step, MLE = initial values, EPS +INF"},
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

TEST(Golden, RunMatchesExpectedFiles) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.Folder) + ": " + c.What);
    const std::filesystem::path golden = GoldenDir(c.Folder);
    const std::string input = ReadFile(golden / "input.txt");
    std::vector<std::string> args = {"input.txt", "out.txt"};
    if (std::filesystem::exists(golden / "args")) {
      for (std::string& option : Lines(ReadFile(golden / "args"))) {
        args.push_back(std::move(option));
      }
    }

    TempDir dir;
    WriteFile(dir / "input.txt", input);
    const ToolResult result = RunTool(dir.path(), args);

    EXPECT_EQ(result.Status, 0);
    EXPECT_EQ(result.Stdout, ReadFile(golden / "expected.stdout"));
    EXPECT_EQ(result.Stderr, "");
    EXPECT_EQ(ListFiles(dir.path()),
              (std::vector<std::string>{"input.txt", "out.log", "out.txt"}));
    EXPECT_EQ(ReadFile(dir / "out.log"), ReadFile(golden / "expected.log"));
    EXPECT_EQ(ReadFile(dir / "out.txt"), ReadFile(golden / "expected.tsv"));
    EXPECT_EQ(ReadFile(dir / "input.txt"), input) << "the data file changed";
  }
}

// The bundled examples are golden cases, so what `make demo` shows is
// checked output.
TEST(Golden, ExamplesAreGoldenInputs) {
  const std::filesystem::path examples = SourceDir() / "examples";
  EXPECT_EQ(ReadFile(examples / "small.txt"), ReadFile(GoldenDir("single-group") / "input.txt"));
  EXPECT_EQ(ReadFile(examples / "units.txt"), ReadFile(GoldenDir("units-example") / "input.txt"));
}

}  // namespace
}  // namespace propsmooth::e2e
