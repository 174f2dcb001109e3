// The beta and binomial distribution figures of the report: posterior
// credible intervals, prior densities and funnel-plot control limits.
#ifndef PROPSMOOTH_STATS_BETA_MATH_H_
#define PROPSMOOTH_STATS_BETA_MATH_H_

#include <cstdint>
#include <optional>

namespace propsmooth {

/// Whether `value` is a positive finite number, as each parameter of a beta
/// distribution must be.
bool IsPositive(double value);

/// Why a region has, or has not, a credible interval.
enum class IntervalStatus {
  kOk,                 // Lower and Upper hold the bounds
  kNoPrior,            // Alpha = Beta = 0: the group's proportions do not vary
  kPriorNotPositive,   // Alpha or Beta not above 0 (or not finite): no beta prior
  kCountAboveSize,     // Data1 > Data2: no binomial observation
  kNotComputable,      // the posterior's quantiles could not be evaluated
};

/// An equal-tailed credible interval of a region's proportion.
struct CredibleBounds {
  IntervalStatus Status = IntervalStatus::kNotComputable;
  double Lower = 0.0;  // proportions, not percent; meaningful with kOk only
  double Upper = 0.0;
};

/// The central `level` interval of the posterior Beta(data1 + alpha,
/// (data2 - data1) + beta) of a region with data1 of data2 under the prior
/// Beta(alpha, beta): the (1 - level)/2 quantile and the (1 - level)/2
/// upper-tail quantile. `level` lies strictly between 0 and 1. The prior is
/// tested first, then the counts; the bounds are set only with kOk.
CredibleBounds PosteriorInterval(std::int32_t data1, std::int32_t data2,
                                 double alpha, double beta, double level);

/// The short reason shown in place of a missing interval; empty for kOk.
const char* IntervalStatusText(IntervalStatus status);

/// The two tails of a posterior Beta(a, b) at a threshold, each computed in
/// its own right so that neither loses its digits to 1 minus the other.
struct TailProbabilities {
  double Exceed = 0.0;  // P(rate > threshold)
  double AtMost = 0.0;  // P(rate <= threshold): the posterior error probability
};

/// The tails of Beta(a, b) at `threshold`. Empty unless a and b are
/// positive and finite, the threshold lies strictly between 0 and 1, and
/// both tails could be evaluated.
std::optional<TailProbabilities> BetaTails(double a, double b, double threshold);

/// The density of Beta(alpha, beta) at x, for 0 < x < 1. Empty when either
/// parameter is not a positive finite number or the value is not finite
/// (the density's pole at 0 or 1 for a parameter below 1).
std::optional<double> BetaDensity(double alpha, double beta, double x);

/// The funnel-plot control limit for a region of size `size` around the
/// pooled proportion `pooled` (0 < pooled < 1): the `probability` quantile
/// of Binomial(size, pooled), interpolated between the integers as
/// (r - a) / size with r the smallest count whose distribution function
/// F(r) reaches `probability` and a = (F(r) - probability) / (F(r) - F(r - 1)),
/// F(-1) = 0; a value below 0 (only possible at r = 0) is raised to 0.
/// Empty for a size below 1, a pooled proportion outside (0, 1) or a
/// probability outside (0, 1).
std::optional<double> BinomialControlLimit(std::int64_t size, double pooled,
                                           double probability);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_BETA_MATH_H_
