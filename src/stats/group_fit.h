// The prior each group's CSV rows, summary and new page parts use: the fit
// that does not give up, run on every group, and what a region's posterior
// is under it.
#ifndef PROPSMOOTH_STATS_GROUP_FIT_H_
#define PROPSMOOTH_STATS_GROUP_FIT_H_

#include <cstddef>
#include <optional>
#include <vector>

#include "common/types.h"
#include "input/grouping.h"
#include "stats/beta_math.h"
#include "stats/group_prior.h"
#include "stats/prior_fit.h"

namespace propsmooth {

/// Which posterior a group's regions get.
enum class FitChoice {
  kNewton,           // propsmooth's ML prior, vouched for by the likelihood
  kSafeguarded,      // the safeguarded search's prior
  kCompletePooling,  // one common rate: Beta(sum x + 1/2, sum (n - x) + 1/2)
  kMe,               // the moment estimators, as --estimator me asks
  kNone,             // no posterior: no trials, counts above sizes, no pooling, a failed fit
};

/// "newton", "safeguarded", "complete pooling", "me"; empty for kNone.
const char* FitChoiceText(FitChoice choice);

/// One group's fit and the posterior its regions get.
struct GroupFit {
  PriorFit Fit;
  FitChoice Choice = FitChoice::kNone;
  // The prior Beta(Alpha, Beta) of kNewton, kSafeguarded and kMe; for
  // kCompletePooling the common rate's posterior, the same for every region.
  double Alpha = 0.0;
  double Beta = 0.0;
  double PooledRate = 0.0;  // sum x / sum n, the EB rate of complete pooling
};

/// The posterior choice for a group of `regions` with propsmooth's
/// `summary`: newton, then safeguarded, then complete pooling where the
/// likelihood's supremum is the binomial limit (no spread beyond sampling,
/// no success at all, nothing but successes); under kMe the moment
/// estimators when they form a beta prior. `fit` is FitPrior's result.
GroupFit ChooseFit(const std::vector<Region>& regions, const PriorFit& fit,
                   const GroupSummary& summary, PriorEstimator estimator);

/// The same for a group known by its totals: the sum of its counts and
/// the sum of its sizes.
GroupFit ChooseFit(double successes, double trials, const PriorFit& fit,
                   const GroupSummary& summary, PriorEstimator estimator);

/// Every group's fit, the groups on up to `workers` threads. `records`
/// carry their group's results, `summaries` are by group of `plan`; the
/// profile bounds only with `size_bound`.
std::vector<GroupFit> FitGroups(const RecordTable& records, const GroupPlan& plan,
                                const std::vector<GroupSummary>& summaries,
                                const RunSettings& settings, PriorEstimator estimator,
                                bool size_bound, unsigned workers);

/// A region's posterior Beta(A, B) under its group's fit; empty for kNone,
/// a prior that is no beta distribution, or a record outside the record
/// rule (a count above its size, say).
std::optional<BetaPrior> PosteriorUnderFit(const RegionRecord& record, const GroupFit& fit);

/// A region's EB rate under its group's fit: propsmooth's own for kNewton
/// and kMe, the posterior mean for kSafeguarded, the pooled rate for
/// kCompletePooling; empty where there is no posterior.
std::optional<double> EbUnderFit(const RegionRecord& record, const GroupFit& fit);

/// The equal-tailed `level` interval of the region's posterior; the reason
/// for none otherwise.
CredibleBounds IntervalUnderFit(const RegionRecord& record, const GroupFit& fit, double level);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_GROUP_FIT_H_
