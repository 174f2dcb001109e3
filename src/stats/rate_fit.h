// The fit of a group's gamma prior of rates that does not give up, as
// prior_fit.h has it for proportions and on the same machinery (the
// safeguarded search, the standard errors, the profile bound): Newton from
// the moment estimators where it climbs to a peak, the safeguarded search
// where it does not, and complete pooling where the likelihood's supremum
// is the Poisson limit.
#ifndef PROPSMOOTH_STATS_RATE_FIT_H_
#define PROPSMOOTH_STATS_RATE_FIT_H_

#include "common/types.h"
#include "stats/poisson_gamma_likelihood.h"
#include "stats/prior_fit.h"
#include "stats/profile_bound.h"
#include "stats/rate_moments.h"

namespace propsmooth {

/// Fits Gamma(shape Alpha, rate Beta) to `data`, whose moment estimators
/// are `moments`. The start is -A/-B of `settings` (shape and rate) where
/// positive, else the moment prior, else the pooled rate with shape 10.
/// Plain Newton in (log mean, log Alpha) from there, at most
/// settings.IterationLimit steps, is kept as kNewton where its steps settle
/// (relative changes within 1e-10) at a peak that beats the Poisson limit;
/// else the safeguarded search runs from the same start (kSafeguarded).
/// The boundary decision is the binomial fit's: a score at the Poisson
/// limit not above 0 and no point above its log-likelihood is "no finite
/// maximum" at kCompletePooling. No events: kNoSuccesses; a single region
/// is never searched (a gamma mixture of Poissons lies below the Poisson at
/// the region's own rate). SizeLower95 bounds the shape Alpha, only with
/// `size_bound`.
PriorFit FitRatePrior(const PoissonGammaData& data, const RateMoments& moments,
                      const RunSettings& settings, bool size_bound = true);

/// The profile bound's view of the rate likelihood: the shape in (log mean,
/// log Alpha) and the profile over the mean at a log shape, by Newton kept
/// inside a bracket of the mean's root (the log-likelihood is strictly
/// concave in log mean at a fixed shape). The search starts at `*log_mean`
/// and leaves each root there; `data` and `log_mean` must outlive it.
ProfileModel RateProfileModel(const PoissonGammaData& data, double* log_mean);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_RATE_FIT_H_
