#include "stats/prior_fit.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fit_data.h"

namespace propsmooth {
namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// Optima from tests/stats/prior_fit_reference.py, as the rats' in
// fit_data.h.
constexpr double kUnit30Alpha = 0.21398999471152347239;  // Beta equal by symmetry
constexpr double kUnit30LogLik = -7.9616632280255939243;
constexpr double kUnit30SizeLower95 = 0.0633483856969023;
// Unit 10: so flat an optimum that the log-likelihood stops showing the
// ascent some 1e-7 short of it.
constexpr double kUnit10Alpha = 19.607146606983819;
constexpr double kUnit10Beta = 131.35501725161939;
constexpr double kUnit10LogLik = -17.44601812809692;
// The large group: sizes near 1e5, Alpha + Beta near 1.8e4; its level is
// noise (1e-9) long before the gradient is.
constexpr double kLargeAlpha = 5327.0954529966615083;
constexpr double kLargeBeta = 12437.023053104933611;
constexpr double kLargeLogLik = -219.9962663632098673;
// Complete pooling's bound for kUnderdispersed: the profile chi2/2 below
// l_bin, searched down from a size of 1e15.
constexpr double kUnderdispersedSizeLower95 = 36.639107530732;

const Counts kUnit10 = {{14, 120}, {9, 95}, {30, 160}, {4, 70}, {21, 130}, {11, 88}};
// large_group() of the script: 30 regions of 80,000 to 120,000 trials,
// rates drawn around 0.3 with a little extra-binomial spread (seed 22).
const Counts kLarge = {
    {26541, 89199},  {24635, 81338},  {34457, 114254}, {30356, 100660}, {31356, 103182},
    {28464, 96830},  {28376, 94989},  {35540, 119573}, {25504, 82811},  {34455, 113926},
    {27304, 91730},  {25505, 87236},  {30260, 101846}, {35079, 116664}, {24293, 82073},
    {27752, 91507},  {34269, 112462}, {33337, 109790}, {30717, 103058}, {29606, 100796},
    {35138, 116222}, {25355, 85811},  {24516, 81933},  {24910, 82259},  {31668, 105157},
    {28690, 95827},  {34052, 112457}, {34865, 116355}, {31185, 102541}, {27279, 92782}};

// Where propsmooth's Newton fit fails (from the moment estimators, and from
// the usage text's start -A12.3 -B13.0 -E0.005 -L10) and how each now
// ends, beside the starts where it converges.
TEST(FitPrior, EndsEveryNewtonFailureAtTheIndependentOptimumOrABoundary) {
  const RunSettings plain;
  const RunSettings usage = Settings(0.005, 10, 12.3, 13.0);
  const RunSettings near = Settings(0.00001, 20, 2.0, 14.0);
  struct Case {
    const char* Name;
    std::vector<Region> Regions;
    RunSettings Run;
    FitLabel Label;
    FitBoundary Boundary;
    double Alpha, Beta, LogLik;
  };
  const Case cases[] = {
      {"rats, moments", RatRegions(), plain, FitLabel::kNewton, FitBoundary::kNone,
       kRatsAlpha, kRatsBeta, kRatsLogLik},
      {"rats, -A2 -B14", RatRegions(), near, FitLabel::kNewton, FitBoundary::kNone,
       kRatsAlpha, kRatsBeta, kRatsLogLik},
      {"rats, usage start", RatRegions(), usage, FitLabel::kSafeguarded, FitBoundary::kNone,
       kRatsAlpha, kRatsBeta, kRatsLogLik},
      {"unit 30, moments", RegionsOf(kUnit30), plain, FitLabel::kSafeguarded,
       FitBoundary::kNone, kUnit30Alpha, kUnit30Alpha, kUnit30LogLik},
      {"unit 30, usage start", RegionsOf(kUnit30), usage, FitLabel::kSafeguarded,
       FitBoundary::kNone, kUnit30Alpha, kUnit30Alpha, kUnit30LogLik},
      {"unit 10, usage start", RegionsOf(kUnit10), usage, FitLabel::kSafeguarded,
       FitBoundary::kNone, kUnit10Alpha, kUnit10Beta, kUnit10LogLik},
      // propsmooth stopped after one step (-L1), the search from there;
      // it used to stop 2.3e-8 short where the level stopped showing the
      // ascent, its gradient 2.5e-5 "within 1e-6".
      {"large group, -A4000 -B9000 -L1", RegionsOf(kLarge), Settings(0.00001, 1, 4000, 9000),
       FitLabel::kSafeguarded, FitBoundary::kNone, kLargeAlpha, kLargeBeta, kLargeLogLik},
      {"large group, -A50000 -B100000 -L1", RegionsOf(kLarge),
       Settings(0.00001, 1, 50000, 100000), FitLabel::kSafeguarded, FitBoundary::kNone,
       kLargeAlpha, kLargeBeta, kLargeLogLik},
      {"large group, usage start", RegionsOf(kLarge), usage, FitLabel::kSafeguarded,
       FitBoundary::kNone, kLargeAlpha, kLargeBeta, kLargeLogLik},
      {"underdispersed, moments", RegionsOf(kUnderdispersed), plain,
       FitLabel::kNoFiniteMaximum, FitBoundary::kCompletePooling, kNone, kNone, kNone},
      {"underdispersed, usage start", RegionsOf(kUnderdispersed), usage,
       FitLabel::kNoFiniteMaximum, FitBoundary::kCompletePooling, kNone, kNone, kNone},
      {"unit 20, one region", RegionsOf({{7, 40}}), plain, FitLabel::kNoFiniteMaximum,
       FitBoundary::kCompletePooling, kNone, kNone, kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const PriorFit fit = FitAfterPropsmooth(c.Regions, c.Run);
    EXPECT_STREQ(FitLabelText(fit.Label), FitLabelText(c.Label));
    EXPECT_EQ(fit.Boundary, c.Boundary);
    ASSERT_EQ(fit.Prior.has_value(), !std::isnan(c.Alpha));
    if (fit.Prior) {
      // propsmooth stops once its corrections are below 1e-5; the search
      // goes on to a gradient within 1e-10 of the log-likelihood.
      const double tolerance = c.Label == FitLabel::kNewton ? 1e-6 : 1e-9;
      EXPECT_NEAR(fit.Prior->Alpha, c.Alpha, tolerance * c.Alpha);
      EXPECT_NEAR(fit.Prior->Beta, c.Beta, tolerance * c.Beta);
      ASSERT_TRUE(fit.LogLik.has_value());
      EXPECT_NEAR(*fit.LogLik, c.LogLik, 1e-10 * std::fabs(c.LogLik));
      EXPECT_GT(*fit.LogLik, fit.BinomialLogLik);
      EXPECT_LE(fit.Iterations, kSafeguardedStepLimit);
    } else {
      // Complete pooling: nothing beat the binomial limit, which falls as
      // theta leaves 0.
      EXPECT_LE(fit.SlopeAtBinomial, 0.0);
      ASSERT_TRUE(fit.LogLik.has_value());
      EXPECT_EQ(*fit.LogLik, fit.BinomialLogLik);
      EXPECT_FALSE(fit.SeAlpha.has_value());
    }
  }
}

// Boundaries are named from the counts and the likelihood's shape.
TEST(FitPrior, NamesEachBoundary) {
  struct Case {
    const char* Name;
    Counts Regions;
    FitLabel Label;
    FitBoundary Boundary;
  };
  const Case cases[] = {
      {"all zero", {{0, 10}, {0, 20}, {0, 5}}, FitLabel::kNoFiniteMaximum,
       FitBoundary::kNoSuccesses},
      {"all x = n", {{10, 10}, {20, 20}}, FitLabel::kNoFiniteMaximum,
       FitBoundary::kAllSuccesses},
      {"all or nothing", {{0, 10}, {20, 20}, {0, 3}}, FitLabel::kNoFiniteMaximum,
       FitBoundary::kNoPooling},
      {"equal proportions", {{2, 10}, {4, 20}, {6, 30}, {1, 5}}, FitLabel::kNoFiniteMaximum,
       FitBoundary::kCompletePooling},
      {"count above size", {{2, 10}, {11, 10}}, FitLabel::kFailed, FitBoundary::kNotBinomial},
      {"no trials", {{0, 0}, {0, 0}}, FitLabel::kFailed, FitBoundary::kNoTrials},
      {"no regions", {}, FitLabel::kFailed, FitBoundary::kNoTrials},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const PriorFit fit = FitAfterPropsmooth(RegionsOf(c.Regions), RunSettings{});
    EXPECT_EQ(fit.Label, c.Label);
    EXPECT_EQ(fit.Boundary, c.Boundary);
    EXPECT_FALSE(std::string(FitBoundaryText(fit.Boundary)).empty());
    EXPECT_FALSE(fit.Prior.has_value());
    EXPECT_FALSE(fit.SeAlpha.has_value());
  }
}

// Regions all successes or none: the supremum, as Alpha + Beta -> 0, is
// K log mu + Z log(1 - mu) at mu = K/(K + Z) (K regions at x = n > 0, Z at
// x = 0 < n; a size-0 region counts in neither). Values by hand, the first
// also the limit of the 50-digit mpmath log-gamma likelihood at mu = 0.6
// (-3.365058335050 at Alpha + Beta = 1e-12, moving less than 5e-12 below
// it). The fast likelihood at a tiny size must approach the same value
// from below (or equal it: with sizes of 1 the size does not matter).
TEST(FitPrior, NoPoolingLogLikIsTheSupremumAtSizeZero) {
  struct Case {
    Counts Regions;
    double Mean, LogLik;
  };
  const Case cases[] = {
      // 3 log 0.6 + 2 log 0.4
      {{{0, 5}, {3, 3}, {0, 2}, {7, 7}, {4, 4}, {0, 0}}, 0.6, -3.3650583350462822},
      // log(1/3) + 2 log(2/3)
      {{{0, 10}, {20, 20}, {0, 3}}, 1.0 / 3.0, -1.9095425048844386},
      // 2 log(1/2)
      {{{1, 1}, {0, 1}}, 0.5, -1.3862943611198906},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.LogLik);
    const std::vector<Region> regions = RegionsOf(c.Regions);
    const PriorFit fit = FitAfterPropsmooth(regions, RunSettings{});
    EXPECT_EQ(fit.Boundary, FitBoundary::kNoPooling);
    ASSERT_TRUE(fit.LogLik.has_value());
    EXPECT_NEAR(*fit.LogLik, c.LogLik, 1e-15 * std::fabs(c.LogLik));
    const double near_limit =
        EvaluateLikelihood(MakeBetaBinomialData(regions), {c.Mean, 1.0 - c.Mean, 1e12}).LogLik;
    EXPECT_LE(near_limit, *fit.LogLik);
    EXPECT_NEAR(near_limit, *fit.LogLik, 1e-9);
  }
}

// Standard errors against the inverse of minus a central-difference Hessian
// of the plain log-gamma likelihood, taken in the coordinates themselves:
// in (logit mu, log size) for those two, in (Alpha, Beta) for Alpha and
// Beta, so that the delta method is checked too. The differences carry
// errors near 1e-4 relative; the profile bounds come from the script.
TEST(FitPrior, StandardErrorsAndProfileBoundMatchIndependentValues) {
  struct Case {
    const char* Name;
    std::vector<Region> Regions;
    RunSettings Run;
    double SizeLower95;
  };
  const Case cases[] = {
      {"rats", RatRegions(), RunSettings{}, kRatsSizeLower95},
      {"rats, usage start", RatRegions(), Settings(0.005, 10, 12.3, 13.0), kRatsSizeLower95},
      {"unit 30", RegionsOf(kUnit30), RunSettings{}, kUnit30SizeLower95},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const PriorFit fit = FitAfterPropsmooth(c.Regions, c.Run);
    ASSERT_TRUE(fit.Prior.has_value());
    ASSERT_TRUE(fit.SeAlpha && fit.SeBeta && fit.SeLogitMean && fit.SeLogSize);
    const double alpha = fit.Prior->Alpha;
    const double beta = fit.Prior->Beta;
    const auto in_coordinates = [&](double u, double v) {
      return LogGammaLogLik(c.Regions, u, v);
    };
    const auto in_parameters = [&](double a, double b) {
      return LogGammaLogLik(c.Regions, std::log(a) - std::log(b), std::log(a + b));
    };
    const LocalShape coordinates =
        DifferenceShape(in_coordinates, std::log(alpha) - std::log(beta), std::log(alpha + beta));
    // Steps of 1e-3 in Alpha and Beta: the scale of unit 30's prior.
    const LocalShape parameters = DifferenceShape(in_parameters, alpha, beta);
    const auto inverse_diagonal = [](const LocalShape& s) {
      const double det = s.Hessian[0][0] * s.Hessian[1][1] - s.Hessian[0][1] * s.Hessian[1][0];
      return std::array<double, 2>{-s.Hessian[1][1] / det, -s.Hessian[0][0] / det};
    };
    const std::array<double, 2> var_uv = inverse_diagonal(coordinates);
    const std::array<double, 2> var_ab = inverse_diagonal(parameters);
    EXPECT_NEAR(*fit.SeLogitMean, std::sqrt(var_uv[0]), 1e-3 * std::sqrt(var_uv[0]));
    EXPECT_NEAR(*fit.SeLogSize, std::sqrt(var_uv[1]), 1e-3 * std::sqrt(var_uv[1]));
    EXPECT_NEAR(*fit.SeAlpha, std::sqrt(var_ab[0]), 1e-3 * std::sqrt(var_ab[0]));
    EXPECT_NEAR(*fit.SeBeta, std::sqrt(var_ab[1]), 1e-3 * std::sqrt(var_ab[1]));
    ASSERT_TRUE(fit.SizeLower95.has_value());
    EXPECT_NEAR(*fit.SizeLower95, c.SizeLower95, 1e-8 * c.SizeLower95);
  }
  const PriorFit pooled = FitAfterPropsmooth(RegionsOf(kUnderdispersed), RunSettings{});
  ASSERT_TRUE(pooled.SizeLower95.has_value());
  EXPECT_NEAR(*pooled.SizeLower95, kUnderdispersedSizeLower95, 1e-8 * kUnderdispersedSizeLower95);
  // Only the page and the summary show it.
  EXPECT_FALSE(FitAfterPropsmooth(RatRegions(), RunSettings{}, false).SizeLower95);
}

}  // namespace
}  // namespace propsmooth
