// Option reading on arbitrary argument lists: the input is split at NUL
// bytes into arguments, as a command line is. Checks, besides the
// sanitizers:
// - every number agrees with an independent reading through strtoll and
//   strtod of the longest prefix that the reading rules allow;
// - ParseOptions accepts exactly the lists whose every argument is an
//   option with a defined value, and then the last occurrence of each wins;
// - accepted settings hold no NaN and no +inf starting value.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/types.h"
#include "app/options.h"
#include "fuzz_check.h"

namespace propsmooth {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

bool SameDouble(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

// strtoll reads the same form (blanks, sign, digits); the 32-bit limit is
// the option reader's own.
std::optional<std::int32_t> ReferenceInteger(std::string_view text) {
  const std::string copy(text);
  errno = 0;
  const long long value = std::strtoll(copy.c_str(), nullptr, 10);
  if (errno == ERANGE || value < INT32_MIN || value > INT32_MAX)
    return std::nullopt;
  return static_cast<std::int32_t>(value);
}

// strtod reads more forms than the options do (hexadecimal, "inf", "nan",
// lower case): hand it only the characters that can belong to a decimal
// number, and treat the two upper-case words apart.
double ReferenceFloat(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i]))
    ++i;
  text.remove_prefix(i);
  if (text.size() >= 4 && (text[0] == '+' || text[0] == '-')) {
    const std::string_view word = text.substr(1, 3);
    if (word == "INF")
      return text[0] == '-' ? -HUGE_VAL : HUGE_VAL;
    if (word == "NAN")
      return std::nan("");
  }
  std::size_t n = 0;
  while (n < text.size() &&
         std::strchr("0123456789.eE+-", text[n]) != nullptr &&
         text[n] != '\0') {
    ++n;
  }
  const std::string copy(text.substr(0, n));
  return std::strtod(copy.c_str(), nullptr);
}

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

}  // namespace
}  // namespace propsmooth

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace propsmooth;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> args;
  for (std::size_t begin = 0; begin <= bytes.size();) {
    const std::size_t end = std::min(bytes.find('\0', begin), bytes.size());
    args.push_back(bytes.substr(begin, end - begin));
    begin = end + 1;
  }

  RunSettings expected;
  bool expected_ok = true;
  for (const std::string_view arg : args) {
    const std::string_view value =
        arg.size() >= 2 ? arg.substr(2) : std::string_view();
    const char letter = arg.size() >= 2 && arg[0] == '-' ? Upper(arg[1]) : '\0';
    if (letter == 'L') {
      const std::optional<std::int32_t> limit = ReadOptionInteger(value);
      const std::optional<std::int32_t> reference = ReferenceInteger(value);
      Check(limit == reference, "integer as strtoll reads it");
    } else if (letter == 'E' || letter == 'A' || letter == 'B') {
      Check(SameDouble(ReadOptionFloat(value), ReferenceFloat(value)),
            "floating-point number as strtod reads it");
    }
    if (!expected_ok)
      continue;
    if (arg.size() == 2 && letter == 'T') {
      expected.ShowTimes = true;
    } else if (letter == 'L') {
      const std::optional<std::int32_t> limit = ReferenceInteger(value);
      if (limit)
        expected.IterationLimit = *limit;
      else
        expected_ok = false;
    } else if (letter == 'E') {
      const double eps = ReferenceFloat(value);
      if (std::isnan(eps))
        expected_ok = false;
      else
        expected.Eps = eps;
    } else if (letter == 'A' || letter == 'B') {
      const double start = ReferenceFloat(value);
      if (std::isnan(start) || start == HUGE_VAL) {
        expected_ok = false;
      } else {
        (letter == 'A' ? expected.AlphaInit : expected.BetaInit) = start;
      }
    } else {
      expected_ok = false;
    }
  }

  RunSettings settings;
  const bool ok = ParseOptions(args, &settings);
  Check(ok == expected_ok, "accepted exactly the lists of defined options");
  if (!ok)
    return 0;
  Check(settings.ShowTimes == expected.ShowTimes &&
            settings.IterationLimit == expected.IterationLimit &&
            SameDouble(settings.Eps, expected.Eps) &&
            SameDouble(settings.AlphaInit, expected.AlphaInit) &&
            SameDouble(settings.BetaInit, expected.BetaInit),
        "the last occurrence of each option wins");
  Check(!std::isnan(settings.Eps) && !std::isnan(settings.AlphaInit) &&
            !std::isnan(settings.BetaInit) && settings.AlphaInit != HUGE_VAL &&
            settings.BetaInit != HUGE_VAL,
        "accepted values are defined");
  return 0;
}
