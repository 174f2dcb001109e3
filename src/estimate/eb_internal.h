// The test seam of the EB proportions: their rule on a summary as given,
// without the moments and the fit before it. Included by eb.cc and tests.
#ifndef PROPSMOOTH_ESTIMATE_EB_INTERNAL_H_
#define PROPSMOOTH_ESTIMATE_EB_INTERNAL_H_

#include "common/types.h"

namespace propsmooth {

/// Sets every region's EbPropMe from the moment estimators and EbPropMle
/// from the ML estimates, or leaves EbPropMle empty in every region when
/// the fit failed. A region whose denominator (Alpha + Beta) + Data2 is 0, or whose
/// value would not be finite, gets its raw proportion.
void ComputeEbProportions(GroupWorkspace* workspace);

}  // namespace propsmooth

#endif  // PROPSMOOTH_ESTIMATE_EB_INTERNAL_H_
