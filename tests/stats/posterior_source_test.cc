// A record's posterior figures through the per-group table the front door
// computes them from, against the beta quantiles in closed form and against
// the fit itself.
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "stats/group_fit.h"
#include "stats/record_estimates.h"

namespace propsmooth {
namespace {

std::uint64_t Bits(double value) { return std::bit_cast<std::uint64_t>(value); }

GroupFit Newton(double alpha, double beta) {
  GroupFit fit;
  fit.Fit.Label = FitLabel::kNewton;
  fit.Fit.Prior = BetaPrior{alpha, beta};
  fit.Alpha = alpha;
  fit.Beta = beta;
  return fit;
}

GroupFit Pooled(double alpha, double beta) {
  GroupFit fit;
  fit.Fit.Label = FitLabel::kNoFiniteMaximum;
  fit.Fit.Boundary = FitBoundary::kCompletePooling;
  fit.Alpha = alpha;
  fit.Beta = beta;
  return fit;
}

// Quantiles where the beta distribution function has a closed form:
// Beta(a, 1) has F(p) = p^a, so its q quantile is q^(1/a); Beta(1, b) has
// F(p) = 1 - (1 - p)^b, its q quantile 1 - (1 - q)^(1/b). At level 0.9
// the tails are 0.05 each. The threshold 0.3: P(p <= 0.3) = 0.3^a, or
// 1 - 0.7^b.
//   group 0, Beta(1, 2) prior (newton): 0 of 3 gives Beta(1, 5);
//   group 1, complete pooling at Beta(3, 1): every record in the rule;
//   group 2, no posterior (failed fit);
//   group 3, complete pooling at Beta(1, 1), the uniform.
TEST(PosteriorsUnderFits, FromTheGroupsTableAsFromEachFit) {
  const std::vector<GroupFit> fits = {Newton(1.0, 2.0), Pooled(3.0, 1.0), GroupFit(),
                                      Pooled(1.0, 1.0)};
  constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* Name;
    std::size_t Group;
    std::int32_t X, N;
    IntervalStatus Status;
    double Lower, Upper, AtMost;  // NaN: no interval or tails
  };
  const Case cases[] = {
      {"counts added", 0, 0, 3, IntervalStatus::kOk, 1.0 - std::pow(0.95, 1.0 / 5.0),
       1.0 - std::pow(0.05, 1.0 / 5.0), 1.0 - std::pow(0.7, 5.0)},
      {"count above size", 0, 4, 3, IntervalStatus::kCountAboveSize, kNan, kNan, kNan},
      {"count below 0", 0, -1, 3, IntervalStatus::kNotComputable, kNan, kNan, kNan},
      {"pooled", 1, 2, 9, IntervalStatus::kOk, std::pow(0.05, 1.0 / 3.0),
       std::pow(0.95, 1.0 / 3.0), 0.3 * 0.3 * 0.3},
      {"pooled, another record", 1, 0, 1, IntervalStatus::kOk, std::pow(0.05, 1.0 / 3.0),
       std::pow(0.95, 1.0 / 3.0), 0.3 * 0.3 * 0.3},
      {"pooled, count above size", 1, 5, 4, IntervalStatus::kCountAboveSize, kNan, kNan, kNan},
      {"pooled, size 0", 1, 0, 0, IntervalStatus::kNotComputable, kNan, kNan, kNan},
      {"no posterior", 2, 1, 2, IntervalStatus::kNoPrior, kNan, kNan, kNan},
      {"uniform", 3, 7, 7, IntervalStatus::kOk, 0.05, 0.95, 0.3},
  };
  for (const unsigned workers : {1u, 2u}) {
    const PairPosterior posterior = PosteriorsUnderFits(fits, 0.9, 0.3, workers);
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.Name << ", " << workers << " workers");
      RegionRecord record;
      record.Data1 = c.X;
      record.Data2 = c.N;
      CredibleBounds bounds;
      std::optional<TailProbabilities> tails;
      posterior({{PairTask{&record, c.Group, &bounds, &tails}}});
      ASSERT_EQ(bounds.Status, c.Status);
      // Found once for a pooled group or per record, the figures are those
      // of the fit itself to the bit.
      const CredibleBounds alone = IntervalUnderFit(record, fits[c.Group], 0.9);
      EXPECT_EQ(alone.Status, bounds.Status);
      if (c.Status == IntervalStatus::kOk) {
        EXPECT_NEAR(bounds.Lower, c.Lower, 1e-13 * c.Lower);
        EXPECT_NEAR(bounds.Upper, c.Upper, 1e-13 * c.Upper);
        EXPECT_EQ(Bits(bounds.Lower), Bits(alone.Lower));
        EXPECT_EQ(Bits(bounds.Upper), Bits(alone.Upper));
      }
      ASSERT_EQ(tails.has_value(), !std::isnan(c.AtMost));
      if (tails) {
        EXPECT_NEAR(tails->AtMost, c.AtMost, 1e-13 * c.AtMost);
        EXPECT_NEAR(tails->Exceed, 1.0 - c.AtMost, 1e-13 * (1.0 - c.AtMost));
        const std::optional<BetaPrior> own = PosteriorUnderFit(record, fits[c.Group]);
        ASSERT_TRUE(own.has_value());
        const std::optional<TailProbabilities> direct = BetaTails(own->Alpha, own->Beta, 0.3);
        ASSERT_TRUE(direct.has_value());
        EXPECT_EQ(Bits(tails->AtMost), Bits(direct->AtMost));
        EXPECT_EQ(Bits(tails->Exceed), Bits(direct->Exceed));
      }
    }
  }
}

}  // namespace
}  // namespace propsmooth
