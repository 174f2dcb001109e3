#include "report_tool/report_run.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>


namespace propsmooth {
namespace {

namespace fs = std::filesystem;

// A fresh folder for one test, removed with its files afterwards.
class ReportRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("propsmooth_report_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

  void WriteFile(const std::string& name, const std::string& text) const {
    std::ofstream(PathOf(name), std::ios::binary) << text;
  }

  std::string ReadFile(const std::string& name) const {
    std::ifstream in(PathOf(name), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Runs the report and returns the console text; the status in `status`.
  std::string Run(const std::vector<std::string>& args, ExitStatus* status) const {
    const Streams run = RunWithStreams(args, "");
    *status = run.Status;
    return run.Out;
  }

  struct Streams {
    ExitStatus Status = ExitStatus::kSuccess;
    std::string Out;
    std::string Err;
  };

  // Runs the report with `in` as standard input; what went to standard
  // output and standard error.
  static Streams RunWithStreams(const std::vector<std::string>& args, const std::string& in) {
    std::vector<std::string_view> views(args.begin(), args.end());
    StandardStreams streams;
    streams.In = std::tmpfile();
    streams.Out = std::tmpfile();
    streams.Err = std::tmpfile();
    std::fwrite(in.data(), 1, in.size(), streams.In);
    std::rewind(streams.In);
    Streams run;
    run.Status = RunReport(views, streams);
    run.Out = Drain(streams.Out);
    run.Err = Drain(streams.Err);
    std::fclose(streams.In);
    return run;
  }

  static std::string Drain(std::FILE* file) {
    std::rewind(file);
    std::string text;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
      text.push_back(static_cast<char>(c));
    }
    std::fclose(file);
    return text;
  }

  fs::path dir_;
};

// Bad data end the run with propsmooth's own messages and statuses, and
// neither output file is created.
TEST_F(ReportRunTest, StopsOnBadDataAsPropsmoothDoes) {
  struct Case {
    const char* Name;
    const char* Data;  // nullptr: no data file
    const char* Message;
    ExitStatus Status;
  };
  const Case cases[] = {
      {"missing", nullptr, "\n ERROR!! Can't open {data} file \n\n", ExitStatus::kBadInput},
      {"out of range", "1 1 3 20\n1 2 5 24\n1 3 2 0\n", "\n Error!! Wrong data found (in code-3)\n",
       ExitStatus::kBadInput},
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
    ASSERT_GE(console.size(), message.size());
    EXPECT_EQ(console.substr(console.size() - message.size()), message);
    EXPECT_FALSE(fs::exists(PathOf("r.html")));
    EXPECT_FALSE(fs::exists(PathOf("r.tsv")));
  }
}

TEST_F(ReportRunTest, NeverWritesOverTheData) {
  const std::string data = "-1 1 3 20\n-1 2 5 24\n";
  WriteFile("data.txt", data);
  ExitStatus status = ExitStatus::kSuccess;
  Run({PathOf("data.txt"), PathOf("r.html"), "--tsv", PathOf("data.txt")}, &status);
  EXPECT_EQ(status, ExitStatus::kFileError);
  EXPECT_EQ(ReadFile("data.txt"), data);
  EXPECT_FALSE(fs::exists(PathOf("r.html")));
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
  const std::size_t unit7 = html.find("<td>Unit 7</td>");  // beyond --max-groups
  ASSERT_NE(unit3, std::string::npos);
  ASSERT_NE(unit5, std::string::npos);
  ASSERT_NE(unit7, std::string::npos);
  EXPECT_LT(unit3, unit5);
  EXPECT_LT(unit5, unit7);
  EXPECT_NE(html.find("first 2 of 3 groups"), std::string::npos);
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

// A CSV with a byte order mark, CR LF line ends and quoted fields, read
// from standard input; the table on standard output, alone, and the
// console on standard error. Groups come in order of first appearance,
// rows in input order.
TEST_F(ReportRunTest, ReadsStandardInputAndWritesTheTableToStandardOutput) {
  const std::string data =
      "\xEF\xBB\xBFregion,\"deaths\",state,births\r\n"
      "\"Adams, OH\",3,Ohio,120\r\n"
      "Brown,5,Ohio,200\r\n"
      "Clay,0,01,80\r\n"
      "\"Clark \"\"C\"\"\",9,Ohio,150\r\n"
      "Dane,4,01,90\r\n";
  const Streams run = RunWithStreams({"-", "--format", "csv", "--count", "deaths", "--size",
                                      "births", "--group", "state", "--id", "region", "--csv",
                                      "-"},
                                     data);
  ASSERT_EQ(run.Status, ExitStatus::kSuccess) << run.Err;
  EXPECT_NE(run.Err.find(" DataFileName  : -\n"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find(" Groups: 2\n"), std::string::npos) << run.Err;
  std::istringstream table(run.Out);
  std::string line;
  std::getline(table, line);
  EXPECT_EQ(line, "group,id,x,n,raw,eb_me,eb,lower,upper,prior");
  const char* const starts[] = {
      "Ohio,\"Adams, OH\",3,120,0.025,", "Ohio,Brown,5,200,0.025,", "01,Clay,0,80,0,",
      "Ohio,\"Clark \"\"C\"\"\",9,150,0.06,", "01,Dane,4,90,0.044444444444444446,"};
  for (const char* start : starts) {
    ASSERT_TRUE(std::getline(table, line));
    EXPECT_EQ(line.rfind(start, 0), 0u) << line;
  }
  EXPECT_FALSE(std::getline(table, line));
  EXPECT_EQ(run.Out.find('\r'), std::string::npos);
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
  EXPECT_NE(html.find("<th>Row</th><th>Id</th><th>Data1</th>"), std::string::npos);
  EXPECT_NE(html.find("<td>2</td><td style=\"text-align:left\">tab\there</td><td>4</td>"),
            std::string::npos);
  EXPECT_EQ(html.find("For unit"), std::string::npos);
  const std::string tsv = ReadFile("r.tsv");
  EXPECT_EQ(tsv.substr(0, tsv.find('\n')),
            "Unit\tCode\tData1\tData2\tProportion(%)\tEB-Prop(ME)(%)\tEB-Prop(MLE)(%)"
            "\tPrior\tLower(%)\tUpper(%)\tNote\tGroup\tId");
  EXPECT_NE(tsv.find("\t<b>\ttab\\there\n"), std::string::npos) << tsv;
}

// Refused data, in each format, end the run with the input's message and
// status, and nothing is written: no page, no table, nothing on standard
// output.
TEST_F(ReportRunTest, WritesNothingWhenTheDataAreRefused) {
  struct Case {
    const char* Name;
    const char* File;
    const char* Data;
    std::vector<std::string> Columns;
    const char* Message;  // after the file's name, for CSV and TSV
    ExitStatus Status;
  };
  const std::vector<std::string> columns = {"--count", "x", "--size", "n"};
  const Case cases[] = {
      {"legacy", "data.txt", "1 1 3 20\n1 2 x 24\n", {},
       "\n Error!! Wrong data found (around code-1)\n", ExitStatus::kMalformedData},
      {"csv", "data.csv", "x,n\n3,20\n4,12.5\n", columns,
       " line 3, column n: \"12.5\" is not a whole number >= 1\n",
       ExitStatus::kMalformedData},
      {"tsv", "data.tsv", "x\tn\n3\t20\n21\t20\n", columns,
       " line 3, column x: 21 is above its size, 20 (column n); a count is at most its size\n",
       ExitStatus::kBadInput},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteFile(c.File, c.Data);
    std::vector<std::string> args = {PathOf(c.File), PathOf("r.html"), "--tsv",
                                     PathOf("r.tsv"), "--csv", "-"};
    args.insert(args.end(), c.Columns.begin(), c.Columns.end());
    const Streams run = RunWithStreams(args, "");
    EXPECT_EQ(run.Status, c.Status);
    const std::string message = (c.Columns.empty() ? "" : PathOf(c.File)) + c.Message;
    ASSERT_GE(run.Err.size(), message.size());
    EXPECT_EQ(run.Err.substr(run.Err.size() - message.size()), message) << run.Err;
    EXPECT_EQ(run.Out, "");
    EXPECT_FALSE(fs::exists(PathOf("r.html")));
    EXPECT_FALSE(fs::exists(PathOf("r.tsv")));
  }
}

TEST_F(ReportRunTest, NeverWritesTheCsvTableOverAnotherFile) {
  WriteFile("data.csv", "x,n\n1,2\n");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{PathOf("data.csv"), "--csv", PathOf("data.csv")},
        std::vector<std::string>{PathOf("data.csv"), PathOf("t"), "--csv", PathOf("t")}}) {
    ExitStatus status = ExitStatus::kSuccess;
    std::vector<std::string> full = args;
    full.insert(full.end(), {"--count", "x", "--size", "n"});
    const std::string console = Run(full, &status);
    EXPECT_EQ(status, ExitStatus::kFileError) << console;
    EXPECT_NE(console.find("name the same file"), std::string::npos) << console;
  }
  EXPECT_EQ(ReadFile("data.csv"), "x,n\n1,2\n");
}

}  // namespace
}  // namespace propsmooth
