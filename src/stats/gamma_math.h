// The gamma distribution figures of rates: a region's posterior interval
// and its tails at a threshold, as beta_math has them for proportions.
#ifndef PROPSMOOTH_STATS_GAMMA_MATH_H_
#define PROPSMOOTH_STATS_GAMMA_MATH_H_

#include <optional>

#include "stats/beta_math.h"

namespace propsmooth {

/// The central `level` interval of Gamma(shape, rate): its (1 - level)/2
/// quantile and its (1 - level)/2 upper-tail quantile, each from its own
/// tail. kPriorNotPositive unless both parameters are positive and finite;
/// kNotComputable where a quantile cannot be evaluated or `level` is not
/// strictly between 0 and 1.
CredibleBounds GammaInterval(double shape, double rate, double level);

/// The tails of Gamma(shape, rate) at `threshold`: P(rate > threshold) and
/// P(rate <= threshold), each in its own right. Empty unless both
/// parameters are positive and finite, the threshold is positive and
/// finite, and both tails could be evaluated.
std::optional<TailProbabilities> GammaTails(double shape, double rate, double threshold);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_GAMMA_MATH_H_
