#include "app/options.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace propsmooth {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string_view SkipBlanks(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  return text.substr(i);
}

// True when `arg` starts with '-' and `letter` in either case.
bool HasOptionPrefix(std::string_view arg, char letter) {
  return arg.size() >= 2 && arg[0] == '-' && Upper(arg[1]) == letter;
}

}  // namespace

std::optional<std::int32_t> ReadOptionInteger(std::string_view text) {
  text = SkipBlanks(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  // Accumulate the magnitude with room for INT32_MIN's.
  constexpr std::int64_t kLimit = std::int64_t{1} << 31;
  std::int64_t magnitude = 0;
  for (std::size_t i = 0; i < text.size() && IsDigit(text[i]); ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > kLimit) return std::nullopt;
  }
  if (!negative && magnitude == kLimit) return std::nullopt;
  return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

double ReadOptionFloat(std::string_view text) {
  text = SkipBlanks(text);
  std::size_t i = 0;
  bool negative = false;
  bool has_sign = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    has_sign = true;
    ++i;
  }
  if (has_sign) {
    const std::string_view word = text.substr(i, 3);
    if (word == "INF") {
      return negative ? -std::numeric_limits<double>::infinity()
                      : std::numeric_limits<double>::infinity();
    }
    if (word == "NAN") return std::numeric_limits<double>::quiet_NaN();
  }
  const std::size_t mantissa_begin = i;
  bool seen_point = false;
  bool seen_digit = false;
  for (; i < text.size(); ++i) {
    if (IsDigit(text[i])) {
      seen_digit = true;
    } else if (text[i] == '.' && !seen_point) {
      seen_point = true;
    } else {
      break;
    }
  }
  // Nothing was converted, so the sign is dropped too.
  if (!seen_digit) return 0.0;
  std::size_t end = i;
  // An exponent counts only when at least one digit follows its sign.
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && IsDigit(text[j])) {
      while (j < text.size() && IsDigit(text[j])) ++j;
      end = j;
    }
  }
  const std::string_view number = text.substr(mantissa_begin, end - mantissa_begin);
  double value = 0.0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(),
                                      value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // from_chars leaves the value unset beyond the double range; strtod on
    // the same plain decimal text gives the rounded IEEE result (an
    // infinity or an underflowed value). The text holds no hexadecimal
    // form or word, so strtod reads it exactly as scanned.
    const std::string copy(number);
    value = std::strtod(copy.c_str(), nullptr);
  }
  return negative ? -value : value;
}

bool ParseOptions(std::span<const std::string_view> args, RunSettings* settings) {
  for (const std::string_view arg : args) {
    if (arg.size() == 2 && HasOptionPrefix(arg, 'T')) {
      settings->ShowTimes = true;
    } else if (HasOptionPrefix(arg, 'L')) {
      const std::optional<std::int32_t> limit = ReadOptionInteger(arg.substr(2));
      if (!limit) return false;
      settings->IterationLimit = *limit;
    } else if (HasOptionPrefix(arg, 'E')) {
      const double eps = ReadOptionFloat(arg.substr(2));
      if (std::isnan(eps)) return false;
      settings->Eps = eps;
    } else if (HasOptionPrefix(arg, 'A') || HasOptionPrefix(arg, 'B')) {
      const double start = ReadOptionFloat(arg.substr(2));
      if (std::isnan(start) || start == std::numeric_limits<double>::infinity()) {
        return false;
      }
      (Upper(arg[1]) == 'A' ? settings->AlphaInit : settings->BetaInit) = start;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace propsmooth
