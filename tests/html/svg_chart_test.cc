#include "html/svg_chart.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "svg_reading.h"

namespace propsmooth {
namespace {

// Axis ranges end on multiples of a 1-2-5 step giving about five intervals,
// so the tick labels are short round numbers; the step below the usual one
// where it covers the data closer in at most six intervals.
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
      {0.0, 101.0, 0.0, 120.0, 7},    // step 50 gives 0..150; 20 covers 0..120 in 6
      {0.0, 121.0, 0.0, 150.0, 4},    // step 20 would need 7 intervals: 50 stays
      {0.05, 1.15, 0.0, 1.2, 7},      // step 0.5 gives 0..1.5; 0.2 covers 0..1.2 in 6
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.Low << " .. " << c.High);
    const AxisRange range = NiceRange(c.Low, c.High);
    EXPECT_NEAR(range.Min, c.Min, 1e-12);
    EXPECT_NEAR(range.Max, c.Max, 1e-12);
    EXPECT_EQ(TickValues(range).size(), c.Ticks);
  }
}

// An axis of proportions stays within 0% and 100%, whatever estimate lies
// outside (moment estimates of -0.48% and 106.7% once stretched an axis
// from -50% to 150%), and a range within them is NiceRange's own.
TEST(PercentRange, NeverRunsPastZeroOrOneHundred) {
  struct Case {
    const char* Name;
    double Low, High, Min, Max;
    std::size_t Ticks;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {"estimates outside", -0.48, 106.7, 0.0, 100.0, 6},  // step 20
      {"within", 3.0, 47.0, 0.0, 50.0, 6},                 // as NiceRange: step 10
      {"all at 100%", 100.0, 100.0, 90.0, 100.0, 3},       // widened to 90..110, step 5
      {"all at 0%", 0.0, 0.0, 0.0, 1.0, 3},                // widened to -1..1, step 0.5
      {"not finite", nan, 50.0, 0.0, 100.0, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const AxisRange range = PercentRange(c.Low, c.High);
    EXPECT_NEAR(range.Min, c.Min, 1e-12);
    EXPECT_NEAR(range.Max, c.Max, 1e-12);
    EXPECT_EQ(TickValues(range).size(), c.Ticks);
  }
}

// The range's ends lie the pad inside the plot area's border, so that a
// dot at an end is drawn whole.
TEST(MapX, PutsTheRangeOnThePlotAreaWithinItsPad) {
  for (const double pad : {0.0, 10.0}) {
    SCOPED_TRACE(pad);
    PlotFrame frame;
    frame.Pad = pad;
    frame.X = {0.0, 2.0, 0.5};
    frame.Y = {-1.0, 1.0, 0.5};
    EXPECT_DOUBLE_EQ(MapX(frame, 0.0), frame.Left + pad);
    EXPECT_DOUBLE_EQ(MapX(frame, 2.0), frame.Width - frame.Right - pad);
    EXPECT_DOUBLE_EQ(MapX(frame, 1.0), (frame.Left + frame.Width - frame.Right) / 2.0);
    // Up the page is down the pixels.
    EXPECT_DOUBLE_EQ(MapY(frame, 1.0), frame.Top + pad);
    EXPECT_DOUBLE_EQ(MapY(frame, -1.0), frame.Height - frame.Bottom - pad);
  }
}

// The widest advance widths, in em, of the characters of tick labels among
// the sans-serif fonts the page meets: DejaVu Sans and Verdana, both
// 0.636 em (1303/2048) for a digit; Verdana's "." 0.364 em and "-"
// 0.431 em. Not the program's bound, so a bound set too tight shows here.
double WidestFontWidth(const std::string& text, double font_size) {
  double ems = 0.0;
  for (const char c : text) ems += c == '.' ? 0.3638 : c == '-' ? 0.4311 : 0.6362;
  return ems * font_size;
}

// Every tick label lies inside the chart, whatever the ranges: the last x
// label at the right edge, long y labels at the left, clear of the
// vertical title. The ranges are what the plots meet: a funnel's sizes up
// to 2500, 60000 or 2.5e9, proportions in hundredths of a percent, 0 to
// 100%, and negative values.
TEST(FitMargins, KeepsEveryTickLabelInsideTheChart) {
  struct Case {
    AxisRange X, Y;
    double Pad;
  };
  const Case cases[] = {
      {{0.0, 2500.0, 500.0}, {0.0, 8.0, 2.0}, 4.6},
      {{0.0, 60000.0, 20000.0}, {0.0, 0.015, 0.005}, 4.6},
      {{0.0, 2.5e9, 5e8}, {0.0, 100.0, 20.0}, 0.0},
      {{0.0, 0.015, 0.005}, {-0.5, 1.5, 0.5}, 10.0},
      {{-1000.0, 1000.0, 500.0}, {0.0, 0.0008, 0.0002}, 0.0},
  };
  for (const Case& c : cases) {
    PlotFrame frame;
    frame.X = c.X;
    frame.Y = c.Y;
    frame.Pad = c.Pad;
    FitMargins(&frame);
    std::string svg;
    AppendAxes(frame, "x", "y", &svg);
    const std::size_t title = svg.find("rotate(-90 ");
    ASSERT_NE(title, std::string::npos);
    // The rotated title's descenders reach 0.24 em right of its baseline.
    const double title_right =
        std::stod(svg.substr(title + 11)) + 0.24 * kTitleFontSize;
    std::size_t labels = 0;
    for (const std::string& element : Elements(svg, "text")) {
      if (element.find("axis-title") != std::string::npos) continue;
      const std::string label = Content(element);
      SCOPED_TRACE(label);
      ++labels;
      const double x = Attribute(element, "x");
      const double width = WidestFontWidth(label, kTickFontSize);
      if (element.find("text-anchor=\"middle\"") != std::string::npos) {
        EXPECT_GE(x - width / 2.0, 0.0);
        EXPECT_LE(x + width / 2.0, frame.Width);
      } else {
        EXPECT_GE(x - width, title_right);
        EXPECT_LE(x, frame.Left);
      }
    }
    EXPECT_EQ(labels, TickValues(c.X).size() + TickValues(c.Y).size());
  }
}

// A mark with a coordinate that is not finite has no place in the chart:
// it is left out rather than drawn at pixel 0, and no "nan" or "inf" is
// written. A polyline breaks where its points are not finite, each stretch
// of two or more points drawn on its own.
TEST(SvgMarks, LeaveOutWhatIsNotFinite) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  using Drawing = std::function<void(const PlotFrame&, std::string*)>;
  const auto dot = [](DataPoint p, double r) -> Drawing {
    return [=](const PlotFrame& f, std::string* out) { AppendDot(f, "c", p, r, "d", "t", out); };
  };
  const auto bar = [](double x0, double y1) -> Drawing {
    return [=](const PlotFrame& f, std::string* out) {
      AppendBar(f, "c", x0, 0.2, 0.0, y1, "bar", out);
    };
  };
  const auto line = [](std::vector<DataPoint> points) -> Drawing {
    return [=](const PlotFrame& f, std::string* out) { AppendPolyline(f, "c", points, "l", out); };
  };
  struct Case {
    const char* Name;
    Drawing Draw;
    const char* Tag;
    std::vector<std::size_t> Points;  // per element drawn; 0 for one that is no polyline
  };
  const Case kCases[] = {
      {"dot", dot({0.5, 0.5}, 3.0), "circle", {0}},
      {"dot x nan", dot({nan, 0.5}, 3.0), "circle", {}},
      {"dot y inf", dot({0.5, -inf}, 3.0), "circle", {}},
      {"dot radius nan", dot({0.5, 0.5}, nan), "circle", {}},
      {"bar", bar(0.1, 0.5), "rect", {0}},
      {"bar x0 nan", bar(nan, 0.5), "rect", {}},
      {"bar y1 inf", bar(0.1, inf), "rect", {}},
      {"polyline", line({{0.0, 0.0}, {0.5, 0.2}, {1.0, 1.0}}), "polyline", {3}},
      {"polyline nan inside",
       line({{0.0, 0.0}, {0.2, 0.1}, {0.4, nan}, {0.6, 0.3}, {0.8, 0.4}, {1.0, 0.5}}),
       "polyline", {2, 3}},
      {"polyline nan ends", line({{nan, 0.0}, {0.2, 0.1}, {0.4, 0.2}, {inf, 0.3}}), "polyline",
       {2}},
      {"polyline no stretch of two", line({{0.0, 0.0}, {0.2, inf}, {0.4, 0.2}}), "polyline", {}},
      {"line across nan",
       [&](const PlotFrame& f, std::string* out) {
         AppendLineAcross(f, "c", {0.0, nan}, {1.0, 0.5}, "line", out);
       },
       "polyline", {}},
  };
  PlotFrame frame;
  frame.X = AxisRange{0.0, 1.0, 0.2};
  frame.Y = AxisRange{0.0, 1.0, 0.2};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.Name);
    std::string svg;
    c.Draw(frame, &svg);
    const std::vector<std::string> elements = Elements(svg, c.Tag);
    ASSERT_EQ(elements.size(), c.Points.size()) << svg;
    for (std::size_t e = 0; e < elements.size(); ++e) {
      if (c.Points[e] == 0) continue;
      const std::size_t begin = elements[e].find("points=\"");
      const std::size_t end = elements[e].find('"', begin + 8);
      const std::string points = elements[e].substr(begin + 8, end - begin - 8);
      EXPECT_EQ(static_cast<std::size_t>(std::count(points.begin(), points.end(), ',')),
                c.Points[e]) << points;
    }
    for (const char* word : {"nan", "inf", "NaN", "Inf"}) {
      EXPECT_EQ(svg.find(word), std::string::npos) << svg;
    }
  }
}

// Marks drawn by the thousand: a dot without a tooltip, or left to its
// group's clip, and segments as one path of the finite ones. The pixels of
// the default frame over [0, 1] x [0, 1]: x = 58 + 370 x (440 wide, margins
// 58 and 12), y = 12 + 242 (1 - y) (300 high, margins 12 and 46); so (0.5,
// 0.2) is (243, 205.6), (0.5, 0.8) is (243, 60.4), (0, 0) is (58, 254) and
// (0, 1) is (58, 12).
TEST(SvgMarks, DrawManyMarksAsFewElements) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  using Drawing = std::function<void(const PlotFrame&, std::string*)>;
  const auto segments = [](std::string clip, std::vector<DataSegment> parts) -> Drawing {
    return [=](const PlotFrame& f, std::string* out) {
      AppendSegments(f, clip, parts, "ci", out);
    };
  };
  const struct {
    const char* Name;
    Drawing Draw;
    const char* Svg;
  } cases[] = {
      {"dot in a clipped group, unnamed",
       [](const PlotFrame& f, std::string* out) {
         AppendDot(f, "", {0.5, 0.2}, 3.0, "dot", "", out);
       },
       "<circle class=\"dot\" cx=\"243.00\" cy=\"205.60\" r=\"3.00\"/>"},
      {"dot clipped and named",
       [](const PlotFrame& f, std::string* out) {
         AppendDot(f, "c", {0.5, 0.2}, 3.0, "dot out", "a & b", out);
       },
       "<circle class=\"dot out\" clip-path=\"url(#c)\" cx=\"243.00\" cy=\"205.60\" "
       "r=\"3.00\"><title>a &amp; b</title></circle>"},
      {"two segments", segments("c", {{{0.0, 0.0}, {0.0, 1.0}}, {{0.5, 0.2}, {0.5, 0.8}}}),
       "<path class=\"ci\" clip-path=\"url(#c)\" fill=\"none\" "
       "d=\"M58.00 254.00L58.00 12.00M243.00 205.60L243.00 60.40\"/>"},
      {"a segment not finite, in a group",
       segments("", {{{0.0, 0.0}, {0.0, nan}}, {{0.5, 0.2}, {0.5, 0.8}}}),
       "<path class=\"ci\" fill=\"none\" d=\"M243.00 205.60L243.00 60.40\"/>"},
      {"no segment finite", segments("c", {{{nan, 0.0}, {0.0, 1.0}}}), ""},
      {"no segment", segments("c", {}), ""},
      {"clipped group",
       [](const PlotFrame&, std::string* out) {
         OpenClippedGroup("g-ranked", out);
         CloseGroup(out);
       },
       "<g clip-path=\"url(#g-ranked)\"></g>"},
  };
  PlotFrame frame;
  frame.X = AxisRange{0.0, 1.0, 0.2};
  frame.Y = AxisRange{0.0, 1.0, 0.2};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string svg;
    c.Draw(frame, &svg);
    EXPECT_EQ(svg, c.Svg);
  }
}

}  // namespace
}  // namespace propsmooth
