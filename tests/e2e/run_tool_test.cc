// The runner of the end-to-end tests: that a killed child never passes for
// an exit status, and that a test without its own folder stops.
#include "e2e/run_tool.h"

#include <signal.h>

#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace propsmooth::e2e {
namespace {

// An ending equals its exit status alone and prints as what happened.
TEST(RunProgram, ReportsHowTheChildEnded) {
  struct Case {
    std::vector<std::string> Args;
    int ExitStatus;  // -1: killed
    int Signal;
    const char* Printed;
  };
  const Case cases[] = {
      {{"-c", "echo out; echo err >&2; exit 3"}, 3, 0, "exit status 3"},
      {{"-c", "kill -SEGV $$"}, -1, SIGSEGV, "killed by signal SIGSEGV"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Printed);
    TempDir dir;
    const ToolResult result = RunProgram("/bin/sh", dir.path(), c.Args);
    EXPECT_EQ(result.Status.ExitStatus, c.ExitStatus);
    EXPECT_EQ(result.Status.Signal, c.Signal);
    EXPECT_EQ(testing::PrintToString(result.Status), c.Printed);
    // A killed child equals no status: not 139, as a shell shows SIGSEGV,
    // nor -1, the "no status" of old.
    for (const int status : {3, 139, -1}) {
      EXPECT_EQ(result.Status == status, c.Signal == 0 && status == c.ExitStatus) << status;
    }
    EXPECT_EQ(result.Stdout, c.Signal == 0 ? "out\n" : "");
    EXPECT_EQ(result.Stderr, c.Signal == 0 ? "err\n" : "");
  }
}

// Not even root can make a folder in /proc: the test must stop there
// instead of writing into the current folder.
TEST(TempDir, ThrowsWhereNoFolderCanBeMade) {
  const ScopedEnvironment tmpdir("TMPDIR", "/proc");
  EXPECT_THROW({ const TempDir dir; }, std::runtime_error);
}

}  // namespace
}  // namespace propsmooth::e2e
