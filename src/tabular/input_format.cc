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
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return std::nullopt;
  std::string extension(name.substr(dot + 1));
  std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  if (extension == "csv") return InputFormat::kCsv;
  if (extension == "tsv" || extension == "tab") return InputFormat::kTsv;
  return std::nullopt;
}

InputFormat FormatFromFirstLine(std::string_view line) {
  const bool numbers_only = std::all_of(
      line.begin(), line.end(), [](char c) { return IsLegacyNumberByte(c) || IsLegacyBlank(c); });
  if (numbers_only) return InputFormat::kLegacy;
  if (line.find('\t') != std::string_view::npos) return InputFormat::kTsv;
  if (line.find(',') != std::string_view::npos) return InputFormat::kCsv;
  return InputFormat::kLegacy;
}

std::string_view WithoutByteOrderMark(std::string_view text) {
  constexpr std::string_view kMark = "\xEF\xBB\xBF";
  if (text.substr(0, kMark.size()) == kMark) text.remove_prefix(kMark.size());
  return text;
}

}  // namespace propsmooth
