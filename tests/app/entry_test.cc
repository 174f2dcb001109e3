// What main() makes of an exception that escapes a command: a status and a
// message instead of std::terminate, and no half-written file left behind.
#include "app/entry.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "common/output_file.h"

namespace propsmooth {
namespace {

namespace fs = std::filesystem;

std::string Contents(std::FILE* stream) {
  std::fflush(stream);
  std::rewind(stream);
  std::string text;
  for (int c = std::fgetc(stream); c != EOF; c = std::fgetc(stream)) {
    text.push_back(static_cast<char>(c));
  }
  return text;
}

// Test that each kind of exception ends in its status and message, on the
// console (out of memory) or standard error (anything else), and that the
// file the command was writing when it came is gone.
TEST(RunCommandOn, TurnsAnEscapedExceptionIntoItsStatus) {
  struct Case {
    const char* Name;
    std::function<void()> Throw;
    int Status;
    const char* Out;  // expected on the console
    const char* Err;  // expected on standard error
  };
  const Case kCases[] = {
      {"runtime_error", [] { throw std::runtime_error("no such branch"); }, 6, "",
       "prog: internal error: no such branch; any file being written was removed; please "
       "report this with the command and data that led to it\n"},
      {"not_an_exception", [] { throw 42; }, 6, "",
       "prog: internal error: an exception of unknown type; any file being written was "
       "removed; please report this with the command and data that led to it\n"},
      {"bad_alloc", [] { throw std::bad_alloc(); }, 4, "\n ERROR!! Not enough memory \n\n", ""},
  };
  const fs::path dir = fs::path(::testing::TempDir()) / "entry_test";
  fs::create_directories(dir);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.Name);
    const std::string name = (dir / (std::string(c.Name) + ".tsv")).string();
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ASSERT_NE(out, nullptr);
    ASSERT_NE(err, nullptr);
    const StreamCommand command = [&](std::span<const std::string_view>,
                                      const StandardStreams&) -> ExitStatus {
      OutputFile file;
      if (!file.Create(name)) throw std::logic_error("cannot create " + name);
      file.Write("half a table\r\n");
      file.Flush();
      c.Throw();
      return ExitStatus::kSuccess;
    };
    StandardStreams streams;
    streams.Out = out;
    streams.Err = err;
    EXPECT_EQ(RunCommandOn("prog", {}, command, streams), c.Status);
    EXPECT_EQ(Contents(out), c.Out);
    EXPECT_EQ(Contents(err), c.Err);
    EXPECT_FALSE(fs::exists(name));
    std::fclose(out);
    std::fclose(err);
  }
}

}  // namespace
}  // namespace propsmooth
