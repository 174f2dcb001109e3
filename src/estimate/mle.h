// The maximum-likelihood fit of the beta prior by Newton-Raphson.
#ifndef PROPSMOOTH_ESTIMATE_MLE_H_
#define PROPSMOOTH_ESTIMATE_MLE_H_

#include <functional>

#include "common/types.h"
#include "estimate/step_sums.h"

namespace propsmooth {

/// Computes the step sums at (alpha, beta); lets tests run the fit on
/// another kernel. Must give the same sums for the same point: the fit
/// ends a cycle of steps early, as it would end at the iteration limit.
using StepSumsFunction = std::function<StepSums(double alpha, double beta)>;

/// Fits Alpha and Beta from AlphaStart/BetaStart (the user's positive
/// values, else the moment estimators) and sets AlphaStart, BetaStart,
/// AlphaMle, BetaMle, ErrAlpha, ErrBeta, Converged and Iterations. Runs
/// after ComputeMoments. A failed fit (iteration limit, a parameter not
/// above 0, or a step without a defined result: a zero or non-finite
/// determinant, a non-finite sum or correction) stores MissingValue in
/// AlphaMle and BetaMle.
void FitMle(const RunSettings& settings, bool allow_threads,
            GroupWorkspace* workspace);

/// The same fit with the step sums from `step_sums`.
void FitMleWith(const RunSettings& settings, const StepSumsFunction& step_sums,
                GroupSummary* summary);

}  // namespace propsmooth

#endif  // PROPSMOOTH_ESTIMATE_MLE_H_
