// The ladder sums' logarithms and the regions' log binomial coefficients,
// against plain evaluations term by term.
#include "stats/tail_sums.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "stats/beta_binomial_likelihood.h"
#include "stats/log_of_product.h"

namespace propsmooth {
namespace {

std::uint64_t Bits(double value) { return std::bit_cast<std::uint64_t>(value); }

// One region's count: every k below it counted once. A short ladder (under
// 64 terms) takes its log1p terms as the log1p of their product, within
// 140 u of the real sum (log_of_product.h); a long one is in closed form.
// The reference sums log1pl of each k theta / base in long double. At
// theta = 0 every term is log1p(0), and the sum must come out as +0, as
// the binomial limit's log-likelihood is its base bit for bit. The large
// cases end the product's runs before it overflows (terms near 1e15, their
// product near 1e900) and take terms past 2^64 alone (each near 1e200, whose
// product would overflow).
TEST(SweepTail, LogSumWithinItsBoundAndExactlyZeroAtTheBinomialLimit) {
  if (std::numeric_limits<long double>::digits <= std::numeric_limits<double>::digits) {
    GTEST_SKIP() << "long double is no wider than double here: no reference";
  }
  struct Case {
    const char* Name;
    double Base;
    double Theta;
    std::int64_t Count;
  };
  const Case cases[] = {
      {"binomial limit, short", 0.3, 0.0, 40},
      {"binomial limit, long", 0.7, 0.0, 5000},
      {"binomial limit, base 1", 1.0, 0.0, 63},
      {"spread, short", 0.3, 0.01, 40},
      {"tiny theta, short", 0.5, 1e-300, 10},
      {"small terms, short", 0.9, 1e-9, 63},
      {"large theta, short", 0.02, 3.0, 63},
      {"runs ended, short", 1e-3, 1e11, 63},
      {"terms past 2^64, short", 1e-200, 1.0, 20},
      {"one term", 0.4, 0.2, 1},
      {"spread, long", 0.25, 0.02, 700},
  };
  constexpr double kUnit = std::numeric_limits<double>::epsilon() / 2.0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const CountTail tail{{c.Count}, {1}};
    const TailSums sums = SweepTail<true>(tail, c.Base, c.Theta);
    if (c.Theta == 0.0) {
      EXPECT_EQ(Bits(sums.Log), Bits(0.0)) << sums.Log;
      continue;
    }
    long double real = 0.0L;
    for (std::int64_t k = 0; k < c.Count; ++k) {
      real += std::log1p(static_cast<long double>(k) * static_cast<long double>(c.Theta) /
                         static_cast<long double>(c.Base));
    }
    // The closed form of a long ladder is good to about 1e-16 of the sum.
    const double bound = (c.Count < 64 ? 140.0 * kUnit : 1e-14) * static_cast<double>(real);
    EXPECT_NEAR(sums.Log, static_cast<double>(real), bound);
  }
}

// Terms the fast likelihood's ladders never give, which LogOfProduct must
// still take as log1p would: a NaN or an infinity passes through (an
// infinite first term would make the product 0 times infinity), a term in
// (-1, 0), which the product's error bound does not cover, takes its own
// log1p, and tiny terms keep their relative accuracy.
TEST(LogOfProduct, TakesEveryTermAsItsOwnLog1pWouldOutsideTheProductsRange) {
  constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  struct Case {
    const char* Name;
    std::vector<double> Terms;
  };
  const Case cases[] = {
      {"none", {}},
      {"zeros", {0.0, -0.0, 0.0}},
      {"NaN among others", {0.5, kNan, 2.0}},
      {"infinity first", {kInfinity, 1.0}},
      {"below zero", {0.25, -0.5, 3.0, -0.75}},
      {"tiny terms", {1e-20, 2e-20, 3e-20}},
      {"one past 2^64 between", {1e-3, 0x1p70, 1e-3}},
  };
  constexpr double kUnit = std::numeric_limits<double>::epsilon() / 2.0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    LogOfProduct logs;
    long double real = 0.0L;
    for (const double term : c.Terms) {
      logs.Add(term);
      real += std::log1p(static_cast<long double>(term));
    }
    const double sum = logs.Sum();
    if (std::isnan(real)) {
      EXPECT_TRUE(std::isnan(sum)) << sum;
    } else if (std::isinf(real) || real == 0.0L) {
      EXPECT_EQ(Bits(sum), Bits(static_cast<double>(real))) << sum;
    } else {
      EXPECT_NEAR(sum, static_cast<double>(real), 16.0 * kUnit * std::fabs(static_cast<double>(real)));
    }
  }
}

// log C(n, x) of a region, summed once: std::lgamma is the C library's
// log-gamma (LogGamma's own code on glibc), so the three values differ
// from the data's by not a bit, whether the sizes are looked up or not
// (16384 and above are not).
TEST(MakeBetaBinomialData, LogChooseIsTheLogGammaDifferenceOnBothSidesOfTheTable) {
  struct Case {
    std::int32_t X;
    std::int32_t N;
  };
  const Case cases[] = {{0, 1},         {3, 10},         {16383, 16383}, {5, 16383},
                        {1, 16384},     {16384, 16385},  {8000, 16384},  {50000, 100000},
                        {7, 2147483647}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.X << " of " << c.N);
    const BetaBinomialData data = MakeBetaBinomialData({Region{c.X, c.N}});
    const double n = c.N;
    const double x = c.X;
    const double expected = std::lgamma(n + 1.0) - std::lgamma(x + 1.0) - std::lgamma(n - x + 1.0);
    EXPECT_EQ(Bits(data.LogChoose), Bits(expected)) << data.LogChoose << " against " << expected;
  }
}

}  // namespace
}  // namespace propsmooth
