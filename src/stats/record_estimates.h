// From the records to every figure of the report's tables: propsmooth's
// estimates, each group's fit, the records' posteriors and discoveries.
// propsmooth-report and the Python module both estimate through here.
#ifndef PROPSMOOTH_STATS_RECORD_ESTIMATES_H_
#define PROPSMOOTH_STATS_RECORD_ESTIMATES_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

#include <vector>

#include "common/types.h"
#include "input/grouping.h"
#include "stats/discovery.h"
#include "stats/group_fit.h"
#include "stats/record_intervals.h"

namespace propsmooth {

/// What the estimation of a table is told beyond the records.
struct EstimateSettings {
  RunSettings Fit;  // -A, -B, -E, -L as propsmooth reads them
  PriorEstimator Estimator = PriorEstimator::kMle;
  double Level = 0.95;              // strictly between 0 and 1
  // The exceedance figures' threshold: strictly between 0 and 1 for
  // proportions, above 0 for rates.
  std::optional<double> Threshold;
  double Fdr = 0.05;                // strictly between 0 and 1
};

/// The groups of a table as estimated.
struct EstimatedGroups {
  GroupPlan Plan;
  std::vector<GroupSummary> Summaries;  // by group of Plan
  // By group: every proportion the same fraction (equal_proportions.h).
  // Summaries keep propsmooth's figures; ReportedSummary reports no spread.
  std::vector<bool> EqualProportions;
  // By group: the fit that does not give up and the posterior it gives, of
  // every output but the legacy TSV; empty when none of them is asked.
  std::vector<GroupFit> Fits;
  // With a threshold: the exceedance figures over the whole table, one per
  // distinct count and size of a group (records that share them share
  // their figures), and each record's entry of them. Empty without.
  std::vector<RegionDiscovery> Discoveries;
  std::vector<std::uint32_t> DiscoveryOfRecord;

  /// Record `record`'s exceedance figures; only with a threshold.
  const RegionDiscovery& DiscoveryOf(std::size_t record) const {
    return Discoveries[DiscoveryOfRecord[record]];
  }
};

/// Group `g`'s summary as the front door's own outputs report it (the fit,
/// the summary table): propsmooth's, but for equal proportions no spread.
GroupSummary ReportedSummary(const EstimatedGroups& groups, std::size_t g);

/// Told now and then, on the calling thread, how far a stage has got:
/// `done` of `total` `what` ("groups estimated").
using StageProgress =
    std::function<void(std::size_t done, std::size_t total, std::string_view what)>;

/// What a run needs beyond propsmooth's estimates.
struct EstimateParts {
  bool Fits = false;        // every group's fit (the CSV table, the summary, the page)
  bool SizeBound = false;   // the fits' profile bounds (the summary, the page)
  // The fits' log-likelihoods and standard errors (the summary, the page);
  // without them a fit is its label and prior, found at less cost.
  bool FitFigures = true;
  // How many groups, from the first, need them: a page lists only its
  // first groups, and the summary every one.
  std::size_t FigureGroups = SIZE_MAX;
  // Every record's posterior under its group's fit, with --threshold its
  // tails and the discoveries over all records too; needs Fits.
  bool Posteriors = false;
};

/// The intervals EstimateRecords computes; empty unless asked for.
struct RecordEstimates {
  RecordIntervals Posteriors;  // under the groups' Fits
};

/// The posterior figures of a record of group g under `fits[g]`: its
/// interval at `level` and, when asked and a `threshold` is given, its
/// tails there. What a group's records share is found here, on up to
/// `workers` threads; the result needs `fits` no longer.
PairPosterior PosteriorsUnderFits(std::span<const GroupFit> fits, double level,
                                  std::optional<double> threshold, unsigned workers = 1);

/// Estimates `records` in the groups of `groups->Plan` under `settings`:
/// sets the records' results, the groups' Summaries, and what
/// `parts` asks for (Fits, Discoveries), on up to `workers` threads. What
/// a thread throws (running out of memory) reaches the caller.
RecordEstimates EstimateRecords(const EstimateSettings& settings, const EstimateParts& parts,
                                unsigned workers, const StageProgress& progress,
                                RecordTable* records, EstimatedGroups* groups);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_RECORD_ESTIMATES_H_
