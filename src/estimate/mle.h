// The maximum-likelihood fit of the beta prior by Newton-Raphson.
#ifndef PROPSMOOTH_ESTIMATE_MLE_H_
#define PROPSMOOTH_ESTIMATE_MLE_H_

#include <span>

#include "common/types.h"
#include "estimate/count_ladder.h"

namespace propsmooth {

/// Fits Alpha and Beta from AlphaStart/BetaStart (the user's positive
/// values, else the moment estimators) and sets AlphaStart, BetaStart,
/// Mle, ErrAlpha, ErrBeta and Iterations. Runs after ComputeMoments. A
/// failed fit (iteration limit, a parameter not above 0, or a step without
/// a defined result: a zero or non-finite determinant, a non-finite sum or
/// correction) leaves Mle empty.
void FitMle(const RunSettings& settings, bool allow_threads,
            GroupWorkspace* workspace);

/// FitMle of a group's regions, or of its records where they lie together
/// in the table, into `summary`.
void FitMle(const RunSettings& settings, bool allow_threads, std::span<const Region> regions,
            GroupSummary* summary);
void FitMle(const RunSettings& settings, bool allow_threads,
            std::span<const RegionRecord> records, GroupSummary* summary);

/// FitMle for a group known by the histograms of its counts x, n - x and n
/// (any values; those below 0 count as 0, as in the ladders) and by its
/// summary's moment estimators: the same steps, on sums taken in value
/// order (see ComputeHistogramStepSums).
void FitMleOfHistograms(const RunSettings& settings, const CountHistogram& success,
                        const CountHistogram& failure, const CountHistogram& size,
                        GroupSummary* summary);

}  // namespace propsmooth

#endif  // PROPSMOOTH_ESTIMATE_MLE_H_
