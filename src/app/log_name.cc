#include "app/log_name.h"

#include <cstdio>

namespace propsmooth {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Bytes of the UTF-8 sequence that `lead` starts (1 for plain ASCII and for
// stray continuation bytes, so that no input is skipped).
std::size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

}  // namespace

std::string MakeLogFileName(std::string_view out_file_name) {
  // Drive: the first character, when the second character is ':'. Names are
  // UTF-8; continuation bytes never equal ':', '.', '/' or '\', so only the
  // first character needs decoding.
  std::string_view drive;
  std::string_view rest = out_file_name;
  if (!rest.empty()) {
    const std::size_t first = SequenceLength(static_cast<unsigned char>(rest[0]));
    if (first < rest.size() && rest[first] == ':') {
      drive = rest.substr(0, first + 1);
      rest.remove_prefix(first + 1);
    }
  }
  std::size_t element_begin = 0;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (IsSeparator(rest[i])) element_begin = i + 1;
  }
  std::string_view directory = rest.substr(0, element_begin);
  std::string_view element = rest.substr(element_begin);
  std::string_view base;
  bool element_is_directory = false;
  if (element == "." || element == "..") {
    directory = rest;
    element_is_directory = true;
  } else {
    const std::size_t dot = element.rfind('.');
    base = element.substr(0, dot);  // npos keeps the whole element
  }

  std::string log_name;
  log_name.reserve(out_file_name.size() + 5);
  log_name += drive;
  log_name += directory;
  if (element_is_directory) log_name += '\\';
  log_name += base;
  log_name += ".log";
  return log_name;
}

std::string FormatTimeStamp(const std::tm& when) {
  static constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed",
                                              "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr",
                                            "May", "Jun", "Jul", "Aug",
                                            "Sep", "Oct", "Nov", "Dec"};
  const int weekday = (when.tm_wday % 7 + 7) % 7;
  const int month = (when.tm_mon % 12 + 12) % 12;
  char text[64];
  const int length =
      std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %4d\n",
                    kWeekdays[weekday], kMonths[month], when.tm_mday,
                    when.tm_hour, when.tm_min, when.tm_sec, when.tm_year + 1900);
  return std::string(text, static_cast<std::size_t>(length));
}

}  // namespace propsmooth
