// The maximum-likelihood fit of the beta prior by Newton-Raphson.
#ifndef PROPSMOOTH_ESTIMATE_MLE_H_
#define PROPSMOOTH_ESTIMATE_MLE_H_

#include "common/types.h"

namespace propsmooth {

/// Fits Alpha and Beta from AlphaStart/BetaStart (the user's positive
/// values, else the moment estimators) and sets AlphaStart, BetaStart,
/// Mle, ErrAlpha, ErrBeta and Iterations. Runs after ComputeMoments. A
/// failed fit (iteration limit, a parameter not above 0, or a step without
/// a defined result: a zero or non-finite determinant, a non-finite sum or
/// correction) leaves Mle empty.
void FitMle(const RunSettings& settings, bool allow_threads,
            GroupWorkspace* workspace);

}  // namespace propsmooth

#endif  // PROPSMOOTH_ESTIMATE_MLE_H_
