#include "report_tool/beta_binomial_likelihood.h"

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "fit_data.h"

namespace propsmooth {
namespace {

// Against the textbook form in 50-digit mpmath (log-gamma differences at
// that precision): tests/report_tool/prior_fit_reference.py, the rat data
// at mu = 0.14. In double, those differences would lose every digit at
// 1e14; the sums must stay within 1e-9 relative, and do far better.
TEST(EvaluateLikelihood, MatchesFiftyDigitValuesFromTenToTenToTheFourteenth) {
  struct Case {
    double Alpha, Beta, LogLik;
  };
  const Case cases[] = {
      {1.4000000000000001, 8.6, -155.3803967147600619246507},
      {1400.0000000000002, 8600.0, -170.5963608472362351228684},
      {14000000.000000002, 86000000.0, -170.7299627193343615099674},
      {14000000000000.002, 86000000000000.0, -170.7299761561572017100477},
  };
  const BetaBinomialData data = MakeBetaBinomialData(RatRegions());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Alpha + c.Beta);
    const double loglik = EvaluateLikelihood(data, PointOfPrior(c.Alpha, c.Beta)).LogLik;
    EXPECT_NEAR(loglik, c.LogLik, 1e-12 * std::fabs(c.LogLik));
  }
  // theta = 0: the binomial at the pooled rate, same script.
  EXPECT_NEAR(EvaluateLikelihood(data, PooledPoint(data)).LogLik,
              -169.6435818705047877213609, 1e-12 * 170.0);
}

// The slope in theta at the binomial limit, by hand:
//   (1,2),(1,2): p = 1/2, each region 0 + 0 - 1           -> s0 = -2
//   (0,2),(2,2): p = 1/2, each region 2*1/(2*1/2) + 0 - 1  -> s0 = 2
//   (1,3),(0,3): p = 1/6, (0,3): 3*2/(2*5/6) - 3 = 3/5,
//                (1,3): 0 + 2*1/(2*5/6) - 3 = -9/5         -> s0 = -6/5
TEST(EvaluateLikelihood, SlopeAtBinomialLimitByHand) {
  struct Case {
    std::vector<std::pair<int, int>> Counts;
    double Slope;
  };
  const Case cases[] = {
      {{{1, 2}, {1, 2}}, -2.0},
      {{{0, 2}, {2, 2}}, 2.0},
      {{{1, 3}, {0, 3}}, -1.2},
  };
  for (const Case& c : cases) {
    const BetaBinomialData data = MakeBetaBinomialData(RegionsOf(c.Counts));
    EXPECT_NEAR(EvaluateLikelihood(data, PooledPoint(data)).DTheta, c.Slope, 1e-14);
  }
}

// The gradient and Hessian in (logit mu, log size) against central
// differences of a plain log-gamma likelihood, at moderate sizes where
// log-gamma differences keep their digits; on the rat data and on a group
// with zeros and full regions. The differences (step 1e-3) carry errors of
// about 1e-5 in the gradient and 1e-4 in the Hessian; each term of the chain
// rule is of order 0.1 to 10 here, so dropping one shows.
TEST(ShapeInLogitLogSize, MatchesDifferencesOfLogGammaLikelihood) {
  struct Case {
    const char* Name;
    std::vector<Region> Regions;
    double LogitMean, LogSize;
  };
  const Case cases[] = {
      {"rats near optimum", RatRegions(), -1.8, 2.8},
      {"rats, large size", RatRegions(), -1.5, 6.0},
      {"rats, small size", RatRegions(), -2.5, -1.0},
      {"zeros and full", RegionsOf({{0, 12}, {12, 12}, {1, 12}, {11, 12}}), 0.3, -0.8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const BetaBinomialData data = MakeBetaBinomialData(c.Regions);
    const ModelPoint point = PointOfCoordinates(c.LogitMean, c.LogSize);
    const LocalShape shape = ShapeInLogitLogSize(EvaluateLikelihood(data, point), point);
    const auto f = [&](double u, double v) { return LogGammaLogLik(c.Regions, u, v); };
    const LocalShape numeric = DifferenceShape(f, c.LogitMean, c.LogSize);
    EXPECT_NEAR(shape.LogLik, numeric.LogLik, 1e-10 * std::fabs(numeric.LogLik));
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_NEAR(shape.Gradient[i], numeric.Gradient[i], 1e-4 * (1.0 + std::fabs(numeric.Gradient[i])));
      for (std::size_t j = 0; j < 2; ++j) {
        EXPECT_NEAR(shape.Hessian[i][j], numeric.Hessian[i][j],
                    1e-3 * (1.0 + std::fabs(numeric.Hessian[i][j])));
      }
    }
  }
}

TEST(MakeBetaBinomialData, CountAboveSizeIsNotBinomial) {
  EXPECT_TRUE(MakeBetaBinomialData(RegionsOf({{0, 3}, {3, 3}})).Binomial);
  EXPECT_FALSE(MakeBetaBinomialData(RegionsOf({{0, 3}, {4, 3}})).Binomial);
  EXPECT_FALSE(MakeBetaBinomialData(RegionsOf({{-1, 3}})).Binomial);
}

}  // namespace
}  // namespace propsmooth
