#include "report_tool/html_text.h"

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

}  // namespace
}  // namespace propsmooth
