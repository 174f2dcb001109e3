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

}  // namespace propsmooth

#endif  // PROPSMOOTH_COMMON_PLATFORM_H_
