#include "stats/gamma_math.h"

#include <limits>
#include <optional>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// References from tests/stats/reference_values.py: the distribution
// function of Poisson(expected * reference) summed term by term in 50-digit
// mpmath, r the smallest count whose F(r) reaches the probability, the
// limit (r - a) / expected, a = (F(r) - probability) / (F(r) - F(r - 1)),
// raised to 0 where it falls below. Checked by hand for expected 10,
// 99.9%: F(20) = 0.998412 < 0.999 <= F(21) = 0.999300, so r = 21, a =
// (0.999300 - 0.999) / (0.999300 - 0.998412) = 0.338 and (21 - 0.338) / 10
// = 2.0662. No limit without a positive
// expected count and reference, nor outside (0, 1).
TEST(PoissonControlLimit, MatchesExactPoissonOrRefuses) {
  struct Case {
    double Expected, Reference, Probability;
    std::optional<double> Limit;
  };
  const Case cases[] = {
      {10.0, 1.0, 0.025, 0.37751879476884031},
      {10.0, 1.0, 0.975, 1.6159950673344784},
      {10.0, 1.0, 0.001, 0.12205293158961343},
      {10.0, 1.0, 0.999, 2.0662000835995039},
      {0.5, 1.0, 0.025, 0.0},
      {0.5, 1.0, 0.999, 6.9517179618007172},
      {2.2053963789769733, 1.0, 0.975, 2.2714768184619117},
      {48.5, 1.0, 0.001, 0.57692093135862221},
      {48.5, 1.0, 0.999, 1.4618802671937579},
      {3000.0, 0.0007, 0.025, 0.0},
      {3000.0, 0.0007, 0.999, 0.0024743679155556154},
      {250.0, 2.5, 0.975, 2.6958705929435255},
      {0.0, 1.0, 0.975, std::nullopt},
      {-2.0, 1.0, 0.975, std::nullopt},
      {kInf, 1.0, 0.975, std::nullopt},
      {10.0, 0.0, 0.975, std::nullopt},
      {10.0, kNan, 0.975, std::nullopt},
      {10.0, 1.0, 0.0, std::nullopt},
      {10.0, 1.0, 1.0, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.Expected << ", " << c.Reference << ", " << c.Probability);
    const std::optional<double> limit =
        PoissonControlLimit(c.Expected, c.Reference, c.Probability);
    ASSERT_EQ(limit.has_value(), c.Limit.has_value());
    if (limit) {
      EXPECT_NEAR(*limit, *c.Limit, 1e-10 * (1.0 + *c.Limit));
    }
  }
}

// References from the same script: b^a x^(a - 1) exp(-b x) / Gamma(a) in
// 50-digit mpmath; the first two are the SIDS prior of the rates tests.
// Gamma(1, 3) is closed form: 3 exp(-6) at 2. Nothing at or below 0 (the
// pole of a shape below 1), nor for a parameter that is not positive.
TEST(GammaDensity, MatchesTheClosedFormOrRefuses) {
  struct Case {
    double Shape, Rate, X;
    std::optional<double> Density;
  };
  const Case cases[] = {
      {6.3719767484349648, 6.0652753458861346, 1.0, 0.9864150708692552},
      {6.3719767484349648, 6.0652753458861346, 0.2, 0.022207597575393013},
      {0.5, 2.0, 0.01, 7.8208538795091175},
      {1.0, 3.0, 2.0, 0.0074362565299990753},
      {250.0, 240.0, 1.05, 5.9578569287163809},
      {0.5, 2.0, 0.0, std::nullopt},
      {2.0, 2.0, -1.0, std::nullopt},
      {0.0, 2.0, 1.0, std::nullopt},
      {2.0, kNan, 1.0, std::nullopt},
      {2.0, 2.0, kInf, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.Shape << ", " << c.Rate << ", " << c.X);
    const std::optional<double> density = GammaDensity(c.Shape, c.Rate, c.X);
    ASSERT_EQ(density.has_value(), c.Density.has_value());
    if (density) {
      EXPECT_NEAR(*density, *c.Density, 1e-12 * *c.Density);
    }
  }
}

}  // namespace
}  // namespace propsmooth
