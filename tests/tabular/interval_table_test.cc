// The interval table's own, legacy prior: propsmooth's MLE, the moment
// estimators where asked or where its fit failed.
#include "tabular/interval_table.h"

#include <bit>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

// The Prior column's words are the manual's (TSV FILE: MLE, ME, ME (MLE
// failed)).
TEST(ChooseLegacyPrior, FallsBackToMomentsOnlyWhenTheFitFailed) {
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
    const char* Text;
  };
  const Case cases[] = {
      {"converged, mle", converged, PriorEstimator::kMle, 3.0, 4.0, "MLE"},
      {"converged, me", converged, PriorEstimator::kMe, 1.0, 2.0, "ME"},
      {"failed, mle", failed, PriorEstimator::kMle, 1.0, 2.0, "ME (MLE failed)"},
      {"failed, me", failed, PriorEstimator::kMe, 1.0, 2.0, "ME"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const LegacyPrior prior = ChooseLegacyPrior(c.Summary, c.Estimator);
    EXPECT_EQ(prior.Alpha, c.Alpha);
    EXPECT_EQ(prior.Beta, c.Beta);
    EXPECT_STREQ(LegacyPriorText(prior.Source), c.Text);
  }
}

// Each record's interval is the one a plain call under its own group's
// legacy prior gives, bit for bit: the table's numbers are those it always
// printed. Unit 2's prior is no beta distribution.
TEST(ComputeLegacyIntervals, EqualsOneCallPerRecordBitForBit) {
  const auto bits = [](const CredibleBounds& b) {
    return std::tuple(b.Status, std::bit_cast<std::uint64_t>(b.Lower),
                      std::bit_cast<std::uint64_t>(b.Upper));
  };
  RecordTable table;
  for (std::int32_t i = 0; i < 600; ++i) {
    const std::int32_t size = 5 + (i * 11) % 30;
    table.push_back({1 + i % 3, i + 1, (i * 7) % (size + 1), size});
  }
  const GroupPlan plan = PlanGroups(table);
  ASSERT_EQ(plan.Groups.size(), 3u);
  const std::vector<LegacyPrior> priors = {{2.5, 11.0, LegacyPriorSource::kMle},
                                           {-0.5, 3.0, LegacyPriorSource::kMeAfterFailedFit},
                                           {0.7, 3.25, LegacyPriorSource::kMe}};
  const RecordIntervals intervals = ComputeLegacyIntervals(table, plan, priors, 0.9, 2, {});
  std::size_t without = 0;
  for (std::size_t g = 0; g < plan.Groups.size(); ++g) {
    for (std::size_t k = plan.Groups[g].Begin; k < plan.Groups[g].End; ++k) {
      const std::uint32_t i = plan.RecordIndices[k];
      const CredibleBounds alone = PosteriorInterval(table[i].Data1, table[i].Data2,
                                                     priors[g].Alpha, priors[g].Beta, 0.9);
      ASSERT_EQ(bits(intervals[i]), bits(alone)) << "record " << i;
      without += alone.Status == IntervalStatus::kOk ? 0 : 1;
    }
  }
  EXPECT_EQ(without, plan.Groups[1].End - plan.Groups[1].Begin);
}

}  // namespace
}  // namespace propsmooth
