// Runs that stop on their data file: the message, the status, and the
// promise that no log or table was created or changed.
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/run_tool.h"

namespace propsmooth::e2e {
namespace {

// The run in `dir` of "data.txt out.txt": out.log exists beforehand and
// must keep its bytes; out.txt does not and must not appear.
void ExpectStopsOnData(const TempDir& dir, int status, const std::string& message) {
  WriteFile(dir / "out.log", "log of an earlier run\r\n");
  const auto before = Snapshot(dir.path());
  const ToolResult result = RunTool(dir.path(), {"data.txt", "out.txt"});
  EXPECT_EQ(result.Status, status);
  EXPECT_EQ(result.Stdout,
            Banner() + NameLines("data.txt", "out.txt", "out.log") + message);
  EXPECT_EQ(Snapshot(dir.path()), before);
}

TEST(DataErrors, RecordsThatStopTheRun) {
  struct Case {
    const char* Data;
    int Status;
    const char* Message;
  };
  const Case cases[] = {
      // A value out of range names the record's own Code.
      {"-1 1 2 10\n-1 5 2 0\n", 1, "\n Error!! Wrong data found (in code-5)\n"},
      {"-1 1 2 10\n-1 6 -1 10\n", 1, "\n Error!! Wrong data found (in code-6)\n"},
      {"3 1 2 10\n-2 7 1 10\n", 1, "\n Error!! Wrong data found (in code-7)\n"},
      {"-1 8 2 -10\n", 1, "\n Error!! Wrong data found (in code-8)\n"},
      {"-1 1 2 10\n-1 4 1 0.5\n", 1, "\n Error!! Wrong data found (in code-4)\n"},
      // Out of range before malformed: the first offender decides.
      {"-1 1 2 10\n-1 3 2 0\n-1 x\n", 1, "\n Error!! Wrong data found (in code-3)\n"},
      // Malformed text names the last record read before it.
      {"-1 1 2 10\n-1 2 3\n", 2, "\n Error!! Wrong data found (around code-1)\n"},
      {"-1 1 2 10\n-1 2 0.5 10\n", 2, "\n Error!! Wrong data found (around code-1)\n"},
      {"-1 1 2 10\n-1 9 2 10x\n", 2, "\n Error!! Wrong data found (around code-9)\n"},
      {"-1 1 2 10\n-1 2 3 10,\n", 2, "\n Error!! Wrong data found (around code-2)\n"},
      {"-1 1 2 10\n-1 2 x 10\n-1 3 2 0\n", 2,
       "\n Error!! Wrong data found (around code-1)\n"},
      {"-1 1 2 10\n-1 4 1 10.5\n", 2, "\n Error!! Wrong data found (around code-4)\n"},
      // A number beyond 32 bits is malformed, not wrapped.
      {"-1 1 2 10\n-1 2 2147483648 10\n", 2,
       "\n Error!! Wrong data found (around code-1)\n"},
      {"-1 1 2 10\n-1 -2147483649 1 10\n", 2,
       "\n Error!! Wrong data found (around code-1)\n"},
      // A malformed first record has no record before it: code-0.
      {"Unit Code Data1 Data2\n-1 1 2 10\n", 2,
       "\n Error!! Wrong data found (around code-0)\n"},
      {"\xEF\xBB\xBF-1 1 2 10\n", 2, "\n Error!! Wrong data found (around code-0)\n"},
      {"1 2 3", 2, "\n Error!! Wrong data found (around code-0)\n"},
      {"0.5 1 2 10\n", 2, "\n Error!! Wrong data found (around code-0)\n"},
      {"4294967297 1 2 10\n", 2, "\n Error!! Wrong data found (around code-0)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Data);
    TempDir dir;
    WriteFile(dir / "data.txt", c.Data);
    ExpectStopsOnData(dir, c.Status, c.Message);
  }
}

TEST(DataErrors, DataFileThatCannotBeOpened) {
  const std::string message = "\n ERROR!! Can't open data.txt file \n\n";
  {
    SCOPED_TRACE("missing");
    TempDir dir;
    ExpectStopsOnData(dir, 1, message);
  }
  {
    SCOPED_TRACE("a folder");
    TempDir dir;
    std::filesystem::create_directory(dir / "data.txt");
    ExpectStopsOnData(dir, 1, message);
  }
  {
    SCOPED_TRACE("a link to nowhere");
    TempDir dir;
    std::filesystem::create_symlink(dir / "gone.txt", dir / "data.txt");
    ExpectStopsOnData(dir, 1, message);
  }
}

TEST(DataErrors, UnreadableDataFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads a file without read permission";
  TempDir dir;
  WriteFile(dir / "data.txt", "-1 1 2 10\n-1 2 3 10\n");
  std::filesystem::permissions(dir / "data.txt", std::filesystem::perms::none);
  ExpectStopsOnData(dir, 1, "\n ERROR!! Can't open data.txt file \n\n");
}

}  // namespace
}  // namespace propsmooth::e2e
