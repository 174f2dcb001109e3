// The console side of a run: usage text, option reading and refusal, and
// the "-T" time stamps, checked on the real program.
#include <time.h>

#include <algorithm>
#include <ctime>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/run_tool.h"

namespace propsmooth::e2e {
namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "   propsmooth DataFileName OutFileName\n"
    "Options:\n"
    "   -Affff   Initial value for Alpha (a parametor of Gamma distribution)\n"
    "             (default ffff=moment estimator: auto)\n"
    "   -Bffff   Initial value for Beta (a parametor of Gamma distribution)\n"
    "             (default ffff=moment estimator: auto)\n"
    "   -Effff   Desired error tolerance for Newton-Raphson method\n"
    "             (default ffff=0.00001)\n"
    "   -Lnn     Limit of itelations for Newton-Raphson method\n"
    "             (default nn=20)\n"
    "Examples:\n"
    "   propsmooth sample.txt output.txt                (recommend)\n"
    "   propsmooth sample.txt output.txt -A12.3 -B13.0 -E0.005 -L10\n";

// Fewer than two arguments show the usage; a refused option ends the run
// before the names are printed, its status saying the command line was
// wrong. Either way no file is opened. Which arguments are refused is
// tests/app's (ParseOptions.AppliesArgumentsInOrder).
TEST(Usage, RunsThatStopBeforeAnyFile) {
  struct Case {
    std::vector<std::string> Args;
    int Status;
    std::string Console;
  };
  const Case cases[] = {
      {{}, 0, Banner() + kUsage},
      {{"data.txt"}, 0, Banner() + kUsage},
      {{"-T"}, 0, Banner() + kUsage},
      {{"data.txt", "out.txt", "-X"}, 1, Banner() + "Option Error!\n"},
      {{"-T", "data.txt", "out.txt"}, 1, Banner() + "Option Error!\n"},  // two names first
  };
  for (const Case& c : cases) {
    std::string trace;
    for (const std::string& arg : c.Args) trace += "[" + arg + "]";
    SCOPED_TRACE(trace);
    TempDir dir;
    WriteFile(dir / "data.txt", kFiveRegions);
    WriteFile(dir / "out.txt", "old table\n");
    WriteFile(dir / "out.log", "old log\n");
    ExpectStops(dir, c.Args, c.Status, c.Console);
  }
}

// Accepted options, seen through the log lines they change: each letter
// once (how values are read is tests/app's, what the fit makes of them
// tests/estimate's; the run without options is tests/golden/single-group,
// whose figures these are: moment Alpha 3.241812, MLE Alpha 5.269712 after
// 6 steps, so a limit of 5 makes the fit fail).
TEST(Options, AcceptedOptionsReachTheFit) {
  struct Case {
    std::vector<std::string> Options;
    std::vector<std::string> LogLines;
  };
  const Case cases[] = {
      {{"-e0.001"}, {"(EPS: 0.001000)"}},
      {{"-a2.5", "-b3"}, {"Initial value of Alpha : 2.500000",
                          "Initial value of Beta  : 3.000000",
                          "ME of Alpha : 3.241812"}},
      {{"-l6"}, {"MLE of Alpha : 5.269712", "convergence : 6"}},
      {{"-L5"}, {"MLE of Alpha : *** ", "convergence : 5"}},
  };
  for (const Case& c : cases) {
    std::string trace;
    for (const std::string& arg : c.Options) trace += "[" + arg + "]";
    SCOPED_TRACE(trace);
    TempDir dir;
    WriteFile(dir / "data.txt", kFiveRegions);
    std::vector<std::string> args = {"data.txt", "out.txt"};
    args.insert(args.end(), c.Options.begin(), c.Options.end());
    const ToolResult result = RunTool(dir.path(), args);
    EXPECT_EQ(result.Status, 0);
    EXPECT_EQ(result.Stdout, Banner() + NameLines("data.txt", "out.txt", "out.log"));
    const std::string log = ReadFile(dir / "out.log");
    for (const std::string& line : c.LogLines) {
      EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    }
  }
}

// Every text that "%s %s %02d %02d:%02d:%02d %4d\n" gives for a local time
// from `first` to `last`, both included.
std::vector<std::string> StampsBetween(std::time_t first, std::time_t last) {
  std::vector<std::string> stamps;
  for (std::time_t t = first; t <= last; ++t) {
    std::tm local{};
    localtime_r(&t, &local);
    char text[64];
    std::strftime(text, sizeof text, "%a %b %d %H:%M:%S %Y\n", &local);
    stamps.emplace_back(text);
  }
  return stamps;
}

// "-T" prints when the run started and ended (the lower-case letter is the
// same option: ParseOptions.AppliesArgumentsInOrder).
TEST(TimeStamps, StartAndEndFollowTheNames) {
  TempDir dir;
  WriteFile(dir / "data.txt", kFiveRegions);
  const std::time_t before = std::time(nullptr);
  const ToolResult result = RunTool(dir.path(), {"data.txt", "out.txt", "-T"});
  const std::time_t after = std::time(nullptr);
  EXPECT_EQ(result.Status, 0);

  const std::string head = Banner() + NameLines("data.txt", "out.txt", "out.log");
  ASSERT_EQ(result.Stdout.substr(0, head.size()), head);
  const std::string stamps = result.Stdout.substr(head.size());
  const std::string stamp =
      "((?:Sun|Mon|Tue|Wed|Thu|Fri|Sat) "
      "(?:Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
      "\\d\\d \\d\\d:\\d\\d:\\d\\d \\d{4}\\n)";
  const std::regex pattern("\\n start: " + stamp + " end:   " + stamp);
  std::smatch match;
  ASSERT_TRUE(std::regex_match(stamps, match, pattern)) << stamps;
  const std::vector<std::string> possible = StampsBetween(before, after);
  for (const std::string& text : {match[1].str(), match[2].str()}) {
    EXPECT_NE(std::find(possible.begin(), possible.end(), text), possible.end())
        << text << " is not the local time of the run";
  }
  EXPECT_TRUE(std::filesystem::exists(dir / "out.txt"));
}

}  // namespace
}  // namespace propsmooth::e2e
