#include "html/group_report.h"

#include <string>

#include <gtest/gtest.h>

#include "estimated_group.h"

namespace propsmooth {
namespace {

std::string Section(const GroupView& group, PriorEstimator estimator = PriorEstimator::kMle,
                    const SectionLimits& limits = SectionLimits{}) {
  std::string html;
  AppendGroupSection(group, 0, 0.00001, estimator, 0.95, std::nullopt, limits, &html);
  return html;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// Groups without spread say what they are instead of drawing empty plots;
// the others get the histogram, the shrinkage and the funnel plot.
TEST(AppendGroupSection, DrawsPlotsOnlyForGroupsWithSpread) {
  struct Case {
    const char* Name;
    std::vector<std::pair<int, int>> Counts;
    GroupShape Shape;
    const char* Says;
    std::size_t Charts;
  };
  const Case cases[] = {
      {"single region", {{3, 10}}, GroupShape::kSingleRegion, "A single region", 0},
      {"equal", {{1, 4}, {2, 8}, {5, 20}}, GroupShape::kEqualProportions,
       "same proportion, 25.000000%", 0},
      {"spread", {{12, 100}, {30, 120}, {5, 90}, {22, 110}, {9, 70}}, GroupShape::kPlots,
       "<figure>", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const GroupView group = EstimatedGroup(c.Counts);
    EXPECT_EQ(ClassifyGroup(group), c.Shape);
    const std::string html = Section(group);
    EXPECT_NE(html.find(c.Says), std::string::npos);
    EXPECT_EQ(Count(html, "<svg"), c.Charts);
    // One table row per region whatever the shape.
    EXPECT_EQ(Count(html, "<tr><td>"), c.Counts.size());
  }
}

// The worked example of a failed fit: four regions 0, 10, 1, 9 of 10. The
// log's "***" stands, the plots are labelled as using the moment estimators,
// and since those are negative there is no interval, with the reason.
TEST(AppendGroupSection, ShowsAFailedFitHonestly) {
  const GroupView group = EstimatedGroup({{0, 10}, {10, 10}, {1, 10}, {9, 10}});
  ASSERT_FALSE(group.Summary.Mle);
  const std::string html = Section(group);
  EXPECT_NE(html.find("For unit 2 ....."), std::string::npos);
  EXPECT_NE(html.find(" MLE of Alpha : *** \n MLE of Beta  : *** "), std::string::npos);
  EXPECT_NE(html.find(" ME of Alpha : -0.042683"), std::string::npos);
  EXPECT_NE(html.find("<b>ME (MLE failed)</b>"), std::string::npos);
  EXPECT_NE(html.find("fall back to the moment estimators"), std::string::npos);
  EXPECT_NE(html.find("No MLE curve: the fit failed (***)"), std::string::npos);
  EXPECT_NE(html.find("No ME curve"), std::string::npos);
  EXPECT_EQ(Count(html, "<td>\u2014</td><td>\u2014</td><td>no beta prior"), 4u);
  EXPECT_EQ(Count(html, "<td>***</td>"), 4u);
}

// The fit note says when the size bound's search did not converge, and only
// then.
TEST(AppendGroupSection, SaysWhenTheSizeBoundDidNotConverge) {
  for (const bool unconverged : {false, true}) {
    SCOPED_TRACE(unconverged);
    GroupView group = EstimatedGroup({{12, 100}, {30, 120}, {5, 90}, {22, 110}, {9, 70}});
    GroupFit fit;
    fit.Fit.Label = FitLabel::kNewton;
    fit.Fit.Prior = group.Summary.Mle;
    fit.Fit.SizeLower95Unconverged = unconverged;
    fit.Choice = FitChoice::kNewton;
    group.Fit = fit;
    const std::string html = Section(group);
    EXPECT_EQ(Count(html, "lower 95% bound of Alpha + Beta did not converge: it is left empty."),
              unconverged ? 1u : 0u);
  }
}

// A region with Data1 > Data2 gets no interval while the others do.
TEST(AppendGroupSection, GivesNoIntervalForCountAboveSize) {
  const GroupView group = EstimatedGroup({{12, 100}, {30, 120}, {95, 90}, {22, 110}, {9, 70}});
  const std::string html = Section(group, PriorEstimator::kMe);
  EXPECT_EQ(Count(html, "<td>Data1 &gt; Data2: not a binomial count</td>"), 1u);
  EXPECT_EQ(Count(html, "<td>\u2014</td>"), 2u);
}

// Large groups are thinned in the scatter plots and cut in the table, and
// each cut is stated.
TEST(AppendGroupSection, StatesHowALargeGroupIsCut) {
  std::vector<std::pair<int, int>> counts;
  for (int i = 0; i < 50; ++i) counts.push_back({i % 7, 20 + i});
  SectionLimits limits;
  limits.PlottedPoints = 10;
  limits.TableRows = 3;
  const std::string html = Section(EstimatedGroup(counts), PriorEstimator::kMle, limits);
  EXPECT_EQ(Count(html, "Every 5th region is drawn (10 of 50)."), 2u);
  EXPECT_EQ(Count(html, "<circle"), 20u);
  EXPECT_EQ(Count(html, "<tr><td>"), 3u);
  EXPECT_NE(html.find("The first 3 of 50 regions are listed"), std::string::npos);
}

}  // namespace
}  // namespace propsmooth
