#include "stats/likelihood_bound.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/datasets.h"
#include "estimate/eb.h"
#include "fit_data.h"
#include "stats/beta_binomial_likelihood.h"
#include "stats/prior_fit.h"

namespace propsmooth {
namespace {

const char* OrderName(LevelOrder order) {
  switch (order) {
    case LevelOrder::kAbove:
      return "above";
    case LevelOrder::kBelow:
      return "below";
    case LevelOrder::kUnproven:
      return "unproven";
  }
  return "";
}

// Groups whose ladders take every path of the sums: single terms, long
// steps summed in closed form, zeros and full regions, sizes of 1e5.
struct NamedGroup {
  const char* Name;
  Counts Group;
};
const NamedGroup kGroups[] = {
    {"unit 30", kUnit30},
    {"underdispersed", kUnderdispersed},
    {"equal proportions", kEqualProportions},
    {"long steps", {{150, 1000}, {90, 1000}, {400, 2500}, {0, 700}, {700, 700}, {30, 90}}},
    {"large sizes", {{26541, 89199}, {24635, 81338}, {34457, 114254}, {30356, 100660}}},
};

// Points from near the binomial limit (size 1e9) to sizes below 1.
const double kPoints[][2] = {{0.3, 0.5}, {2.0, 7.0}, {40.0, 160.0}, {3e3, 7e3}, {2e8, 8e8}};

// The exact code's own value is the reference: whatever the certificate
// claims must hold for it, and inside any bound it must claim nothing.
// Every bound is at least 2^-36 of the ladder sums, which are here at
// least a thousandth of |L|, so levels within 1e-15 |L| (and L itself)
// must stay unproven; a level 1e3 beyond |L| + 1e3 is beyond every bound
// at these sizes (the largest, lgamma near 4e10 at size 1e9, gives a
// bound near 1e-3 of a few hundred regions' sums).
TEST(CompareLogLikelihood, NeverContradictsTheExactSumsAndAbstainsAtTies) {
  for (const NamedGroup& group : kGroups) {
    const BetaBinomialData data = MakeBetaBinomialData(RegionsOf(group.Group));
    for (const auto& ab : kPoints) {
      const ModelPoint point = PointOfPrior(ab[0], ab[1]);
      const double exact = EvaluateLikelihood(data, point).LogLik;
      ASSERT_TRUE(std::isfinite(exact));
      const double far = 1e3 + std::fabs(exact);
      struct Level {
        const char* Name;
        double Value;
        bool MustAbstain;
        bool MustDecide;
      };
      const double inf = std::numeric_limits<double>::infinity();
      const Level levels[] = {
          {"the value", exact, true, false},
          {"one ulp up", std::nextafter(exact, inf), true, false},
          {"one ulp down", std::nextafter(exact, -inf), true, false},
          {"1e-15 up", exact + 1e-15 * std::fabs(exact), true, false},
          {"1e-15 down", exact - 1e-15 * std::fabs(exact), true, false},
          {"1e-9 up", exact + 1e-9 * std::fabs(exact), false, false},
          {"1e-9 down", exact - 1e-9 * std::fabs(exact), false, false},
          {"1 up", exact + 1.0, false, false},
          {"1 down", exact - 1.0, false, false},
          {"far up", exact + far, false, true},
          {"far down", exact - far, false, true},
      };
      for (const Level& level : levels) {
        SCOPED_TRACE(std::string(group.Name) + " at " + std::to_string(ab[0]) + ", " +
                     std::to_string(ab[1]) + ", level " + level.Name);
        const LevelOrder order = CompareLogLikelihood(data, point, level.Value);
        SCOPED_TRACE(OrderName(order));
        if (order == LevelOrder::kAbove) { EXPECT_GT(exact, level.Value); }
        if (order == LevelOrder::kBelow) { EXPECT_LT(exact, level.Value); }
        if (level.MustAbstain) { EXPECT_EQ(order, LevelOrder::kUnproven); }
        if (level.MustDecide) { EXPECT_NE(order, LevelOrder::kUnproven); }
      }
    }
  }
}

// The rats against their 50-digit values (beta_binomial_likelihood_test:
// mpmath log-gamma differences, which the sums match to 1e-12 relative).
// A level `offset` from the true value is proven on the right side where
// the bound is below |offset|, else left alone. The bound is dominated by
// some 100 u times the log-gamma values summed over the 70 regions, about
// 70 (3 lgamma(z + n) + 2 z): 3e-9 at size 10 (z up to 10), 3e-7 at 1e4,
// 1e-2 at 1e8 (lgamma(1e8) = 1.7e9) and 1e4 at 1e14; doubled as slack.
TEST(CompareLogLikelihood, DecidesAgainstFiftyDigitValuesWhereTheBoundAllows) {
  struct Case {
    double Alpha, Beta, LogLik, Offset;
    LevelOrder Expected;
  };
  const Case cases[] = {
      {1.4000000000000001, 8.6, -155.3803967147600619246507, -1e-6, LevelOrder::kAbove},
      {1.4000000000000001, 8.6, -155.3803967147600619246507, 1e-6, LevelOrder::kBelow},
      {1400.0000000000002, 8600.0, -170.5963608472362351228684, -1e-4, LevelOrder::kAbove},
      {1400.0000000000002, 8600.0, -170.5963608472362351228684, 1e-4, LevelOrder::kBelow},
      {1400.0000000000002, 8600.0, -170.5963608472362351228684, 1e-10, LevelOrder::kUnproven},
      {14000000.000000002, 86000000.0, -170.7299627193343615099674, -1.0, LevelOrder::kAbove},
      {14000000.000000002, 86000000.0, -170.7299627193343615099674, 1e-5, LevelOrder::kUnproven},
      {14000000000000.002, 86000000000000.0, -170.7299761561572017100477, -1.0,
       LevelOrder::kUnproven},
  };
  const BetaBinomialData data = MakeBetaBinomialData(RatRegions());
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.Alpha + c.Beta) + " offset " + std::to_string(c.Offset));
    EXPECT_STREQ(OrderName(CompareLogLikelihood(data, PointOfPrior(c.Alpha, c.Beta),
                                                c.LogLik + c.Offset)),
                 OrderName(c.Expected));
  }
}

// The lean evaluation must be the full one's derivatives bit for bit (the
// fit's peak test reads them), and the limit's log-likelihood its base.
TEST(EvaluateDerivatives, SameBitsAsTheFullEvaluationAndTheLimitIsItsBase) {
  const auto same = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  for (const NamedGroup& group : kGroups) {
    SCOPED_TRACE(group.Name);
    const BetaBinomialData data = MakeBetaBinomialData(RegionsOf(group.Group));
    const ModelPoint pooled = PooledPoint(data);
    EXPECT_TRUE(same(EvaluateLikelihood(data, pooled).LogLik, LogLikelihoodBase(data, pooled)));
    for (const auto& ab : kPoints) {
      SCOPED_TRACE(ab[0]);
      const ModelPoint point = PointOfPrior(ab[0], ab[1]);
      const LikelihoodTerms full = EvaluateLikelihood(data, point);
      const LikelihoodTerms lean = EvaluateDerivatives(data, point);
      EXPECT_EQ(lean.LogLik, 0.0);
      EXPECT_TRUE(same(full.DMean, lean.DMean));
      EXPECT_TRUE(same(full.DTheta, lean.DTheta));
      EXPECT_TRUE(same(full.DMeanMean, lean.DMeanMean));
      EXPECT_TRUE(same(full.DMeanTheta, lean.DMeanTheta));
      EXPECT_TRUE(same(full.DThetaTheta, lean.DThetaTheta));
    }
  }
  // Outside the model, as the full evaluation.
  const BetaBinomialData data = MakeBetaBinomialData(RegionsOf(kUnit30));
  EXPECT_EQ(EvaluateDerivatives(data, {0.0, 1.0, 0.1}).LogLik,
            -std::numeric_limits<double>::infinity());
}

// Groups of the generator's data sets (its giant counts are left to the
// benchmarks: propsmooth's own fit of them takes seconds) and of the hard
// cases: the fit that
// skips the figures must find the same label, boundary, prior and steps as
// the full one, on groups it proves and on those it leaves to the full fit.
// On the units and rare sets (sizes near 1,000, Newton sizes from tens to
// thousands) the bound is near 1e-7 against gaps to the limit of a tenth
// and more, so at least nine in ten of the Newton fits must be proven.
TEST(FitPrior, WithoutFiguresSameFitAsTheFullOne) {
  struct Set {
    const char* Name;
    std::vector<std::vector<Region>> Groups;
    bool MostlyProven;
  };
  // The sets number their units from 1000 in steps of 7: the first
  // `wanted` of them.
  const auto groups_of = [](Dataset dataset, std::int32_t wanted) {
    std::map<std::int32_t, Counts> by_unit;
    for (const RegionRecord& record : MakeDataset(dataset)) {
      if (record.Unit < 1000 + 7 * wanted) {
        by_unit[record.Unit].emplace_back(record.Data1, record.Data2);
      }
    }
    std::vector<std::vector<Region>> groups;
    for (const auto& [unit, counts] : by_unit) groups.push_back(RegionsOf(counts));
    return groups;
  };
  std::vector<std::vector<Region>> hard;
  for (const NamedGroup& group : kGroups) hard.push_back(RegionsOf(group.Group));
  hard.push_back(RatRegions());
  hard.push_back(RegionsOf({{3, 10}}));
  hard.push_back(RegionsOf({{0, 10}, {0, 20}}));
  const Set sets[] = {
      {"units", groups_of(Dataset::kUnits, 300), true},
      {"rare", groups_of(Dataset::kRare, 300), true},
      {"hard cases", hard, false},
  };
  const RunSettings settings;
  for (const Set& set : sets) {
    std::size_t newton = 0;
    std::size_t proven = 0;
    for (std::size_t g = 0; g < set.Groups.size(); ++g) {
      SCOPED_TRACE(std::string(set.Name) + " group " + std::to_string(g));
      GroupWorkspace workspace;
      workspace.Regions = set.Groups[g];
      EstimateGroup(settings, false, &workspace);
      const BetaBinomialData data = MakeBetaBinomialData(workspace.Regions);
      const PriorFit full = FitPrior(data, workspace.Summary, settings, FitOutputs{true, false});
      const PriorFit lean = FitPrior(data, workspace.Summary, settings, FitOutputs{false, false});
      EXPECT_EQ(FitLabelText(lean.Label), std::string(FitLabelText(full.Label)));
      EXPECT_EQ(lean.Boundary, full.Boundary);
      EXPECT_EQ(lean.Iterations, full.Iterations);
      ASSERT_EQ(lean.Prior.has_value(), full.Prior.has_value());
      if (full.Prior) {
        EXPECT_EQ(lean.Prior->Alpha, full.Prior->Alpha);
        EXPECT_EQ(lean.Prior->Beta, full.Prior->Beta);
      }
      EXPECT_FALSE(lean.SeAlpha.has_value());
      if (full.Label == FitLabel::kNewton) {
        ++newton;
        const ModelPoint point = PointOfPrior(full.Prior->Alpha, full.Prior->Beta);
        if (CompareLogLikelihood(data, point, full.BinomialLogLik) == LevelOrder::kAbove) {
          ++proven;
        }
      }
    }
    SCOPED_TRACE(set.Name);
    if (set.MostlyProven) {
      EXPECT_GT(newton, set.Groups.size() / 2);
      EXPECT_GE(10 * proven, 9 * newton);
    }
  }
}

}  // namespace
}  // namespace propsmooth
