#include "common/platform.h"

#include <sys/stat.h>

#include <fcntl.h>

#ifdef _WIN32
#include <io.h>
#else
#include <csignal>
#include <unistd.h>
#endif

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

namespace propsmooth {

std::tm LocalTime(std::time_t when) {
  std::tm local{};
#ifdef _WIN32
  // The C11 Annex K order: result first; zero on success.
  if (localtime_s(&local, &when) != 0) local = std::tm{};
#else
  if (localtime_r(&when, &local) == nullptr) local = std::tm{};
#endif
  return local;
}

// A large table filled page by page costs one fault per 4 KiB page; large
// pages cut that by a factor of 512. The hint is Linux's; other systems
// (macOS has madvise but no MADV_HUGEPAGE; Windows gives large pages only
// to accounts holding a privilege) keep ordinary pages.
#ifdef MADV_HUGEPAGE
void AskForLargePages(void* begin, std::size_t bytes) {
  constexpr std::uintptr_t kLarge = std::uintptr_t{1} << 21;
  const auto first = (reinterpret_cast<std::uintptr_t>(begin) + kLarge - 1) & ~(kLarge - 1);
  const auto last = (reinterpret_cast<std::uintptr_t>(begin) + bytes) & ~(kLarge - 1);
  if (last > first) {
    madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  }
}
#else
void AskForLargePages(void*, std::size_t) {}
#endif

bool NameOneExistingFile(const std::string& a, const std::string& b) {
  // Windows' st_ino is always 0; the library compares the volume and file
  // index there, device and inode elsewhere.
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

bool InspectStream(std::FILE* stream, StreamKind* kind) {
#ifdef _WIN32
  // The plain stat's size is 32 bits on Windows, also in 64-bit programs.
  struct _stat64 info {};
  if (_fstat64(_fileno(stream), &info) != 0) return false;
  kind->Folder = (info.st_mode & _S_IFMT) == _S_IFDIR;
  kind->Regular = (info.st_mode & _S_IFMT) == _S_IFREG;
#else
  struct stat info {};
  if (fstat(fileno(stream), &info) != 0) return false;
  kind->Folder = S_ISDIR(info.st_mode);
  kind->Regular = S_ISREG(info.st_mode);
#endif
  kind->Bytes = kind->Regular && info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
  return true;
}

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

std::FILE* CreateNewFile(const std::string& name) {
#ifdef _WIN32
  const int fd = _open(name.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY,
                       _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* stream = _fdopen(fd, "wb");
  if (stream == nullptr) _close(fd);
#else
  const int fd = open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* stream = fdopen(fd, "wb");
  if (stream == nullptr) close(fd);
#endif
  return stream;
}

bool SyncToDevice(std::FILE* stream) {
#ifdef _WIN32
  return _commit(_fileno(stream)) == 0;
#else
  // A file system that cannot sync this file (EINVAL) has nothing to report.
  return fsync(fileno(stream)) == 0 || errno == EINVAL;
#endif
}

#ifdef SYNC_FILE_RANGE_WRITE
void StartWriteToDevice(std::FILE* stream, std::uint64_t begin, std::uint64_t end) {
  // Errors are the final sync's to report.
  (void)sync_file_range(fileno(stream), static_cast<off_t>(begin), static_cast<off_t>(end - begin),
                        SYNC_FILE_RANGE_WRITE);
}
#else
void StartWriteToDevice(std::FILE*, std::uint64_t, std::uint64_t) {}
#endif

void SyncFolder(const std::string& folder) {
#ifndef _WIN32
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
#else
  (void)folder;
#endif
}

bool MayWrite(const std::string& name) {
#ifdef _WIN32
  return _access(name.c_str(), 2) == 0;
#else
  return access(name.c_str(), W_OK) == 0;
#endif
}

bool SameNameText(const std::string& a, const std::string& b) {
#ifdef _WIN32
  const auto lower = [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [&lower](char x, char y) { return lower(x) == lower(y); });
#else
  return a == b;
#endif
}

void IgnoreBrokenPipe() {
#ifndef _WIN32
  std::signal(SIGPIPE, SIG_IGN);
#endif
}

}  // namespace propsmooth
