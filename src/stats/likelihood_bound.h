// Where a group's log-likelihood lies against a level, proven without the
// sums of log1p terms that EvaluateLikelihood adds one by one: a fit that
// only needs to know whether its peak beats the binomial limit is spared
// the costliest part of the likelihood. See likelihood_bound.cc for why
// the answer is always EvaluateLikelihood's.
#ifndef PROPSMOOTH_STATS_LIKELIHOOD_BOUND_H_
#define PROPSMOOTH_STATS_LIKELIHOOD_BOUND_H_

#include "stats/beta_binomial_likelihood.h"

namespace propsmooth {

/// EvaluateLikelihood(data, point).LogLik against a level.
enum class LevelOrder {
  kAbove,     // proven above the level (and finite)
  kBelow,     // proven below it
  kUnproven,  // too close to call without the exact sums, or not a usable point
};

/// Where EvaluateLikelihood(data, point).LogLik, bit for bit as that code
/// computes it, lies against `level`: from one log-gamma value per distinct
/// count and a bound on how far both evaluations can stray from the exact
/// real sums. Needs a point with Theta > 0.
LevelOrder CompareLogLikelihood(const BetaBinomialData& data, const ModelPoint& point,
                                double level);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_LIKELIHOOD_BOUND_H_
