// Runs the built propsmooth as a child process and handles its files.
#ifndef PROPSMOOTH_E2E_RUN_TOOL_H_
#define PROPSMOOTH_E2E_RUN_TOOL_H_

#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace propsmooth::e2e {

/// How a child process ended. Equal to an int only when the child exited
/// with that status; printed as what happened ("exit status 2", "killed by
/// signal SIGSEGV"), so that a failed EXPECT_EQ(result.Status, 0) says it.
struct ProcessEnd {
  int ExitStatus = -1;  // 0..255 when the child exited, else -1
  int Signal = 0;       // the signal that ended it, else 0
};

bool operator==(const ProcessEnd& end, int exit_status);
void PrintTo(const ProcessEnd& end, std::ostream* out);

/// What one run of a program left on its streams and how it ended.
struct ToolResult {
  std::string Stdout;
  std::string Stderr;
  ProcessEnd Status;
};

/// The path of the propsmooth executable under test.
std::filesystem::path ToolPath();

/// The root of the source tree (for tests/golden and examples).
std::filesystem::path SourceDir();

/// The folder of the golden case `name`: tests/golden/<name>.
std::filesystem::path GoldenDir(const std::string& name);

/// The documented five-region example, as in tests/golden/single-group.
inline constexpr const char* kFiveRegions =
    "-1 1 12 100\n-1 2 30 120\n-1 3 5 90\n-1 4 22 110\n-1 5 9 70\n";

/// Runs `program` with `args` (passed unchanged: no shell sees them) in
/// `work_dir`, standard input empty, its address space capped at
/// `address_space` bytes (0: no cap); waits for its end. A run that hangs
/// is ended by the test's CTest timeout. Fails the current test when the
/// child cannot start.
ToolResult RunProgram(const std::filesystem::path& program,
                      const std::filesystem::path& work_dir,
                      const std::vector<std::string>& args, std::uint64_t address_space = 0);

/// RunProgram of propsmooth.
ToolResult RunTool(const std::filesystem::path& work_dir,
                   const std::vector<std::string>& args, std::uint64_t address_space = 0);

/// A fresh, empty folder under the system's temporary folder, removed
/// with everything in it (read-only subfolders included) when destroyed.
/// Throws std::runtime_error, which fails the test that wanted it, when no
/// such folder can be made. Not copyable.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  /// `path() / name`.
  std::filesystem::path operator/(const std::filesystem::path& name) const {
    return path_ / name;
  }

 private:
  std::filesystem::path path_;
};

/// Creates or replaces `file` with exactly `bytes`; fails the current test
/// when that is not possible.
void WriteFile(const std::filesystem::path& file, const std::string& bytes);

/// Every byte of `file`; fails the current test (and gives "") when it
/// cannot be read.
std::string ReadFile(const std::filesystem::path& file);

/// The names of the entries of `dir` (files, folders, links; not
/// recursive), sorted byte-wise.
std::vector<std::string> ListFiles(const std::filesystem::path& dir);

/// Every entry of `dir` (not recursive) with its bytes; a folder or
/// anything else that is not a regular file maps to "<not a file>", a file
/// without read permission to "<unreadable>". Two
/// snapshots compare equal when nothing was created, removed or changed.
std::map<std::string, std::string> Snapshot(const std::filesystem::path& dir);

/// Runs propsmooth with `args` in `dir` and checks that it stops with
/// `status`, having printed exactly `console`, and that not one file of
/// `dir` was created, removed or changed.
void ExpectStops(const TempDir& dir, const std::vector<std::string>& args, int status,
                 const std::string& console);

/// Sets an environment variable (for the runs of one test) and gives back
/// its earlier value, or its absence, when destroyed. Not copyable.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::string saved_;
  bool was_set_ = false;
};

/// The three lines every run starts with: the title, the credit line and
/// an empty line.
std::string Banner();

/// The console lines that name the three files.
std::string NameLines(const std::string& data_file, const std::string& out_file,
                      const std::string& log_file);

/// `text` with every "\n" turned into "\r\n": the line ends of the
/// program's log and table.
std::string CrLf(const std::string& text);

}  // namespace propsmooth::e2e

#endif  // PROPSMOOTH_E2E_RUN_TOOL_H_
