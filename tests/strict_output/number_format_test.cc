// Number formats of the log and the result table: "%d" and "%lf" digit for
// digit, ties, signs of values that round to zero, and very large values.
#include "strict_output/number_format.h"

#include <gtest/gtest.h>

#include <cmath>    // std::isfinite
#include <cstdint>  // INT32_MIN, INT32_MAX
#include <cstdio>   // std::snprintf
#include <cstring>  // std::memcpy
#include <limits>
#include <optional>
#include <random>
#include <string>

#include "strict_output/printed.h"
#include "strict_output/result_table.h"

namespace propsmooth {
namespace {

// The platform's "%.6f" (glibc prints every digit exactly): an implementation
// independent of the one under test.
std::string PrintfFixed6(double value) {
  char text[400];
  const int length = std::snprintf(text, sizeof text, "%.6f", value);
  return std::string(text, static_cast<std::size_t>(length));
}

// Expected strings were derived from the exact binary value of each double
// (Python's decimal.Decimal(x), which converts without rounding) rounded by
// hand to six decimals, ties to even. A negative value keeps its "-" also
// when it rounds to zero, -0.0 included; an infinity is written with its
// sign.
TEST(AppendFixed6, RoundsTheExactBinaryValue) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {0.0, "0.000000"},
      {1.0, "1.000000"},
      // 1/128 = 0.0078125 exactly: a true tie, kept on the even 2.
      {0.0078125, "0.007812"},
      {-0.0078125, "-0.007812"},
      // 3/128 = 0.0234375: a tie on an odd 7, so it goes up to the even 8.
      {0.0234375, "0.023438"},
      // 5/128 = 0.0390625: tie, stays on the even 2.
      {0.0390625, "0.039062"},
      {1048576.0078125, "1048576.007812"},
      // 0.0000005 is not a double; the nearest is 4.99999999999999977e-7,
      // below the tie, so it rounds down. Likewise 2.5e-7 (2.4999...e-7).
      {0.0000005, "0.000000"},
      {2.5e-7, "0.000000"},
      // 1.5e-6 is stored as 1.50000000000000003801e-6, above the tie.
      {1.5e-6, "0.000002"},
      // 9.5e-7 is stored as 9.50000000000000009950e-7.
      {9.5e-7, "0.000001"},
      {1.0 / 3.0, "0.333333"},
      // 2/3 = 0.666...6297 in binary; times 100 gives 66.66666666666665719.
      {2.0 / 3.0 * 100.0, "66.666667"},
      {-2.0 / 3.0, "-0.666667"},
      // 123456789012.345672607421875 exactly.
      {123456789012.3456789, "123456789012.345673"},
      {9007199254740992.0, "9007199254740992.000000"},
      {1e13, "10000000000000.000000"},
      {1e20, "100000000000000000000.000000"},
      {-1e20, "-100000000000000000000.000000"},
      {-0.0000004, "-0.000000"},
      {-0.0, "-0.000000"},
      {-0.0000005, "-0.000000"},  // -4.99999999999999977e-7
      {-1e-300, "-0.000000"},
      {-std::numeric_limits<double>::denorm_min(), "-0.000000"},
      {-0.0000006, "-0.000001"},
      {std::numeric_limits<double>::infinity(), "+INF"},
      {-std::numeric_limits<double>::infinity(), "-INF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(PrintfFixed6(c.value));
    EXPECT_EQ(FormatFixed6(c.value), c.text);
  }
}

// The largest double has 309 integer digits, all of them significant in its
// exact value (from Python's decimal.Decimal); none may be written as 0.
TEST(AppendFixed6, LargestDoubleHasEveryDigit) {
  const double largest = 1.7976931348623157e308;
  ASSERT_EQ(largest, std::numeric_limits<double>::max());
  const std::string digits =
      "179769313486231570814527423731704356798070567525844996598917"
      "476803157260780028538760589558632766878171540458953514382464"
      "234321326889464182768467546703537516986049910576551282076245"
      "490090389328944075868508455133942304583236903222948165808559"
      "332123348274797826204144723168738177180919299881250404026184"
      "124858368";
  EXPECT_EQ(FormatFixed6(largest), digits + ".000000");
  EXPECT_EQ(FormatFixed6(-largest), "-" + digits + ".000000");
  for (const double value : {1e13, 1e20, 1.2345678901234567e25, largest}) {
    SCOPED_TRACE(value);
    EXPECT_EQ(FormatFixed6(value), PrintfFixed6(value));
  }
}

// A value a failed fit could not give is "***", never a number, even one
// that looks like a placeholder. Each writer appends, replacing nothing.
TEST(AppendEstimate, MarksOnlyAMissingValue) {
  std::string text = "EPS: ";
  AppendFixed6(0.00001, &text);
  AppendEstimate(std::nullopt, &text);
  AppendEstimate(-9999.0, &text);
  AppendEstimate(0.0, &text);
  EXPECT_EQ(text, "EPS: 0.000010***-9999.0000000.000000");
}

// Random doubles of every magnitude and sign, and values on and near the
// ties of the sixth decimal, against the platform's "%.6f".
TEST(AppendFixed6, AgreesWithPrintfOnRandomDoubles) {
  std::mt19937_64 random(20240607);
  int compared = 0;
  int mismatches = 0;
  const auto check = [&](double value) {
    if (!std::isfinite(value)) return;
    std::string text;
    AppendFixed6(value, &text);
    const std::string expected = PrintfFixed6(value);
    ++compared;
    if (text != expected && ++mismatches <= 10) {
      ADD_FAILURE() << "bits of value: " << std::hexfloat << value
                    << "\n  got      " << text << "\n  expected " << expected;
    }
  };
  // Uniform bit patterns: every exponent equally likely.
  for (int i = 0; i < 40000; ++i) {
    const std::uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    check(value);
  }
  // Decimal magnitudes from 1e-9 to 1e22, where the six decimals matter.
  std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
  std::uniform_int_distribution<int> exponent(-9, 22);
  for (int i = 0; i < 40000; ++i) {
    check(mantissa(random) * std::pow(10.0, exponent(random)));
  }
  // Odd multiples of 2^-7 .. 2^-20 hit exact ties of the sixth decimal and
  // values a few units of the last place beside them.
  std::uniform_int_distribution<std::int64_t> odd(-(std::int64_t{1} << 40),
                                                  std::int64_t{1} << 40);
  std::uniform_int_distribution<int> scale(7, 20);
  for (int i = 0; i < 40000; ++i) {
    const double value =
        std::ldexp(static_cast<double>(odd(random) | 1), -scale(random));
    check(value);
    check(std::nextafter(value, 0.0));
    check(std::nextafter(value, 2.0 * value));
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_GT(compared, 150000);
}

TEST(AppendInt, WritesPlainDecimal) {
  struct Case {
    std::int32_t value;
    const char* text;
  };
  const Case cases[] = {
      {0, "0"},
      {7, "7"},
      {-1, "-1"},
      {4000, "4000"},
      {INT32_MAX, "2147483647"},
      {INT32_MIN, "-2147483648"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string text = "n=";
    AppendInt(c.value, &text);
    EXPECT_EQ(text, std::string("n=") + c.text);
  }
}

// A row is built whole before it is appended: its widest fields, each as
// "%d" and "%.6f" print it, must all reach the table.
TEST(AppendResultRow, WidestFieldsAreWrittenWhole) {
  const double largest = std::numeric_limits<double>::max();
  const struct {
    RegionRecord Record;
    std::string Estimates;
  } cases[] = {
      {{INT32_MIN, INT32_MIN, INT32_MIN, -1, -largest / 100.0, -largest / 100.0},
       PrintfFixed6(-largest) + "\t" + PrintfFixed6(-largest)},
      {{INT32_MAX, INT32_MAX, INT32_MAX, 1, largest, std::nullopt}, "+INF\t***"},
  };
  for (const auto& c : cases) {
    const RegionRecord& r = c.Record;
    const std::string expected =
        std::to_string(r.Unit) + "\t" + std::to_string(r.Code) + "\t" + std::to_string(r.Data1) +
        "\t" + std::to_string(r.Data2) + "\t" + PrintfFixed6(100.0 * r.Data1 / r.Data2) + "\t" +
        c.Estimates + "\r\n";
    std::string row = "before|";
    AppendResultRow(r, &row);
    EXPECT_EQ(row, "before|" + expected);
  }
}

}  // namespace
}  // namespace propsmooth
