#include "stats/group_prior.h"

#include "stats/beta_math.h"

namespace propsmooth {

GroupPrior ChoosePrior(const GroupSummary& summary, PriorEstimator estimator) {
  if (estimator == PriorEstimator::kMe) {
    return {summary.AlphaMe, summary.BetaMe, PriorSource::kMe};
  }
  if (summary.Mle) return {summary.Mle->Alpha, summary.Mle->Beta, PriorSource::kMle};
  return {summary.AlphaMe, summary.BetaMe, PriorSource::kMeAfterFailedFit};
}

bool PriorIsBeta(const GroupPrior& prior) {
  return IsPositive(prior.Alpha) && IsPositive(prior.Beta);
}

const char* PriorSourceText(PriorSource source) {
  switch (source) {
    case PriorSource::kMle:
      return "MLE";
    case PriorSource::kMe:
      return "ME";
    case PriorSource::kMeAfterFailedFit:
      return "ME (MLE failed)";
  }
  return "";
}

double EbUnderPrior(const RegionRecord& record, PriorSource source) {
  // An ML prior means the fit succeeded, so the record has its EB value.
  return source == PriorSource::kMle ? record.EbPropMle.value_or(record.EbPropMe)
                                     : record.EbPropMe;
}

}  // namespace propsmooth
