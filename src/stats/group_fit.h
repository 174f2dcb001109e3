// The prior each group's outputs use: the fit that does not give up, run on
// every group, and what a region's posterior is under it. Every output but
// the legacy --tsv table (whose prior is the interval table's own) takes
// its figures from here: the CSV table, the summary, the page, Python and
// Dask.
//
// How the fit ended has one name, FitLabel (the summary's `fit`: newton,
// safeguarded, no finite maximum, failed), and where the likelihood's
// supremum lies another, FitBoundary. Which posterior the regions get is no
// third label: it follows from those two and the estimator asked for. A
// newton or safeguarded fit gives its prior, named by its label; no finite
// maximum at the binomial limit gives complete pooling; --estimator me gives
// the moment estimators, whatever the fit found; anything else gives no
// posterior. PriorName() spells the result as the CSV's `prior` column.
#ifndef PROPSMOOTH_STATS_GROUP_FIT_H_
#define PROPSMOOTH_STATS_GROUP_FIT_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "common/types.h"
#include "input/grouping.h"
#include "stats/beta_math.h"
#include "stats/prior_fit.h"

namespace propsmooth {

/// Which estimators of Alpha and Beta a run asks for (--estimator).
enum class PriorEstimator {
  kMle,  // the fit that does not give up
  kMe,   // the moment estimators
};

/// One group's fit and the posterior its regions get.
// Every field a record's posterior reads (the figures below, and the
// label, boundary and prior at the head of Fit) lies in the first cache
// line, each fit starting one: the tables read a group's fit for every
// record, the groups in no order, and a file of many small groups would
// otherwise wait on two or three lines from memory per record.
struct alignas(64) GroupFit {
  PriorEstimator Estimator = PriorEstimator::kMle;
  // The prior Beta(Alpha, Beta) of a fitted or moment prior; under complete
  // pooling the common rate's posterior, the same for every region.
  double Alpha = 0.0;
  double Beta = 0.0;
  double PooledRate = 0.0;  // sum x / sum n, the EB rate of complete pooling
  PriorFit Fit;
};

/// The regions' counts are added to the fit's own prior (newton, safeguarded).
bool UsesFittedPrior(const GroupFit& fit);
/// The regions' counts are added to the moment estimators (--estimator me).
bool UsesMomentPrior(const GroupFit& fit);
/// Every region gets the common rate's posterior.
bool PoolsCompletely(const GroupFit& fit);
/// Any of the three: the group's regions have a posterior.
bool HasPosterior(const GroupFit& fit);

/// The CSV table's `prior`: "newton", "safeguarded", "complete pooling",
/// "me"; empty without a posterior.
std::string_view PriorName(const GroupFit& fit);

/// Every non-empty PriorName, in the order of Python's PRIOR_NAMES.
std::array<std::string_view, 4> PriorNames();

/// The fit whose PriorName is `name` with the given figures, as a fit
/// written out as plain values is read back; empty for a name PriorName
/// never gives.
std::optional<GroupFit> FitOfPriorName(std::string_view name, double alpha, double beta,
                                       double pooled_rate);

/// The posterior of a group of `regions` with propsmooth's `summary`:
/// newton, then safeguarded, then complete pooling where the likelihood's
/// supremum is the binomial limit (no spread beyond sampling, no success at
/// all, nothing but successes); under kMe the moment estimators when they
/// form a beta prior. `fit` is FitPrior's result.
GroupFit ChooseFit(const std::vector<Region>& regions, const PriorFit& fit,
                   const GroupSummary& summary, PriorEstimator estimator);

/// The same for a group known by its totals: the sum of its counts and
/// the sum of its sizes.
GroupFit ChooseFit(double successes, double trials, const PriorFit& fit,
                   const GroupSummary& summary, PriorEstimator estimator);

/// Every group's fit, the groups on up to `workers` threads. `records`
/// carry their group's results, `summaries` are by group of `plan`; the
/// fits' figures as `outputs` asks for them in the first `figure_groups`
/// groups, the label and prior alone in the rest.
std::vector<GroupFit> FitGroups(const RecordTable& records, const GroupPlan& plan,
                                const std::vector<GroupSummary>& summaries,
                                const RunSettings& settings, PriorEstimator estimator,
                                const FitOutputs& outputs, unsigned workers,
                                std::size_t figure_groups = SIZE_MAX);

/// Group `g`'s summary as its fit takes it, found on the thread that fits
/// the group, from its records (`indices` into the table): whatever else
/// reads a group's records rides on the fit's own visit, while they are in
/// the cache.
using SummaryOfGroup =
    std::function<GroupSummary(std::size_t g, std::span<const std::uint32_t> indices)>;

/// The same with each group's summary from `summary_of`.
std::vector<GroupFit> FitGroups(const RecordTable& records, const GroupPlan& plan,
                                const SummaryOfGroup& summary_of, const RunSettings& settings,
                                PriorEstimator estimator, const FitOutputs& outputs,
                                unsigned workers, std::size_t figure_groups = SIZE_MAX);

/// A region's posterior Beta(A, B) under its group's fit; empty without a
/// posterior, a prior that is no beta distribution, or a record outside the
/// record rule (a count above its size, say).
std::optional<BetaPrior> PosteriorUnderFit(const RegionRecord& record, const GroupFit& fit);

/// A region's EB rate under its group's fit: propsmooth's own for newton
/// and me, the posterior mean for safeguarded, the pooled rate for complete
/// pooling; empty where there is no posterior.
std::optional<double> EbUnderFit(const RegionRecord& record, const GroupFit& fit);

/// The equal-tailed `level` interval of the region's posterior; the reason
/// for none otherwise.
CredibleBounds IntervalUnderFit(const RegionRecord& record, const GroupFit& fit, double level);

/// Which posterior a group's regions get, as PosteriorUnderFit and
/// IntervalUnderFit decide it.
enum class PosteriorKind : std::uint8_t {
  kNone,       // no posterior (HasPosterior false)
  kAddCounts,  // the region's counts added to the prior Beta(Alpha, Beta)
  kCommon,     // complete pooling: Beta(Alpha, Beta) for every region
};

/// All that a region's posterior reads of its group's fit: a table of
/// these for a hundred thousand groups stays in cache where the fits,
/// read one per record in no order, do not.
struct PosteriorSource {
  PosteriorKind Kind = PosteriorKind::kNone;
  double Alpha = 0.0;
  double Beta = 0.0;
};

/// The posterior source of `fit`.
PosteriorSource PosteriorSourceOf(const GroupFit& fit);

/// PosteriorUnderFit of a fit whose source is `source`.
std::optional<BetaPrior> PosteriorUnder(const RegionRecord& record, const PosteriorSource& source);

/// IntervalUnderFit of a fit whose source is `source`. For kCommon every
/// record in the rule has the same interval: `common`, when given, is
/// taken as that interval (CommonInterval's), not computed again.
CredibleBounds IntervalUnder(const RegionRecord& record, const PosteriorSource& source,
                             double level, const CredibleBounds* common = nullptr);

/// The interval every record of a kCommon group shares (a record outside
/// the rule aside).
CredibleBounds CommonInterval(const PosteriorSource& source, double level);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_GROUP_FIT_H_
