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

// The length of the well-formed UTF-8 character at the start of `text`
// (RFC 3629's table of byte ranges); 0 when it starts with none.
std::size_t Utf8Length(std::string_view text) {
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong form
    if (lead == 0xED) high = 0x9F;  // no surrogate
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // no overlong form
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

void AppendHex(unsigned char byte, std::string* out) {
  constexpr char kHex[] = "0123456789ABCDEF";
  *out += "\\x";
  *out += kHex[byte >> 4];
  *out += kHex[byte & 0xF];
}

void AppendEscaped(std::string_view text, bool escape_quotes, std::string* out) {
  std::size_t at = 0;
  while (at < text.size()) {
    const char c = text[at];
    const auto byte = static_cast<unsigned char>(c);
    const std::size_t length = Utf8Length(text.substr(at));
    if (length == 0) {
      AppendHex(byte, out);
      ++at;
      continue;
    }
    if (length > 1) {
      // U+0080 to U+009F: C2 80 to C2 9F.
      if (byte == 0xC2 && static_cast<unsigned char>(text[at + 1]) <= 0x9F) {
        AppendHex(byte, out);
        AppendHex(static_cast<unsigned char>(text[at + 1]), out);
      } else {
        out->append(text.substr(at, length));
      }
      at += length;
      continue;
    }
    ++at;
    if (escape_quotes && (c == '"' || c == '\\')) {
      *out += '\\';
      *out += c;
    } else if (c == '\n') {
      *out += "\\n";
    } else if (c == '\r') {
      *out += "\\r";
    } else if (c == '\t') {
      *out += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      AppendHex(byte, out);
    } else {
      *out += c;
    }
  }
}

}  // namespace

CellNumber ReadCountCell(std::string_view text, bool decimal_comma) {
  text = TrimBlanks(text);
  const bool negative = !text.empty() && text.front() == '-';
  if (negative || (!text.empty() && text.front() == '+')) text.remove_prefix(1);
  const std::size_t digits =
      static_cast<std::size_t>(std::find_if_not(text.begin(), text.end(), IsDigit) - text.begin());
  if (digits == 0) return {};
  // A fraction of zeros only: "." and at least one "0".
  const std::string_view fraction = text.substr(digits);
  const bool decimal_mark =
      !fraction.empty() && (fraction.front() == '.' || (decimal_comma && fraction.front() == ','));
  // Where the comma is the decimal mark the point groups thousands, and
  // either may: "1.000" and "1,000" may be a thousand, never read as 1.
  if (decimal_comma && fraction.size() == 4) return {};
  if (!fraction.empty() && (fraction.size() < 2 || !decimal_mark ||
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

PositiveNumber ReadPositiveCell(std::string_view text, bool decimal_comma) {
  text = TrimBlanks(text);
  std::string plain(text);
  if (decimal_comma) {
    // Only the comma is a decimal mark there; a point is refused, as it
    // may group thousands.
    if (plain.find('.') != std::string::npos) return {};
    std::replace(plain.begin(), plain.end(), ',', '.');
  }
  // A sign, then digits and a point, then an optional exponent: the form
  // from_chars reads, checked first so that "0x10" or "1e" is no number.
  std::size_t at = 0;
  if (at < plain.size() && (plain[at] == '+' || plain[at] == '-')) ++at;
  const std::size_t body = at;
  std::string_view rest = std::string_view(plain).substr(body);
  for (const std::string_view word : {"inf", "infinity", "nan"}) {
    if (rest.size() == word.size() &&
        std::equal(rest.begin(), rest.end(), word.begin(),
                   [](char a, char b) { return (a | 0x20) == b; })) {
      return {PositiveReading::kNotFinite, 0.0};
    }
  }
  bool digits = false;
  while (at < plain.size() && IsDigit(plain[at])) digits = (++at, true);
  if (at < plain.size() && plain[at] == '.') {
    ++at;
    while (at < plain.size() && IsDigit(plain[at])) digits = (++at, true);
  }
  if (!digits) return {};
  if (at < plain.size() && (plain[at] == 'e' || plain[at] == 'E')) {
    ++at;
    if (at < plain.size() && (plain[at] == '+' || plain[at] == '-')) ++at;
    if (at == plain.size() || !IsDigit(plain[at])) return {};
    while (at < plain.size() && IsDigit(plain[at])) ++at;
  }
  if (at != plain.size()) return {};
  double value = 0.0;
  const char* first = plain.data() + (plain[0] == '+' ? 1 : 0);
  const auto [end, error] = std::from_chars(first, plain.data() + plain.size(), value);
  if (error == std::errc::result_out_of_range) {
    // Beyond a double's range: too large is no finite number; too small
    // rounds to 0, which is not above 0.
    const std::size_t mark = plain.find_first_of("eE");
    const bool tiny = mark != std::string::npos && plain[mark + 1] == '-';
    return {tiny ? PositiveReading::kNotAbove0 : PositiveReading::kNotFinite, 0.0};
  }
  if (error != std::errc() || end != plain.data() + plain.size()) return {};
  if (!(value > 0.0)) return {PositiveReading::kNotAbove0, 0.0};
  return {PositiveReading::kPositive, value};
}

bool IsMissingValueText(std::string_view text) {
  static constexpr std::array<std::string_view, 14> kMissing = {
      "",     "NA",   "N/A",  "n/a",  "NaN", "nan", "NULL",
      "null", "None", "<NA>", "#N/A", "#NA", ".",   "-"};
  text = TrimBlanks(text);
  return std::find(kMissing.begin(), kMissing.end(), text) != kMissing.end();
}

bool IsMissingGroupText(std::string_view text) {
  text = TrimBlanks(text);
  return text.empty() || text == "NA";
}

std::size_t FirstNonUtf8Byte(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length = Utf8Length(text.substr(at));
    if (length == 0) return at;
    at += length;
  }
  return std::string_view::npos;
}

void AppendPrintable(std::string_view text, std::string* out) { AppendEscaped(text, false, out); }

std::string PrintableText(std::string_view text) {
  std::string out;
  AppendEscaped(text, false, &out);
  return out;
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
  AppendEscaped(shown, true, &out);
  out += '"';
  if (shown.size() < text.size()) out += "...";
  return out;
}

std::string EscapeForMessage(std::string_view text) {
  std::string out;
  AppendEscaped(text, true, &out);
  return out;
}

}  // namespace propsmooth
