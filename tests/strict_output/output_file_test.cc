// An output file takes its name only when committed: until then, and
// after any failure, a file of that name keeps its bytes and no temporary
// is left in its folder.
#include "common/output_file.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(OutputFile, TakesItsNameOnlyWhenCommitted) {
  const fs::path dir = fs::path(::testing::TempDir()) / "output_file_test";
  enum class End { kCommit, kCloseOnly, kReturnOpen, kThrowOpen, kThrowClosed };
  const struct {
    const char* Name;
    bool Existed;  // "old" there before
    End How;
    const char* After;  // the name's bytes afterwards; nullptr: no file
  } cases[] = {
      {"committed over an old file", true, End::kCommit, "complete\r\n"},
      {"committed as a new file", false, End::kCommit, "complete\r\n"},
      {"closed, not committed", true, End::kCloseOnly, "old"},
      {"left open by a return", true, End::kReturnOpen, "old"},
      {"left open by an exception", true, End::kThrowOpen, "old"},
      {"closed, then an exception", false, End::kThrowClosed, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path name = dir / "table.txt";
    if (c.Existed) std::ofstream(name, std::ios::binary) << "old";
    try {
      OutputFile file;
      ASSERT_TRUE(file.Create(name.string()));
      file.Write("complete\r\n");
      ASSERT_TRUE(file.Flush());
      // Written and flushed, the name is still the old file's.
      EXPECT_EQ(fs::exists(name), c.Existed);
      if (c.How != End::kReturnOpen && c.How != End::kThrowOpen) {
        ASSERT_TRUE(file.Close());
      }
      if (c.How == End::kCommit) {
        ASSERT_TRUE(file.Commit());
      }
      if (c.How == End::kThrowOpen || c.How == End::kThrowClosed) throw std::bad_alloc();
    } catch (const std::bad_alloc&) {
    }
    EXPECT_EQ(fs::exists(name), c.After != nullptr);
    if (c.After != nullptr) {
      EXPECT_EQ(Contents(name), c.After);
    }
    EXPECT_EQ(Entries(dir).size(), fs::exists(name) ? 1u : 0u) << "a temporary left behind";
  }
  fs::remove_all(dir);
}

// A file large enough to be handed to the device part by part as it is
// written keeps every byte in order, and still takes its name only when
// committed.
TEST(OutputFile, LargeFileWrittenAheadIsWholeAndStillAllOrNothing) {
  const fs::path dir = fs::path(::testing::TempDir()) / "output_file_large_test";
  for (const bool commit : {true, false}) {
    SCOPED_TRACE(commit ? "committed" : "closed, not committed");
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path name = dir / "table.csv";
    std::ofstream(name, std::ios::binary) << "old";
    std::string expected;
    {
      OutputFile file;
      ASSERT_TRUE(file.Create(name.string()));
      // Pieces of a size prime to the write-ahead step, each its own bytes.
      for (int piece = 0; expected.size() < (std::size_t{40} << 20); ++piece) {
        const std::string text(1'000'003, static_cast<char>('a' + piece % 26));
        file.Write(text);
        expected += text;
      }
      ASSERT_TRUE(file.Close());
      if (commit) {
        ASSERT_TRUE(file.Commit());
      }
    }
    EXPECT_TRUE(Contents(name) == (commit ? expected : std::string("old")));
    EXPECT_EQ(Entries(dir).size(), 1u) << "a temporary left behind";
  }
  fs::remove_all(dir);
}

// The names that cannot take a file are refused at Create, as creating the
// file itself would be; a link leads the file to its target, and the link
// stays; a device is written in place.
TEST(OutputFile, RefusesOrFollowsWhatTheNameIs) {
  const fs::path dir = fs::path(::testing::TempDir()) / "output_file_names";
  const struct {
    const char* Name;
    const char* Output;  // in `dir`
    bool Created;
    const char* Target;  // the file that then holds the text; nullptr: none
  } cases[] = {
      {"folder missing", "nowhere/t.txt", false, nullptr},
      {"a folder of that name", "folder", false, nullptr},
      {"read-only file", "readonly.txt", false, nullptr},
      {"link to a file", "link.txt", true, "target.txt"},
      {"link to a file not there yet", "dangling.txt", true, "later.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    // Root writes any file: the read-only row means nothing there.
    if (std::string(c.Output) == "readonly.txt" && geteuid() == 0) continue;
    fs::remove_all(dir);
    fs::create_directories(dir / "folder");
    std::ofstream(dir / "readonly.txt") << "old";
    fs::permissions(dir / "readonly.txt", fs::perms::owner_read);
    std::ofstream(dir / "target.txt") << "old";
    fs::create_symlink("target.txt", dir / "link.txt");
    fs::create_symlink("later.txt", dir / "dangling.txt");
    {
      OutputFile file;
      ASSERT_EQ(file.Create((dir / c.Output).string()), c.Created);
      if (c.Created) {
        file.Write("new");
        ASSERT_TRUE(file.Close());
        ASSERT_TRUE(file.Commit());
      }
    }
    if (c.Target != nullptr) {
      EXPECT_EQ(Contents(dir / c.Target), "new");
      EXPECT_TRUE(fs::is_symlink(dir / c.Output));
    }
    EXPECT_EQ(Contents(dir / "readonly.txt"), "old");
    EXPECT_EQ(Entries(dir).size(), c.Target != nullptr && std::string(c.Target) == "later.txt" ? 6u : 5u);
  }
  // /dev/full takes the open and refuses every byte, as a full disk does.
  if (fs::exists("/dev/full")) {
    OutputFile file;
    ASSERT_TRUE(file.Create("/dev/full"));
    file.Write(std::string(1 << 17, 'x'));
    EXPECT_FALSE(file.Close());
    EXPECT_FALSE(file.Commit());
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
  }
  fs::remove_all(dir);
}

// One file that cannot take its name stops the rest from taking theirs.
TEST(OutputFile, CommitAllStopsAtTheFirstFailure) {
  const fs::path dir = fs::path(::testing::TempDir()) / "output_file_all";
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::ofstream(dir / "b.txt") << "old b";
  OutputFile a, b, c;
  ASSERT_TRUE(a.Create((dir / "a.txt").string()));
  ASSERT_TRUE(b.Create((dir / "b.txt").string()));
  ASSERT_TRUE(c.Create((dir / "c.txt").string()));
  for (OutputFile* file : {&a, &b, &c}) file->Write("new");
  ASSERT_TRUE(a.Close());
  ASSERT_TRUE(c.Close());
  // b never closed: not complete, so neither it nor c takes its name.
  OutputFile* const files[] = {&a, &b, &c};
  EXPECT_EQ(CommitAll(files), 1u);
  EXPECT_EQ(Contents(dir / "a.txt"), "new");
  EXPECT_EQ(Contents(dir / "b.txt"), "old b");
  EXPECT_EQ(Entries(dir), (std::vector<std::string>{"a.txt", "b.txt"}));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace propsmooth
