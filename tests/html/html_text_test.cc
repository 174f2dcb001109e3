#include "html/html_text.h"

#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

TEST(AppendEscaped, ReplacesMarkupCharacters) {
  std::string out;
  AppendEscaped("a<b>&\"c'd", &out);
  EXPECT_EQ(out, "a&lt;b&gt;&amp;&quot;c&#39;d");
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

}  // namespace
}  // namespace propsmooth
