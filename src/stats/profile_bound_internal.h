// The test seam of the profile bound: the same search on any likelihood, so
// that tests can hand it one that fails (NaN) where the real one does not.
// Included by the bound and by its tests only.
#ifndef PROPSMOOTH_STATS_PROFILE_BOUND_INTERNAL_H_
#define PROPSMOOTH_STATS_PROFILE_BOUND_INTERNAL_H_

#include <functional>

#include "stats/beta_binomial_likelihood.h"
#include "stats/profile_bound.h"

namespace propsmooth {

/// What the bound evaluates: EvaluateLikelihood and EvaluateMeanSlope of
/// one group, or a stand-in.
struct ProfileLikelihood {
  std::function<LikelihoodTerms(const ModelPoint&)> Terms;
  std::function<MeanSlope(const ModelPoint&)> Slope;
};

/// The likelihood of `data` (kept by reference).
ProfileLikelihood ProfileLikelihoodOf(const BetaBinomialData& data);

/// SizeLower95 on `likelihood`.
SizeBound SizeLower95With(const ProfileLikelihood& likelihood, double peak_log_size,
                          double peak, const ModelPoint& mean, double first_drop);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_PROFILE_BOUND_INTERNAL_H_
