#include "stats/prior_fit.h"

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fit_data.h"
#include "stats/bracketed_newton.h"
#include "stats/profile_bound.h"
#include "stats/profile_bound_internal.h"

namespace propsmooth {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

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

// Standard errors against the inverse of minus a central-difference Hessian
// of the plain log-gamma likelihood, taken in the coordinates themselves:
// in (logit mu, log size) for those two, in (Alpha, Beta) for Alpha and
// Beta, so that the delta method is checked too. The differences carry
// errors near 1e-4 relative.
void ExpectDifferenceStandardErrors(const std::vector<Region>& regions, const PriorFit& fit) {
  ASSERT_TRUE(fit.SeAlpha && fit.SeBeta && fit.SeLogitMean && fit.SeLogSize);
  const double alpha = fit.Prior->Alpha;
  const double beta = fit.Prior->Beta;
  const auto in_coordinates = [&](double u, double v) { return LogGammaLogLik(regions, u, v); };
  const auto in_parameters = [&](double a, double b) {
    return LogGammaLogLik(regions, std::log(a) - std::log(b), std::log(a + b));
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
}

// Where propsmooth's Newton fit fails (from the moment estimators, and from
// the usage text's start -A12.3 -B13.0 -E0.005 -L10) and how each now
// ends, beside the starts where it converges. Where the script gives the
// profile bound, the standard errors are checked too.
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
    double SizeLower95 = kNan;
  };
  const Case cases[] = {
      {"rats, moments", RatRegions(), plain, FitLabel::kNewton, FitBoundary::kNone,
       kRatsAlpha, kRatsBeta, kRatsLogLik, kRatsSizeLower95},
      {"rats, -A2 -B14", RatRegions(), near, FitLabel::kNewton, FitBoundary::kNone,
       kRatsAlpha, kRatsBeta, kRatsLogLik},
      {"rats, usage start", RatRegions(), usage, FitLabel::kSafeguarded, FitBoundary::kNone,
       kRatsAlpha, kRatsBeta, kRatsLogLik, kRatsSizeLower95},
      {"unit 30, moments", RegionsOf(kUnit30), plain, FitLabel::kSafeguarded,
       FitBoundary::kNone, kUnit30Alpha, kUnit30Alpha, kUnit30LogLik, kUnit30SizeLower95},
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
       FitLabel::kNoFiniteMaximum, FitBoundary::kCompletePooling, kNan, kNan, kNan,
       kUnderdispersedSizeLower95},
      {"underdispersed, usage start", RegionsOf(kUnderdispersed), usage,
       FitLabel::kNoFiniteMaximum, FitBoundary::kCompletePooling, kNan, kNan, kNan},
      {"unit 20, one region", RegionsOf({{7, 40}}), plain, FitLabel::kNoFiniteMaximum,
       FitBoundary::kCompletePooling, kNan, kNan, kNan},
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
      if (!std::isnan(c.SizeLower95)) ExpectDifferenceStandardErrors(c.Regions, fit);
    } else {
      // Complete pooling: nothing beat the binomial limit, which falls as
      // theta leaves 0.
      EXPECT_LE(fit.SlopeAtBinomial, 0.0);
      ASSERT_TRUE(fit.LogLik.has_value());
      EXPECT_EQ(*fit.LogLik, fit.BinomialLogLik);
      EXPECT_FALSE(fit.SeAlpha.has_value());
    }
    if (!std::isnan(c.SizeLower95)) {
      ASSERT_TRUE(fit.SizeLower95.has_value());
      EXPECT_NEAR(*fit.SizeLower95, c.SizeLower95, 1e-8 * c.SizeLower95);
    }
  }
  // Only the page and the summary show the bound.
  EXPECT_FALSE(FitAfterPropsmooth(RatRegions(), RunSettings{}, false).SizeLower95);
}

// Boundaries are named from the counts and the likelihood's shape. Where
// regions are all successes or none, the log-likelihood is the supremum, as
// Alpha + Beta -> 0: K log mu + Z log(1 - mu) at mu = K/(K + Z) (K regions
// at x = n > 0, Z at x = 0 < n; a size-0 region counts in neither). Values
// by hand, the first also the limit of the 50-digit mpmath log-gamma
// likelihood at mu = 0.6 (-3.365058335050 at Alpha + Beta = 1e-12, moving
// less than 5e-12 below it). The fast likelihood at a tiny size must
// approach the same value from below (or equal it: with sizes of 1 the
// size does not matter).
TEST(FitPrior, NamesEachBoundary) {
  struct Case {
    const char* Name;
    Counts Regions;
    FitLabel Label;
    FitBoundary Boundary;
    double Mean = kNan, LogLik = kNan;  // no pooling's supremum
  };
  const Case cases[] = {
      {"all zero", {{0, 10}, {0, 20}, {0, 5}}, FitLabel::kNoFiniteMaximum,
       FitBoundary::kNoSuccesses},
      {"all x = n", {{10, 10}, {20, 20}}, FitLabel::kNoFiniteMaximum,
       FitBoundary::kAllSuccesses},
      // log(1/3) + 2 log(2/3)
      {"all or nothing", {{0, 10}, {20, 20}, {0, 3}}, FitLabel::kNoFiniteMaximum,
       FitBoundary::kNoPooling, 1.0 / 3.0, -1.9095425048844386},
      // 3 log 0.6 + 2 log 0.4
      {"all or nothing, a size of 0", {{0, 5}, {3, 3}, {0, 2}, {7, 7}, {4, 4}, {0, 0}},
       FitLabel::kNoFiniteMaximum, FitBoundary::kNoPooling, 0.6, -3.3650583350462822},
      // 2 log(1/2)
      {"all or nothing, sizes of 1", {{1, 1}, {0, 1}}, FitLabel::kNoFiniteMaximum,
       FitBoundary::kNoPooling, 0.5, -1.3862943611198906},
      {"equal proportions", {{2, 10}, {4, 20}, {6, 30}, {1, 5}}, FitLabel::kNoFiniteMaximum,
       FitBoundary::kCompletePooling},
      {"count above size", {{2, 10}, {11, 10}}, FitLabel::kFailed, FitBoundary::kNotBinomial},
      {"no trials", {{0, 0}, {0, 0}}, FitLabel::kFailed, FitBoundary::kNoTrials},
      {"no regions", {}, FitLabel::kFailed, FitBoundary::kNoTrials},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<Region> regions = RegionsOf(c.Regions);
    const PriorFit fit = FitAfterPropsmooth(regions, RunSettings{});
    EXPECT_EQ(fit.Label, c.Label);
    EXPECT_EQ(fit.Boundary, c.Boundary);
    EXPECT_FALSE(std::string(FitBoundaryText(fit.Boundary)).empty());
    EXPECT_FALSE(fit.Prior.has_value());
    EXPECT_FALSE(fit.SeAlpha.has_value());
    if (std::isnan(c.LogLik)) continue;
    ASSERT_TRUE(fit.LogLik.has_value());
    EXPECT_NEAR(*fit.LogLik, c.LogLik, 1e-15 * std::fabs(c.LogLik));
    const double near_limit =
        EvaluateLikelihood(MakeBetaBinomialData(regions), {c.Mean, 1.0 - c.Mean, 1e12}).LogLik;
    EXPECT_LE(near_limit, *fit.LogLik);
    EXPECT_NEAR(near_limit, *fit.LogLik, 1e-9);
  }
}

// The profile bound and the bracketed Newton search under it: a root found
// is a root, and a search that met a NaN or did not settle says so instead
// of handing back its last iterate as the answer. Roots known by hand:
// 2^(1/3) = 1.2599210498948731647..., and 0.3 of a line whose slope is
// given with the wrong sign (bisection must take over).
TEST(FindBracketedRoot, ConvergesOnlyWhereTheStepsSettle) {
  const auto cube = [](double x) { return NewtonValue{x * x * x - 2.0, 3.0 * x * x}; };
  const auto wrong_slope = [](double x) { return NewtonValue{x - 0.3, -1.0}; };
  // Steps of a millionth of Newton's: they stay inside and never settle.
  const auto crawling = [](double x) { return NewtonValue{x - 0.3, 1e6}; };
  const auto nan_above = [](double x) { return NewtonValue{x > 0.5 ? kNan : x - 0.7, 1.0}; };
  struct Case {
    const char* Name;
    std::function<NewtonValue(double)> F;
    double Start;
    bool Converged;
    double Root;
  };
  const Case cases[] = {
      {"cube root of 2", cube, 1.0, true, 1.2599210498948731647},
      {"slope of the wrong sign", wrong_slope, 1.0, true, 0.3},
      {"crawling steps", crawling, 1.0, false, kNan},
      {"NaN beyond 0.5", nan_above, 0.1, false, kNan},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const BracketedRoot root = FindBracketedRoot(c.F, 0.0, 2.0, c.Start, {1e-14, 1.0, 200});
    EXPECT_EQ(root.Converged, c.Converged);
    EXPECT_LE(root.Steps, 200);
    if (c.Converged) {
      EXPECT_NEAR(root.Root, c.Root, 1e-13);
    }
  }
}

// The rat data's bound through the seam, and the same likelihood spoilt:
// NaN below a size of 12 (between the peak's 16.4 and the bound's 8.76,
// where the scan and the bracket must look), or a profile over the mean
// whose Newton steps crawl (the slope's derivative 1e6 times too steep).
// NaN used to count as "below the target" and a profile that never settled
// gave its 200th iterate: the three spoilt cases came back as finite bounds
// (12.76, 12.22, 8.88) for a true 8.76.
TEST(SizeLower95, LeavesTheBoundEmptyWhenTheLikelihoodFailsOrTheSearchDoesNotSettle) {
  const BetaBinomialData data = MakeBetaBinomialData(RatRegions());
  const ProfileLikelihood plain = ProfileLikelihoodOf(data);
  const ModelPoint mean = PointOfPrior(kRatsAlpha, kRatsBeta);
  const double log_size = std::log(kRatsAlpha + kRatsBeta);
  ProfileLikelihood nan_below_12 = plain;
  nan_below_12.Terms = [&](const ModelPoint& point) {
    LikelihoodTerms terms = plain.Terms(point);
    if (point.Theta > 1.0 / 12.0) terms.LogLik = kNan;
    return terms;
  };
  nan_below_12.Slope = [&](const ModelPoint& point) {
    MeanSlope slope = plain.Slope(point);
    if (point.Theta > 1.0 / 12.0) slope.DMean = kNan;
    return slope;
  };
  ProfileLikelihood crawling = plain;
  crawling.Slope = [&](const ModelPoint& point) {
    MeanSlope slope = plain.Slope(point);
    slope.DMeanMean = 1e6 * slope.DMeanMean;
    return slope;
  };
  struct Case {
    const char* Name;
    const ProfileLikelihood* Likelihood;
    double FirstDrop;
    bool Converged;
    double Bound;
  };
  const Case cases[] = {
      // A first drop of 60 misses the two-equation Newton, so the scan and
      // the bracket find it.
      {"plain, Newton crossing", &plain, 0.5, true, kRatsSizeLower95},
      {"plain, scan and bracket", &plain, 60.0, true, kRatsSizeLower95},
      {"NaN below 12", &nan_below_12, 0.5, false, kNan},
      {"NaN below 12, scan", &nan_below_12, 60.0, false, kNan},
      {"profile steps crawl", &crawling, 60.0, false, kNan},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const SizeBound bound =
        SizeLower95With(*c.Likelihood, log_size, kRatsLogLik, mean, c.FirstDrop);
    EXPECT_EQ(bound.Converged, c.Converged) << (bound.Value ? *bound.Value : -1.0);
    EXPECT_EQ(bound.Value.has_value(), c.Converged);
    if (bound.Value) {
      EXPECT_NEAR(*bound.Value, c.Bound, 1e-8 * c.Bound);
    }
  }
}

// A stand-in whose best complement is 1e-20 at every size, which 1 - mu
// cannot hold (mu rounds to 1): log-likelihood -10 + log(c/c0) - c/c0 + 1
// - (v - log 1000)^2 / 2 in c = 1 - mu and v = log size. Its profile is
// -10 - (v - log 1000)^2 / 2, so the bound is 1000 e^-sqrt(3.84...) =
// 140.86349409321753827 (mpmath). Searched as 1 - mu, the complement is 0
// or at least 1.1e-16, the profile's level some -1e4 and the bound came
// back as 1000, the peak's own size.
TEST(SizeLower95, KeepsTheCarriedComplementNearAMeanOfOne) {
  constexpr double kBest = 1e-20;
  const double peak_log_size = std::log(1000.0);
  const auto offset = [&](double theta) { return -std::log(theta) - peak_log_size; };
  ProfileLikelihood near_one;
  near_one.Terms = [&](const ModelPoint& point) {
    const double c = point.Complement;
    const double u = offset(point.Theta);
    LikelihoodTerms terms;
    terms.LogLik = -10.0 + std::log(c / kBest) - c / kBest + 1.0 - u * u / 2.0;
    terms.DMean = 1.0 / kBest - 1.0 / c;  // d/dmu = -d/dc
    terms.DMeanMean = -1.0 / (c * c);
    terms.DTheta = u / point.Theta;
    terms.DThetaTheta = -(1.0 + u) / (point.Theta * point.Theta);
    return terms;
  };
  near_one.Slope = [&](const ModelPoint& point) {
    const LikelihoodTerms terms = near_one.Terms(point);
    return MeanSlope{terms.DMean, terms.DMeanMean};
  };
  const ModelPoint mean{1.0, kBest, 1e-3};
  const SizeBound bound = SizeLower95With(near_one, peak_log_size, -10.0, mean, 1.0);
  ASSERT_TRUE(bound.Converged);
  ASSERT_TRUE(bound.Value.has_value());
  EXPECT_NEAR(*bound.Value, 140.86349409321753827, 1e-9 * 140.86349409321753827);
}

}  // namespace
}  // namespace propsmooth
