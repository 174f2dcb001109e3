#include "stats/sufficient_statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "estimate/eb.h"
#include "fit_data.h"
#include "stats/prior_fit.h"

namespace propsmooth {
namespace {

// The sums over histograms run in value order, those over regions in
// region order: a few ulps per term apart.
constexpr double kRelative = 1e-12;
// The optimum moves by the gradient's rounding over the Hessian, and the
// gradient is a difference of sums of 10^5 over 20,000 regions: about
// 1.4e-12 apart there.
constexpr double kOptimumRelative = 1e-11;

void ExpectClose(double from_statistics, double from_regions, const char* what,
                 double relative = kRelative) {
  SCOPED_TRACE(what);
  if (std::isnan(from_regions)) {
    EXPECT_TRUE(std::isnan(from_statistics)) << from_statistics;
    return;
  }
  EXPECT_NEAR(from_statistics, from_regions, relative * std::fabs(from_regions));
}

// Regions drawn from a beta-binomial with a fixed generator: many distinct
// counts and sizes, as in a large table.
std::vector<Region> DrawnRegions(int count) {
  std::uint64_t state = 12345;
  const auto uniform = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 9007199254740992.0;
  };
  std::vector<Region> regions;
  for (int i = 0; i < count; ++i) {
    // A rate from a mixture of two clusters, a size from 1 to 400.
    const double rate = uniform() < 0.7 ? 0.05 + 0.1 * uniform() : 0.2 + 0.3 * uniform();
    Region region;
    region.Data2 = 1 + static_cast<int>(uniform() * 400.0);
    for (int k = 0; k < region.Data2; ++k) region.Data1 += uniform() < rate ? 1 : 0;
    regions.push_back(region);
  }
  return regions;
}

SufficientStatistics StatisticsOf(const std::vector<Region>& regions, std::size_t begin,
                                  std::size_t end) {
  std::vector<std::int32_t> counts;
  std::vector<std::int32_t> sizes;
  for (std::size_t i = begin; i < end; ++i) {
    counts.push_back(regions[i].Data1);
    sizes.push_back(regions[i].Data2);
  }
  return StatisticsOfRegions(counts, sizes);
}

// The regions cut into `parts` uneven parts (some empty), each summarised
// apart and merged from the last to the first, as partitions may arrive.
SufficientStatistics PartedStatistics(const std::vector<Region>& regions, std::size_t parts) {
  std::vector<std::size_t> cuts = {0};
  for (std::size_t p = 1; p < parts; ++p) cuts.push_back(regions.size() * p * p / (parts * parts));
  cuts.push_back(regions.size());
  SufficientStatistics merged;
  for (std::size_t p = parts; p-- > 0;) {
    merged = MergeStatistics(StatisticsOf(regions, cuts[p], cuts[p + 1]), merged);
  }
  return merged;
}

// The fit from merged partition statistics against the fit of all regions
// at once (propsmooth's estimate, FitPrior, ChooseFit): the same outcome
// and step counts, the figures within kRelative.
TEST(FitStatistics, AgreesWithTheFitOfAllRegions) {
  const RunSettings plain;
  const RunSettings usage = Settings(0.005, 10, 12.3, 13.0);
  const RunSettings short_limit = Settings(1e-12, 3, -1.0, -1.0);
  struct Case {
    const char* Name;
    std::vector<Region> Regions;
    RunSettings Run;
    // propsmooth's Newton starts from moment estimators that are rounding
    // (near 1e31, or 0, by the order of the sums) and fails either way:
    // its steps and corrections are not compared.
    bool RoundedStart = false;
  };
  const Case cases[] = {
      {"rats", RatRegions(), plain},
      {"rats, usage start (safeguarded)", RatRegions(), usage},
      {"rats, 3 steps (Newton fails)", RatRegions(), short_limit},
      {"drawn 20,000", DrawnRegions(20000), plain},
      {"unit 30", RegionsOf(kUnit30), plain},
      {"underdispersed", RegionsOf(kUnderdispersed), plain},
      {"all zero", RegionsOf({{0, 10}, {0, 20}, {0, 5}}), plain},
      {"all x = n", RegionsOf({{10, 10}, {20, 20}}), plain},
      {"all or nothing", RegionsOf({{0, 10}, {20, 20}, {0, 3}, {5, 5}}), plain},
      {"all but one all or nothing", RegionsOf({{0, 10}, {20, 20}, {1, 3}, {5, 5}}), plain},
      {"one region", RegionsOf({{7, 40}}), plain},
      // Equal across the parts: no spread, as the front door reports it.
      {"equal proportions", RegionsOf(kEqualProportions), plain, true},
      {"count above size", RegionsOf({{2, 10}, {11, 10}, {4, 9}}), plain},
      {"no regions", {}, plain},
  };
  for (const Case& c : cases) {
    for (const std::size_t parts : {1u, 2u, 7u}) {
      SCOPED_TRACE(std::string(c.Name) + ", parts " + std::to_string(parts));
      GroupWorkspace whole;
      whole.Regions = c.Regions;
      EstimateGroup(c.Run, false, &whole);
      SettleEqualProportions(ProportionsAllEqual(whole.Regions), &whole.Summary);
      const PriorFit prior_fit = FitPrior(whole.Regions, whole.Summary, c.Run, true);
      const GroupFit expected = ChooseFit(whole.Regions, prior_fit, whole.Summary,
                                          PriorEstimator::kMle);

      const SufficientStatistics statistics = PartedStatistics(c.Regions, parts);
      ASSERT_FALSE(StatisticsError(statistics).has_value()) << *StatisticsError(statistics);
      const StatisticsFit got = FitStatistics(statistics, c.Run, PriorEstimator::kMle, true);

      const GroupSummary& s = got.Summary;
      ExpectClose(s.Mean, whole.Summary.Mean, "mean");
      ExpectClose(s.Variance, whole.Summary.Variance, "variance");
      ExpectClose(s.AlphaMe, whole.Summary.AlphaMe, "alpha_me");
      ExpectClose(s.BetaMe, whole.Summary.BetaMe, "beta_me");
      ASSERT_EQ(s.Mle.has_value(), whole.Summary.Mle.has_value());
      if (!c.RoundedStart) {
        EXPECT_EQ(s.Iterations, whole.Summary.Iterations);
        // A converged step's corrections are differences of nearby values,
        // close in absolute terms; a diverging fit's are large and sensitive.
        EXPECT_NEAR(s.ErrAlpha, whole.Summary.ErrAlpha,
                    1e-8 * std::max(1.0, std::fabs(whole.Summary.ErrAlpha)));
        EXPECT_NEAR(s.ErrBeta, whole.Summary.ErrBeta,
                    1e-8 * std::max(1.0, std::fabs(whole.Summary.ErrBeta)));
      }
      if (s.Mle) {
        ExpectClose(s.Mle->Alpha, whole.Summary.Mle->Alpha, "alpha", kOptimumRelative);
        ExpectClose(s.Mle->Beta, whole.Summary.Mle->Beta, "beta", kOptimumRelative);
      }

      const PriorFit& f = got.Fit.Fit;
      EXPECT_EQ(f.Label, prior_fit.Label);
      EXPECT_EQ(f.Boundary, prior_fit.Boundary);
      EXPECT_EQ(f.Iterations, prior_fit.Iterations);
      EXPECT_EQ(PriorName(got.Fit), PriorName(expected));
      ExpectClose(got.Fit.Alpha, expected.Alpha, "posterior alpha", kOptimumRelative);
      ExpectClose(got.Fit.Beta, expected.Beta, "posterior beta", kOptimumRelative);
      ExpectClose(got.Fit.PooledRate, expected.PooledRate, "pooled rate");
      ExpectClose(f.BinomialLogLik, prior_fit.BinomialLogLik, "l_bin");
      ASSERT_EQ(f.LogLik.has_value(), prior_fit.LogLik.has_value());
      if (f.LogLik) ExpectClose(*f.LogLik, *prior_fit.LogLik, "loglik");
      ASSERT_EQ(f.SeAlpha.has_value(), prior_fit.SeAlpha.has_value());
      if (f.SeAlpha) {
        // Second derivatives and their inverse: a little more rounding.
        EXPECT_NEAR(*f.SeAlpha, *prior_fit.SeAlpha, 1e-9 * *prior_fit.SeAlpha);
        EXPECT_NEAR(*f.SeBeta, *prior_fit.SeBeta, 1e-9 * *prior_fit.SeBeta);
      }
      ASSERT_EQ(f.SizeLower95.has_value(), prior_fit.SizeLower95.has_value());
      if (f.SizeLower95) {
        EXPECT_NEAR(*f.SizeLower95, *prior_fit.SizeLower95, 1e-9 * *prior_fit.SizeLower95);
      }
    }
  }
}

// Merging is exact for the histograms and Chan's formula for the moments,
// whatever the order of the parts.
TEST(MergeStatistics, HistogramsExactlyMomentsByChan) {
  const std::vector<Region> regions = DrawnRegions(5000);
  const SufficientStatistics whole = StatisticsOf(regions, 0, regions.size());
  const SufficientStatistics parted = PartedStatistics(regions, 9);
  for (const auto histogram : {&SufficientStatistics::Success, &SufficientStatistics::Failure,
                               &SufficientStatistics::Size}) {
    EXPECT_EQ((parted.*histogram).Values, (whole.*histogram).Values);
    EXPECT_EQ((parted.*histogram).Rows, (whole.*histogram).Rows);
  }
  EXPECT_EQ(parted.Proportions.Count, 5000);
  EXPECT_NEAR(parted.Proportions.Mean, whole.Proportions.Mean, 1e-15);
  EXPECT_NEAR(parted.Proportions.M2, whole.Proportions.M2, 1e-13 * whole.Proportions.M2);

  // A hand example: {0.1, 0.3} and {0.5}: mean 0.3, M2 = 0.04 + 0 + 0.04.
  const ProportionMoments merged = MergeMoments({2, 0.2, 0.02}, {1, 0.5, 0.0});
  EXPECT_EQ(merged.Count, 3);
  EXPECT_NEAR(merged.Mean, 0.3, 1e-16);
  EXPECT_NEAR(merged.M2, 0.08, 1e-16);
  // A histogram of n - x counts every row, n - x below 0 included.
  const SufficientStatistics above = StatisticsOf(RegionsOf({{3, 2}, {1, 2}, {1, 2}}), 0, 3);
  EXPECT_EQ(above.Failure.Values, (std::vector<std::int64_t>{-1, 1}));
  EXPECT_EQ(above.Failure.Rows, (std::vector<std::int64_t>{1, 2}));
}

// Statistics from outside are refused with the reason when no regions
// could have them.
TEST(StatisticsError, NamesWhatNoRegionsCouldHave) {
  const SufficientStatistics valid = StatisticsOf(RegionsOf({{1, 4}, {2, 4}, {2, 5}}), 0, 3);
  ASSERT_FALSE(StatisticsError(valid).has_value());
  struct Case {
    const char* Name;
    void (*Spoil)(SufficientStatistics*);
    const char* Reason;
  };
  const Case cases[] = {
      {"unsorted", [](SufficientStatistics* s) { std::swap(s->Size.Values[0], s->Size.Values[1]); },
       "histogram of sizes is not strictly ascending"},
      {"lengths", [](SufficientStatistics* s) { s->Success.Rows.pop_back(); },
       "histogram of counts has 2 values but 1 row counts"},
      {"no rows", [](SufficientStatistics* s) { s->Failure.Rows[0] = 0; },
       "histogram of size minus count counts 0 rows"},
      {"beyond 32 bits", [](SufficientStatistics* s) { s->Size.Values[1] = 1LL << 31; },
       "histogram of sizes has the value 2147483648, outside 1..2147483647"},
      // Values no records that keep the rule give.
      {"count below 0", [](SufficientStatistics* s) { s->Success.Values[0] = -1; },
       "histogram of counts has the value -1, outside 0..2147483647"},
      {"size below 1", [](SufficientStatistics* s) { s->Size.Values[0] = 0; },
       "histogram of sizes has the value 0, outside 1..2147483647"},
      {"difference beyond 32 bits",
       [](SufficientStatistics* s) { s->Failure.Values[0] = -2147483647; },
       "histogram of size minus count has the value -2147483647, outside "
       "-2147483646..2147483647"},
      {"totals", [](SufficientStatistics* s) { s->Proportions.Count = 4; },
       "disagree on the number of rows: 3 counts, 3 differences, 3 sizes, 4 proportions"},
      {"first size beyond 32 bits", [](SufficientStatistics* s) { s->Fraction.FirstN = 1LL << 40; },
       "the first proportion 1/1099511627776 of 3 rows"},
      {"equal at a size of 0",
       [](SufficientStatistics* s) {
         s->Fraction.FirstN = 0;
         s->Fraction.Equal = true;
       },
       "the first proportion 1/0 of 3 rows"},
      {"sum overflows",
       [](SufficientStatistics* s) {
         s->Size.Values[1] = 2147483647;
         s->Size.Rows[1] = 1LL << 40;
       },
       "histogram of sizes sums beyond 64 bits"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    SufficientStatistics spoilt = valid;
    c.Spoil(&spoilt);
    const std::optional<std::string> error = StatisticsError(spoilt);
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find(c.Reason), std::string::npos) << *error;
  }
}

}  // namespace
}  // namespace propsmooth
