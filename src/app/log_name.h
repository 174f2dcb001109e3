// The log file's name and the console time stamps.
#ifndef PROPSMOOTH_APP_LOG_NAME_H_
#define PROPSMOOTH_APP_LOG_NAME_H_

#include <ctime>
#include <string>
#include <string_view>

namespace propsmooth {

/// The log file's name: `out_file_name` with its extension replaced by
/// "log". Drive ("C:"), directory and base name are kept; "/" and "\" both
/// separate; a last element "." or ".." is a directory, so a backslash and
/// ".log" follow it. Pure: touches no file, and has no length limit.
std::string MakeLogFileName(std::string_view out_file_name);

/// The local time `when` as "Mon Jan 05 09:03:07 2004\n": weekday, month,
/// two-digit day, time, year padded with blanks to four characters.
std::string FormatTimeStamp(const std::tm& when);

}  // namespace propsmooth

#endif  // PROPSMOOTH_APP_LOG_NAME_H_
