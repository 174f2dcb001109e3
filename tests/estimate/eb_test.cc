// Empirical Bayes proportions and the estimation of a whole group.
#include "estimate/eb.h"

#include <gtest/gtest.h>

#include <cmath>  // std::isfinite
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "estimate/eb_internal.h"
#include "estimate/worked_groups.h"
#include "strict_output/printed.h"

namespace propsmooth {
namespace {

const Counts& kSix = kSixRegions;

// EbPropMe figures are exact rationals (Python fractions: (x + Alpha) /
// ((Alpha + Beta) + n) with the exact moment estimators) rounded to six
// decimals; EbPropMle figures of the six regions are the tool's documented
// worked example. A failed fit leaves every region's EbPropMle empty ("***").
TEST(EstimateGroup, EbProportionsOfWorkedGroups) {
  struct Case {
    const char* name;
    Counts counts;
    std::vector<const char*> eb_me;
    std::vector<const char*> eb_mle;
  };
  const Case cases[] = {
      {"six regions", kSix,
       {"0.132544", "0.241115", "0.109371", "0.261169", "0.152902", "0.257259"},
       {"0.138839", "0.237220", "0.119462", "0.254189", "0.156883", "0.252828"}},
      // 2.4/17 and 4.4/17; the fit stops at the limit.
      {"two regions", {{1, 10}, {3, 10}}, {"0.141176", "0.258824"}, {"***", "***"}},
      // -0.25/9.5 and 9.75/9.5: outside 0 .. 1 and stored as they are.
      {"none and all", {{0, 10}, {10, 10}}, {"-0.026316", "1.026316"}, {"***", "***"}},
      {"negative estimators", {{0, 10}, {9, 10}, {1, 10}},
       {"-0.002917", "0.904959", "0.097958"}, {"***", "***", "***"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GroupWorkspace workspace = MakeGroup(c.counts);
    EstimateGroup(RunSettings(), false, &workspace);
    ASSERT_EQ(workspace.Regions.size(), c.eb_me.size());
    for (std::size_t i = 0; i < c.eb_me.size(); ++i) {
      SCOPED_TRACE(i + 1);
      EXPECT_EQ(Shown(workspace.Regions[i].EbPropMe), c.eb_me[i]);
      EXPECT_EQ(Shown(workspace.Regions[i].EbPropMle), c.eb_mle[i]);
    }
  }
}

// A group without spread (a computed Variance of exactly 0.0, a single
// region included) has no moment estimators: both are 0.0, whatever the
// group before left, so EbPropMe is the raw proportion; its fit fails
// before any step, so EbPropMle is empty.
TEST(EstimateGroup, GroupWithoutSpreadKeepsRawProportions) {
  struct Case {
    const char* name;
    Counts counts;
    double mean;
  };
  const Case cases[] = {
      {"all counts zero", {{0, 10}, {0, 3}, {0, 7}}, 0.0},
      // Quarters are exact in binary, so their mean divides back exactly.
      {"equal proportions", {{1, 4}, {2, 8}, {3, 12}, {5, 20}}, 0.25},
      {"two equal proportions", {{2, 10}, {4, 20}}, 0.2},
      {"all counts full", {{4, 4}, {9, 9}}, 1.0},
      {"single region", {{3, 7}}, 3.0 / 7.0},
      {"single full region", {{7, 7}}, 1.0},
      {"single empty region", {{0, 1}}, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GroupWorkspace workspace = MakeGroup(c.counts);
    workspace.Summary.AlphaMe = 99.0;  // the previous group's values
    workspace.Summary.BetaMe = 99.0;
    EstimateGroup(RunSettings(), false, &workspace);
    const GroupSummary& s = workspace.Summary;
    EXPECT_EQ(s.Mean, c.mean);
    EXPECT_EQ(s.Variance, 0.0);
    EXPECT_EQ(s.AlphaMe, 0.0);
    EXPECT_EQ(s.BetaMe, 0.0);
    EXPECT_FALSE(s.Mle);
    EXPECT_EQ(s.Iterations, 0);
    EXPECT_EQ(s.ErrAlpha, 9999.0);
    for (const Region& region : workspace.Regions) {
      EXPECT_EQ(region.EbPropMe,
                static_cast<double>(region.Data1) / static_cast<double>(region.Data2));
      EXPECT_FALSE(region.EbPropMle);
    }
  }
}

// Counts near 2^31 in a two-region group, without a step: a Variance near
// 2.3e18 and estimators near -+1.6e9 whose sum is -1.5, so that
// (Alpha + Beta) + Data2 is -0.5 for the first region. Expected values: the
// same operations in the same order replayed in Python doubles (the exact
// rational values differ beyond the eighth digit, as Alpha + Beta cancels).
TEST(EstimateGroup, CountsNearTwoToThe31) {
  GroupWorkspace workspace = MakeGroup({{2147483647, 1}, {0, 2147483647}});
  EstimateGroup(Settings(0.00001, 0, -1.0, -1.0), false, &workspace);
  const GroupSummary& s = workspace.Summary;
  EXPECT_EQ(s.Mean, 0x1.fffffffcp+29);
  EXPECT_EQ(s.Variance, 0x1.fffffff8p+60);
  EXPECT_EQ(s.AlphaMe, -0x1.7ffffffbp+30);
  EXPECT_EQ(s.BetaMe, 0x1.7ffffff5p+30);
  EXPECT_FALSE(s.Mle);
  EXPECT_EQ(workspace.Regions[0].EbPropMe, -0x1.00000002p+30);
  EXPECT_EQ(workspace.Regions[1].EbPropMe, -0x1.800000028p-1);
}

// The rule on the summary as given: a region whose denominator (Alpha +
// Beta) + Data2 is 0, in either column, keeps its raw proportion, and every
// region's EbPropMle is empty when the fit failed.
TEST(ComputeEbProportions, UsesTheSummaryAsItStands) {
  struct Case {
    const char* name;
    double alpha_me, beta_me;
    int converged;
    double alpha_mle, beta_mle;
    double eb_me;
    std::optional<double> eb_mle;  // for the region 3 of 10
    double neighbour_me;   // for the region 1 of 5 beside it
  };
  const Case cases[] = {
      {"plain", 1.0, 4.0, 1, 2.0, 3.0, 4.0 / 15.0, 5.0 / 15.0, 0.2},
      {"failed fit", 1.0, 4.0, 0, 2.0, 3.0, 4.0 / 15.0, std::nullopt, 0.2},
      // (-4 + -6) + 10 = 0 in each column; the neighbour's -3 / -5 is not.
      {"zero denominators", -4.0, -6.0, 1, -3.0, -7.0, 0.3, 0.3, 0.6},
      {"zero denominator, failed fit", -4.0, -6.0, 0, 1.0, 1.0, 0.3, std::nullopt,
       0.6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GroupWorkspace workspace = MakeGroup({{3, 10}, {1, 5}});
    workspace.Summary.AlphaMe = c.alpha_me;
    workspace.Summary.BetaMe = c.beta_me;
    if (c.converged == 1) workspace.Summary.Mle = BetaPrior{c.alpha_mle, c.beta_mle};
    ComputeEbProportions(&workspace);
    EXPECT_EQ(workspace.Regions[0].EbPropMe, c.eb_me);
    EXPECT_EQ(workspace.Regions[0].EbPropMle, c.eb_mle);
    EXPECT_EQ(workspace.Regions[1].EbPropMe, c.neighbour_me);
  }
}

// Whatever the data and settings, every summary field and every result of
// every region is a number (or empty): no infinity or NaN from a
// zero denominator, an overflowing step or a tiny variance gets through.
TEST(EstimateGroup, NoInfinityOrNaNReachesTheResults) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const Counts groups[] = {
      {{1, 10}, {3, 10}},
      {{0, 10}, {9, 10}, {1, 10}},  // negative moment estimators
      {{1, 10}, {2, 20}, {3, 30}},  // variance about 2.9e-34
      {{0, 1}, {2, 1}},             // both denominators 0
      {{0, 1}, {6, 3}},
      {{15, 10}, {1, 10}, {4, 8}},
      {{1000, 1}, {0, 1}, {3, 5}},
      {{0, 10}, {0, 3}},
      {{5, 5}},
  };
  const RunSettings settings[] = {
      RunSettings(), Settings(9999.0, 20, -1.0, -1.0), Settings(-kInf, 20, -1.0, -1.0),
      Settings(0.00001, 20, 1e308, 1e308), Settings(0.00001, 20, 1e308, 1.0),
      Settings(0.00001, 20, 1e-300, -1.0), Settings(kInf, 20, 1.0, 1e-300),
  };
  for (const Counts& counts : groups) {
    for (const RunSettings& setting : settings) {
      SCOPED_TRACE(::testing::Message()
                   << counts.size() << " regions from " << counts[0].first
                   << " of " << counts[0].second << ", Eps " << setting.Eps
                   << ", AlphaInit " << setting.AlphaInit);
      GroupWorkspace workspace = MakeGroup(counts);
      EstimateGroup(setting, false, &workspace);
      const GroupSummary& s = workspace.Summary;
      for (const double value : {s.Mean, s.Variance, s.AlphaStart, s.BetaStart, s.AlphaMe,
                                 s.BetaMe, MleAlpha(s).value_or(0.0), MleBeta(s).value_or(0.0),
                                 s.ErrAlpha, s.ErrBeta}) {
        EXPECT_TRUE(std::isfinite(value)) << value;
      }
      for (const Region& region : workspace.Regions) {
        EXPECT_TRUE(std::isfinite(region.Proportion()));
        EXPECT_TRUE(std::isfinite(region.EbPropMe)) << region.EbPropMe;
        EXPECT_EQ(region.EbPropMle.has_value(), s.Mle.has_value());
        EXPECT_TRUE(std::isfinite(region.EbPropMle.value_or(0.0)));
      }
    }
  }
}

}  // namespace
}  // namespace propsmooth
