#include "report_tool/report_options.h"

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

std::string Joined(const std::vector<std::string_view>& args) {
  std::string joined;
  for (const std::string_view arg : args) joined.append(arg).append(" ");
  return joined;
}

// The fit options keep propsmooth's spelling (value glued behind the
// letter, either case, the last one winning) beside the long options.
TEST(ReadReportCommandLine, ReadsBothKindsOfOption) {
  struct Case {  // what is left out keeps its default
    std::vector<std::string_view> Args;
    CommandLineOutcome Outcome;
    double Level = 0.95, AlphaInit = -1.0, BetaInit = -1.0, Eps = 0.00001;
    int Limit = 20;
    PriorEstimator Estimator = PriorEstimator::kMle;
    const char* Tsv = "";
  };
  using O = CommandLineOutcome;
  using E = PriorEstimator;
  const Case cases[] = {
      {{"d", "r"}, O::kRun},
      {{"d", "r", "-A12.3", "-b13.0", "-E0.005", "-l10"}, O::kRun, 0.95, 12.3, 13.0, 0.005, 10},
      {{"-L5", "d", "--level", "0.9", "r", "-L7", "--estimator", "me", "--tsv", "t.tsv"},
       O::kRun, 0.9, -1.0, -1.0, 0.00001, 7, E::kMe, "t.tsv"},
      // A letter alone takes the next argument as its value, negative
      // numbers and the infinities propsmooth reads included.
      {{"-L", "10", "d", "r"}, O::kRun, 0.95, -1.0, -1.0, 0.00001, 10},
      {{"d", "-l", "10", "r"}, O::kRun, 0.95, -1.0, -1.0, 0.00001, 10},
      {{"d", "r", "-A", "-2.5", "-b", "+3e1"}, O::kRun, 0.95, -2.5, 30.0},
      {{"d", "r", "-E", ".001", "-L", "-3"}, O::kRun, 0.95, -1.0, -1.0, 0.001, -3},
      {{"d", "r", "-L", "10", "-L7"}, O::kRun, 0.95, -1.0, -1.0, 0.00001, 7},
      {{"d", "r", "-A", "-INF", "-E", "+INF"}, O::kRun, 0.95, -HUGE_VAL, -1.0, HUGE_VAL},
      {{"d", "r", "-a-1e400"}, O::kRun, 0.95, -HUGE_VAL},
      // After "--" everything is a file name, even what looks like an option.
      {{"--", "-A1", "-B2"}, O::kRun},
      {{"d", "r", "-L99999999999"}, O::kOptionError},
      {{"d", "r", "-A+NAN"}, O::kOptionError},
      {{"d", "r", "--level", "1"}, O::kUsageError},
      {{"d", "r", "--level", "0"}, O::kUsageError},
      {{"d", "r", "--level", "nan"}, O::kUsageError},
      {{"d", "r", "--estimator", "eb"}, O::kUsageError},
      // A negative count must not wrap round to "every group".
      {{"d", "r", "--max-groups", "-1"}, O::kUsageError},
      {{"d", "r", "-T"}, O::kUsageError},
      {{"d"}, O::kUsageError},
      {{"d", "r", "x"}, O::kUsageError},
      {{"--help"}, O::kShown},
      {{"d", "r", "--help"}, O::kShown},
      {{"--version"}, O::kVersion},
      {{"--version", "d"}, O::kVersion},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Joined(c.Args));
    ReportSettings settings;
    std::string text;
    ASSERT_EQ(ReadReportCommandLine(c.Args, &settings, &text), c.Outcome) << text;
    if (c.Outcome == O::kShown || c.Outcome == O::kUsageError || c.Outcome == O::kVersion) {
      EXPECT_FALSE(text.empty());
    }
    if (c.Outcome == O::kOptionError) {
      // The refusal names the option as it was written.
      EXPECT_EQ(text.rfind(c.Args.back(), 0), 0u) << text;
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

// Every refusal says which option, or which file name, is wrong.
TEST(ReadReportCommandLine, NamesTheOptionInEachError) {
  struct Case {
    std::vector<std::string_view> Args;
    CommandLineOutcome Outcome;
    const char* Named;
  };
  using O = CommandLineOutcome;
  const Case cases[] = {
      {{"d", "r", "-L", "1.5"}, O::kOptionError, "-L 1.5: "},
      {{"d", "r", "-L", "99999999999"}, O::kOptionError, "-L 99999999999: "},
      {{"d", "r", "-E+NAN"}, O::kOptionError, "-E+NAN: "},
      {{"d", "r", "-B", "+INF"}, O::kOptionError, "-B +INF: "},
      // A value must be a number as a whole: propsmooth's reader would take
      // "abc" as 0, and the report would run with a limit nobody asked for
      // and a page named "abc".
      {{"d", "--csv", "o.csv", "-L", "abc"}, O::kOptionError, "-L abc: "},
      {{"d", "r", "-L12abc"}, O::kOptionError, "-L12abc: "},
      {{"d", "r", "-Lx"}, O::kOptionError, "-Lx: "},
      {{"d", "r", "-E", "1,5"}, O::kOptionError, "-E 1,5: "},
      {{"d", "r", "-E", "-L5"}, O::kOptionError, "-E -L5: "},
      {{"-A", "d", "r"}, O::kOptionError, "-A d: "},
      {{"d", "r", "-E"}, O::kOptionError, "-E: "},
      {{"d", "r", "-L", ""}, O::kOptionError, "-L : "},
      {{"d", "r", "-L", " 5"}, O::kOptionError, "-L  5: "},
      // NaN in any spelling is refused, as the manual says.
      {{"d", "r", "-A", "nan"}, O::kOptionError, "-A nan: "},
      {{"d", "r", "-A", "NAN"}, O::kOptionError, "-A NAN: "},
      {{"d", "r", "-Anan"}, O::kOptionError, "-Anan: "},
      {{"d", "r", "-b-NAN"}, O::kOptionError, "-b-NAN: "},
      {{"d", "r", "-E", "inf"}, O::kOptionError, "-E inf: "},
      // Any two outputs on standard output would run into each other.
      {{"d", "-", "--tsv", "-"}, O::kUsageError, "ReportFileName and --tsv both ask"},
      {{"d", "-", "--tsv", "-", "--summary", "-"}, O::kUsageError,
       "ReportFileName, --tsv and --summary all ask"},
      {{"d", "r", "--format", "xml"}, O::kUsageError, "--format"},
      {{"d", "r", "--count", ""}, O::kUsageError, "--count"},
      {{"d", "r", "--delimiter", ":"}, O::kUsageError, "--delimiter"},
      {{"d", "r", "--missing-group", "drop"}, O::kUsageError, "--missing-group"},
      {{"d", "r", "--keep", ""}, O::kUsageError, "--keep"},
      {{"d", "r", "--keep", "a", "--keep-all"}, O::kUsageError, "--keep"},
      {{"d", "r", "--level", "2"}, O::kUsageError, "--level"},
      {{"d", "r", "--max-groups", "x"}, O::kUsageError, "--max-groups"},
      {{"d", "r", "--threshold", "1"}, O::kUsageError, "--threshold"},
      {{"d", "r", "--threshold", "0"}, O::kUsageError, "--threshold"},
      {{"d", "r", "--threshold", "0.1", "--fdr", "1.5"}, O::kUsageError, "--fdr"},
      {{"d", "r", "--fdr", "nan"}, O::kUsageError, "--fdr"},
      {{"d", "r", "--frmat", "csv"}, O::kUsageError, "--frmat"},
      {{"d", "--percent"}, O::kUsageError, "ReportFileName"},
      {{"d", "--csv", "-", "--summary", "-"}, O::kUsageError, "--csv and --summary"},
      // A letter alone takes even "--" as its value, and refuses it.
      {{"d", "r", "-L", "--", "5"}, O::kOptionError, "-L --: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Joined(c.Args));
    ReportSettings settings;
    std::string text;
    EXPECT_EQ(ReadReportCommandLine(c.Args, &settings, &text), c.Outcome) << text;
    EXPECT_NE(text.find(c.Named), std::string::npos) << text;
  }
}

// --threshold is kept only when given, --fdr has its default, and the
// summary alone is a run.
TEST(ReadReportCommandLine, ReadsTheExceedanceAndSummaryOptions) {
  struct Case {
    std::vector<std::string_view> Args;
    std::optional<double> Threshold;
    double Fdr;
    const char* Summary;
  };
  const Case cases[] = {
      {{"d", "r"}, std::nullopt, 0.05, ""},
      {{"d", "r", "--threshold", "0.15"}, 0.15, 0.05, ""},
      {{"d", "--summary", "s.csv", "--threshold=0.2", "--fdr", "0.1"}, 0.2, 0.1, "s.csv"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Joined(c.Args));
    ReportSettings settings;
    std::string text;
    ASSERT_EQ(ReadReportCommandLine(c.Args, &settings, &text), CommandLineOutcome::kRun) << text;
    EXPECT_EQ(settings.Threshold, c.Threshold);
    EXPECT_EQ(settings.Fdr, c.Fdr);
    EXPECT_EQ(settings.SummaryFileName, c.Summary);
  }
}

// The input and table options, and a page that may be left out when a
// table is asked for.
TEST(ReadReportCommandLine, ReadsTheInputAndTableOptions) {
  const std::vector<std::string_view> args = {
      "--csv", "-", "-", "--format", "tsv", "--count", "deaths", "--size", "births",
      "--group", "state", "--id", "county", "--percent"};
  ReportSettings settings;
  std::string text;
  ASSERT_EQ(ReadReportCommandLine(args, &settings, &text), CommandLineOutcome::kRun) << text;
  EXPECT_EQ(settings.DataFileName, "-");
  EXPECT_EQ(settings.ReportFileName, "");
  EXPECT_EQ(settings.CsvFileName, "-");
  EXPECT_EQ(settings.Format, InputFormat::kTsv);
  EXPECT_EQ(settings.Columns.Count, "deaths");
  EXPECT_EQ(settings.Columns.Size, "births");
  EXPECT_EQ(settings.Columns.Group, "state");
  EXPECT_EQ(settings.Columns.Id, "county");
  EXPECT_TRUE(settings.Percent);
  EXPECT_TRUE(settings.Columns.Keep.empty());
  EXPECT_EQ(settings.Columns.Missing, MissingGroup::kRefuse);
  EXPECT_EQ(settings.Columns.Delimiter, '\0');
}

// The reading options: the delimiter by its byte or "tab", kept columns
// listed or repeated, the missing-group rule.
TEST(ReadReportCommandLine, ReadsTheReadingOptions) {
  struct Case {
    std::vector<std::string_view> Args;
    char Delimiter;
    std::vector<std::string> Keep;
    bool KeepAll;
    MissingGroup Missing;
  };
  const Case cases[] = {
      {{"d", "r", "--delimiter", ";"}, ';', {}, false, MissingGroup::kRefuse},
      {{"d", "r", "--delimiter", "tab"}, '\t', {}, false, MissingGroup::kRefuse},
      {{"d", "r", "--delimiter=|"}, '|', {}, false, MissingGroup::kRefuse},
      {{"d", "r", "--keep", "year,sex", "--keep", "age"},
       '\0', {"year", "sex", "age"}, false, MissingGroup::kRefuse},
      {{"d", "r", "--keep-all", "--missing-group", "skip"}, '\0', {}, true, MissingGroup::kSkip},
      {{"d", "r", "--missing-group", "own-group"}, '\0', {}, false, MissingGroup::kOwnGroup},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Joined(c.Args));
    ReportSettings settings;
    std::string text;
    ASSERT_EQ(ReadReportCommandLine(c.Args, &settings, &text), CommandLineOutcome::kRun) << text;
    EXPECT_EQ(settings.Columns.Delimiter, c.Delimiter);
    EXPECT_EQ(settings.Columns.Keep, c.Keep);
    EXPECT_EQ(settings.Columns.KeepAll, c.KeepAll);
    EXPECT_EQ(settings.Columns.Missing, c.Missing);
  }

}

// Any one output may stream to standard output; --quiet is read.
TEST(ReadReportCommandLine, ReadsStandardOutputAndQuiet) {
  const struct {
    std::vector<std::string_view> Args;
    const char* Page;
    const char* Tsv;
    bool Quiet;
  } cases[] = {
      {{"d", "-"}, "-", "", false},
      {{"d", "--tsv", "-", "-q"}, "", "-", true},
      {{"d", "r", "--tsv", "t", "--quiet"}, "r", "t", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Joined(c.Args));
    ReportSettings settings;
    std::string text;
    ASSERT_EQ(ReadReportCommandLine(c.Args, &settings, &text), CommandLineOutcome::kRun) << text;
    EXPECT_EQ(settings.ReportFileName, c.Page);
    EXPECT_EQ(settings.TsvFileName, c.Tsv);
    EXPECT_EQ(settings.Quiet, c.Quiet);
  }
  // --version is one line: the program and its version.
  ReportSettings settings;
  std::string text;
  const std::vector<std::string_view> version = {"--version"};
  ASSERT_EQ(ReadReportCommandLine(version, &settings, &text), CommandLineOutcome::kVersion);
  EXPECT_EQ(text.rfind("propsmooth-report ", 0), 0u) << text;
  EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
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

namespace propsmooth {
namespace {

// --model poisson: the options of rates, what each sets, and each refusal
// naming what to do instead.
TEST(ReadReportCommandLine, ReadsTheOptionsOfRates) {
  struct Case {
    std::vector<std::string_view> Args;
    CommandLineOutcome Outcome;
    const char* Named;  // in the text of a refusal
    std::optional<double> Threshold;
    double Per;
    bool Exposure;
  };
  using O = CommandLineOutcome;
  const std::optional<double> none;
  const Case cases[] = {
      // Expected counts: a rate of 1 is the reference, the default threshold.
      {{"d", "--model", "poisson", "--count", "x", "--expected", "e", "--csv", "o"}, O::kRun, "",
       1.0, 1.0, false},
      // Person-time has no natural threshold; --threshold is read as --per shows rates.
      {{"d", "--model", "poisson", "--count", "x", "--exposure", "py", "--csv", "o"}, O::kRun, "",
       none, 1.0, true},
      {{"d", "--model=poisson", "--count", "x", "--exposure", "py", "--per", "100000",
        "--threshold", "50", "--summary", "o"},
       O::kRun, "", 50.0 / 100000.0, 100000.0, true},
      {{"d", "--model", "poisson", "--count", "x", "--expected", "e", "--threshold", "2.5",
        "--csv", "o"},
       O::kRun, "", 2.5, 1.0, false},
      {{"d", "--count", "x", "--expected", "e", "--csv", "o"}, O::kUsageError,
       "--expected is for rates", none, 1.0, false},
      {{"d", "--count", "x", "--size", "n", "--per", "10", "--csv", "o"}, O::kUsageError,
       "--per is for rates", none, 1.0, false},
      {{"d", "--model", "poisson", "--count", "x", "--csv", "o"}, O::kUsageError,
       "--model poisson needs", none, 1.0, false},
      {{"d", "--model", "poisson", "--count", "x", "--expected", "e", "--size", "n", "--csv",
        "o"},
       O::kUsageError, "--size is for proportions", none, 1.0, false},
      // The page alone, as for proportions.
      {{"d", "r.html", "--model", "poisson", "--count", "x", "--expected", "e"}, O::kRun, "",
       1.0, 1.0, false},
      {{"d", "--model", "poisson", "--count", "x", "--expected", "e", "--tsv", "t"},
       O::kUsageError, "--tsv", none, 1.0, false},
      {{"d", "--model", "poisson", "--count", "x", "--expected", "e", "--percent", "--csv", "o"},
       O::kUsageError, "--per 100", none, 1.0, false},
      {{"d", "--model", "poisson", "--count", "x", "--expected", "e", "--exposure", "py",
        "--csv", "o"},
       O::kUsageError, "--exposure", none, 1.0, false},
      {{"d", "--model", "poisson", "--count", "x", "--expected", "e", "--threshold", "0",
        "--csv", "o"},
       O::kUsageError, "threshold must be a rate above 0", none, 1.0, false},
      {{"d", "--model", "poisson", "--count", "x", "--exposure", "e", "--per", "-5", "--csv",
        "o"},
       O::kUsageError, "--per", none, 1.0, false},
      {{"d", "--model", "gamma", "--csv", "o"}, O::kUsageError, "--model", none, 1.0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Joined(c.Args));
    ReportSettings settings;
    std::string text;
    ASSERT_EQ(ReadReportCommandLine(c.Args, &settings, &text), c.Outcome) << text;
    if (c.Outcome != O::kRun) {
      EXPECT_NE(text.find(c.Named), std::string::npos) << text;
      continue;
    }
    EXPECT_EQ(settings.Model, CountModel::kPoisson);
    EXPECT_EQ(settings.Threshold, c.Threshold);
    EXPECT_EQ(settings.Per, c.Per);
    EXPECT_EQ(settings.Columns.Exposure, c.Exposure);
    EXPECT_EQ(settings.Columns.Expected, c.Exposure ? "py" : "e");
  }
}

}  // namespace
}  // namespace propsmooth
