#include "report_tool/svg_chart.h"

#include <limits>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

// Axis ranges end on multiples of a 1-2-5 step giving about five intervals,
// so the tick labels are short round numbers.
TEST(NiceRange, EndsOnRoundSteps) {
  struct Case {
    double Low, High, Min, Max;
    std::size_t Ticks;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {0.0, 0.375, 0.0, 0.4, 5},      // step 0.1
      {0.0, 52.0, 0.0, 60.0, 4},      // 52 / 5 is above 10: step 20
      {10.0, 10.5, 10.0, 10.5, 6},    // step 0.1
      {0.0, 1.0, 0.0, 1.0, 6},        // step 0.2
      {-0.03, 1.03, -0.5, 1.5, 5},    // step 0.5
      {0.0, 0.0, -1.0, 1.0, 5},       // no width: widened by 1 each side
      {5.0, 5.0, 4.4, 5.6, 7},        // widened by a tenth, step 0.2
      {0.0, inf, 0.0, 1.0, 6},        // unusable: the unit range
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.Low << " .. " << c.High);
    const AxisRange range = NiceRange(c.Low, c.High);
    EXPECT_NEAR(range.Min, c.Min, 1e-12);
    EXPECT_NEAR(range.Max, c.Max, 1e-12);
    EXPECT_EQ(TickValues(range).size(), c.Ticks);
  }
}

TEST(MapX, PutsTheRangeOnThePlotArea) {
  PlotFrame frame;
  frame.X = {0.0, 2.0, 0.5};
  frame.Y = {-1.0, 1.0, 0.5};
  EXPECT_DOUBLE_EQ(MapX(frame, 0.0), frame.Left);
  EXPECT_DOUBLE_EQ(MapX(frame, 2.0), frame.Width - frame.Right);
  // Up the page is down the pixels.
  EXPECT_DOUBLE_EQ(MapY(frame, 1.0), frame.Top);
  EXPECT_DOUBLE_EQ(MapY(frame, -1.0), frame.Height - frame.Bottom);
}

}  // namespace
}  // namespace propsmooth
