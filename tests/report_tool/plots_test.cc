// The three plots of a group: what they draw, in the page's units.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "estimated_group.h"
#include "report_tool/funnel_plot.h"
#include "report_tool/histogram_plot.h"
#include "report_tool/shrinkage_plot.h"

namespace propsmooth {
namespace {

// The three figures of `group` under its ML prior (or the moment
// estimators where the fit fails).
std::vector<std::string> Figures(const GroupView& group) {
  const GroupPrior prior = ChoosePrior(group.Summary, PriorEstimator::kMle);
  std::vector<std::string> figures(3);
  AppendHistogram(group, "g", &figures[0]);
  AppendShrinkagePlot(group, prior, "g", SectionLimits{}, &figures[1]);
  AppendFunnelPlot(group, "g", SectionLimits{}, &figures[2]);
  return figures;
}

// The contents of every <text> element, in order.
std::vector<std::string> Texts(const std::string& svg) {
  std::vector<std::string> texts;
  for (std::size_t at = svg.find("<text"); at != std::string::npos;
       at = svg.find("<text", at + 1)) {
    const std::size_t begin = svg.find('>', at) + 1;
    texts.push_back(svg.substr(begin, svg.find("</text>", begin) - begin));
  }
  return texts;
}

bool Contains(const std::vector<std::string>& texts, const std::string& text) {
  for (const std::string& t : texts) {
    if (t == text) return true;
  }
  return false;
}

// Regions of 0, 5, 10 and 20 of 20: the raw proportions run from 0% to
// 100%, so both proportion axes of the shrinkage plot and the funnel's
// vertical axis end at a tick "100" (steps of 20), and no tick is a
// fraction such as "1.0". The pooled proportion is 35 / 80 = 43.75%.
TEST(Plots, ShowProportionsInPercent) {
  const std::vector<std::string> figures =
      Figures(EstimatedGroup({{0, 20}, {5, 20}, {10, 20}, {20, 20}}));
  const char* titles[3][2] = {
      {"raw proportion (%)", "density per percentage point"},
      {"raw proportion (%)", "EB proportion (%)"},
      {"Data2 (region size)", "raw proportion (%)"},
  };
  for (std::size_t f = 0; f < 3; ++f) {
    SCOPED_TRACE(titles[f][1]);
    const std::vector<std::string> texts = Texts(figures[f]);
    EXPECT_TRUE(Contains(texts, titles[f][0]));
    EXPECT_TRUE(Contains(texts, titles[f][1]));
    EXPECT_TRUE(Contains(texts, "100"));
    EXPECT_FALSE(Contains(texts, "1.0"));
  }
  EXPECT_NE(figures[2].find("pooled proportion 43.750000%"), std::string::npos);
}

}  // namespace
}  // namespace propsmooth
