#include "stats/rate_moments.h"

namespace propsmooth {

RateMoments ComputeRateMoments(std::span<const std::int32_t> counts,
                               std::span<const double> expected) {
  RateMoments moments;
  double events = 0.0;
  double exposure = 0.0;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    events = events + static_cast<double>(counts[i]);
    exposure = exposure + expected[i];
  }
  const double b = events / exposure;
  double s2 = 0.0;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    const double deviation = static_cast<double>(counts[i]) / expected[i] - b;
    s2 = s2 + expected[i] * ((deviation * deviation) / exposure);
  }
  const double a = s2 - b / (exposure / static_cast<double>(counts.size()));
  moments.Mean = b;
  moments.UnclampedVariance = a;
  // Not `a < 0` alone: a NaN (no events and no spread cannot give one, but
  // a caller's data might) is no variance either.
  moments.VarianceClamped = !(a >= 0.0);
  moments.Variance = moments.VarianceClamped ? 0.0 : a;
  if (moments.Variance > 0.0 && b > 0.0) {
    moments.Alpha = b * b / moments.Variance;
    moments.Beta = b / moments.Variance;
  }
  return moments;
}

double MomentRate(const RateMoments& moments, std::int32_t count, double expected) {
  const double a = moments.Variance;
  const double b = moments.Mean;
  // EBest's 0/0 where a group has no events: full shrinkage's limit, b.
  if (a == 0.0) return b;
  const double p = static_cast<double>(count) / expected;
  return b + (a * (p - b)) / (a + (b / expected));
}

}  // namespace propsmooth
