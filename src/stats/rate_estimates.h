// From a table of rates (a count and an expected value per record, the
// records in groups) to every figure of the report's tables: each group's
// moment estimators and fit, the posterior its records get, and each
// record's figures with, at a threshold, its tails and q-value. The
// counterpart of record_estimates.h for the Poisson-gamma model; the
// posterior choice, its names and the q-values are the proportions' own.
#ifndef PROPSMOOTH_STATS_RATE_ESTIMATES_H_
#define PROPSMOOTH_STATS_RATE_ESTIMATES_H_

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/types.h"
#include "input/grouping.h"
#include "stats/group_fit.h"
#include "stats/rate_moments.h"
#include "stats/record_estimates.h"
#include "stats/record_figures.h"

namespace propsmooth {

/// A group's posterior choice from its fit, as ChooseFit makes it for
/// proportions: the fitted Gamma(Alpha, Beta) for newton and safeguarded;
/// under complete pooling (and no events) the common rate's posterior
/// Gamma(sum x + 1/2, sum E) in Alpha and Beta and PooledRate sum x / sum E;
/// under kMe the moment prior when its variance is above 0. `events` and
/// `exposure` are the group's sums of x and E.
GroupFit ChooseRateFit(double events, double exposure, const PriorFit& fit,
                       const RateMoments& moments, PriorEstimator estimator);

/// The posterior Gamma(shape, rate) (as BetaPrior's Alpha and Beta) of a
/// region with `count` events against `expected` under `fit`; empty without
/// a posterior or for a count below 0 or an expected value not positive
/// and finite.
std::optional<BetaPrior> RatePosteriorUnderFit(std::int32_t count, double expected,
                                               const GroupFit& fit);

/// The region's EB rate: (x + Alpha)/(E + Beta) under a fitted prior,
/// the moment estimate (MomentRate) under kMe, the pooled rate under
/// complete pooling; empty where there is no posterior.
std::optional<double> EbRateUnderFit(std::int32_t count, double expected,
                                     const RateMoments& moments, const GroupFit& fit);

/// The region's figures: Raw x/E, EbMe the moment estimate, Eb, the
/// posterior's central `level` interval and, with `threshold` (a rate
/// above 0), its tails P(rate > threshold) and P(rate <= threshold), the
/// PEP. QValue is NaN and Discovery empty: those are over every region.
RecordFigures RateFiguresOf(std::int32_t count, double expected, const RateMoments& moments,
                            const GroupFit& fit, double level, std::optional<double> threshold);

/// A table of rates as estimated.
struct RateEstimates {
  std::vector<RateMoments> Moments;   // by group of the plan
  std::vector<GroupFit> Fits;         // by group of the plan
  std::vector<RecordFigures> Figures;  // by record, q-values and discoveries set
};

/// Estimates the records (counts[i], expected[i]) in the groups of `plan`
/// under `settings` (its Threshold any rate above 0 here), the groups on up
/// to `workers` threads; the profile bounds only with `size_bound`. With a
/// threshold the q-values are over every record of the table, as for
/// proportions. The expected values must be positive and finite and the
/// counts at least 0 (the reader's refusals).
RateEstimates EstimateRates(std::span<const std::int32_t> counts,
                            std::span<const double> expected, const GroupPlan& plan,
                            const EstimateSettings& settings, bool size_bound, unsigned workers);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_RATE_ESTIMATES_H_
