#include "stats/log_gamma.h"

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fit_data.h"
#include "stats/beta_binomial_likelihood.h"

namespace propsmooth {
namespace {

// log|Gamma(x)| from 30-digit mpmath (log(abs(gamma(x))), loggamma for the
// large ones); the first few by hand: Gamma(1/2) = sqrt(pi), Gamma(-1/2) =
// -2 sqrt(pi), Gamma(3) = 2, Gamma(11) = 10!.
TEST(LogGamma, KnownValuesByBothImplementations) {
  struct Case {
    double X, Value;
  };
  const Case cases[] = {
      {0.5, 0.57236494292470008707},       // log(sqrt(pi))
      {-0.5, 1.2655121234846453965},       // log(2 sqrt(pi))
      {1.0, 0.0},
      {2.0, 0.0},
      {3.0, 0.69314718055994530942},       // log 2
      {11.0, 15.104412573075515295},       // log 3628800
      {1e-8, 18.420680738180208884},
      {100.5, 361.43554046777762156},
      {1000001.0, 12815518.384658169624},  // log(10^6!)
      {1e15, 33538776394910668.91},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.X);
    const double tolerance = 4.0 * std::numeric_limits<double>::epsilon() *
                             std::max(1.0, std::fabs(c.Value));
    EXPECT_NEAR(LogGamma(c.X), c.Value, tolerance);
    EXPECT_NEAR(PortableLogGamma(c.X), c.Value, tolerance);
  }
  for (const double pole : {0.0, -1.0, -7.0}) {
    EXPECT_EQ(LogGamma(pole), std::numeric_limits<double>::infinity()) << pole;
    EXPECT_EQ(PortableLogGamma(pole), std::numeric_limits<double>::infinity()) << pole;
  }
  EXPECT_TRUE(std::isnan(LogGamma(std::numeric_limits<double>::quiet_NaN())));
  EXPECT_TRUE(std::isnan(PortableLogGamma(std::numeric_limits<double>::quiet_NaN())));
}

#if defined(__GLIBC__)
// The sums of log C(n, x) reach the loglik column: on glibc the value must
// be lgamma's to the last bit, or the tables would change.
TEST(LogGamma, BitForBitTheCLibrarysLgammaOnGlibc) {
  for (double x = 1.0; x < 2e6; x = x * 1.37 + 1.0) {
    ASSERT_EQ(LogGamma(x), std::lgamma(x)) << x;
    ASSERT_EQ(LogGamma(x + 0.5), std::lgamma(x + 0.5)) << x;
  }
}
#endif

// Regression for the race on signgam: the likelihood's data (its sum of
// log C(n, x)) built on several threads at once, as the groups are fitted.
// The values must agree with a lone thread's; under ThreadSanitizer the
// old std::lgamma calls were reported as a data race here.
TEST(LogGamma, LikelihoodDataBuiltOnSeveralThreadsAtOnce) {
  const std::vector<Region> regions = RatRegions();
  const double expected = MakeBetaBinomialData(regions).LogChoose;
  constexpr std::size_t kThreads = 4;
  std::vector<double> seen(kThreads, 0.0);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int repeat = 0; repeat < 200; ++repeat) {
        seen[t] = MakeBetaBinomialData(regions).LogChoose;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const double value : seen) EXPECT_EQ(value, expected);
}

}  // namespace
}  // namespace propsmooth
