// One prior over a table too large for one machine: each part of it reduced
// to what the fit needs (the histograms of its counts, the moments of its
// raw proportions and whether they are one fraction), the parts merged in
// any order, the prior fitted once.
#ifndef PROPSMOOTH_STATS_SUFFICIENT_STATISTICS_H_
#define PROPSMOOTH_STATS_SUFFICIENT_STATISTICS_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "common/types.h"
#include "estimate/count_ladder.h"
#include "stats/equal_proportions.h"
#include "stats/group_fit.h"
#include "stats/record_figures.h"

namespace propsmooth {

/// The raw proportions x/n of some regions: how many, their mean and the
/// sum of their squared deviations from it (M2), merged by Chan's formula.
/// Every region counts, as in ComputeMoments: one with n = 0 brings its
/// NaN or infinity along.
struct ProportionMoments {
  std::int64_t Count = 0;
  double Mean = 0.0;
  double M2 = 0.0;
};

/// What the fit of one prior needs of some regions.
struct SufficientStatistics {
  CountHistogram Success;  // x
  CountHistogram Failure;  // n - x
  CountHistogram Size;     // n
  ProportionMoments Proportions;
  // Whether every x/n is one fraction: a fit from statistics reports equal
  // proportions as the front door does (equal_proportions.h).
  EqualProportionsTest Fraction;
};

/// The statistics of the regions (counts[i], sizes[i]). The spans have one
/// length.
SufficientStatistics StatisticsOfRegions(std::span<const std::int32_t> counts,
                                         std::span<const std::int32_t> sizes);

/// Chan's parallel formula: the moments of the union of two sets of regions.
ProportionMoments MergeMoments(const ProportionMoments& a, const ProportionMoments& b);

/// The statistics of the union of two sets of regions.
SufficientStatistics MergeStatistics(const SufficientStatistics& a,
                                     const SufficientStatistics& b);

/// Why statistics that came from outside cannot be those of any regions
/// (values not strictly ascending, a row count not above 0, histograms of
/// different totals, a count below 0 or a size below 1 as the record rule
/// has them, a value beyond a 32-bit count, a sum beyond 64 bits); empty
/// when they can. A count above its size passes, as the fit takes it.
std::optional<std::string> StatisticsError(const SufficientStatistics& statistics);

/// The fit of one prior from statistics: propsmooth's summary (moments,
/// Newton fit) and the report's fit and posterior choice, as for the
/// regions themselves up to the order of the sums.
struct StatisticsFit {
  GroupSummary Summary;
  GroupFit Fit;
};

/// Fits the prior of valid statistics (see StatisticsError) under
/// `settings`; the profile bound only with `size_bound`.
StatisticsFit FitStatistics(const SufficientStatistics& statistics, const RunSettings& settings,
                            PriorEstimator estimator, bool size_bound);

/// Told the figures of region `i`.
using RowFiguresSink = std::function<void(std::size_t i, const RecordFigures& figures)>;

/// The CSV row figures of the regions (counts[i], sizes[i]) under a fit of
/// all regions from their statistics (of which Summary's moment estimators
/// and Mle and the posterior choice Fit are read): what the table shows for
/// them, computed as for the regions of one group estimated at once, at
/// `level` and with the tails at `threshold` when given. No q-value (those
/// are over every region): QValue is NaN and Discovery empty. The spans
/// have one length.
void FiguresUnderFit(std::span<const std::int32_t> counts, std::span<const std::int32_t> sizes,
                     const StatisticsFit& fit, double level, std::optional<double> threshold,
                     const RowFiguresSink& row);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_SUFFICIENT_STATISTICS_H_
