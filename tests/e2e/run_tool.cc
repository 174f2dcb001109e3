#include "e2e/run_tool.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>  // sigabbrev_np
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include <gtest/gtest.h>

extern char** environ;

namespace propsmooth::e2e {
namespace {

// Closes its descriptor once; -1 means none.
class Fd {
 public:
  Fd() = default;
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int* out() { return &fd_; }
  void Reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

bool MakePipe(Fd* read_end, Fd* write_end) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return false;
  *read_end->out() = ends[0];
  *write_end->out() = ends[1];
  return true;
}

// Reads both pipes to their ends at once, so that neither child stream can
// fill up and block the child while the other is being waited on, then
// reaps the child; returns its wait status.
int Supervise(pid_t pid, int out_fd, int err_fd, std::string* out, std::string* err) {
  std::array<pollfd, 2> polls{{{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}}};
  std::array<std::string*, 2> sinks{out, err};
  int open_count = 2;
  char buffer[8192];
  while (open_count > 0) {
    const int ready = poll(polls.data(), polls.size(), -1);
    if (ready < 0 && errno != EINTR) {
      ADD_FAILURE() << "poll: " << std::strerror(errno);
      kill(pid, SIGKILL);
      break;
    }
    for (std::size_t i = 0; ready > 0 && i < polls.size(); ++i) {
      if (polls[i].fd < 0 || polls[i].revents == 0) continue;
      const ssize_t n = read(polls[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        polls[i].fd = -1;
        --open_count;
      }
    }
  }
  int wait_status = 0;
  while (waitpid(pid, &wait_status, 0) < 0) {
    if (errno != EINTR) {
      ADD_FAILURE() << "waitpid: " << std::strerror(errno);
      break;
    }
  }
  return wait_status;
}

}  // namespace

bool operator==(const ProcessEnd& end, int exit_status) {
  return end.Signal == 0 && end.ExitStatus == exit_status;
}

void PrintTo(const ProcessEnd& end, std::ostream* out) {
  if (end.Signal != 0) {
    const char* name = sigabbrev_np(end.Signal);
    *out << "killed by signal "
         << (name != nullptr ? "SIG" + std::string(name) : std::to_string(end.Signal));
  } else if (end.ExitStatus >= 0) {
    *out << "exit status " << end.ExitStatus;
  } else {
    *out << "not run";
  }
}

std::filesystem::path ToolPath() { return PROPSMOOTH_TOOL_PATH; }

std::filesystem::path SourceDir() { return PROPSMOOTH_SOURCE_DIR; }

std::filesystem::path GoldenDir(const std::string& name) {
  return SourceDir() / "tests" / "golden" / name;
}

ToolResult RunProgram(const std::filesystem::path& program,
                      const std::filesystem::path& work_dir,
                      const std::vector<std::string>& args, std::uint64_t address_space) {
  ToolResult result;
  const std::string path = program.string();
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const std::string dir = work_dir.string();

  Fd out_read, out_write, err_read, err_write;
  if (!MakePipe(&out_read, &out_write) || !MakePipe(&err_read, &err_write)) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return result;
  }
  const pid_t pid = fork();
  if (pid < 0) {
    ADD_FAILURE() << "fork: " << std::strerror(errno);
    return result;
  }
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec.
    const int null_fd = open("/dev/null", O_RDONLY);
    if (null_fd < 0 || dup2(null_fd, 0) < 0 || dup2(out_write.get(), 1) < 0 ||
        dup2(err_write.get(), 2) < 0 || chdir(dir.c_str()) != 0) {
      _exit(126);
    }
    // A crash is reported by its signal; no core file is left behind.
    const rlimit no_core{0, 0};
    if (setrlimit(RLIMIT_CORE, &no_core) != 0) _exit(126);
    if (address_space != 0) {
      const rlimit limit{address_space, address_space};
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
    }
    execve(path.c_str(), argv.data(), environ);
    _exit(127);
  }
  out_write.Reset();
  err_write.Reset();
  const int wait_status =
      Supervise(pid, out_read.get(), err_read.get(), &result.Stdout, &result.Stderr);
  if (WIFEXITED(wait_status)) result.Status.ExitStatus = WEXITSTATUS(wait_status);
  if (WIFSIGNALED(wait_status)) result.Status.Signal = WTERMSIG(wait_status);
  // 126 and 127 are the child's own codes for "could not start".
  if (result.Status == 126 || result.Status == 127) {
    ADD_FAILURE() << "could not run " << path << " in " << dir;
  }
  return result;
}

ToolResult RunTool(const std::filesystem::path& work_dir,
                   const std::vector<std::string>& args, std::uint64_t address_space) {
  return RunProgram(ToolPath(), work_dir, args, address_space);
}

TempDir::TempDir() {
  // Without its folder a test would write into the current one: it stops.
  std::error_code error;
  const std::filesystem::path parent = std::filesystem::temp_directory_path(error);
  if (error) throw std::runtime_error("no temporary folder: " + error.message());
  std::string pattern = (parent / "propsmooth-e2e-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot create a folder in " + parent.string() + ": " +
                             std::strerror(errno));
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  namespace fs = std::filesystem;
  std::error_code error;
  // A test may have taken the write permission off a folder; give it back
  // so that its entries can be removed. Links are not followed.
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, error);
  for (auto it = fs::recursive_directory_iterator(path_, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_directory(error) && !it->is_symlink(error)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add,
                      error);
    }
  }
  fs::remove_all(path_, error);
}

void WriteFile(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream stream(file, std::ios::binary | std::ios::trunc);
  stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  stream.close();
  if (!stream) ADD_FAILURE() << "cannot write " << file;
}

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream stream(file, std::ios::binary);
  if (!stream) {
    ADD_FAILURE() << "cannot read " << file;
    return "";
  }
  return std::string(std::istreambuf_iterator<char>(stream),
                     std::istreambuf_iterator<char>());
}

std::vector<std::string> ListFiles(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    names.push_back(entry.path().filename().string());
  }
  if (error) ADD_FAILURE() << "cannot list " << dir << ": " << error.message();
  std::sort(names.begin(), names.end());
  return names;
}

std::map<std::string, std::string> Snapshot(const std::filesystem::path& dir) {
  std::map<std::string, std::string> entries;
  for (const std::string& name : ListFiles(dir)) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(dir / name, error)) {
      entries[name] = "<not a file>";
      continue;
    }
    std::ifstream stream(dir / name, std::ios::binary);
    entries[name] = stream ? std::string(std::istreambuf_iterator<char>(stream),
                                         std::istreambuf_iterator<char>())
                           : "<unreadable>";
  }
  return entries;
}

void ExpectStops(const TempDir& dir, const std::vector<std::string>& args, int status,
                 const std::string& console) {
  const auto before = Snapshot(dir.path());
  const ToolResult result = RunTool(dir.path(), args);
  EXPECT_EQ(result.Status, status);
  EXPECT_EQ(result.Stdout, console);
  EXPECT_EQ(Snapshot(dir.path()), before);
}

ScopedEnvironment::ScopedEnvironment(const char* name, const std::string& value)
    : name_(name) {
  if (const char* saved = std::getenv(name)) {
    saved_ = saved;
    was_set_ = true;
  }
  setenv(name, value.c_str(), 1);
}

ScopedEnvironment::~ScopedEnvironment() {
  if (was_set_) {
    setenv(name_.c_str(), saved_.c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

std::string Banner() {
  return "EB estimator for Binomial-Beta model [Version 1.1]\n"
         " propsmooth: empirical Bayes smoothing of proportions\n"
         "\n";
}

std::string NameLines(const std::string& data_file, const std::string& out_file,
                      const std::string& log_file) {
  return " DataFileName: " + data_file + "\n OutFileName : " + out_file +
         "\n LogFileName : " + log_file + "\n";
}

std::string CrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (const char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

}  // namespace propsmooth::e2e
