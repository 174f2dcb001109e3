// The two ways the project sums the beta-binomial score must agree: the
// fast log-likelihood of src/stats (Euler-Maclaurin over long ladder
// steps, in logit mu and log size) and the strict program's exact Newton
// step sums of src/estimate (every term, bit for bit the plain loops). See
// doc/likelihood.md.
#include <cmath>
#include <vector>

#include <boost/math/special_functions/digamma.hpp>
#include <gtest/gtest.h>

#include "estimate/step_sums.h"
#include "fit_data.h"
#include "stats/beta_binomial_likelihood.h"

namespace propsmooth {
namespace {

// d loglik/d Alpha = sum over regions of psi(A + x) - psi(A) - psi(A + B + n)
// + psi(A + B), and alike for Beta: ComputeStepSums' GradAlpha and
// GradBeta. The fast gradient in (w, v) = (log A - log B, log(A + B))
// carries over by dw/dA = 1/A, dw/dB = -1/B, dv/dA = dv/dB = 1/(A + B).
// Each gradient is a difference of two sums; it is judged against the sums'
// own size (digamma differences), so that a gradient near 0 does not ask
// for digits that neither side has. The sides agree within 1e-11 of that
// size but for counts of millions at size 1e-2: there the fast side's
// derivative in theta = 1/(A + B) is a difference of sums as large as the
// counts, and the sides part by up to 1.2e-10 (at mean 0.05 the strict
// GradBeta is within 1e-13 of 40-digit mpmath digamma sums, the fast one
// 1.4e-9 of the gradient off).
TEST(LikelihoodSums, FastGradientAgreesWithStrictStepSums) {
  struct Group {
    const char* Name;
    std::vector<Region> Regions;
  };
  const Group groups[] = {
      {"rats: small counts", RatRegions()},
      {"zeros, full regions and small counts",
       RegionsOf({{0, 1}, {1, 1}, {3, 7}, {0, 20}, {20, 20}, {2, 3}})},
      // Steps of millions: the fast side sums them in closed form.
      {"large counts",
       RegionsOf({{0, 3}, {1200000, 3000000}, {2500000, 2600000}, {17, 4000000}, {5, 5}})},
  };
  constexpr double kAgreement = 2e-10;
  const double sizes[] = {1e-2, 1.0, 1e2, 1e4, 1e6};
  const double means[] = {0.05, 0.4, 0.9};
  for (const Group& group : groups) {
    SCOPED_TRACE(group.Name);
    const BetaBinomialData data = MakeBetaBinomialData(group.Regions);
    StepPlan plan = MakeStepPlan(group.Regions, false);
    for (const double size : sizes) {
      for (const double mean : means) {
        SCOPED_TRACE(testing::Message() << "size " << size << ", mean " << mean);
        const double alpha = size * mean;
        const double beta = size * (1.0 - mean);
        const StepSums exact = ComputeStepSums(plan, alpha, beta);
        const ModelPoint point = PointOfPrior(alpha, beta);
        const LocalShape shape = ShapeInLogitLogSize(EvaluateLikelihood(data, point), point);
        const double sum = alpha + beta;
        const double fast_alpha = shape.Gradient[0] / alpha + shape.Gradient[1] / sum;
        const double fast_beta = -shape.Gradient[0] / beta + shape.Gradient[1] / sum;
        double scale_alpha = 0.0;
        double scale_beta = 0.0;
        for (const Region& region : group.Regions) {
          using boost::math::digamma;
          const double size_part = digamma(sum + region.Data2) - digamma(sum);
          scale_alpha += (digamma(alpha + region.Data1) - digamma(alpha)) + size_part;
          scale_beta +=
              (digamma(beta + (region.Data2 - region.Data1)) - digamma(beta)) + size_part;
        }
        EXPECT_NEAR(fast_alpha, exact.GradAlpha, kAgreement * scale_alpha);
        EXPECT_NEAR(fast_beta, exact.GradBeta, kAgreement * scale_beta);
      }
    }
  }
}

}  // namespace
}  // namespace propsmooth
