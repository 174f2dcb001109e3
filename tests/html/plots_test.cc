// The plots of a group: what they draw, in the page's units, and how a
// large group is thinned.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "estimated_group.h"
#include "svg_reading.h"
#include "html/funnel_plot.h"
#include "html/histogram_plot.h"
#include "html/plot_figure.h"
#include "html/plot_view.h"
#include "html/ranked_plot.h"
#include "html/shrinkage_plot.h"

namespace propsmooth {
namespace {

// The three figures of `group` under its fit.
std::vector<std::string> Figures(const GroupView& group) {
  const PlotView view = PlotViewOf(group, 0.95);
  std::vector<std::string> figures(3);
  AppendHistogram(view, "g", &figures[0]);
  AppendShrinkagePlot(view, "g", SectionLimits{}, &figures[1]);
  AppendFunnelPlot(view, "g", SectionLimits{}, &figures[2]);
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
  EXPECT_NE(figures[2].find("pooled proportion 34.55%"), std::string::npos);
}

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
    const GroupView group = RankedGroup(c.Threshold.has_value());
    AppendRankedPlot(PlotViewOf(group, 0.95), c.Threshold, "g", SectionLimits{}, &html);
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

// A large group is thinned to every k-th region, k the smallest that keeps
// at most the cap; the note counts what is drawn: ceil(count / k).
TEST(AppendSampleNote, StatesTheStepAndTheCountDrawn) {
  struct Case {
    std::size_t Count, Cap;
    const char* Note;
  };
  const Case cases[] = {
      {4000, 4000, ""},
      {4001, 4000, " Every 2nd region is drawn (2001 of 4001)."},
      {9000, 4000, " Every 3rd region is drawn (3000 of 9000)."},
      {50, 10, " Every 5th region is drawn (10 of 50)."},
      {44001, 4000, " Every 12th region is drawn (3667 of 44001)."},
      {88000, 4000, " Every 22nd region is drawn (4000 of 88000)."},
      {50, 0, ""},  // no cap
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.Count << " regions, cap " << c.Cap);
    std::string note;
    AppendSampleNote(c.Count, SampleStep(c.Count, c.Cap), &note);
    EXPECT_EQ(note, c.Note);
  }
}

// Values in words as captions give them, by hand: proportions in percent;
// SMRs and rates times --per to four significant digits, whole from 10,000
// on, with --per's unit written with thousands separators.
TEST(ValueWords, SpeakTheUnitsOfEachModel) {
  struct Case {
    bool Rates;
    double Per;
    bool Exposure;
    double Value;
    const char* Words;
  };
  const Case cases[] = {
      {false, 1.0, false, 0.125, "12.5%"},
      {true, 1.0, false, 1.05123, "1.051"},
      {true, 1000.0, false, 1.05123, "1051 \u00d7 1,000"},
      {true, 100000.0, true, 0.0021244, "212.4 per 100,000"},
      {true, 100000.0, true, 0.3, "30000 per 100,000"},
      {true, 1e6, true, 2.5, "2500000 per 1,000,000"},
      {true, 2.5, true, 0.5, "1.25 per 2.5"},
      {true, 1.0, true, 0.0001234567, "0.0001235"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Words);
    EXPECT_EQ(ValueWords(TermsOf(c.Rates, c.Per, c.Exposure), c.Value), c.Words);
  }
}

}  // namespace
}  // namespace propsmooth
