#include "report_tool/folder_test.h"
#include "report_tool/report_command.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "report_app/version.h"


namespace propsmooth {
namespace {

namespace fs = std::filesystem;

// A fresh folder for one test, removed with its files afterwards.
class ReportRunTest : public FolderTest {
 protected:
  void WriteFile(const std::string& name, const std::string& text) const {
    std::ofstream(PathOf(name), std::ios::binary) << text;
  }

  std::string ReadFile(const std::string& name) const {
    std::ifstream in(PathOf(name), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  static std::string Contents(std::FILE* stream) {
    std::rewind(stream);
    std::string text;
    for (int c = std::fgetc(stream); c != EOF; c = std::fgetc(stream)) {
      text.push_back(static_cast<char>(c));
    }
    std::fclose(stream);
    return text;
  }

  // Runs the report and returns what it wrote to standard output; the
  // status in `status`, standard error in errors_.
  std::string Run(const std::vector<std::string>& args, ExitStatus* status) {
    std::vector<std::string_view> views(args.begin(), args.end());
    StandardStreams streams;
    streams.Out = std::tmpfile();
    streams.Err = std::tmpfile();
    *status = RunReport(views, streams);
    errors_ = Contents(streams.Err);
    return Contents(streams.Out);
  }

  std::string errors_;

};

// Bad data end the run with propsmooth's own messages and statuses, and
// neither output file is created: a file that cannot be opened, and one the
// reader refuses (its refusals, one by one: tests/tabular/named_input_test.cc).
TEST_F(ReportRunTest, StopsOnBadDataAsPropsmoothDoes) {
  struct Case {
    const char* Name;
    const char* Data;  // nullptr: no data file
    const char* Message;
    ExitStatus Status;
  };
  const Case cases[] = {
      {"missing", nullptr, "\n ERROR!! Can't open {data} file \n\n", ExitStatus::kBadInput},
      {"malformed", "1 1 3 20\n1 2 x 24\n", "\n Error!! Wrong data found (around code-1)\n",
       ExitStatus::kMalformedData},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    fs::remove(PathOf("data.txt"));
    if (c.Data != nullptr) WriteFile("data.txt", c.Data);
    ExitStatus status = ExitStatus::kSuccess;
    const std::string console =
        Run({PathOf("data.txt"), PathOf("r.html"), "--tsv", PathOf("r.tsv")}, &status);
    std::string message = c.Message;
    const std::size_t slot = message.find("{data}");
    if (slot != std::string::npos) message.replace(slot, 6, PathOf("data.txt"));
    EXPECT_EQ(status, c.Status);
    EXPECT_EQ(console.find("ERROR"), std::string::npos) << console;
    EXPECT_EQ(console.find("Error"), std::string::npos) << console;
    EXPECT_EQ(errors_, message);
    EXPECT_FALSE(fs::exists(PathOf("r.html")));
    EXPECT_FALSE(fs::exists(PathOf("r.tsv")));
  }
}

// A page alone computes the fit's figures only for the groups it lists;
// with --summary, for every group. Either way the page must be the same
// bytes: it may show no figure of a group beyond --max-groups, and every
// figure of one within. The rat tumour data (examples/rats.txt) in three
// groups: units 1 and 2 reach Newton peaks, unit 3's counts are one rate's.
TEST_F(ReportRunTest, PageIsTheSameWithOrWithoutEveryGroupsFigures) {
  std::ifstream rats(PROPSMOOTH_SOURCE_DIR "/examples/rats.txt");
  std::ostringstream data;
  int row = 0;
  for (std::string unit, code, x, n; rats >> unit >> code >> x >> n; ++row) {
    data << (1 + row % 2) << ' ' << row + 1 << ' ' << x << ' ' << n << '\n';
  }
  ASSERT_GT(row, 60);
  for (int code = 1; code <= 6; ++code) data << "3 " << 100 + code << " 5 50\n";
  WriteFile("data.txt", data.str());
  for (const char* max_groups : {"0", "1", "2", "3"}) {
    SCOPED_TRACE(max_groups);
    ExitStatus status = ExitStatus::kBadInput;
    Run({PathOf("data.txt"), PathOf("alone.html"), "--max-groups", max_groups, "-q"}, &status);
    ASSERT_EQ(status, ExitStatus::kSuccess) << errors_;
    Run({PathOf("data.txt"), PathOf("with.html"), "--max-groups", max_groups, "--summary",
         PathOf("s.csv"), "-q"},
        &status);
    ASSERT_EQ(status, ExitStatus::kSuccess) << errors_;
    // Compared whole but not printed: a page is long.
    EXPECT_TRUE(ReadFile("alone.html") == ReadFile("with.html")) << "the pages differ";
  }
}

// Units 7, 3, 7, 3, 5 in the file: the index lists the groups in ascending
// Unit order, the TSV keeps data-file order, and each row names its prior.
TEST_F(ReportRunTest, WritesEveryGroupAndEveryRecord) {
  WriteFile("data.txt",
            "7 1 3 20\n3 2 0 10\n7 3 9 21\n3 4 10 10\n5 5 4 9\n"
            "7 6 1 22\n3 7 1 10\n3 8 9 10\n");
  ExitStatus status = ExitStatus::kBadInput;
  Run({PathOf("data.txt"), PathOf("r.html"), "--tsv", PathOf("r.tsv"), "--max-groups", "2"},
      &status);
  ASSERT_EQ(status, ExitStatus::kSuccess);
  const std::string html = ReadFile("r.html");
  const std::size_t unit3 = html.find("<a href=\"#group-0\">Unit 3</a>");
  const std::size_t unit5 = html.find("<a href=\"#group-1\">Unit 5</a>");
  ASSERT_NE(unit3, std::string::npos);
  ASSERT_NE(unit5, std::string::npos);
  EXPECT_LT(unit3, unit5);
  // Beyond --max-groups: counted, not listed.
  EXPECT_EQ(html.find("Unit 7"), std::string::npos);
  EXPECT_NE(html.find("1 more group</b> not listed: the page shows the first 2 of 3"),
            std::string::npos);
  EXPECT_EQ(html.find("id=\"group-2\""), std::string::npos);

  std::istringstream tsv(ReadFile("r.tsv"));
  std::string line;
  std::getline(tsv, line);
  // The header as the manual page documents it.
  EXPECT_EQ(line,
            "Unit\tCode\tData1\tData2\tProportion(%)\tEB-Prop(ME)(%)\tEB-Prop(MLE)(%)"
            "\tPrior\tLower(%)\tUpper(%)\tNote");
  std::vector<std::string> codes;
  while (std::getline(tsv, line)) {
    std::vector<std::string> fields;
    std::istringstream row(line);
    for (std::string field; std::getline(row, field, '\t');) fields.push_back(field);
    if (line.back() == '\t') fields.emplace_back();
    ASSERT_EQ(fields.size(), 11u) << line;
    codes.push_back(fields[1]);
    // Unit 5 has one region: no prior, no interval, and it says so.
    if (fields[0] == "5") {
      EXPECT_EQ(fields[8], "");
      EXPECT_EQ(fields[10], "no prior: the group's proportions do not vary");
    }
  }
  EXPECT_EQ(codes, (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8"}));
}

// The group's value heads its section and its index row, escaped; the
// region table gives each region's row and id; the interval table adds
// the group and id as text.
TEST_F(ReportRunTest, ShowsGroupLabelsAndIdsInThePageAndTheTables) {
  WriteFile("data.tsv",
            "site\tx\tn\tname\n"
            "<b>\t1\t10\tfirst\n"
            "<b>\t4\t12\t\"tab\there\"\n"
            "<b>\t2\t9\tthird\n");
  ExitStatus status = ExitStatus::kBadInput;
  const std::string console =
      Run({PathOf("data.tsv"), PathOf("r.html"), "--count", "x", "--size", "n", "--group",
           "site", "--id", "name", "--tsv", PathOf("r.tsv")},
          &status);
  ASSERT_EQ(status, ExitStatus::kSuccess) << console;
  const std::string html = ReadFile("r.html");
  EXPECT_NE(html.find("<a href=\"#group-0\">&lt;b&gt;</a>"), std::string::npos);
  EXPECT_NE(html.find("<h2>&lt;b&gt; <small>"), std::string::npos);
  EXPECT_NE(html.find("<th>Row</th><th>Id</th><th>x</th><th>n</th>"), std::string::npos);
  EXPECT_NE(html.find("<td>2</td><td style=\"text-align:left\">tab\there</td><td>4</td>"),
            std::string::npos);
  EXPECT_EQ(html.find("For unit"), std::string::npos);
  const std::string tsv = ReadFile("r.tsv");
  EXPECT_EQ(tsv.substr(0, tsv.find('\n')),
            "Unit\tCode\tData1\tData2\tProportion(%)\tEB-Prop(ME)(%)\tEB-Prop(MLE)(%)"
            "\tPrior\tLower(%)\tUpper(%)\tNote\tGroup\tId");
  EXPECT_NE(tsv.find("\t<b>\ttab\\there\n"), std::string::npos) << tsv;
}

// Two names for one file stop the run before anything is written: the data
// keep their bytes and no page or table is made.
TEST_F(ReportRunTest, NeverWritesOverAnotherFile) {
  const std::string data = "x,n\n1,2\n";
  WriteFile("data.csv", data);
  const std::string d = PathOf("data.csv");
  const std::vector<std::string> cases[] = {
      {d, PathOf("r.html"), "--tsv", d},
      {d, "--csv", d},
      {d, PathOf("t"), "--csv", PathOf("t")},
  };
  for (std::vector<std::string> args : cases) {
    SCOPED_TRACE(args[args.size() - 2]);
    args.insert(args.end(), {"--count", "x", "--size", "n"});
    ExitStatus status = ExitStatus::kSuccess;
    const std::string console = Run(args, &status);
    EXPECT_EQ(status, ExitStatus::kFileError) << errors_;
    EXPECT_NE(errors_.find("name the same file"), std::string::npos) << errors_;
    EXPECT_EQ(ReadFile("data.csv"), data);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
  }
}

// Errors go to standard error; the console lines to standard output,
// unless an output streams there, and nowhere with --quiet.
TEST_F(ReportRunTest, EachTextGoesToItsStream) {
  const std::string rats = std::string(PROPSMOOTH_SOURCE_DIR) + "/examples/rats.txt";
  const std::string banner = "propsmooth-report ";
  struct Case {
    std::vector<std::string> Args;
    ExitStatus Status;
    const char* OutStart;  // "": nothing at all
    const char* ErrStart;
  };
  const Case cases[] = {
      {{rats, PathOf("r.html")}, ExitStatus::kSuccess, "propsmooth-report ", ""},
      {{rats, PathOf("r.html"), "--quiet"}, ExitStatus::kSuccess, "", ""},
      {{rats, "-", "-q"}, ExitStatus::kSuccess, "<!DOCTYPE html>", ""},
      {{rats, "--tsv", "-"}, ExitStatus::kSuccess, "Unit\tCode\t", "propsmooth-report "},
      {{rats, "--csv", "-", "-q"}, ExitStatus::kSuccess, "group,id,", ""},
      {{rats, "--csv", PathOf("o.csv"), "-L", "abc"}, ExitStatus::kBadInput, "",
       "propsmooth-report: -L abc: "},
      {{rats, "--frmat", "csv"}, ExitStatus::kBadInput, "", "propsmooth-report: "},
      {{PathOf("none.txt"), "--csv", "-"}, ExitStatus::kBadInput, "", "propsmooth-report "},
      {{"--version"}, ExitStatus::kSuccess, "propsmooth-report ", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Args.back());
    ExitStatus status = ExitStatus::kInternalError;
    const std::string out = Run(c.Args, &status);
    EXPECT_EQ(status, c.Status) << errors_;
    EXPECT_EQ(out.rfind(c.OutStart, 0), 0u) << out.substr(0, 200);
    EXPECT_EQ(out.empty(), *c.OutStart == '\0');
    EXPECT_EQ(errors_.rfind(c.ErrStart, 0), 0u) << errors_;
    EXPECT_EQ(errors_.empty(), *c.ErrStart == '\0') << errors_;
  }
  EXPECT_FALSE(fs::exists(PathOf("o.csv")));
  // --version: exactly one line.
  ExitStatus status = ExitStatus::kInternalError;
  EXPECT_EQ(Run({"--version"}, &status), banner + kReportToolVersion + "\n");
}

// The cells of a CSV file without quoted fields, row by row, header first.
std::vector<std::vector<std::string>> CsvCells(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string>& row = rows.emplace_back();
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, ',');) row.push_back(cell);
    if (!line.empty() && line.back() == ',') row.emplace_back();
  }
  return rows;
}

// Two groups with no more spread than binomial sampling: 30 of 300 and 60
// of 300. Each ends in complete pooling, whose posterior Beta(sum x + 1/2,
// sum (n - x) + 1/2) needs no fit, so every figure has an independent value.
constexpr const char* kTwoFlatGroups =
    "group,x,n\n1,5,50\n1,6,50\n1,4,50\n1,5,50\n1,7,50\n1,3,50\n"
    "2,10,50\n2,11,50\n2,9,50\n2,10,50\n2,12,50\n2,8,50\n";

// The fit each group's summary row names, and its prior: the usage text's
// start on the rat data now ends in the safeguarded search at the optimum
// that 50-digit mpmath finds (prior_fit_reference.py); the default start in
// propsmooth's own Newton fit; flat groups in no finite maximum.
TEST_F(ReportRunTest, SummaryNamesEachGroupsFit) {
  WriteFile("flat.csv", kTwoFlatGroups);
  const std::string rats = std::string(PROPSMOOTH_SOURCE_DIR) + "/examples/rats.txt";
  struct Case {
    const char* Name;
    std::vector<std::string> Args;
    const char* Fit;
    double Alpha, Beta;  // 0: empty cells
  };
  const Case cases[] = {
      {"usage start", {rats, "-A12.3", "-B13.0", "-E0.005", "-L10"}, "safeguarded",
       2.30478331212, 14.0798090315},
      {"default start", {rats}, "newton", 2.30478331212, 14.0798090315},
      {"no spread", {PathOf("flat.csv"), "--group", "group", "--count", "x", "--size", "n"},
       "no finite maximum", 0.0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::string> args = c.Args;
    args.insert(args.end(), {"--summary", PathOf("s.csv")});
    ExitStatus status = ExitStatus::kBadInput;
    Run(args, &status);
    ASSERT_EQ(status, ExitStatus::kSuccess);
    const auto rows = CsvCells(ReadFile("s.csv"));
    ASSERT_GE(rows.size(), 2u);
    const std::vector<std::string>& header = rows[0];
    ASSERT_EQ(header.size(), 17u);
    for (std::size_t r = 1; r < rows.size(); ++r) {
      ASSERT_EQ(rows[r].size(), header.size());
      EXPECT_EQ(rows[r][15], c.Fit);
      if (c.Alpha == 0.0) {
        for (std::size_t k = 6; k <= 11; ++k) EXPECT_EQ(rows[r][k], "") << header[k];
        EXPECT_EQ(rows[r][16], "no more spread than binomial sampling: complete pooling");
      } else {
        EXPECT_NEAR(std::stod(rows[r][6]), c.Alpha, 1e-10 * c.Alpha);
        EXPECT_NEAR(std::stod(rows[r][7]), c.Beta, 1e-10 * c.Beta);
        EXPECT_EQ(rows[r][16], "");
      }
    }
  }
  // "-": the same bytes alone on standard output, the console elsewhere.
  ExitStatus status = ExitStatus::kBadInput;
  const std::string piped = Run({rats, "--summary", "-"}, &status);
  ASSERT_EQ(status, ExitStatus::kSuccess);
  Run({rats, "--summary", PathOf("s.csv")}, &status);
  EXPECT_EQ(piped, ReadFile("s.csv"));
}

// Complete pooling and the threshold columns. Tails and bounds are 50-digit
// mpmath on Beta(30.5, 270.5) and Beta(60.5, 240.5) at 0.12; the q-values by
// hand: group 2's six tied PEPs are the smallest, so q = PEP2; group 1's
// mean over all twelve, (PEP1 + PEP2) / 2 = 0.4288785...
TEST_F(ReportRunTest, PoolsFlatGroupsAndRanksTheirDiscoveries) {
  WriteFile("flat.csv", kTwoFlatGroups);
  struct Group {
    double Eb, Lower, Upper, Exceed, Pep, Q;
  };
  const Group groups[] = {
      {0.1, 0.069892640989262873338, 0.13777553699419896175, 0.14227991521056516732,
       0.85772008478943483268, 0.42887852751895286521},
      {0.2, 0.15774129218725642881, 0.24801421221159063392, 0.99996302975152910226,
       0.000036970248470897742697, 0.000036970248470897742697},
  };
  const struct {
    const char* Fdr;
    bool FirstFound;  // group 2 is found at either level
  } levels[] = {{"0.05", false}, {"0.5", true}};
  for (const auto& level : levels) {
    SCOPED_TRACE(level.Fdr);
    ExitStatus status = ExitStatus::kBadInput;
    Run({PathOf("flat.csv"), "--group", "group", "--count", "x", "--size", "n", "--csv",
         PathOf("t.csv"), "--threshold", "0.12", "--fdr", level.Fdr},
        &status);
    ASSERT_EQ(status, ExitStatus::kSuccess);
    const auto rows = CsvCells(ReadFile("t.csv"));
    ASSERT_EQ(rows.size(), 13u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"group", "id", "x", "n", "raw", "eb_me", "eb",
                                                 "lower", "upper", "prior", "p_exceed", "pep",
                                                 "q_value", "discovery"}));
    for (std::size_t r = 1; r < rows.size(); ++r) {
      SCOPED_TRACE(r);
      const std::vector<std::string>& row = rows[r];
      ASSERT_EQ(row.size(), 14u);
      const Group& want = groups[r <= 6 ? 0 : 1];
      EXPECT_EQ(std::stod(row[6]), want.Eb);  // 30/300 and 60/300, correctly rounded
      EXPECT_NEAR(std::stod(row[7]), want.Lower, 1e-12);
      EXPECT_NEAR(std::stod(row[8]), want.Upper, 1e-12);
      EXPECT_EQ(row[9], "complete pooling");
      const double exceed = std::stod(row[10]);
      const double pep = std::stod(row[11]);
      EXPECT_NEAR(exceed, want.Exceed, 1e-12);
      EXPECT_NEAR(pep, want.Pep, 1e-12 * want.Pep + 1e-300);
      EXPECT_NEAR(exceed + pep, 1.0, 1e-12);
      EXPECT_NEAR(std::stod(row[12]), want.Q, 1e-12 * want.Q);
      EXPECT_EQ(row[13], r > 6 || level.FirstFound ? "true" : "false");
    }
  }
  // The page says what pooling and PEPs leave out.
  ExitStatus status = ExitStatus::kBadInput;
  Run({PathOf("flat.csv"), PathOf("p.html"), "--group", "group", "--count", "x", "--size", "n",
       "--threshold", "0.12"},
      &status);
  ASSERT_EQ(status, ExitStatus::kSuccess);
  const std::string html = ReadFile("p.html");
  EXPECT_NE(html.find("understates how the regions may differ"), std::string::npos);
  EXPECT_NE(html.find("take each group's prior as known"), std::string::npos);
}

}  // namespace
}  // namespace propsmooth

namespace propsmooth {
namespace {

// The rate data of the statistics tests as one file of two groups: the
// SIDS deaths of 1974-78 against their expected counts ("sids") and counts
// drawn without extra-Poisson variation ("flat"), ids the row numbers.
std::string TwoRateGroups() {
  std::string text = "area,group,deaths,expected\n";
  for (const auto& [file, group] : {std::pair{"nc_sids74.csv", "sids"},
                                    std::pair{"generated_poisson.csv", "flat"}}) {
    std::ifstream in(std::string(PROPSMOOTH_SOURCE_DIR) + "/tests/stats/data/rates/" + file);
    std::string line;
    std::getline(in, line);
    for (int row = 1; std::getline(in, line); ++row) {
      text += std::string(group) + std::to_string(row) + "," + group + "," + line + "\n";
    }
  }
  return text;
}

// --model poisson end to end. Expected figures from R on the same data
// (tests/stats/reference/poisson_gamma_reference.R for the fits):
// sids' ML prior Gamma(6.3719767484349648, 6.0652753458861346) and its
// first record (1 death, 2.2053963789769733 expected): eb
// 0.89133954214063327, qgamma 0.3686975182173865 and 1.6406764449611169,
// pgamma(1, ..., lower.tail = FALSE) 0.32982915959883957; flat's common
// rate Gamma(1414.5, 1433.5636112201028): qgamma 0.93594573391595148 and
// 1.0387794805158757, P(rate > 1) 0.3038105653743256. Small deviations
// are the R optimum's own (about 3e-11 in the shape).
TEST_F(ReportRunTest, RatesGetTheirGammaPriorTablesAndSummary) {
  WriteFile("rates.csv", TwoRateGroups());
  ExitStatus status = ExitStatus::kBadInput;
  const std::string console =
      Run({PathOf("rates.csv"), "--model", "poisson", "--group", "group", "--id", "area",
           "--count", "deaths", "--expected", "expected", "--csv", PathOf("r.csv"), "--summary",
           PathOf("s.csv")},
          &status);
  ASSERT_EQ(status, ExitStatus::kSuccess) << errors_;
  // The clamped moment variance is said, not only shown as 0.
  EXPECT_NE(console.find(" Groups: 2, moment variance below 0 and set to 0 (no extra-Poisson "
                         "spread by moments) in 1\n"),
            std::string::npos)
      << console;
  const auto rows = CsvCells(ReadFile("r.csv"));
  ASSERT_EQ(rows.size(), 161u);
  EXPECT_EQ(ReadFile("r.csv").substr(0, ReadFile("r.csv").find('\n') + 1),
            "group,id,x,expected,raw,eb_me,eb,lower,upper,prior,p_exceed,pep,q_value,"
            "discovery\n");
  struct Row {
    std::size_t Index;
    const char* Prior;
    double Eb, Lower, Upper, PExceed;
  };
  const Row checks[] = {
      {1, "newton", 0.89133954214063327, 0.3686975182173865, 1.6406764449611169,
       0.32982915959883957},
      {101, "complete pooling", 1414.0 / 1433.5636112201028, 0.93594573391595148,
       1.0387794805158757, 0.3038105653743256},
  };
  for (const Row& check : checks) {
    SCOPED_TRACE(check.Prior);
    const std::vector<std::string>& row = rows[check.Index];
    ASSERT_EQ(row.size(), 14u);
    EXPECT_EQ(row[9], check.Prior);
    EXPECT_NEAR(std::stod(row[4]), std::stod(row[2]) / std::stod(row[3]), 1e-15);
    EXPECT_NEAR(std::stod(row[6]), check.Eb, 1e-9);
    EXPECT_NEAR(std::stod(row[7]), check.Lower, 1e-9);
    EXPECT_NEAR(std::stod(row[8]), check.Upper, 1e-9);
    EXPECT_NEAR(std::stod(row[10]), check.PExceed, 1e-9);
    EXPECT_NEAR(std::stod(row[10]) + std::stod(row[11]), 1.0, 1e-15);
  }
  const auto summary = CsvCells(ReadFile("s.csv"));
  ASSERT_EQ(summary.size(), 3u);
  EXPECT_EQ(summary[1][0], "sids");
  EXPECT_NEAR(std::stod(summary[1][6]), 6.3719767484349648, 1e-6 * 6.37);
  EXPECT_NEAR(std::stod(summary[1][7]), 6.0652753458861346, 1e-6 * 6.07);
  EXPECT_EQ(summary[1][15], "newton");
  // flat: Marshall's variance below 0 is shown as 0, with no moment prior.
  EXPECT_EQ(summary[2][0], "flat");
  EXPECT_EQ(summary[2][3], "0");
  EXPECT_EQ(summary[2][4], "");
  EXPECT_EQ(summary[2][5], "");
  EXPECT_EQ(summary[2][15], "no finite maximum");
  EXPECT_EQ(summary[2][16], "no more spread than Poisson sampling: complete pooling");
}

// --per scales every rate of the table and reads --threshold in its units:
// rates per 100 at a threshold of 100 are the figures at 1, times 100.
TEST_F(ReportRunTest, RatesPerAFactorKeepTheirProbabilities) {
  WriteFile("rates.csv", TwoRateGroups());
  ExitStatus status = ExitStatus::kBadInput;
  const std::vector<std::string> common = {PathOf("rates.csv"), "--model", "poisson", "--group",
                                           "group", "--count", "deaths", "--exposure",
                                           "expected", "--csv"};
  std::vector<std::string> plain = common;
  plain.insert(plain.end(), {PathOf("a.csv"), "--threshold", "1"});
  std::vector<std::string> per = common;
  per.insert(per.end(), {PathOf("b.csv"), "--per", "100", "--threshold", "100"});
  Run(plain, &status);
  ASSERT_EQ(status, ExitStatus::kSuccess) << errors_;
  Run(per, &status);
  ASSERT_EQ(status, ExitStatus::kSuccess) << errors_;
  const auto a = CsvCells(ReadFile("a.csv"));
  const auto b = CsvCells(ReadFile("b.csv"));
  ASSERT_EQ(a.size(), b.size());
  EXPECT_EQ(b[0][3], "exposure");
  for (std::size_t r = 1; r < a.size(); ++r) {
    for (std::size_t k = 4; k <= 8; ++k) {
      EXPECT_NEAR(std::stod(b[r][k]), 100.0 * std::stod(a[r][k]), 1e-12 * std::stod(b[r][k]));
    }
    for (std::size_t k = 10; k <= 13; ++k) EXPECT_EQ(b[r][k], a[r][k]);
  }
}

// The page of rates, for expected counts and for person-time per 100,000:
// each group's section has the four plots, in the words of rates and with
// none of the proportions' (no propsmooth log: it fits proportions only).
// The funnel's counts of regions outside the 99.8% limits are from an
// independent computation: in Python, each region's exact limits from the
// Poisson distribution function summed term by term in 50-digit mpmath,
// interpolated as (r - a) / E, around an SMR of 1 for expected counts and
// around the group's pooled rate (sids 1.0000000000000002, flat
// 0.98635316) for person-time: sids 4 of 100 outside either way, flat 0 of
// 60.
TEST_F(ReportRunTest, RatesPageDrawsFourPlotsPerGroupInTheWordsOfRates) {
  WriteFile("rates.csv", TwoRateGroups());
  struct Case {
    const char* Name;
    std::vector<std::string> Options;
    std::vector<std::string> Texts;
  };
  const std::vector<std::string> absent = {"raw proportion", "EB proportion", "Beta(",
                                           "propsmooth's log", "(%)", "exact binomial"};
  const Case cases[] = {
      {"expected counts",
       {"--expected", "expected"},
       {"<h1>Empirical Bayes rates: ", "expected counts from column <b>expected</b>",
        ">raw SMR</text>", ">EB SMR</text>", ">density per unit of SMR</text>",
        ">rank by EB SMR</text>", ">expected (expected count)</text>",
        "Gamma prior: shape", "Gamma(deaths + \u03b1, expected + \u03b2)",
        "reference SMR 1 (observed = expected)", "(exact Poisson, interpolated)",
        "4 of 100 drawn regions lie outside the 99.8% limits",
        "0 of 60 drawn regions lie outside the 99.8% limits",
        "no more spread than Poisson sampling: complete pooling", "<th>Raw SMR</th>",
        "<th>95% lower SMR</th>", "threshold 1</span>"}},
      {"person-time per 100,000",
       {"--exposure", "expected", "--per", "100000", "--threshold", "120000"},
       {"person-time from column <b>expected</b>", ">raw rate per 100,000</text>",
        ">EB rate per 100,000</text>", ">expected (person-time)</text>",
        ">density per unit of rate per 100,000</text>", "pooled rate 100000 per 100,000",
        "pooled rate 98635 per 100,000",
        "4 of 100 drawn regions lie outside the 99.8% limits",
        "0 of 60 drawn regions lie outside the 99.8% limits",
        "<th>Raw (per 100,000)</th>", "threshold 120000 per 100,000"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::string> args = {PathOf("rates.csv"), PathOf("r.html"), "--model",
                                     "poisson",           "--group",        "group",
                                     "--id",              "area",           "--count",
                                     "deaths"};
    args.insert(args.end(), c.Options.begin(), c.Options.end());
    ExitStatus status = ExitStatus::kBadInput;
    const std::string console = Run(args, &status);
    ASSERT_EQ(status, ExitStatus::kSuccess) << errors_;
    EXPECT_NE(console.find(" Groups: 2, drawn: 2"), std::string::npos) << console;
    const std::string page = ReadFile("r.html");
    for (const std::string& text : c.Texts) {
      EXPECT_NE(page.find(text), std::string::npos) << text;
    }
    for (const std::string& text : absent) {
      EXPECT_EQ(page.find(text), std::string::npos) << text;
    }
    // Each section: histogram, shrinkage, funnel, ranked plot.
    std::vector<std::size_t> starts;
    for (std::size_t at = page.find("<section"); at != std::string::npos;
         at = page.find("<section", at + 1)) {
      starts.push_back(at);
    }
    ASSERT_EQ(starts.size(), 2u);
    starts.push_back(page.size());
    for (std::size_t g = 0; g < 2; ++g) {
      const std::string section = page.substr(starts[g], starts[g + 1] - starts[g]);
      std::size_t figures = 0;
      for (std::size_t at = section.find("<figure>"); at != std::string::npos;
           at = section.find("<figure>", at + 1)) {
        ++figures;
      }
      EXPECT_EQ(figures, 4u) << "section " << g;
      for (const char* clip : {"-hist\"", "-shrink\"", "-funnel\"", "-ranked\""}) {
        EXPECT_NE(section.find(clip), std::string::npos) << clip;
      }
    }
  }
}

}  // namespace
}  // namespace propsmooth

namespace propsmooth {
namespace {

// The console names the model a run is of, --help both, and a run of
// rates against person-time without --threshold says what to give for the
// threshold's columns (expected counts have the default 1; the summary has
// no such columns).
TEST_F(ReportRunTest, ConsoleSpeaksOfTheModelRun) {
  const std::string rats = std::string(PROPSMOOTH_SOURCE_DIR) + "/examples/rats.txt";
  const std::string births =
      std::string(PROPSMOOTH_SOURCE_DIR) + "/tests/stats/data/rates/nc_sids79.csv";
  const std::string poisson = "propsmooth-report " + std::string(kReportToolVersion) +
                              ": HTML report and tables of EB estimates for the Poisson-Gamma model\n";
  const std::string binomial = "propsmooth-report " + std::string(kReportToolVersion) +
                               ": HTML report of EB estimates for the Binomial-Beta model\n";
  struct Case {
    const char* Name;
    std::vector<std::string> Args;
    std::string FirstLine;
    bool AsksForThreshold;
  };
  const std::vector<std::string> exposure = {births, "--model", "poisson", "--count", "x",
                                             "--exposure", "e"};
  const auto with = [](std::vector<std::string> args, std::vector<std::string> more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  const Case cases[] = {
      {"proportions", {rats, "--csv", PathOf("o.csv")}, binomial, false},
      {"help",
       {"--help"},
       "propsmooth-report " + std::string(kReportToolVersion) +
           ": HTML report and tables of EB estimates for the Binomial-Beta model (proportions) "
           "and the Poisson-Gamma model (rates)\n",
       false},
      {"exposure", with(exposure, {"--csv", PathOf("o.csv")}), poisson, true},
      {"exposure with threshold",
       with(exposure, {"--per", "1000", "--threshold", "2", "--csv", PathOf("o.csv")}), poisson,
       false},
      {"exposure, summary alone", with(exposure, {"--summary", PathOf("s.csv")}), poisson,
       false},
      {"expected",
       {births, "--model", "poisson", "--count", "x", "--expected", "e", "--csv",
        PathOf("o.csv")},
       poisson, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    ExitStatus status = ExitStatus::kInternalError;
    const std::string out = Run(c.Args, &status);
    ASSERT_EQ(status, ExitStatus::kSuccess) << errors_;
    EXPECT_EQ(out.substr(0, out.find('\n') + 1), c.FirstLine);
    EXPECT_EQ(out.find("No --threshold: with --exposure there is no default. Give the rate to "
                       "exceed in the units of --per") != std::string::npos,
              c.AsksForThreshold)
        << out;
  }
}

// The summary of rates is in the CSV table's units: with --per 1000 the
// births of nc_sids79.csv give deaths per 1,000 births. Expected figures:
// R on the same data (poisson_gamma_reference.R): EBest's pooled rate b =
// 0.0019792041515937801 and variance a = 3.1636550271510302e-07 per birth,
// the ML prior Gamma(13.752640049502874, 6675.315029234398) with loglik
// -239.52401066018726; times 1000 for the mean, 1e6 for the variance, the
// gamma's rates (b / a and beta) over 1000, the shapes (b^2 / a and alpha)
// and loglik as they are.
TEST_F(ReportRunTest, RateSummaryIsInTheUnitsOfPer) {
  const std::string births =
      std::string(PROPSMOOTH_SOURCE_DIR) + "/tests/stats/data/rates/nc_sids79.csv";
  constexpr double kB = 0.0019792041515937801;
  constexpr double kA = 3.1636550271510302e-07;
  struct Row {
    const char* Per;
    double Scale;
  };
  for (const Row& row : {Row{"1", 1.0}, Row{"1000", 1000.0}}) {
    SCOPED_TRACE(row.Per);
    ExitStatus status = ExitStatus::kInternalError;
    Run({births, "--model", "poisson", "--count", "x", "--exposure", "e", "--per", row.Per,
         "--summary", PathOf("s.csv"), "--csv", PathOf("o.csv")},
        &status);
    ASSERT_EQ(status, ExitStatus::kSuccess) << errors_;
    const auto summary = CsvCells(ReadFile("s.csv"));
    ASSERT_EQ(summary.size(), 2u);
    const std::vector<std::string>& cells = summary[1];
    ASSERT_EQ(cells.size(), 17u);
    const std::pair<std::size_t, double> expected[] = {
        {2, kB * row.Scale},                   // mean
        {3, kA * row.Scale * row.Scale},       // variance
        {4, kB * kB / kA},                     // alpha_me
        {5, kB / kA / row.Scale},              // beta_me
        {6, 13.752640049502874},               // alpha
        {7, 6675.315029234398 / row.Scale},    // beta
    };
    for (const auto& [column, value] : expected) {
      EXPECT_NEAR(std::stod(cells[column]), value, 1e-6 * value) << summary[0][column];
    }
    EXPECT_NEAR(std::stod(cells[13]), -239.52401066018726, 1e-9);
  }
}

}  // namespace
}  // namespace propsmooth
