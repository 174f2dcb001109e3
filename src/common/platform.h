// The few calls that differ between POSIX systems and Windows, so that the
// rest of the program is written once for both.
#ifndef PROPSMOOTH_COMMON_PLATFORM_H_
#define PROPSMOOTH_COMMON_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

namespace propsmooth {

/// `when` as local calendar time. All fields zero when the system cannot
/// convert it (a time before 1970 on Windows, say): the caller prints a
/// wrong stamp, never garbage.
std::tm LocalTime(std::time_t when);

/// Asks the system to back [begin, begin + bytes) with large pages. Only a
/// hint: where the system declines or has none, nothing changes.
void AskForLargePages(void* begin, std::size_t bytes);

/// True when `a` and `b` both exist and are one file reached by two names:
/// another path, a link, or (on Windows) another case or a short name.
/// False when either does not exist or cannot be examined.
bool NameOneExistingFile(const std::string& a, const std::string& b);

/// What an open stream is. False when the system cannot tell.
struct StreamKind {
  bool Folder = false;
  bool Regular = false;
  std::uint64_t Bytes = 0;  // of a regular file
};
bool InspectStream(std::FILE* stream, StreamKind* kind);

/// True when `stream` is a terminal (a console window on Windows).
bool IsTerminal(std::FILE* stream);

/// Creates `name` for writing (binary), only when nothing of that name
/// exists yet, with the permissions a new file gets; null when it exists or
/// cannot be made.
std::FILE* CreateNewFile(const std::string& name);

/// Asks the system to put what it holds of `stream`'s file on the device;
/// false when the device reports an error. Call after fflush.
bool SyncToDevice(std::FILE* stream);

/// Asks the system to start writing bytes [begin, end) of `stream`'s file
/// (flushed already) to the device, without waiting for them: the sync at
/// the end then finds most of a large file written. Only a hint; nothing
/// happens where the system has no such call.
void StartWriteToDevice(std::FILE* stream, std::uint64_t begin, std::uint64_t end);

/// Asks the system to put the entries of `folder` (a rename) on the device,
/// where folders can be synced; errors are ignored, the data being safe.
void SyncFolder(const std::string& folder);

/// True when this process may write the existing file `name`.
bool MayWrite(const std::string& name);

/// True when `a` and `b` are one name as the file system compares names:
/// byte for byte, or regardless of ASCII letter case on Windows.
bool SameNameText(const std::string& a, const std::string& b);

/// Makes a write to a pipe whose reader has gone fail with an error that the
/// writer reports, instead of ending the process silently. Nothing to do on
/// Windows, which has no such signal.
void IgnoreBrokenPipe();

}  // namespace propsmooth

#endif  // PROPSMOOTH_COMMON_PLATFORM_H_
