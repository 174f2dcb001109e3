#include "report_tool/report_options.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

// The fit options keep propsmooth's spelling (value glued behind the
// letter, either case, the last one winning) beside the long options.
TEST(ReadReportCommandLine, ReadsBothKindsOfOption) {
  struct Case {
    std::vector<std::string_view> Args;
    CommandLineOutcome Outcome;
    double Level, AlphaInit, BetaInit, Eps;
    int Limit;
    PriorEstimator Estimator;
    const char* Tsv;
  };
  using O = CommandLineOutcome;
  using E = PriorEstimator;
  const Case cases[] = {
      {{"d", "r"}, O::kRun, 0.95, -1.0, -1.0, 0.00001, 20, E::kMle, ""},
      {{"d", "r", "-A12.3", "-b13.0", "-E0.005", "-l10"}, O::kRun, 0.95, 12.3, 13.0, 0.005, 10,
       E::kMle, ""},
      {{"-L5", "d", "--level", "0.9", "r", "-L7", "--estimator", "me", "--tsv", "t.tsv"}, O::kRun,
       0.9, -1.0, -1.0, 0.00001, 7, E::kMe, "t.tsv"},
      {{"d", "r", "--level=0.5", "-E"}, O::kRun, 0.5, -1.0, -1.0, 0.0, 20, E::kMle, ""},
      // After "--" everything is a file name, even what looks like an option.
      {{"--", "-A1", "-B2"}, O::kRun, 0.95, -1.0, -1.0, 0.00001, 20, E::kMle, ""},
      {{"d", "r", "-L99999999999"}, O::kOptionError, 0.95, -1.0, -1.0, 0.00001, 20, E::kMle, ""},
      {{"d", "r", "-Anan"}, O::kRun, 0.95, 0.0, -1.0, 0.00001, 20, E::kMle, ""},
      {{"d", "r", "-A+NAN"}, O::kOptionError, 0.95, -1.0, -1.0, 0.00001, 20, E::kMle, ""},
      {{"d", "r", "--level", "1"}, O::kUsageError, 0.95, -1.0, -1.0, 0.00001, 20, E::kMle, ""},
      {{"d", "r", "--level", "0"}, O::kUsageError, 0.95, -1.0, -1.0, 0.00001, 20, E::kMle, ""},
      {{"d", "r", "--level", "nan"}, O::kUsageError, 0.95, -1.0, -1.0, 0.00001, 20, E::kMle, ""},
      {{"d", "r", "--estimator", "eb"}, O::kUsageError, 0.95, -1.0, -1.0, 0.00001, 20, E::kMle, ""},
      // A negative count must not wrap round to "every group".
      {{"d", "r", "--max-groups", "-1"}, O::kUsageError, 0.95, -1.0, -1.0, 0.00001, 20, E::kMle,
       ""},
      {{"d", "r", "-T"}, O::kUsageError, 0.95, -1.0, -1.0, 0.00001, 20, E::kMle, ""},
      {{"d"}, O::kUsageError, 0.95, -1.0, -1.0, 0.00001, 20, E::kMle, ""},
      {{"d", "r", "x"}, O::kUsageError, 0.95, -1.0, -1.0, 0.00001, 20, E::kMle, ""},
      {{"--help"}, O::kShown, 0.95, -1.0, -1.0, 0.00001, 20, E::kMle, ""},
      {{"--version"}, O::kShown, 0.95, -1.0, -1.0, 0.00001, 20, E::kMle, ""},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string_view arg : c.Args) joined.append(arg).append(" ");
    SCOPED_TRACE(joined);
    ReportSettings settings;
    std::string text;
    ASSERT_EQ(ReadReportCommandLine(c.Args, &settings, &text), c.Outcome) << text;
    if (c.Outcome == O::kShown || c.Outcome == O::kUsageError) {
      EXPECT_FALSE(text.empty());
    }
    if (c.Outcome == O::kOptionError) {
      EXPECT_EQ(text, "Option Error!\n");
    }
    if (c.Outcome != O::kRun) continue;
    EXPECT_EQ(settings.Level, c.Level);
    EXPECT_EQ(settings.Fit.AlphaInit, c.AlphaInit);
    EXPECT_EQ(settings.Fit.BetaInit, c.BetaInit);
    EXPECT_EQ(settings.Fit.Eps, c.Eps);
    EXPECT_EQ(settings.Fit.IterationLimit, c.Limit);
    EXPECT_EQ(settings.Estimator, c.Estimator);
    EXPECT_EQ(settings.TsvFileName, c.Tsv);
  }
}

TEST(ReadReportCommandLine, TakesFileNamesInOrder) {
  const std::vector<std::string_view> args = {"-A2", "--", "-data.txt", "out.html"};
  ReportSettings settings;
  std::string text;
  ASSERT_EQ(ReadReportCommandLine(args, &settings, &text), CommandLineOutcome::kRun);
  EXPECT_EQ(settings.DataFileName, "-data.txt");
  EXPECT_EQ(settings.ReportFileName, "out.html");
  EXPECT_EQ(settings.Fit.AlphaInit, 2.0);
}

}  // namespace
}  // namespace propsmooth
