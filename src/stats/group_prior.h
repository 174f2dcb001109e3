// Which beta prior a group's credible intervals and shrinkage plot use, and
// how the page names it.
#ifndef PROPSMOOTH_STATS_GROUP_PRIOR_H_
#define PROPSMOOTH_STATS_GROUP_PRIOR_H_

#include "common/types.h"

namespace propsmooth {

/// Which estimators of Alpha and Beta the intervals and the shrinkage plot use.
enum class PriorEstimator {
  kMle,  // maximum likelihood, the moment estimators when the fit failed
  kMe,   // moment estimators
};

/// Where the prior of a group came from.
enum class PriorSource {
  kMle,               // the converged maximum-likelihood fit
  kMe,                // the moment estimators, as asked
  kMeAfterFailedFit,  // the moment estimators, because the fit failed
};

/// The beta prior a group's intervals and shrinkage plot use.
struct GroupPrior {
  double Alpha = 0.0;
  double Beta = 0.0;
  PriorSource Source = PriorSource::kMe;
};

/// The prior of a group with `summary` under `estimator`.
GroupPrior ChoosePrior(const GroupSummary& summary, PriorEstimator estimator);

/// Whether the prior is a beta distribution: Alpha and Beta both positive
/// and finite. Moment estimators of a group without spread, or with more
/// spread than the model allows, are not.
bool PriorIsBeta(const GroupPrior& prior);

/// How the prior is named in the report and the TSV: "MLE", "ME" or
/// "ME (MLE failed)".
const char* PriorSourceText(PriorSource source);

/// The EB proportion of a region under the group's prior: EbPropMle for an
/// ML prior, else EbPropMe.
double EbUnderPrior(const RegionRecord& record, PriorSource source);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_GROUP_PRIOR_H_
