// Reading option values and applying option arguments to the run settings.
#include "app/options.h"

#include <cmath>  // std::isnan, std::signbit
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::int32_t kMaxInt = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMinInt = std::numeric_limits<std::int32_t>::min();

// An integer value is read as the C library's atoi-style scan would read it;
// values that do not fit 32 bits have no defined result and come back empty.
TEST(ReadOptionInteger, ReadsLeadingDecimalInteger) {
  struct Case {
    const char* Text;
    std::optional<std::int32_t> Expected;
  };
  const Case kCases[] = {
      {"", 0},
      {"10", 10},
      {"12abc", 12},
      {"+7", 7},
      {"-5", -5},
      {"x", 0},
      {"-", 0},
      {"+", 0},
      {"--5", 0},
      {"+-5", 0},
      {"- 5", 0},
      {" \t\n\v\f\r9", 9},
      {"3.9", 3},
      {"1e3", 1},
      {"007", 7},
      {"0000000000000000000042", 42},  // leading zeros do not overflow
      {"-0", 0},
      {"2147483647", kMaxInt},
      {"-2147483648", kMinInt},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"2147483648x", std::nullopt},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(ReadOptionInteger(c.Text), c.Expected);
  }
}

// Expected values are the compiler's own correctly rounded reading of the
// same decimal literal, so they do not depend on the reader under test. A
// zero's sign counts: a "-" with digits gives a negative zero as strtod
// does; a lone sign converts nothing and gives plain zero. A mantissa longer
// than any buffer a reader might use still rounds once.
TEST(ReadOptionFloat, ReadsLeadingDecimalNumber) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    std::string Text;
    double Expected;
  };
  const Case kCases[] = {
      {"", 0.0},
      {"1e-3", 0.001},
      {".5", 0.5},
      {"5.", 5.0},
      {"12.3x", 12.3},
      {"0x10", 0.0},  // no hexadecimal form: "0" then junk
      {"+2.5", 2.5},
      {"-2", -2.0},
      {" \t\n\v\f\r2.5", 2.5},
      {"1.2.3", 1.2},
      {"1E2", 100.0},
      {"1e+2", 100.0},
      {"2.5e-1", 0.25},
      {"5.e3", 5000.0},
      {".5e1", 5.0},
      {"1e", 1.0},     // an exponent needs digits, else it is not read
      {"1e+", 1.0},
      {"1e-x", 1.0},
      {"1ee5", 1.0},
      {"1e5.5", 1e5},
      {".", 0.0},
      {"-.", 0.0},
      {"e5", 0.0},     // no digit before the exponent
      {".e5", 0.0},
      {"+ 5", 0.0},
      {"--5", 0.0},
      {"00000000001.5", 1.5},
      {"0.1000000000000000055511151231257827", 0.1},
      {"1e308", 1e308},
      {"1.7976931348623157e308", std::numeric_limits<double>::max()},
      {"4.9406564584124654e-324", std::numeric_limits<double>::denorm_min()},
      {"2.2250738585072014e-308", std::numeric_limits<double>::min()},
      {"1e-400", 0.0},  // below the smallest subnormal: rounds to zero
      {"1e400", kInf},  // beyond the largest double: infinity
      {"-1e400", -kInf},
      {"1.8e308", kInf},
      {"1e99999999999999999999", kInf},
      {"1e-99999999999999999999", 0.0},
      {"0e99999999999999999999", 0.0},
      {"+INF", kInf},
      {"-INF", -kInf},
      {"+INFINITY", kInf},
      {"-INFx", -kInf},
      {"INF", 0.0},  // the words count only directly behind a sign
      {"NAN", 0.0},
      {"+inf", 0.0},  // and only in upper case
      {"+Inf", 0.0},
      {"-nan", 0.0},
      {"+IN", 0.0},
      {"+ INF", 0.0},
      {"+NAN", kNaN},
      {"-NAN", kNaN},
      {" -NANx", kNaN},
      {"-0", -0.0},
      {"-0.0e5", -0.0},
      {"-1e-400", -0.0},
      {"-", 0.0},
      {"-x", 0.0},
      {"1" + std::string(400, '0'), kInf},
      {"0." + std::string(400, '0') + "1", 0.0},
      {std::string(400, '0') + "2.5", 2.5},
      {"2.5" + std::string(400, '0') + "x", 2.5},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.Text.substr(0, 40));
    const double read = ReadOptionFloat(c.Text);
    if (std::isnan(c.Expected)) {
      EXPECT_TRUE(std::isnan(read)) << read;
    } else {
      EXPECT_EQ(read, c.Expected);
      EXPECT_EQ(std::signbit(read), std::signbit(c.Expected)) << read;
    }
  }
}

struct Settings {
  double Eps;
  std::int32_t IterationLimit;
  double AlphaInit;
  double BetaInit;
  bool ShowTimes;
};

// The defaults, written out here rather than taken from RunSettings{} so
// that a changed default is caught too.
constexpr Settings kDefaults = {0.00001, 20, -1.0, -1.0, false};

void ExpectSettings(const RunSettings& actual, const Settings& expected) {
  EXPECT_EQ(actual.Eps, expected.Eps);
  EXPECT_EQ(actual.IterationLimit, expected.IterationLimit);
  EXPECT_EQ(actual.AlphaInit, expected.AlphaInit);
  EXPECT_EQ(actual.BetaInit, expected.BetaInit);
  EXPECT_EQ(actual.ShowTimes, expected.ShowTimes);
}

// Each row is the argument list after the two file names; the first, none,
// checks the defaults. On a refusal the settings show what the arguments
// before the refused one stored. Values of 100,000 characters and bytes
// beyond ASCII behind a value are read as any other. How a value's text
// is read is the readers' tables' above; here each use ParseOptions makes
// of a reading (stored; refused when it does not fit, is NaN or, for a
// start, +INF) comes once per letter.
TEST(ParseOptions, AppliesArgumentsInOrder) {
  struct Case {
    std::vector<std::string> Args;
    bool Accepted;
    Settings Expected;
  };
  const std::string nines(100000, '9');
  const std::string zeros(100000, '0');
  const Case kCases[] = {
      {{}, true, kDefaults},
      {{"-T"}, true, {0.00001, 20, -1.0, -1.0, true}},
      {{"-t"}, true, {0.00001, 20, -1.0, -1.0, true}},
      {{"-Tx"}, false, kDefaults},
      {{"T"}, false, kDefaults},
      {{"-"}, false, kDefaults},
      {{""}, false, kDefaults},
      {{"-X1"}, false, kDefaults},
      {{"/L5"}, false, kDefaults},
      {{"--L5"}, false, kDefaults},
      // "-L" alone reads no digits; the separate "10" is no option.
      {{"-L", "10"}, false, {0.00001, 0, -1.0, -1.0, false}},
      {{"-L5", "-L8"}, true, {0.00001, 8, -1.0, -1.0, false}},
      {{"-L2147483648"}, false, kDefaults},
      {{"-L5", "-L99999999999"}, false, {0.00001, 5, -1.0, -1.0, false}},
      {{"-A0", "-B-2"}, true, {0.00001, 20, 0.0, -2.0, false}},
      {{"-E1e-3"}, true, {0.001, 20, -1.0, -1.0, false}},
      {{"-l10", "-e0.001", "-a2.5", "-b3", "-t"},
       true, {0.001, 10, 2.5, 3.0, true}},
      {{"-A12.3", "-B13.0", "-E0.005", "-L10"},
       true, {0.005, 10, 12.3, 13.0, false}},
      {{"-A1", "-A2", "-a3", "-B4", "-b5", "-E6", "-e7", "-l8", "-L9"},
       true, {7.0, 9, 3.0, 5.0, false}},
      // The first unrecognised argument stops the reading.
      {{"-L5", "-Q", "-L9"}, false, {0.00001, 5, -1.0, -1.0, false}},
      {{"-T", "-", "-L9"}, false, {0.00001, 20, -1.0, -1.0, true}},
      // Infinite and not-a-number values.
      {{"-E+INF"}, true, {kInf, 20, -1.0, -1.0, false}},
      {{"-E+NAN"}, false, kDefaults},
      {{"-A-INF"}, true, {0.00001, 20, -kInf, -1.0, false}},
      {{"-B-INF"}, true, {0.00001, 20, -1.0, -kInf, false}},
      {{"-A+INF"}, false, kDefaults},
      {{"-B+INF"}, false, kDefaults},
      {{"-A+NAN"}, false, kDefaults},
      {{"-B-NAN"}, false, kDefaults},
      {{"-A2", "-B+NAN"}, false, {0.00001, 20, 2.0, -1.0, false}},
      {{"-A+INF", "-B2"}, false, kDefaults},
      {{"-L" + nines}, false, kDefaults},
      {{"-L" + zeros + "20"}, true, {0.00001, 20, -1.0, -1.0, false}},
      {{"-E" + nines}, true, {kInf, 20, -1.0, -1.0, false}},
      {{"-A" + nines}, false, kDefaults},
      {{"-L20junk\x01\xff"}, true, {0.00001, 20, -1.0, -1.0, false}},
  };
  for (const Case& c : kCases) {
    std::string trace;
    for (const std::string& arg : c.Args) trace += "[" + arg.substr(0, 40) + "]";
    SCOPED_TRACE(trace);
    const std::vector<std::string_view> args(c.Args.begin(), c.Args.end());
    RunSettings settings;
    EXPECT_EQ(ParseOptions(args, &settings), c.Accepted);
    ExpectSettings(settings, c.Expected);
  }
}

}  // namespace
}  // namespace propsmooth
