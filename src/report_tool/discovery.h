// False-discovery control over the regions of a file: q-values from the
// posterior error probabilities.
#ifndef PROPSMOOTH_REPORT_TOOL_DISCOVERY_H_
#define PROPSMOOTH_REPORT_TOOL_DISCOVERY_H_

#include <optional>
#include <vector>

#include "report_tool/beta_math.h"

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

/// Whether each region is a discovery at level `fdr`: a q-value at most
/// `fdr`. The set's expected share of false discoveries is then at most
/// `fdr` (with Alpha and Beta taken as known).
std::vector<bool> Discoveries(const std::vector<std::optional<double>>& q_values, double fdr);

}  // namespace propsmooth

#endif  // PROPSMOOTH_REPORT_TOOL_DISCOVERY_H_
