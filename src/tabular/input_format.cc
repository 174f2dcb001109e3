#include "tabular/input_format.h"

#include <algorithm>
#include <string>

namespace propsmooth {
namespace {

// What separates the legacy reader's numbers; a carriage return is dropped
// before it looks.
bool IsLegacyBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

bool IsLegacyNumberByte(char c) { return (c >= '0' && c <= '9') || c == '+' || c == '-'; }

}  // namespace

std::optional<InputFormat> FormatFromName(std::string_view name) {
  // The extension of the last path component only: "data.csv/input" is no
  // CSV file.
  const std::size_t slash = name.find_last_of("/\\");
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  const auto extension_of = [](std::string_view file) {
    const std::size_t dot = file.rfind('.');
    std::string extension(dot == std::string_view::npos ? "" : file.substr(dot + 1));
    std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) {
      return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return extension;
  };
  std::string extension = extension_of(name);
  // "deaths.csv.gz" is CSV data, compressed.
  if (extension == "gz") extension = extension_of(name.substr(0, name.size() - 3));
  if (extension == "csv") return InputFormat::kCsv;
  if (extension == "tsv" || extension == "tab") return InputFormat::kTsv;
  return std::nullopt;
}

InputFormat FormatFromFirstLine(std::string_view line, char delimiter) {
  const bool numbers_only = std::all_of(
      line.begin(), line.end(), [](char c) { return IsLegacyNumberByte(c) || IsLegacyBlank(c); });
  if (numbers_only) return InputFormat::kLegacy;
  if (delimiter != 0) {
    if (line.find(delimiter) == std::string_view::npos) return InputFormat::kLegacy;
    return delimiter == '\t' ? InputFormat::kTsv : InputFormat::kCsv;
  }
  if (line.find('\t') != std::string_view::npos) return InputFormat::kTsv;
  if (line.find_first_of(",;") != std::string_view::npos) return InputFormat::kCsv;
  return InputFormat::kLegacy;
}

char CsvDelimiterOf(std::string_view line) {
  const bool semicolons_only =
      line.find(';') != std::string_view::npos && line.find(',') == std::string_view::npos;
  return semicolons_only ? ';' : ',';
}

std::string_view FirstFilledLine(std::string_view text) {
  for (;;) {
    const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
    const std::string_view line = text.substr(0, end);
    if (!std::all_of(line.begin(), line.end(), IsLegacyBlank) || end == text.size()) return line;
    text.remove_prefix(end + 1);
  }
}

bool IsGzipData(std::string_view text) { return text.substr(0, 2) == "\x1F\x8B"; }

std::string_view WithoutByteOrderMark(std::string_view text) {
  constexpr std::string_view kMark = "\xEF\xBB\xBF";
  if (text.substr(0, kMark.size()) == kMark) text.remove_prefix(kMark.size());
  return text;
}

}  // namespace propsmooth
