#include "stats/group_prior.h"

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

TEST(ChoosePrior, FallsBackToMomentsOnlyWhenTheFitFailed) {
  GroupSummary converged;
  converged.AlphaMe = 1.0;
  converged.BetaMe = 2.0;
  converged.Mle = BetaPrior{3.0, 4.0};
  GroupSummary failed = converged;
  failed.Mle.reset();
  struct Case {
    const char* Name;
    const GroupSummary& Summary;
    PriorEstimator Estimator;
    double Alpha, Beta;
    PriorSource Source;
  };
  const Case cases[] = {
      {"converged, mle", converged, PriorEstimator::kMle, 3.0, 4.0, PriorSource::kMle},
      {"converged, me", converged, PriorEstimator::kMe, 1.0, 2.0, PriorSource::kMe},
      {"failed, mle", failed, PriorEstimator::kMle, 1.0, 2.0, PriorSource::kMeAfterFailedFit},
      {"failed, me", failed, PriorEstimator::kMe, 1.0, 2.0, PriorSource::kMe},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const GroupPrior prior = ChoosePrior(c.Summary, c.Estimator);
    EXPECT_EQ(prior.Alpha, c.Alpha);
    EXPECT_EQ(prior.Beta, c.Beta);
    EXPECT_EQ(prior.Source, c.Source);
  }
}

}  // namespace
}  // namespace propsmooth
