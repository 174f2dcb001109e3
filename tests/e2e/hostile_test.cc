// Hostile input only a whole run can show: tokens and lines of megabytes,
// a million records, runs out of memory, data files that are no regular
// file, and a region whose sums would take seconds. Each case states the
// console text, the exit status and the files it leaves. Option values and
// degenerate groups are the unit tests' (tests/app, tests/estimate), and so
// are bytes that are no text (tests/input).
//
// Expected numbers: the documented five-region example (its log and table
// are tests/golden/single-group, composed from first principles).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/run_tool.h"

namespace propsmooth::e2e {
namespace {

namespace fs = std::filesystem;

// Unoptimised or sanitized builds run the large cases at a tenth of their
// size so that the suite stays within seconds there too.
#if defined(__SANITIZE_ADDRESS__) || !defined(__OPTIMIZE__)
constexpr int kScale = 10;
#else
constexpr int kScale = 1;
#endif

// The address sanitizer reserves terabytes of address space, so a run
// under it cannot be given a small memory limit.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kCanLimitMemory = false;
#else
constexpr bool kCanLimitMemory = true;
#endif

std::string Golden(const char* file, const char* run = "single-group") {
  return ReadFile(GoldenDir(run) / file);
}

// Compares large texts without printing them whole.
void ExpectSameText(const std::string& actual, const std::string& expected) {
  if (actual == expected)
    return;
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() &&
         actual[at] == expected[at])
    ++at;
  ADD_FAILURE() << "texts differ at byte " << at << " (sizes " << actual.size()
                << " and " << expected.size() << "): got \""
                << actual.substr(at, 80) << "\", expected \""
                << expected.substr(at, 80) << "\"";
}

// A run of `args` in `dir` that must succeed with the five-region example's
// log and table, and leave exactly `files`.
void ExpectFiveRegionResult(const TempDir& dir,
                            const std::vector<std::string>& args,
                            const std::vector<std::string>& files) {
  const ToolResult result = RunTool(dir.path(), args);
  EXPECT_EQ(result.Status, 0);
  EXPECT_EQ(result.Stdout, Banner() + NameLines(args[0], "out.txt", "out.log"));
  ExpectSameText(ReadFile(dir / "out.log"), Golden("expected.log"));
  ExpectSameText(ReadFile(dir / "out.txt"), Golden("expected.tsv"));
  EXPECT_EQ(ListFiles(dir.path()), files);
}

// Text that only looks hostile: the reader must get the five records from
// it and the run must print the example's results.
TEST(HostileData, LongTokensAndLinesStillRead) {
  // A megabyte of leading zeros makes no overflow, also where the token
  // runs across the reader's 1 MiB block boundary.
  const std::string zeros(std::size_t{1} << 20, '0');
  // 10 MB on one line: the five records apart by 2 MiB of every kind of
  // white space but the line feed.
  std::string gap;
  while (gap.size() < (std::size_t{2} << 20))
    gap += " \t\v\f";
  const std::string ten_mb_line = "-1 1 12 100" + gap + "-1 2 30 120" + gap +
                                  "-1 3 5 90" + gap + "-1 4 22 110" + gap +
                                  "-1 5 9 70" + gap;
  struct Case {
    const char* What;
    std::string Data;
  };
  const Case cases[] = {
      {"1 MB token of zeros", "-1 1 12 " + zeros +
                                  "100\n-1 2 30 120\n-1 3 5 90\n"
                                  "-1 4 22 110\n-1 5 9 70\n"},
      {"10 MB line", ten_mb_line},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    TempDir dir;
    WriteFile(dir / "data.txt", c.Data);
    ExpectFiveRegionResult(dir, {"data.txt", "out.txt"},
                           {"data.txt", "out.log", "out.txt"});
  }
}

// A file whose table does not fit in the memory the run may use ends with
// a message and status 4 before any output file exists, instead of an
// abort. 3,000,000 records need 120 MB of table; the run gets 96 MB.
TEST(HostileData, TableLargerThanMemory) {
  if (!kCanLimitMemory) GTEST_SKIP() << "no memory limit under the address sanitizer";
  std::string data;
  data.reserve(3'000'000 * 8);
  for (int i = 0; i < 3'000'000; ++i) data += "1 1 0 1\n";
  TempDir dir;
  WriteFile(dir / "data.txt", data);
  data = std::string();
  const ToolResult result = RunTool(dir.path(), {"data.txt", "out.txt"}, std::uint64_t{96} << 20);
  EXPECT_EQ(result.Status, 4);
  EXPECT_EQ(result.Stdout, Banner() + NameLines("data.txt", "out.txt", "out.log") +
                               "\n ERROR!! Not enough memory \n\n");
  EXPECT_FALSE(fs::exists(dir / "out.txt"));
  EXPECT_FALSE(fs::exists(dir / "out.log"));
}

// Test that running out of memory at any point of a run with parallel
// workers (30,000 records in 3,000 units) ends with the message and status
// 4, or, with enough memory, with the same table as an unlimited run; never
// with the process killed, as when a worker thread's exception ended it, and
// never with a log or table cut short.
TEST(HostileData, MemoryRunsOutInTheWorkers) {
  if (!kCanLimitMemory) GTEST_SKIP() << "no memory limit under the address sanitizer";
  std::string data;
  for (int i = 0; i < 30000; ++i) {
    data += std::to_string(1000 + i % 3000) + ' ' + std::to_string(i + 1) + ' ' +
            std::to_string(40 + i % 37) + ' ' + std::to_string(300 + i % 101) + '\n';
  }
  TempDir dir;
  WriteFile(dir / "data.txt", data);
  const ToolResult unlimited = RunTool(dir.path(), {"data.txt", "full.txt"});
  ASSERT_EQ(unlimited.Status, 0);
  const std::string full = ReadFile(dir / "full.txt");
  const std::string full_log = ReadFile(dir / "full.log");
  int ran_out = 0;
  int ran_out_writing = 0;
  int finished = 0;
  for (std::uint64_t megabytes = 12; megabytes <= 48; megabytes += 2) {
    SCOPED_TRACE(std::to_string(megabytes) + " MB");
    fs::remove(dir / "out.txt");
    fs::remove(dir / "out.log");
    // -T prints " start:" just before the log is created.
    const ToolResult result = RunTool(dir.path(), {"data.txt", "out.txt", "-T"}, megabytes << 20);
    ASSERT_TRUE(result.Status == 0 || result.Status == 4)
        << testing::PrintToString(result.Status) << "\n" << result.Stdout << result.Stderr;
    if (result.Status == 4) {
      ++ran_out;
      EXPECT_TRUE(result.Stdout.ends_with("\n ERROR!! Not enough memory \n\n"));
      if (result.Stdout.find(" start: ") != std::string::npos) ++ran_out_writing;
      // A file is whole or gone, never cut short.
      for (const auto& [name, whole] : {std::pair{"out.log", &full_log}, {"out.txt", &full}}) {
        if (fs::exists(dir / name)) {
          EXPECT_EQ(ReadFile(dir / name), *whole) << name;
        }
      }
    } else {
      ++finished;
      EXPECT_EQ(ReadFile(dir / "out.txt"), full);
    }
  }
  RecordProperty("ran_out_while_writing", ran_out_writing);
  EXPECT_GT(ran_out, 0);
  EXPECT_GT(finished, 0);
}

// 1,000,000 records (100,000 in unoptimised builds): 200,000 units of the
// five example records, the units in descending order and each unit's
// records far apart, so that grouping, the batched log and the parallel
// workers all take part. Every unit repeats the example's arithmetic, so
// every section and every row is known.
TEST(HostileData, MillionRecords) {
  const int units = 200000 / kScale;
  const char* const examples[5][2] = {
      {"12", "100"}, {"30", "120"}, {"5", "90"}, {"22", "110"}, {"9", "70"}};
  std::string data;
  data.reserve(static_cast<std::size_t>(units) * 5 * 24);
  for (int r = 0; r < 5; ++r) {
    for (int u = units; u >= 1; --u) {
      data += std::to_string(u) + ' ' + std::to_string(r + 1) + ' ' +
              examples[r][0] + ' ' + examples[r][1] + '\n';
    }
  }
  TempDir dir;
  WriteFile(dir / "data.txt", data);
  data = std::string();

  const ToolResult result = RunTool(dir.path(), {"data.txt", "out.txt"});
  EXPECT_EQ(result.Status, 0);
  EXPECT_EQ(result.Stdout,
            Banner() + NameLines("data.txt", "out.txt", "out.log"));

  // The example's table rows without their Unit, and its eleven log lines.
  const std::string golden_table = Golden("expected.tsv");
  std::vector<std::string> rows;
  for (std::size_t at = golden_table.find('\n') + 1;
       at < golden_table.size();) {
    const std::size_t end = golden_table.find('\n', at) + 1;
    rows.push_back(golden_table.substr(at + 2, end - at - 2));  // after "-1"
    at = end;
  }
  ASSERT_EQ(rows.size(), 5u);
  // The log starts as the console does (title, credit line, empty line).
  const std::string log_header = CrLf(Banner());
  const std::string body = Golden("expected.log").substr(log_header.size());

  std::string table = golden_table.substr(0, golden_table.find('\n') + 1);
  for (int r = 0; r < 5; ++r) {
    for (int u = units; u >= 1; --u)
      table += std::to_string(u) + rows[static_cast<std::size_t>(r)];
  }
  ExpectSameText(ReadFile(dir / "out.txt"), table);
  table = std::string();
  std::string log = log_header;
  for (int u = 1; u <= units; ++u) {
    log += "For unit " + std::to_string(u) +
           " ..............................................\r\n" + body +
           "\r\n";
  }
  ExpectSameText(ReadFile(dir / "out.log"), log);
}

// Writes `data` into `fifo` once a reader has opened it, then closes it.
void FeedFifo(const fs::path& fifo, const std::string& data) {
  const int fd = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return;
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  close(fd);
}

// A named pipe is read like a file once its writer comes, as by any tool
// that reads a stream; so is a process substitution, which is a pipe too.
TEST(HostileDataFile, NamedPipeIsRead) {
  TempDir dir;
  const fs::path fifo = dir / "data.fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer(FeedFifo, fifo, std::string(kFiveRegions));
  ExpectFiveRegionResult(dir, {"data.fifo", "out.txt"},
                         {"data.fifo", "out.log", "out.txt"});
  // A run that never opened the pipe leaves the writer waiting for a
  // reader: this one lets it finish, its few bytes kept in the pipe.
  const int release = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  writer.join();
  if (release >= 0) close(release);
}

// Character devices: /dev/null reads as an empty file (no groups: the log
// header and the table header alone); /dev/zero as endless NUL bytes, which
// stop the run at the first byte instead of reading forever.
TEST(HostileDataFile, CharacterDevices) {
  {
    SCOPED_TRACE("/dev/null");
    TempDir dir;
    const ToolResult result = RunTool(dir.path(), {"/dev/null", "out.txt"});
    EXPECT_EQ(result.Status, 0);
    EXPECT_EQ(result.Stdout,
              Banner() + NameLines("/dev/null", "out.txt", "out.log"));
    EXPECT_EQ(ReadFile(dir / "out.log"), Golden("expected.log", "empty"));
    EXPECT_EQ(ReadFile(dir / "out.txt"), Golden("expected.tsv", "empty"));
  }
  {
    SCOPED_TRACE("/dev/zero");
    TempDir dir;
    ExpectStops(dir, {"/dev/zero", "out.txt"}, 2,
                Banner() + NameLines("/dev/zero", "out.txt", "out.log") +
                    "\n Error!! Wrong data found (around code-0)\n");
  }
}

// A region of 2^31 - 1 of 2^31 - 1 has no moment estimators (one region,
// Variance 0): its fit fails at once at 0, 0, where the first term of a sum
// is 1 / 0. A sweep that did not stop at an infinite sum would take 2^31
// terms per sum (seconds optimised, minutes under the sanitizers: beyond
// this test's CTest timeout). The rules themselves are the unit tests'
// (EstimateGroup.GroupWithoutSpreadKeepsRawProportions).
TEST(HostileGroups, LargestRegionEndsAtOnce) {
  TempDir dir;
  WriteFile(dir / "data.txt", "7 71 2147483647 2147483647\n");
  const ToolResult result = RunTool(dir.path(), {"data.txt", "out.txt"});
  EXPECT_EQ(result.Status, 0);
  EXPECT_EQ(result.Stdout, Banner() + NameLines("data.txt", "out.txt", "out.log"));
  EXPECT_NE(ReadFile(dir / "out.log").find(" Iteration for convergence : 0\r\n"),
            std::string::npos);
  EXPECT_EQ(ReadFile(dir / "out.txt"),
            Golden("expected.tsv", "empty") +
                "7\t71\t2147483647\t2147483647\t100.000000\t100.000000\t***\r\n");
}

}  // namespace
}  // namespace propsmooth::e2e
