// Runs that stop on their data file: the message, the status, and the
// promise that no log or table was created or changed. The reader's rules
// themselves are tested in tests/input (bytes that are no text among them:
// ReadDataFile.RefusesTextThatIsNoRecord); here each way the run can stop
// is taken once, on real files.
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/run_tool.h"

namespace propsmooth::e2e {
namespace {

// A run of "data.txt out.txt" in `dir` that must stop with `message`;
// out.log of an earlier run must keep its bytes.
void ExpectStopsOnData(const TempDir& dir, int status, const std::string& message) {
  WriteFile(dir / "out.log", "log of an earlier run\r\n");
  ExpectStops(dir, {"data.txt", "out.txt"}, status,
              Banner() + NameLines("data.txt", "out.txt", "out.log") + message);
}

TEST(DataErrors, RecordsThatStopTheRun) {
  const std::string megabyte_of_nines(std::size_t{1} << 20, '9');
  struct Case {
    std::string Data;
    int Status;
    const char* Message;
  };
  const Case cases[] = {
      // A value out of range names the record's own Code; malformed text
      // the last record read before it, code-0 when there is none.
      {"-1 1 2 10\n-1 5 2 0\n", 1, "\n Error!! Wrong data found (in code-5)\n"},
      {"-1 1 2 10\n-1 9 2 10x\n", 2, "\n Error!! Wrong data found (around code-9)\n"},
      {"Unit Code Data1 Data2\n-1 1 2 10\n", 2,
       "\n Error!! Wrong data found (around code-0)\n"},
      // A megabyte of digits across the reader's block boundary is
      // malformed, not wrapped.
      {"-1 1 12 100\n-1 2 " + megabyte_of_nines + " 120\n", 2,
       "\n Error!! Wrong data found (around code-1)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Data.substr(0, 40));
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
