// False-discovery control over the regions of a file: q-values from the
// posterior error probabilities.
#ifndef PROPSMOOTH_STATS_DISCOVERY_H_
#define PROPSMOOTH_STATS_DISCOVERY_H_

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "stats/beta_math.h"

namespace propsmooth {

/// A region's figures at the threshold: its posterior's tails, its
/// q-value over the file and whether it is a discovery. Empty tails and
/// q-value for a region with no posterior.
struct RegionDiscovery {
  std::optional<TailProbabilities> Tails;
  std::optional<double> QValue;
  bool Discovery = false;
};

/// Each region's q-value: the mean of all PEPs (of every region given, the
/// whole file) that are at most its own, so that tied PEPs share one q.
/// Regions without a finite PEP get none and count in no mean. The means
/// are running sums of the PEPs in ascending order; O(N log N).
std::vector<std::optional<double>> QValues(const std::vector<std::optional<double>>& peps);

/// The same q-values for PEPs given as their distinct finite values in
/// ascending order and the number of regions with each: the same sums,
/// one PEP at a time, so that the PEPs of a table spread over many
/// machines, once counted by value, get the bits QValues gives.
std::vector<double> QValuesOfDistinct(std::span<const double> peps,
                                      std::span<const std::int64_t> regions);

/// Whether each region is a discovery at level `fdr`: a q-value at most
/// `fdr`. The set's expected share of false discoveries is then at most
/// `fdr` (with Alpha and Beta taken as known).
std::vector<bool> Discoveries(const std::vector<std::optional<double>>& q_values, double fdr);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_DISCOVERY_H_
