// Spatial empirical Bayes: each region shrunk towards its neighbourhood (the
// region and its neighbours) rather than its whole group. Two estimates per
// region: the local moment estimator as GeoDa and PySAL's
// Spatial_Empirical_Bayes compute it, and, where the neighbourhood holds
// enough regions, the same likelihood fit the groups get (beta-binomial for
// proportions, Poisson-gamma for rates) run on the neighbourhood alone,
// with its posterior interval.
#ifndef PROPSMOOTH_STATS_SPATIAL_EB_H_
#define PROPSMOOTH_STATS_SPATIAL_EB_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/types.h"
#include "stats/record_estimates.h"

namespace propsmooth {

/// By region: its neighbours' positions (never itself).
using NeighbourIndex = std::vector<std::vector<std::size_t>>;

/// The fewest regions (the region itself included) whose neighbourhood is
/// fitted by maximum likelihood. The fit has two parameters, and the spread
/// between regions is estimated from what is left after the mean: below
/// five regions that is three rates or fewer, whose likelihood is so flat
/// in the prior's size that the fit lands at complete pooling or no pooling
/// on chance alone. Smaller neighbourhoods take the moment prior instead.
inline constexpr std::size_t kMinLocalFitRegions = 5;

/// The local moment estimator of one region i, over its neighbourhood N
/// (i and its neighbours, i first, then the neighbours in list order):
///   r    = sum x_j / sum n_j
///   s2   = sum n_j (p_j - r)^2 / sum n_j - r / nbar,  nbar = sum n_j / |N|
///   s2 is set to 0 when below 0 (Clamped)
///   C    = s2 / (s2 + r / n_i)
///   EB   = r + C (p_i - r)
/// with p_j = x_j / n_j; a region with n_j = 0 adds nothing to the spread.
/// EB is r where s2 is 0 or n_i is 0; NaN (and r too) where sum n_j is 0.
struct LocalMoments {
  std::size_t Regions = 0;          // |N|
  double Rate = 0.0;                // r
  double Variance = 0.0;            // s2, at least 0
  double UnclampedVariance = 0.0;   // s2 before the clamp
  bool Clamped = false;
  double Estimate = 0.0;            // EB
};

/// The local moment estimates of every region; counts and sizes (sizes
/// or expected values for rates) by region, `neighbours` over the same
/// regions.
std::vector<LocalMoments> LocalMomentEstimates(std::span<const double> counts,
                                               std::span<const double> sizes,
                                               const NeighbourIndex& neighbours);

/// One region's spatial figures, as the CSV table shows them; NaN stands for
/// an empty cell.
struct LocalFigures {
  std::size_t Neighbours = 0;  // |N| - 1
  double EbMe = 0.0;           // the local moment estimate
  double Eb = 0.0;             // under the neighbourhood's prior
  double Lower = 0.0;          // its posterior's central interval
  double Upper = 0.0;
  // How Eb, Lower and Upper were found: the fit's prior name (newton,
  // safeguarded, complete pooling), or for a neighbourhood below
  // kMinLocalFitRegions "me (small neighbourhood)" or "complete pooling
  // (small neighbourhood)" where the moment variance is 0; empty without a
  // posterior.
  std::string Prior;
};

/// Every region's spatial figures and what the console says of them.
struct SpatialEstimates {
  std::vector<LocalFigures> Figures;  // by record
  std::size_t Clamped = 0;            // local moment variances set to 0
  std::size_t SmallNeighbourhoods = 0;  // below kMinLocalFitRegions: moment prior
};

/// The spatial figures of proportions: `records` (counts of sizes) and
/// their neighbours, the fits under `settings` (its estimator, start and
/// level; no threshold), the neighbourhoods on up to `workers` threads.
SpatialEstimates EstimateSpatialProportions(const RecordTable& records,
                                            const NeighbourIndex& neighbours,
                                            const EstimateSettings& settings, unsigned workers);

/// The same for rates: counts against expected values (positive, finite).
SpatialEstimates EstimateSpatialRates(std::span<const std::int32_t> counts,
                                      std::span<const double> expected,
                                      const NeighbourIndex& neighbours,
                                      const EstimateSettings& settings, unsigned workers);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_SPATIAL_EB_H_
