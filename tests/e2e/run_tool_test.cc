// The runner of the end-to-end tests: how it reports the way a child
// ended, that it kills a child at its timeout, and that a test without its
// own folder stops.
#include "e2e/run_tool.h"

#include <signal.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace propsmooth::e2e {
namespace {

using std::chrono::milliseconds;

// An ending equals its exit status alone and prints as what happened.
TEST(RunProgram, ReportsHowTheChildEnded) {
  struct Case {
    const char* Program;
    std::vector<std::string> Args;
    milliseconds Timeout;
    int ExitStatus;  // -1: killed
    int Signal;
    const char* Printed;
  };
  const Case cases[] = {
      {"/bin/sh", {"-c", "echo out; echo err >&2; exit 3"}, milliseconds(60000), 3, 0,
       "exit status 3"},
      {"/bin/sh", {"-c", "kill -SEGV $$"}, milliseconds(60000), -1, SIGSEGV,
       "killed by signal SIGSEGV"},
      // A minute's sleep against a fifth of a second: not waited out.
      {"/bin/sleep", {"60"}, milliseconds(200), -1, SIGKILL,
       "killed by signal SIGKILL after the 200 ms timeout"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Printed);
    TempDir dir;
    RunLimits limits;
    limits.Timeout = c.Timeout;
    const ToolResult result = RunProgram(c.Program, dir.path(), c.Args, limits);
    EXPECT_EQ(result.Status.ExitStatus, c.ExitStatus);
    EXPECT_EQ(result.Status.Signal, c.Signal);
    EXPECT_EQ(result.Status.TimedOut, c.Signal == SIGKILL);
    EXPECT_EQ(testing::PrintToString(result.Status), c.Printed);
    // A killed child equals no status: not 139, as a shell shows SIGSEGV,
    // nor -1, the "no status" of old.
    for (const int status : {3, 139, -1}) {
      EXPECT_EQ(result.Status == status, c.Signal == 0 && status == c.ExitStatus) << status;
    }
  }
  TempDir dir;
  const ToolResult streams = RunProgram("/bin/sh", dir.path(), {"-c", "echo out; echo err >&2"});
  EXPECT_EQ(streams.Stdout, "out\n");
  EXPECT_EQ(streams.Stderr, "err\n");
}

// Not even root can make a folder in /proc: the test must stop there
// instead of writing into the current folder.
TEST(TempDir, ThrowsWhereNoFolderCanBeMade) {
  const ScopedEnvironment tmpdir("TMPDIR", "/proc");
  EXPECT_THROW({ const TempDir dir; }, std::runtime_error);
}

}  // namespace
}  // namespace propsmooth::e2e
