// The three plots of a group: what they draw, in the page's units.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "estimated_group.h"
#include "svg_reading.h"
#include "html/funnel_plot.h"
#include "html/histogram_plot.h"
#include "html/shrinkage_plot.h"

namespace propsmooth {
namespace {

// The three figures of `group` under its fit.
std::vector<std::string> Figures(const GroupView& group) {
  std::vector<std::string> figures(3);
  AppendHistogram(group, "g", &figures[0]);
  AppendShrinkagePlot(group, "g", SectionLimits{}, &figures[1]);
  AppendFunnelPlot(group, "g", SectionLimits{}, &figures[2]);
  return figures;
}

// Whether one of the chart's texts is `text`.
bool HasText(const std::string& svg, const std::string& text) {
  for (const std::string& element : Elements(svg, "text")) {
    if (Content(element) == text) return true;
  }
  return false;
}

// Regions of 0 of 40 and 5, 10 and 20 of 20 and 3 of 10: the raw
// proportions run from 0% to 100%, so both proportion axes of the shrinkage
// plot and the funnel's vertical axis end at a tick "100" (steps of 20),
// and no tick is a fraction such as "1.0". The pooled proportion is 38 / 110
// = 34.5454...%. 0 of 40 is the largest dot of the shrinkage plot, at an
// end: every dot of the two scatter plots, its stroke (0.8 pixels wide,
// half outside) included, lies inside the plot area that clips it.
TEST(Plots, ShowProportionsInPercentAndDrawDotsAtTheEndsWhole) {
  const std::vector<std::string> figures =
      Figures(EstimatedGroup({{0, 40}, {5, 20}, {10, 20}, {20, 20}, {3, 10}}));
  const char* titles[3][2] = {
      {"raw proportion (%)", "density per percentage point"},
      {"raw proportion (%)", "EB proportion (%)"},
      {"Data2 (region size)", "raw proportion (%)"},
  };
  for (std::size_t f = 0; f < 3; ++f) {
    SCOPED_TRACE(titles[f][1]);
    const std::string& svg = figures[f];
    EXPECT_TRUE(HasText(svg, titles[f][0]));
    EXPECT_TRUE(HasText(svg, titles[f][1]));
    EXPECT_TRUE(HasText(svg, "100"));
    EXPECT_FALSE(HasText(svg, "1.0"));
    if (f == 0) continue;
    const std::vector<std::string> clips = Elements(svg, "clipPath");
    ASSERT_EQ(clips.size(), 1u);
    const std::string area = Elements(clips[0], "rect").at(0);
    const double left = Attribute(area, "x");
    const double top = Attribute(area, "y");
    const double right = left + Attribute(area, "width");
    const double bottom = top + Attribute(area, "height");
    std::size_t dots = 0;
    for (const std::string& dot : Elements(svg, "circle")) {
      SCOPED_TRACE(dot);
      ++dots;
      const double r = Attribute(dot, "r") + 0.4;
      EXPECT_GE(Attribute(dot, "cx") - r, left);
      EXPECT_LE(Attribute(dot, "cx") + r, right);
      EXPECT_GE(Attribute(dot, "cy") - r, top);
      EXPECT_LE(Attribute(dot, "cy") + r, bottom);
    }
    EXPECT_EQ(dots, 5u);
  }
  EXPECT_NE(figures[2].find("pooled proportion 34.545455%"), std::string::npos);
}

}  // namespace
}  // namespace propsmooth
