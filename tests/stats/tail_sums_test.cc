// The ladder sums' logarithms and the regions' log binomial coefficients,
// against plain evaluations term by term.
#include "stats/tail_sums.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "stats/beta_binomial_likelihood.h"

namespace propsmooth {
namespace {

std::uint64_t Bits(double value) { return std::bit_cast<std::uint64_t>(value); }

// One region's count: every k below it counted once. Short ladders are
// summed term by term, so their log sum is log1p(k theta / base) added in
// k order from 0.0; long ones (64 terms and more) in closed form, which at
// theta = 0 is 0 as well: every term is log1p(0). A zero must come out as
// +0, as the sum of +0 terms does.
TEST(SweepTail, LogSumOfEveryTermAndExactlyZeroAtTheBinomialLimit) {
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
      {"large theta, short", 0.02, 3.0, 63},
      {"one term", 0.4, 0.2, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const CountTail tail{{c.Count}, {1}};
    const TailSums sums = SweepTail<true>(tail, c.Base, c.Theta);
    double expected = 0.0;
    if (c.Count < 64) {
      for (std::int64_t k = 0; k < c.Count; ++k) {
        expected = expected + std::log1p(static_cast<double>(k) * c.Theta / c.Base);
      }
    }
    EXPECT_EQ(Bits(sums.Log), Bits(expected)) << sums.Log << " against " << expected;
    if (c.Theta == 0.0) {
      EXPECT_FALSE(std::signbit(sums.Log));
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
