// The moment estimator: proportions, mean, sample variance and the moment
// estimators of Alpha and Beta (of groups without any spread: eb_test.cc).
#include "estimate/moments.h"

#include <gtest/gtest.h>

#include <cmath>  // std::isfinite
#include <string>
#include <utility>
#include <vector>

#include "estimate/worked_groups.h"
#include "strict_output/printed.h"

namespace propsmooth {
namespace {

// Expected figures are exact rational results (Python fractions: mean and
// variance of the fractions x/n, r = m(1 - m)/v - 1, Alpha = m r,
// Beta = (1 - m) r) rounded to six decimals; they agree with the worked
// figures of the tool's documentation wherever those exist. One workspace
// serves every case, so each must overwrite what the one before left.
TEST(ComputeMoments, MatchesExactRationalMoments) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, int>> counts;
    const char* mean;
    const char* variance;
    const char* alpha_me;
    const char* beta_me;
    std::vector<const char*> proportions;
  };
  const Case cases[] = {
      // The divisor is c - 1 and a deviation below the mean counts like one
      // above: (0.01 + 0.01) / 1, not / 2 and not 0.
      {"two regions", {{1, 10}, {3, 10}},
       "0.200000", "0.020000", "1.400000", "5.600000",
       {"0.100000", "0.300000"}},
      {"six regions",
       {{12, 100}, {30, 120}, {7, 80}, {25, 90}, {16, 110}, {40, 150}},
       "0.191233", "0.006913", "4.087291", "17.286048",
       {"0.120000", "0.250000", "0.087500", "0.277778", "0.145455", "0.266667"}},
      {"five regions", {{12, 100}, {30, 120}, {5, 90}, {22, 110}, {9, 70}},
       "0.150825", "0.005694", "3.241812", "18.251995",
       {"0.120000", "0.250000", "0.055556", "0.200000", "0.128571"}},
      // Variance above m(1 - m): both estimators negative, kept as they are.
      {"negative estimators", {{0, 10}, {9, 10}, {1, 10}},
       "0.333333", "0.243333", "-0.028919", "-0.057839",
       {"0.000000", "0.900000", "0.100000"}},
      {"four regions", {{0, 10}, {10, 10}, {1, 10}, {9, 10}},
       "0.500000", "0.273333", "-0.042683", "-0.042683",
       {"0.000000", "1.000000", "0.100000", "0.900000"}},
      {"none and all", {{0, 10}, {10, 10}},
       "0.500000", "0.500000", "-0.250000", "-0.250000",
       {"0.000000", "1.000000"}},
      // A count above its size is a proportion above 1, used like any other.
      {"count above size", {{15, 10}, {1, 10}, {4, 8}},
       "0.700000", "0.520000", "-0.417308", "-0.178846",
       {"1.500000", "0.100000", "0.500000"}},
  };
  GroupWorkspace workspace;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    workspace.Regions = MakeGroup(c.counts).Regions;
    ComputeMoments(&workspace);
    const GroupSummary& s = workspace.Summary;
    EXPECT_EQ(FormatFixed6(s.Mean), c.mean);
    EXPECT_EQ(FormatFixed6(s.Variance), c.variance);
    EXPECT_EQ(FormatFixed6(s.AlphaMe), c.alpha_me);
    EXPECT_EQ(FormatFixed6(s.BetaMe), c.beta_me);
    ASSERT_EQ(workspace.Regions.size(), c.proportions.size());
    for (std::size_t i = 0; i < c.proportions.size(); ++i) {
      EXPECT_EQ(FormatFixed6(workspace.Regions[i].Proportion()), c.proportions[i])
          << "region " << i + 1;
    }
  }
}

// 1/10, 2/20 and 3/30 are the same double, but their mean is not: the sum
// 0.1 + 0.1 + 0.1 rounds to 0x1.3333333333334p-2 and a third of it to
// 0x1.999999999999bp-4, one unit in the last place (2^-56) above 0.1. Each
// deviation is -2^-56, so the variance is 3 * 2^-112 / 2 = 0x1.8p-112
// (about 2.9e-34): not zero, and the estimators follow from it unchanged.
TEST(ComputeMoments, TinyVarianceStillGivesEstimators) {
  GroupWorkspace workspace = MakeGroup({{1, 10}, {2, 20}, {3, 30}});
  ComputeMoments(&workspace);
  const GroupSummary& s = workspace.Summary;
  EXPECT_EQ(s.Mean, 0x1.999999999999bp-4);
  EXPECT_EQ(s.Variance, 0x1.8p-112);
  ASSERT_TRUE(std::isfinite(s.AlphaMe));
  ASSERT_TRUE(std::isfinite(s.BetaMe));
  // Alpha + Beta = m(1 - m)/v - 1 and Alpha / (Alpha + Beta) = m.
  const double total = s.AlphaMe + s.BetaMe;
  EXPECT_NEAR(total / (s.Mean * (1.0 - s.Mean) / s.Variance - 1.0), 1.0, 1e-12);
  EXPECT_NEAR(s.AlphaMe / total, s.Mean, 1e-12);
  EXPECT_GT(s.AlphaMe, 3e31);
}

}  // namespace
}  // namespace propsmooth
