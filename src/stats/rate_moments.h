// Marshall's global moment estimators of a gamma prior of rates, as R's
// spdep::EBest computes them: the pooled rate b = sum x / sum E, the
// weighted variance s2 = sum E (x/E - b)^2 / sum E and the prior's variance
// a = s2 - b / (sum E / m), clamped at 0 where sampling alone explains the
// spread. Each region's estimate is b + a (x/E - b) / (a + b/E).
#ifndef PROPSMOOTH_STATS_RATE_MOMENTS_H_
#define PROPSMOOTH_STATS_RATE_MOMENTS_H_

#include <cstdint>
#include <span>

namespace propsmooth {

/// A group's moment estimators of rates. Alpha and Beta, the gamma prior of
/// mean Mean and variance Variance (Mean^2/Variance, Mean/Variance), are 0
/// when the variance is 0: no gamma prior, every estimate the pooled rate.
struct RateMoments {
  double Mean = 0.0;               // b
  double Variance = 0.0;           // a, at least 0
  double UnclampedVariance = 0.0;  // s2 - b / (sum E / m), which may be below 0
  bool VarianceClamped = false;    // UnclampedVariance was below 0 and Variance set to 0
  double Alpha = 0.0;
  double Beta = 0.0;
};

/// The estimators of the regions (counts[i], expected[i]), spans of one
/// length; every expected value positive and finite, every count at least
/// 0, at least one region. The operations are EBest's, in its order.
RateMoments ComputeRateMoments(std::span<const std::int32_t> counts,
                               std::span<const double> expected);

/// A region's moment estimate (EBest's estmm): b + a (x/E - b)/(a + b/E);
/// b where a is 0 (EBest's 0/0 when the group has no events at all).
double MomentRate(const RateMoments& moments, std::int32_t count, double expected);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_RATE_MOMENTS_H_
