// Empirical Bayes proportions and the estimation of one whole group.
#ifndef PROPSMOOTH_ESTIMATE_EB_H_
#define PROPSMOOTH_ESTIMATE_EB_H_

#include <span>

#include "common/types.h"

namespace propsmooth {

/// Moments, the ML fit and the EB proportions of the group in `workspace`:
/// sets every region's three results and every summary field.
/// `allow_threads` lets a large group use more than one core.
void EstimateGroup(const RunSettings& settings, bool allow_threads,
                   GroupWorkspace* workspace);

/// EstimateGroup on a group's records where they lie together in the
/// table, in their order there: the same results, without a copy of the
/// group, which for one group of ten million records is as large as the
/// table itself.
void EstimateGroupInPlace(const RunSettings& settings, bool allow_threads,
                          std::span<RegionRecord> records, GroupSummary* summary);

}  // namespace propsmooth

#endif  // PROPSMOOTH_ESTIMATE_EB_H_
