// The profile bound and the bracketed Newton search under it: a root found
// is a root, and a search that met a NaN or did not settle says so instead
// of handing back its last iterate as the answer.
#include "stats/profile_bound.h"

#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "fit_data.h"
#include "stats/bracketed_newton.h"
#include "stats/profile_bound_internal.h"

namespace propsmooth {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

// Roots known by hand: 2^(1/3) = 1.2599210498948731647..., and 0.3 of a
// line whose slope is given with the wrong sign (bisection must take over).
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
