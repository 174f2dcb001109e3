#include "html/html_text.h"

#include <limits>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "tabular/cell_text.h"

namespace propsmooth {
namespace {

TEST(AppendEscaped, ReplacesMarkupAndWritesOutControls) {
  struct Case {
    std::string_view Text;
    const char* Html;
  };
  using std::string_view_literals::operator""sv;
  const Case cases[] = {
      {"a<b>&\"c'd", "a&lt;b&gt;&amp;&quot;c&#39;d"},
      // The log's lines and tabs stay as they are.
      {"line 1\n\tline 2\n", "line 1\n\tline 2\n"},
      // An escape sequence, a NUL, a C1 control (U+009B, bytes C2 9B) and
      // a Latin-1 byte: none may reach the page as it is.
      {"a\x1b[2Jb", "a\\x1B[2Jb"},
      {"a\0b"sv, "a\\x00b"},
      {"x\xc2\x9by", "x\\xC2\\x9By"},
      {"Z\xfcrich<", "Z\\xFCrich&lt;"},
      {"Z\xc3\xbcrich", "Z\xc3\xbcrich"},  // UTF-8 passes
  };
  for (const Case& c : cases) {
    std::string out;
    AppendEscaped(c.Text, &out);
    EXPECT_EQ(out, c.Html) << "text: " << PrintableText(c.Text);
  }
}

TEST(AppendDecimal, WritesFixedDigits) {
  struct Case {
    double Value;
    int Decimals;
    const char* Text;
  };
  const Case cases[] = {
      {0.125, 2, "0.12"}, {-3.0, 0, "-3"}, {1e6, 1, "1000000.0"},
      {std::numeric_limits<double>::quiet_NaN(), 2, "0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    std::string out;
    AppendDecimal(c.Value, c.Decimals, &out);
    EXPECT_EQ(out, c.Text);
  }
}

// English ordinals: st, nd, rd after a last digit 1, 2, 3, except in the
// teens of every hundred; th otherwise.
TEST(AppendOrdinal, FollowsEnglishUsage) {
  struct Case {
    std::size_t N;
    const char* Text;
  };
  const Case cases[] = {
      {1, "1st"},       {2, "2nd"},       {3, "3rd"},       {4, "4th"},
      {10, "10th"},     {11, "11th"},     {12, "12th"},     {13, "13th"},
      {14, "14th"},     {21, "21st"},     {22, "22nd"},     {23, "23rd"},
      {100, "100th"},   {101, "101st"},   {102, "102nd"},   {111, "111th"},
      {112, "112th"},   {113, "113th"},   {1011, "1011th"}, {1021, "1021st"},
      {0, "0th"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    std::string out = "Every ";
    AppendOrdinal(c.N, &out);
    EXPECT_EQ(out, std::string("Every ") + c.Text);
  }
}

// Percents as a reader needs them: two decimals, but three significant
// digits of the distance to 0% or 100% within 1% of either, so that a rare
// or near-certain rate is not rounded to the bound. By hand: 0.000123 is
// 0.0123%, three digits from its first nonzero one at the second decimal;
// 0.99987 is 0.013 points from 100%, so four decimals; 1 - 1e-9 is 1e-7
// points away, shown at the eighth decimal, and 1 - 1e-12 is 1e-10 points
// away, beyond it.
TEST(BriefPercent, KeepsTheDigitsAReaderNeeds) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* Name;
    double Proportion;
    const char* Table;
    const char* Words;
  };
  const Case cases[] = {
      {"an eighth", 0.125, "12.50", "12.5"},
      {"a half", 0.5, "50.00", "50"},
      {"two thirds", 2.0 / 3.0, "66.67", "66.67"},
      {"zero", 0.0, "0.00", "0"},
      {"one", 1.0, "100.00", "100"},
      {"rare", 0.000123, "0.0123", "0.0123"},
      {"just under 1%", 0.00999, "0.999", "0.999"},
      {"near certain", 0.99987, "99.9870", "99.987"},
      {"at the eighth decimal", 1.0 - 1e-9, "99.99999990", "99.9999999"},
      {"closer than eight decimals", 1.0 - 1e-12, "100.00000000", "100"},
      {"a moment estimate below 0", -0.0048, "-0.480", "-0.48"},
      {"not finite", nan, "\u2014", "\u2014"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(BriefPercent(c.Proportion), c.Table);
    EXPECT_EQ(BriefPercentWords(c.Proportion), c.Words);
  }
}

TEST(AppendRounded, KeepsSignificantDigitsWithoutTrailingZeros) {
  struct Case {
    double Value;
    int Digits;
    const char* Text;
  };
  const Case cases[] = {
      {2.304783, 4, "2.305"}, {14.0, 4, "14"},    {14.079809, 4, "14.08"},
      {1e-05, 4, "1e-05"},    {0.0450313, 3, "0.045"}, {-154.14, 6, "-154.14"},
      {std::numeric_limits<double>::infinity(), 4, "\u2014"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    std::string out;
    AppendRounded(c.Value, c.Digits, &out);
    EXPECT_EQ(out, c.Text);
  }
}

}  // namespace
}  // namespace propsmooth
