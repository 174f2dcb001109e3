// Runs the built propsmooth as a child process and handles its files.
#ifndef PROPSMOOTH_E2E_RUN_TOOL_H_
#define PROPSMOOTH_E2E_RUN_TOOL_H_

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace propsmooth::e2e {

/// What one run of the program left on its streams and how it ended.
struct ToolResult {
  std::string Stdout;  // every byte written to standard output
  std::string Stderr;  // every byte written to standard error
  int Status = -1;     // exit status 0..255; -1 when ended by a signal
};

/// The path of the propsmooth executable under test.
std::filesystem::path ToolPath();

/// The root of the source tree (for tests/golden and examples).
std::filesystem::path SourceDir();

/// Runs propsmooth with `args` (after the program name, passed unchanged:
/// no shell sees them) in the folder `work_dir`, standard input empty.
/// Waits for the end and returns both streams and the exit status. Fails
/// the current test (and returns Status -1) when the child cannot start.
/// A non-zero `address_space_limit` (bytes) caps the child's memory.
ToolResult RunTool(const std::filesystem::path& work_dir,
                   const std::vector<std::string>& args,
                   std::uint64_t address_space_limit = 0);

/// A fresh, empty folder under the system's temporary folder, removed
/// with everything in it (read-only subfolders included) when destroyed.
/// Not copyable.
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
