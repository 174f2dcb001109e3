// The rat tumour data (Tarone 1982): 70 historical control groups, the
// classic data set for the beta-binomial model (Gelman et al., Bayesian Data
// Analysis, 3rd ed., section 5.1 and Table 5.1).
#include <gtest/gtest.h>

#include <algorithm>  // std::min, std::max
#include <cstdint>
#include <cstdio>

#include "common/types.h"
#include "estimate/eb.h"
#include "input/data_file.h"

namespace propsmooth {
namespace {

constexpr const char* kRatsFile = PROPSMOOTH_SOURCE_DIR "/examples/rats.txt";

// The expected ML optimum was found independently in Python (standard
// library only): the beta-binomial log-likelihood
//   sum_i lgamma(x_i + a) + lgamma(n_i - x_i + b) + lgamma(a + b)
//         - lgamma(a) - lgamma(b) - lgamma(n_i + a + b)
// was maximised by nested bisection on its gradient, each derivative a
// math.fsum of the exact finite sums of 1/(a + k), 1/(b + k), 1/(a + b + k):
// for each b, bisect d/da = 0 for a; then bisect d/db (at that a) = 0 for b,
// 200 halvings each. Result a = 2.304783312124327, b = 14.079809031547914
// (both derivatives below 5e-15 there). A golden-section search on the
// log-likelihood itself (profiled over a) agreed to 3e-7 relative.
constexpr double kAlphaMle = 2.304783312124327;
constexpr double kBetaMle = 14.079809031547914;

// Published result of a general-purpose optimiser on the same likelihood.
constexpr double kPublishedAlpha = 2.304768;
constexpr double kPublishedBeta = 14.079707;

TEST(RatTumours, EstimatesMatchPublishedAndIndependentFits) {
  RecordTable table;
  std::FILE* file = std::fopen(kRatsFile, "r");
  ASSERT_NE(file, nullptr) << kRatsFile;
  const ReadResult read = ReadDataFile(file, &table);
  std::fclose(file);
  ASSERT_EQ(read.Outcome, ReadOutcome::kOk);
  ASSERT_EQ(table.size(), 70u);
  std::int64_t tumours = 0;
  std::int64_t rats = 0;
  GroupWorkspace workspace;
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i].Unit, -1);
    EXPECT_EQ(table[i].Code, static_cast<std::int32_t>(i + 1));
    tumours += table[i].Data1;
    rats += table[i].Data2;
    Region region;
    region.Data1 = table[i].Data1;
    region.Data2 = table[i].Data2;
    workspace.Regions.push_back(region);
  }
  // The sums of the published table's 70 historical groups.
  EXPECT_EQ(tumours, 263);
  EXPECT_EQ(rats, 1725);
  EstimateGroup(RunSettings(), true, &workspace);
  const GroupSummary& s = workspace.Summary;

  // Gelman et al. give the sample mean and standard deviation of the 70
  // proportions as 0.136 and 0.103 and the moment estimates as Alpha 1.4
  // and Beta 8.6 (two digits, hence 5 % tolerance).
  EXPECT_NEAR(s.Mean, 0.136, 0.0005);
  EXPECT_NEAR(s.Variance, 0.103 * 0.103, 0.0002);
  EXPECT_NEAR(s.AlphaMe, 1.4, 1.4 * 0.05);
  EXPECT_NEAR(s.BetaMe, 8.6, 8.6 * 0.05);

  ASSERT_TRUE(s.Mle);
  EXPECT_NEAR(s.Mle->Alpha, kPublishedAlpha, kPublishedAlpha * 1e-4);
  EXPECT_NEAR(s.Mle->Beta, kPublishedBeta, kPublishedBeta * 1e-4);
  EXPECT_NEAR(s.Mle->Alpha, kAlphaMle, kAlphaMle * 1e-6);
  EXPECT_NEAR(s.Mle->Beta, kBetaMle, kBetaMle * 1e-6);

  // The smoothed proportion lies between the raw one and the prior mean.
  const double prior_mean = s.Mle->Alpha / (s.Mle->Alpha + s.Mle->Beta);
  for (const Region& region : workspace.Regions) {
    const double low = std::min(region.Proportion(), prior_mean);
    const double high = std::max(region.Proportion(), prior_mean);
    ASSERT_TRUE(region.EbPropMle);
    EXPECT_GE(*region.EbPropMle, low);
    EXPECT_LE(*region.EbPropMle, high);
  }
}

}  // namespace
}  // namespace propsmooth
