// The log and the table on the file system: names that collide, files that
// cannot be created or written, and names that are unusual but valid.
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/run_tool.h"

namespace propsmooth::e2e {
namespace {

namespace fs = std::filesystem;

// The five regions' log and table.
std::string Golden(const char* file) { return ReadFile(GoldenDir("single-group") / file); }

// Every collision is refused before the data file is opened, so the files
// of the folder, the data file above all, keep their bytes. Which names
// reach one file is NameOneExistingFile.TellsOneFileFromTwo's (hard links
// among them); here each pair once, the message naming them as typed.
TEST(OutputFiles, NamesOfTheSameFileAreRefused) {
  struct Case {
    const char* What;
    std::vector<std::string> Args;
    const char* First;   // in check order: Out/Data, Log/Data, Out/Log
    const char* Second;
  };
  const Case cases[] = {
      {"table over data", {"data.txt", "data.txt"}, "data.txt", "data.txt"},
      {"table over data, other path", {"data.txt", "./sub/../data.txt"},
       "./sub/../data.txt", "data.txt"},
      {"table over data, symlink", {"data.txt", "link.txt"}, "link.txt", "data.txt"},
      {"log over data", {"data.log", "data.txt"}, "data.log", "data.log"},
      {"log over data, symlink", {"data.log", "link.txt"}, "link.log", "data.log"},
      {"log over data, other path", {"./data.log", "data.csv"}, "data.log",
       "./data.log"},
      {"table is its own log", {"data.txt", "out.log"}, "out.log", "out.log"},
      {"table linked to log", {"data.txt", "tolog.txt"}, "tolog.txt", "tolog.log"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    TempDir dir;
    WriteFile(dir / "data.txt", kFiveRegions);
    WriteFile(dir / "data.log", kFiveRegions);
    fs::create_directory(dir / "sub");
    fs::create_symlink("data.txt", dir / "link.txt");
    fs::create_symlink("data.log", dir / "link.log");
    WriteFile(dir / "out.log", "log of an earlier run\r\n");
    WriteFile(dir / "tolog.log", "log of an earlier run\r\n");
    fs::create_symlink("tolog.log", dir / "tolog.txt");
    const auto before = Snapshot(dir.path());

    const ToolResult result = RunTool(dir.path(), c.Args);
    EXPECT_EQ(result.Status, 3);
    const std::string head = Banner() + " DataFileName: " + c.Args[0] + "\n";
    ASSERT_EQ(result.Stdout.substr(0, head.size()), head) << result.Stdout;
    const std::string tail = std::string("\n ERROR!! ") + c.First + " and " +
                             c.Second + " name the same file \n\n";
    ASSERT_GE(result.Stdout.size(), tail.size());
    EXPECT_EQ(result.Stdout.substr(result.Stdout.size() - tail.size()), tail)
        << result.Stdout;
    EXPECT_EQ(Snapshot(dir.path()), before);
  }
}

// A table name linked ahead of time to the log's name would have the table
// renamed over the log: it is refused before anything is read or written.
TEST(OutputFiles, TableLinkedToTheLogStillToBeWritten) {
  const char* const targets[] = {"out.log", "sub/../out.log"};
  for (const char* target : targets) {
    SCOPED_TRACE(target);
    TempDir dir;
    WriteFile(dir / "data.txt", kFiveRegions);
    fs::create_directory(dir / "sub");
    fs::create_symlink(target, dir / "out.txt");
    const auto before = Snapshot(dir.path());
    const ToolResult result = RunTool(dir.path(), {"data.txt", "out.txt"});
    EXPECT_EQ(result.Status, 3);
    EXPECT_EQ(result.Stdout, Banner() + NameLines("data.txt", "out.txt", "out.log") +
                                 "\n ERROR!! out.txt and out.log name the same file \n\n");
    EXPECT_EQ(Snapshot(dir.path()), before);
  }
}

// A file that cannot be created stops the run with status 3 and names it.
TEST(OutputFiles, FileThatCannotBeCreated) {
  struct Case {
    const char* What;
    const char* Out;
    const char* Log;
    const char* Failing;
  };
  const Case cases[] = {
      {"folder missing", "nowhere/out.txt", "nowhere/out.log", "nowhere/out.log"},
      {"log name is a folder", "taken.txt", "taken.log", "taken.log"},
      {"table name is a folder", "res", "res.log", "res"},
      {"read-only folder", "locked/out.txt", "locked/out.log", "locked/out.log"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    // Root may create files in a read-only folder.
    if (std::string(c.Out).starts_with("locked/") && geteuid() == 0) continue;
    TempDir dir;
    WriteFile(dir / "data.txt", kFiveRegions);
    fs::create_directory(dir / "taken.log");
    fs::create_directory(dir / "res");
    fs::create_directory(dir / "locked");
    fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    const ToolResult result = RunTool(dir.path(), {"data.txt", c.Out});
    EXPECT_EQ(result.Status, 3);
    EXPECT_EQ(result.Stdout, Banner() + NameLines("data.txt", c.Out, c.Log) +
                                 "\n ERROR!! Can't create " + c.Failing +
                                 " file \n\n");
    EXPECT_EQ(ReadFile(dir / "data.txt"), kFiveRegions);
    EXPECT_EQ(ListFiles(dir / "locked"), std::vector<std::string>{});
  }
}

// /dev/full accepts the open and refuses every byte: a full disk. It is
// reached through a link so that the other file stays an ordinary one.
TEST(OutputFiles, WriteFailureIsReported) {
  struct Case {
    const char* Full;  // the name that leads to /dev/full
    const char* Failing;
    // A log that fails stops the run before the table's file is created.
    bool TableCreated;
  };
  const Case cases[] = {{"out.log", "out.log", false}, {"out.txt", "out.txt", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Full);
    TempDir dir;
    WriteFile(dir / "data.txt", kFiveRegions);
    fs::create_symlink("/dev/full", dir / c.Full);
    // The other file, from an earlier run, keeps its bytes.
    if (std::string(c.Full) == "out.txt") WriteFile(dir / "out.log", "earlier log\r\n");
    const auto before = Snapshot(dir.path());
    const ToolResult result = RunTool(dir.path(), {"data.txt", "out.txt"});
    EXPECT_EQ(result.Status, 3);
    EXPECT_EQ(result.Stdout, Banner() + NameLines("data.txt", "out.txt", "out.log") +
                                 "\n ERROR!! Can't write " + c.Failing + " file \n\n");
    EXPECT_EQ(fs::exists(dir / "out.txt"), c.TableCreated);
    EXPECT_EQ(Snapshot(dir.path()), before);
  }
}

// Blanks, backslashes, non-ASCII letters and long nested paths are names
// like any other: the run writes the same files under them, replacing
// (not appending to) the files an earlier run left there.
TEST(OutputFiles, UnusualNamesWork) {
  const std::string long_folder =
      std::string(100, 'a') + "/" + std::string(100, 'b') + "/" + std::string(100, 'c');
  struct Case {
    std::string Folder;  // created before the run
    std::string Data;
    std::string Out;
    std::string Log;
  };
  const Case cases[] = {
      {"", "my data.txt", "my results.txt", "my results.log"},
      {"", "back\\slash.txt", "tab\there.txt", "tab\there.log"},
      {"résultats été", "données.txt", "résultats été/sortie 統計.txt",
       "résultats été/sortie 統計.log"},
      {long_folder, "data.txt", long_folder + "/" + std::string(60, 'd') + ".txt",
       long_folder + "/" + std::string(60, 'd') + ".log"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Out);
    ASSERT_GT(c.Log.size(), c.Folder.size());
    TempDir dir;
    if (!c.Folder.empty()) fs::create_directories(dir / c.Folder);
    WriteFile(dir / c.Data, kFiveRegions);
    WriteFile(dir / c.Out, std::string(100000, 'z'));
    WriteFile(dir / c.Log, std::string(100000, 'z'));
    const ToolResult result = RunTool(dir.path(), {c.Data, c.Out});
    EXPECT_EQ(result.Status, 0);
    EXPECT_EQ(result.Stdout, Banner() + NameLines(c.Data, c.Out, c.Log));
    EXPECT_EQ(ReadFile(dir / c.Log), Golden("expected.log"));
    EXPECT_EQ(ReadFile(dir / c.Out), Golden("expected.tsv"));
  }
  EXPECT_GT(long_folder.size() + 65, 300u);
}

}  // namespace
}  // namespace propsmooth::e2e
