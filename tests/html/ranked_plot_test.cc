#include "html/ranked_plot.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "estimated_group.h"
#include "svg_reading.h"

namespace propsmooth {
namespace {

// Under the prior Beta(2, 8), regions 1/10, 5/10, 0/10 and 9/10 have EB
// rates (x + 2) / 20 = 15%, 35%, 10% and 55%: ranked 0/10, 1/10, 5/10, 9/10.
// A count above its size has no posterior and is left out.
GroupView RankedGroup(bool with_discoveries) {
  GroupView group = ViewOf({{1, 10}, {5, 10}, {0, 10}, {9, 10}, {12, 10}});
  GroupFit fit;
  fit.Fit.Label = FitLabel::kSafeguarded;
  fit.Fit.Prior = BetaPrior{2.0, 8.0};
  fit.Alpha = 2.0;
  fit.Beta = 8.0;
  group.Fit = fit;
  if (with_discoveries) {
    group.Discoveries.resize(group.Regions.size());
    group.Discoveries[3].QValue = 0.01;
    group.Discoveries[3].Discovery = true;
  }
  return group;
}

// Dots left to right in rank order, each with its interval; the discovery
// in its own class; the threshold only when given.
TEST(AppendRankedPlot, RanksRegionsAndMarksDiscoveries) {
  const struct {
    const char* Name;
    std::optional<double> Threshold;
    std::size_t Marked;
  } cases[] = {
      {"no threshold", std::nullopt, 0},
      {"threshold", 0.3, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string html;
    AppendRankedPlot(RankedGroup(c.Threshold.has_value()), 0.95, c.Threshold, "g",
                     SectionLimits{}, &html);
    const std::vector<std::string> dots = Elements(html, "circle");
    ASSERT_EQ(dots.size(), 4u);
    const char* codes[] = {"Code 3", "Code 1", "Code 2", "Code 4"};
    std::size_t marked = 0;
    for (std::size_t i = 0; i < dots.size(); ++i) {
      EXPECT_NE(dots[i].find(codes[i]), std::string::npos) << dots[i];
      if (i > 0) {
        EXPECT_GT(Attribute(dots[i], "cx"), Attribute(dots[i - 1], "cx"));
        EXPECT_LT(Attribute(dots[i], "cy"), Attribute(dots[i - 1], "cy"));  // higher rate
      }
      marked += dots[i].find("dot out") != std::string::npos ? 1u : 0u;
    }
    EXPECT_EQ(marked, c.Marked);
    if (c.Marked == 1) {
      EXPECT_NE(dots[3].find("dot out"), std::string::npos);
    }
    std::size_t intervals = 0;
    std::size_t thresholds = 0;
    for (const std::string& line : Elements(html, "polyline")) {
      intervals += line.find("class=\"ci\"") != std::string::npos ? 1u : 0u;
      thresholds += line.find("class=\"threshold\"") != std::string::npos ? 1u : 0u;
    }
    EXPECT_EQ(intervals, 4u);
    EXPECT_EQ(thresholds, c.Threshold ? 1u : 0u);
  }
}

}  // namespace
}  // namespace propsmooth
