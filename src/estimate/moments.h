// Raw proportions, their mean and variance, and the moment estimators.
#ifndef PROPSMOOTH_ESTIMATE_MOMENTS_H_
#define PROPSMOOTH_ESTIMATE_MOMENTS_H_

#include <span>

#include "common/types.h"

namespace propsmooth {

/// Sets every region's Proportion and the summary's Mean, Variance, AlphaMe
/// and BetaMe. A group whose Variance is exactly 0.0 (equal proportions, or
/// a single region, whose Variance is reported as 0.0) says nothing about
/// the prior's spread: AlphaMe = BetaMe = 0.0, so EbPropMe is the raw
/// proportion.
void ComputeMoments(GroupWorkspace* workspace);

/// ComputeMoments on a group's records where they lie together in the
/// table, so that a large group needs no copy of itself.
void ComputeMoments(std::span<RegionRecord> records, GroupSummary* summary);

/// Sets the summary's Mean and Variance to these and its AlphaMe and BetaMe
/// from them as ComputeMoments does: for a group known by its moments alone.
void SetMomentEstimators(double mean, double variance, GroupSummary* summary);

}  // namespace propsmooth

#endif  // PROPSMOOTH_ESTIMATE_MOMENTS_H_
