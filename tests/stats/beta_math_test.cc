#include "stats/beta_math.h"

#include <cmath>
#include <limits>
#include <numbers>
#include <optional>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The credible bounds must match independently computed quantiles to 1e-9.
// References: tests/stats/reference_values.py, which inverts the
// regularized incomplete beta function by bisection, the function evaluated
// as its continued fraction in 50-digit mpmath arithmetic and checked against
// mpmath.betainc where that converges (the script's docstring gives the
// method). Case 4 is also closed form: Beta(1, 2) has the quantiles
// 1 - sqrt(1 - p), so 1 - sqrt(0.75) and 0.5. Without a beta prior or a
// binomial count there is no interval, and the reason names which; the
// prior is judged before the counts.
TEST(PosteriorInterval, MatchesIndependentQuantilesOrNamesTheReasonWhenThereIsNone) {
  struct Case {
    int Data1, Data2;
    double Alpha, Beta, Level;
    double Lower = kNan, Upper = kNan;  // NaN: not compared
    IntervalStatus Status = IntervalStatus::kOk;
  };
  using S = IntervalStatus;
  const Case cases[] = {
      {0, 20, 2.304783, 14.079809, 0.95, 0.0098551717963539541472, 0.16092797845015209799},
      {4, 14, 2.304783, 14.079809, 0.95, 0.085611545502057242136, 0.36568955130674694046},
      {12, 100, 5.269712, 29.226411, 0.95, 0.077562610571226799084, 0.18968634985300654575},
      {0, 1, 1.0, 1.0, 0.5, 0.13397459621556135324, 0.5},
      {0, 10, 0.3, 0.2, 0.9, 3.2586568187916566122e-6, 0.1299575328773115661},
      {1, 1, 0.5, 0.5, 0.99, 0.051236545575435327938, 0.99998457866385068014},
      {30, 120, 2.0, 3.0, 0.999, 0.14244824220818386369, 0.39464278081009924761},
      {5000, 100000, 20.5, 300.25, 0.95, 0.048703789181841720429, 0.05140216783053552085},
      {7, 7, 0.05, 40.0, 0.8, 0.087482769253492574025, 0.21875502897889669787},
      {200000, 200000, 1.5, 2.5, 0.95, 0.99996791962051086575, 0.99999792199650288652},
      {3, 10, 0.0, 0.0, 0.95, kNan, kNan, S::kNoPrior},
      {3, 10, -0.042683, -0.042683, 0.95, kNan, kNan, S::kPriorNotPositive},
      {0, 10, -0.25, -0.25, 0.95, kNan, kNan, S::kPriorNotPositive},
      {3, 10, 2.0, 0.0, 0.95, kNan, kNan, S::kPriorNotPositive},
      {3, 10, kNan, 2.0, 0.95, kNan, kNan, S::kPriorNotPositive},
      {3, 10, 2.0, kInf, 0.95, kNan, kNan, S::kPriorNotPositive},
      {11, 10, 2.0, 5.0, 0.95, kNan, kNan, S::kCountAboveSize},
      {11, 10, -1.0, 5.0, 0.95, kNan, kNan, S::kPriorNotPositive},
      {10, 10, 2.0, 5.0, 0.95},
      // A negative count is no binomial count either; Data2 - Data1 would
      // leave 32 bits for these.
      {-2, 2147483647, 5.0, 1.0, 0.95, kNan, kNan, S::kNotComputable},
      {-2147483647 - 1, 2147483647, 1e10, 1.0, 0.95, kNan, kNan, S::kNotComputable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.Data1 << " of " << c.Data2 << ", Beta("
                                      << c.Alpha << ", " << c.Beta << "), " << c.Level);
    const CredibleBounds bounds =
        PosteriorInterval(c.Data1, c.Data2, c.Alpha, c.Beta, c.Level);
    ASSERT_EQ(bounds.Status, c.Status);
    EXPECT_EQ(std::string(IntervalStatusText(bounds.Status)).empty(),
              c.Status == IntervalStatus::kOk);
    if (!std::isnan(c.Lower)) {
      EXPECT_NEAR(bounds.Lower, c.Lower, 1e-9);
      EXPECT_NEAR(bounds.Upper, c.Upper, 1e-9);
    }
  }
}

// Both tails of a posterior against 50-digit mpmath.betainc on [0, P] and
// [P, 1] (tests/stats/prior_fit_reference.py), each to 1e-9 of its own
// size: a tail of 6e-36 is only right if it is not one minus the other.
// Outside the distribution (no beta, or P not inside (0, 1)): nothing.
TEST(BetaTails, MatchesFiftyDigitTailsAndIsEmptyOutsideTheDistribution) {
  struct Case {
    double A, B, Threshold;
    double AtMost = kNan, Exceed = kNan;  // NaN: no tails
  };
  const Case cases[] = {
      {6.3047830000000005, 24.079808999999997, 0.2, 0.49438716576709337377, 0.50561283423290662623},
      {2.304783, 34.079809, 0.3, 0.99989389821822686077, 0.00010610178177313922911},
      {17.269712, 117.226411, 0.1, 0.16114931801247618002, 0.83885068198752381998},
      {0.5, 0.5, 0.5, 0.5, 0.5},
      {70.5, 1250.25, 0.06, 0.85712099688043299345, 0.14287900311956700655},
      {3.0, 400.0, 0.2, 1.0, 5.6631578932052425613e-36},
      {400.0, 3.0, 0.9, 4.1959601056371885101e-16, 0.9999999999999995804},
      {0.0, 1.0, 0.5}, {1.0, -1.0, 0.5}, {kNan, 1.0, 0.5}, {1.0, kInf, 0.5},
      {1.0, 1.0, 0.0}, {1.0, 1.0, 1.0},  {1.0, 1.0, kNan}, {1.0, 1.0, -0.1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "Beta(" << c.A << ", " << c.B << ") at " << c.Threshold);
    const std::optional<TailProbabilities> tails = BetaTails(c.A, c.B, c.Threshold);
    ASSERT_EQ(tails.has_value(), !std::isnan(c.AtMost));
    if (tails) {
      EXPECT_NEAR(tails->AtMost, c.AtMost, 1e-9 * c.AtMost);
      EXPECT_NEAR(tails->Exceed, c.Exceed, 1e-9 * c.Exceed);
    }
  }
}

// Closed forms: Beta(a, b) densities with integer or half-integer
// parameters, e.g. Beta(2, 3): 12 x (1 - x)^2, Beta(1/2, 1/2): 1 / (pi
// sqrt(x (1 - x))). Outside (0, 1), at a pole or without a prior: nothing.
TEST(BetaDensity, MatchesClosedForms) {
  struct Case {
    double Alpha, Beta, X;
    bool Exists;
    double Density;
  };
  const Case cases[] = {
      {2.0, 3.0, 0.25, true, 12.0 * 0.25 * 0.75 * 0.75},
      {1.0, 1.0, 0.7, true, 1.0},
      {0.5, 0.5, 0.5, true, 2.0 / std::numbers::pi},
      {3.0, 1.0, 0.9, true, 3.0 * 0.81},
      {2.0, 3.0, 0.0, false, 0.0},
      {2.0, 3.0, 1.0, false, 0.0},
      {-1.0, 3.0, 0.5, false, 0.0},
      {0.0, 0.0, 0.5, false, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "Beta(" << c.Alpha << ", " << c.Beta << ") at " << c.X);
    const std::optional<double> density = BetaDensity(c.Alpha, c.Beta, c.X);
    ASSERT_EQ(density.has_value(), c.Exists);
    if (c.Exists) {
      EXPECT_NEAR(*density, c.Density, 1e-12);
    }
  }
}

// References from tests/stats/reference_values.py: the binomial
// distribution function summed exactly with fractions.Fraction, then the
// interpolated quantile (r - a) / n, raised to 0 where it falls below. No
// limit without trials, a pooled rate inside (0, 1) and a probability
// inside (0, 1).
TEST(BinomialControlLimit, MatchesExactBinomialOrRefuses) {
  struct Case {
    long Size;
    double Pooled, Probability;
    std::optional<double> Limit;
  };
  const Case cases[] = {
      {20, 0.15, 0.025, 0},
      {20, 0.15, 0.975, 0.29662254237136798},
      {20, 0.15, 0.001, 0},
      {20, 0.15, 0.999, 0.41521982185101236},
      {47, 0.152464, 0.025, 0.045948146506727142},
      {47, 0.152464, 0.999, 0.32225023194523694},
      {10, 0.5, 0.025, 0.13244444444444445},
      {1, 0.3, 0.975, 0.91666666666666663},
      {100, 0.01, 0.001, 0},
      {100, 0.01, 0.999, 0.048393720738869293},
      {0, 0.2, 0.975, std::nullopt},
      {10, 0.0, 0.975, std::nullopt},
      {10, 1.0, 0.975, std::nullopt},
      {10, 1.2, 0.975, std::nullopt},
      {10, kNan, 0.975, std::nullopt},
      {10, 0.2, 0.0, std::nullopt},
      {10, 0.2, 1.0, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.Size << ", " << c.Pooled << ", " << c.Probability);
    const std::optional<double> limit = BinomialControlLimit(c.Size, c.Pooled, c.Probability);
    ASSERT_EQ(limit.has_value(), c.Limit.has_value());
    if (limit) {
      EXPECT_NEAR(*limit, *c.Limit, 1e-10);
    }
  }
}

}  // namespace
}  // namespace propsmooth
