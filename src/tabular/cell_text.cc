#include "tabular/cell_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <system_error>

namespace propsmooth {
namespace {

constexpr std::size_t kShownBytes = 60;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

void AppendEscaped(std::string_view text, std::string* out) {
  constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        *out += "\\\"";
        break;
      case '\\':
        *out += "\\\\";
        break;
      case '\n':
        *out += "\\n";
        break;
      case '\r':
        *out += "\\r";
        break;
      case '\t':
        *out += "\\t";
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          *out += "\\x";
          *out += kHex[byte >> 4];
          *out += kHex[byte & 0xF];
        } else {
          *out += c;
        }
    }
  }
}

}  // namespace

CellNumber ReadCountCell(std::string_view text) {
  text = TrimBlanks(text);
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  const std::size_t digits =
      static_cast<std::size_t>(std::find_if_not(text.begin(), text.end(), IsDigit) - text.begin());
  if (digits == 0) return {};
  // A fraction of zeros only: "." and at least one "0".
  const std::string_view fraction = text.substr(digits);
  if (!fraction.empty() && (fraction.size() < 2 || fraction.front() != '.' ||
                            fraction.find_first_not_of('0', 1) != std::string_view::npos)) {
    return {};
  }
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + digits, value);
  if (error == std::errc::result_out_of_range) {
    return {negative ? CellReading::kNegative : CellReading::kTooLarge, 0};
  }
  if (negative && value != 0) return {CellReading::kNegative, 0};
  return {CellReading::kWhole, value};
}

bool IsMissingValueText(std::string_view text) {
  static constexpr std::array<std::string_view, 14> kMissing = {
      "",     "NA",   "N/A",  "n/a",  "NaN", "nan", "NULL",
      "null", "None", "<NA>", "#N/A", "#NA", ".",   "-"};
  text = TrimBlanks(text);
  return std::find(kMissing.begin(), kMissing.end(), text) != kMissing.end();
}

std::string QuoteForMessage(std::string_view text) {
  std::string_view shown = text.substr(0, kShownBytes);
  // Never cut a UTF-8 character: drop its lead byte and continuation bytes.
  if (shown.size() < text.size()) {
    std::size_t cut = shown.size();
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    shown = text.substr(0, cut);
  }
  std::string out = "\"";
  AppendEscaped(shown, &out);
  out += '"';
  if (shown.size() < text.size()) out += "...";
  return out;
}

std::string EscapeForMessage(std::string_view text) {
  std::string out;
  AppendEscaped(text, &out);
  return out;
}

}  // namespace propsmooth
