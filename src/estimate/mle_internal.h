// The test seam of the fit: the same Newton-Raphson loop on any step-sum
// kernel, so that tests, fuzz targets and benchmarks can run it on the
// reference sums or on scripted ones. Included by the fit and by those only.
#ifndef PROPSMOOTH_ESTIMATE_MLE_INTERNAL_H_
#define PROPSMOOTH_ESTIMATE_MLE_INTERNAL_H_

#include <functional>

#include "common/types.h"
#include "estimate/step_sums.h"

namespace propsmooth {

/// Computes the step sums at (alpha, beta). Must give the same sums for
/// the same point: the fit ends a cycle of steps early, as it would end at
/// the iteration limit.
using StepSumsFunction = std::function<StepSums(double alpha, double beta)>;

/// FitMle with the step sums from `step_sums`, on the summary alone.
void FitMleWith(const RunSettings& settings, const StepSumsFunction& step_sums,
                GroupSummary* summary);

}  // namespace propsmooth

#endif  // PROPSMOOTH_ESTIMATE_MLE_INTERNAL_H_
