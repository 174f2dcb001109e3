// An output file abandoned by an exception is removed; one merely left
// unclosed on a normal return keeps what was written.
#include "common/output_file.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

namespace fs = std::filesystem;

TEST(OutputFile, RemovedOnlyWhenAnExceptionLeavesItOpen) {
  const fs::path dir = fs::path(::testing::TempDir()) / "output_file_test";
  fs::create_directories(dir);
  const struct {
    const char* name;
    bool throws;
    bool closes;
    bool kept;
  } cases[] = {
      {"thrown_open.txt", true, false, false},
      {"thrown_closed.txt", true, true, true},
      {"returned_open.txt", false, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = (dir / c.name).string();
    try {
      OutputFile file;
      ASSERT_TRUE(file.Create(name));
      file.Write("complete\r\n");
      if (c.closes) {
        ASSERT_TRUE(file.Close());
      }
      if (c.throws) throw std::bad_alloc();
    } catch (const std::bad_alloc&) {
    }
    EXPECT_EQ(fs::exists(name), c.kept);
    if (c.kept) {
      std::ifstream in(name, std::ios::binary);
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "complete\r\n");
    }
  }
  // An exception already in flight when the file is made does not count.
  const std::string inner = (dir / "made_while_unwinding.txt").string();
  struct MakesAFile {
    std::string name;
    ~MakesAFile() {
      OutputFile file;
      if (file.Create(name)) file.Write("x");
    }
  };
  try {
    MakesAFile maker{inner};
    throw std::bad_alloc();
  } catch (const std::bad_alloc&) {
  }
  EXPECT_TRUE(fs::exists(inner));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace propsmooth
