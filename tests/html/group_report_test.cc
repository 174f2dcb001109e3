#include "html/group_report.h"
#include "html/html_report.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "estimate/worked_groups.h"
#include "estimated_group.h"

namespace propsmooth {
namespace {

std::string Section(const GroupView& group, const SectionLimits& limits = SectionLimits{}) {
  std::string html;
  AppendGroupSection(group, 0, 0.00001, 0.95, std::nullopt, limits, &html);
  return html;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// Below propsmooth's log, which keeps its own figures ("***" where its fit
// failed), one note names the prior of every figure, and the table, the
// plots and the note agree on it. Groups without spread say what they are
// instead of drawing empty plots; the others get the histogram, the
// shrinkage, the funnel and the ranked plot. The worked example of a
// failed fit (four regions 0, 10, 1, 9 of 10, negative moment estimators)
// is fitted by the safeguarded search; under --estimator me it has no
// posterior. Equal proportions pool completely at 8 / 32 = 25%; a count
// above its size leaves no likelihood at all, and under the moment
// estimators that region alone has no EB proportion and no interval. The
// fit note says when the size bound's search did not converge, and only
// then.
TEST(AppendGroupSection, NamesOnePriorForEveryFigure) {
  const Counts failed = {{0, 10}, {10, 10}, {1, 10}, {9, 10}};
  const Counts spread = {{12, 100}, {30, 120}, {5, 90}, {22, 110}, {9, 70}};
  const char* const kNotBinomial =
      "<td>\u2014</td><td>\u2014</td><td>\u2014</td><td>Data1 &gt; Data2: not a binomial count";
  struct Case {
    const char* Name;
    Counts Regions;
    PriorEstimator Estimator;
    GroupShape Shape;
    std::vector<const char*> Says;
    std::size_t WithoutInterval;
    std::optional<std::size_t> Charts = std::nullopt;
    std::optional<std::size_t> Dashes = std::nullopt;
    bool BoundUnconverged = false;
  };
  const Case cases[] = {
      {"single region", {{3, 10}}, PriorEstimator::kMle, GroupShape::kSingleRegion,
       {"A single region"}, 0, 0},
      {"spread", spread, PriorEstimator::kMle, GroupShape::kPlots, {"<figure>"}, 0, 4},
      {"spread, size bound not converged", spread, PriorEstimator::kMle, GroupShape::kPlots,
       {"<figure>"}, 0, 4, std::nullopt, true},
      {"failed MLE", failed, PriorEstimator::kMle, GroupShape::kPlots,
       {" MLE of Alpha : *** \n MLE of Beta  : *** ", " ME of Alpha : -0.042683",
        "propsmooth's own log", "<b>safeguarded</b> fit, Alpha = ",
        "Each region's EB proportion (safeguarded prior)", "safeguarded Beta("},
       0},
      {"failed MLE, me", failed, PriorEstimator::kMe, GroupShape::kPlots,
       {"<b>the moment estimators</b> (--estimator me)",
        "the moment estimators are not both positive", "No EB proportions",
        "No density: the group's fit gives no beta prior"},
       4},
      {"equal proportions", {{1, 4}, {2, 8}, {5, 20}}, PriorEstimator::kMle,
       GroupShape::kEqualProportions,
       {"same proportion, 25.000000%",
        "<b>complete pooling</b>: every region gets the common rate 25.000000%",
        "understate the regions' spread"},
       0, 0},
      {"count above size", {{3, 20}, {25, 21}, {4, 22}, {7, 19}}, PriorEstimator::kMle,
       GroupShape::kPlots,
       {"<b>failed</b> fit (a count below 0 or above its size",
        "No posterior: this fit gives no prior", kNotBinomial},
       3},
      {"count above size, me", {{12, 100}, {30, 120}, {95, 90}, {22, 110}, {9, 70}},
       PriorEstimator::kMe, GroupShape::kPlots, {kNotBinomial}, 0, std::nullopt, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    GroupView group = EstimatedGroup(c.Regions, c.Estimator);
    group.Fit.Fit.SizeLower95Unconverged = c.BoundUnconverged;
    EXPECT_EQ(ClassifyGroup(group), c.Shape);
    const std::string html = Section(group);
    for (const char* says : c.Says) EXPECT_NE(html.find(says), std::string::npos) << says;
    EXPECT_EQ(Count(html, "class=\"prior-note\""), 1u);
    // The legacy names belong to the log and the --tsv table alone.
    EXPECT_EQ(html.find("ME (MLE failed)"), std::string::npos);
    EXPECT_EQ(html.find("<td>***</td>"), std::string::npos);
    EXPECT_EQ(Count(html, "<td>\u2014</td><td>\u2014</td><td>\u2014</td><td>no posterior "
                          "under the group's fit"),
              c.WithoutInterval);
    // A row of its own for each count above its size.
    EXPECT_EQ(Count(html, kNotBinomial),
              static_cast<std::size_t>(std::count_if(c.Regions.begin(), c.Regions.end(),
                                                     [](auto r) { return r.first > r.second; })));
    EXPECT_EQ(Count(html, "lower 95% bound of Alpha + Beta did not converge: it is left empty."),
              c.BoundUnconverged ? 1u : 0u);
    // One table row per region whatever the shape.
    EXPECT_EQ(Count(html, "<tr><td>"), c.Regions.size());
    if (c.Charts) {
      EXPECT_EQ(Count(html, "<svg"), *c.Charts);
    }
    if (c.Dashes) {
      EXPECT_EQ(Count(html, "<td>\u2014</td>"), *c.Dashes);
    }
  }
}

// Large groups are thinned in the scatter plots and cut in the table, and
// each cut is stated.
TEST(AppendGroupSection, StatesHowALargeGroupIsCut) {
  std::vector<std::pair<int, int>> counts;
  for (int i = 0; i < 50; ++i) counts.push_back({i % 7, 20 + i});
  SectionLimits limits;
  limits.PlottedPoints = 10;
  limits.TableRows = 3;
  const std::string html = Section(EstimatedGroup(counts), limits);
  EXPECT_EQ(Count(html, "Every 5th region is drawn (10 of 50)."), 3u);
  EXPECT_EQ(Count(html, "<circle"), 30u);
  EXPECT_EQ(Count(html, "<tr><td>"), 3u);
  EXPECT_NE(html.find("The first 3 of 50 regions are listed"), std::string::npos);
}

// The page's group index: the log's cells (rates in percent like the rest
// of the page, the ML prior as the log shows it), then the size bound's:
// its figure, a dash where there is none, and words where its search did
// not converge (an unknown bound is not an absent one).
TEST(AppendIndexRow, ShowsTheLogsFiguresAndTheSizeBound) {
  GroupSummary summary;
  summary.Mean = 0.125;       // 12.5 %
  summary.Variance = 0.0025;  // 0.0025 * 100^2 = 25 square points
  summary.AlphaMe = 1.5;
  summary.BetaMe = 10.5;
  summary.Iterations = 4;
  const struct {
    const char* Name;
    std::optional<BetaPrior> Mle;
    const char* MleCells;
    std::optional<double> Bound;
    bool Unconverged;
    const char* FitCells;  // SE Beta's, the bound's, the log-likelihood's
  } cases[] = {
      {"fitted, bound found", BetaPrior{2.0, 14.0}, "<td>2.000000</td><td>14.000000</td>",
       8.76364758367761, false, "<td>\u2014</td><td>8.76365</td><td>-154.14</td>"},
      {"failed, no bound", std::nullopt, "<td>***</td><td>***</td>", std::nullopt, false,
       "<td>\u2014</td><td>\u2014</td><td>-154.14</td>"},
      {"bound not converged", BetaPrior{2.0, 14.0}, "<td>2.000000</td><td>14.000000</td>",
       std::nullopt, true, "<td>\u2014</td><td>not converged</td><td>-154.14</td>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    summary.Mle = c.Mle;
    GroupFit fit;
    fit.Fit.Label = FitLabel::kNewton;
    fit.Fit.LogLik = -154.14;
    fit.Fit.SizeLower95 = c.Bound;
    fit.Fit.SizeLower95Unconverged = c.Unconverged;
    std::string html;
    AppendIndexRow("Unit 7", 3, summary, fit, false, 0, &html);
    const std::string log_cells =
        std::string("<tr><td>Unit 7</td><td>3</td><td>12.500000</td>"
                    "<td>25.000000</td><td>1.500000</td><td>10.500000</td>") +
        c.MleCells + "<td>4</td>";
    EXPECT_EQ(html.substr(0, log_cells.size()), log_cells);
    EXPECT_NE(html.find(c.FitCells), std::string::npos) << html;
  }
}

}  // namespace
}  // namespace propsmooth
