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

/// The density of Gamma(shape, rate) at `x`; empty when a parameter is not
/// a positive finite number, `x` is not above 0 and finite, or the density
/// is not finite (its pole at 0 for a shape below 1).
std::optional<double> GammaDensity(double shape, double rate, double x);

/// The funnel-plot control limit of a rate for a region of expected count
/// (or person-time) `expected` around the reference rate `reference`: the
/// `probability` quantile of Poisson(expected * reference), interpolated
/// between the integers as (r - a) / expected with r the smallest count
/// whose distribution function F(r) reaches `probability` and
/// a = (F(r) - probability) / (F(r) - F(r - 1)), F(-1) = 0; a value below 0
/// (only possible at r = 0) is raised to 0. The binomial limit's rule
/// (BinomialControlLimit) for counts without a ceiling. Empty unless
/// `expected` and `reference` are positive and finite and the probability
/// lies in (0, 1).
std::optional<double> PoissonControlLimit(double expected, double reference, double probability);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_GAMMA_MATH_H_
