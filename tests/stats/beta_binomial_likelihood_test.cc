#include "stats/beta_binomial_likelihood.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <boost/math/special_functions/digamma.hpp>
#include <gtest/gtest.h>

#include "estimate/step_sums.h"
#include "fit_data.h"

namespace propsmooth {
namespace {

// Against the textbook form in 50-digit mpmath (log-gamma differences at
// that precision): tests/stats/prior_fit_reference.py, the rat data
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
      EXPECT_NEAR(shape.Gradient[i], numeric.Gradient[i],
                  1e-4 * (1.0 + std::fabs(numeric.Gradient[i])));
      for (std::size_t j = 0; j < 2; ++j) {
        EXPECT_NEAR(shape.Hessian[i][j], numeric.Hessian[i][j],
                    1e-3 * (1.0 + std::fabs(numeric.Hessian[i][j])));
      }
    }
  }
}

// The sums of each region's count ladder term by term in long double, as
// the header defines them: the reference for counts long enough that the
// ladder's steps are summed in closed form. `Scale` holds the sums of the
// terms' sizes, against which a difference of large sums is judged.
struct DirectTerms {
  LikelihoodTerms Value;
  LikelihoodTerms Scale;
};

DirectTerms DirectSums(const std::vector<Region>& regions, const ModelPoint& point) {
  long double value[6] = {};
  long double scale[6] = {};
  const auto theta = static_cast<long double>(point.Theta);
  const auto add = [&](int i, long double term) {
    value[i] += term;
    scale[i] += std::fabs(term);
  };
  // sign: +1 for the x and n - x ladders, -1 for n; mean_sign: d base/d mu.
  const auto ladder = [&](std::int64_t count, long double base, int sign, int mean_sign) {
    for (std::int64_t k = 0; k < count; ++k) {
      const auto kl = static_cast<long double>(k);
      const long double d = base + kl * theta;
      add(0, sign * std::log1p(kl * theta / base));
      add(1, mean_sign / d);
      add(2, sign * kl / d);
      add(3, -(mean_sign * mean_sign) / (d * d));
      add(4, -mean_sign * kl / (d * d));
      add(5, -sign * kl * kl / (d * d));
    }
  };
  for (const Region& region : regions) {
    const long double x = region.Data1;
    const long double n = region.Data2;
    const auto mean = static_cast<long double>(point.Mean);
    const auto complement = static_cast<long double>(point.Complement);
    add(0, std::lgamma(n + 1.0L) - std::lgamma(x + 1.0L) - std::lgamma(n - x + 1.0L));
    add(0, x * std::log(mean) + (n - x) * std::log(complement));
    ladder(region.Data1, mean, 1, 1);
    ladder(std::int64_t{region.Data2} - region.Data1, complement, 1, -1);
    ladder(region.Data2, 1.0L, -1, 0);
  }
  const auto terms = [](const long double* v) {
    return LikelihoodTerms{static_cast<double>(v[0]), static_cast<double>(v[1]),
                           static_cast<double>(v[2]), static_cast<double>(v[3]),
                           static_cast<double>(v[4]), static_cast<double>(v[5])};
  };
  return {terms(value), terms(scale)};
}

// Ladders with steps of hundreds to a million counts, at sizes from 1e-2 to
// 1e14 (t = theta/base from far above 1 to far below): every term and
// derivative against the direct sums, to 1e-12 of the sum of its terms'
// sizes (the log-likelihood, a sum of millions of logarithms that cancel to
// tens, to 1e-15 of theirs: double rounding of the terms alone).
TEST(EvaluateLikelihood, LongLadderStepsMatchDirectSums) {
  struct Case {
    const char* Name;
    std::vector<std::pair<int, int>> Counts;
  };
  const Case cases[] = {
      {"two steps of hundreds", {{130, 400}, {260, 300}}},
      {"a million trials", {{150000, 1000000}, {3, 400}, {70000, 70500}, {0, 90}}},
  };
  const double sizes[] = {1e-2, 1.0, 37.0, 1e4, 1e9, 1e14};
  for (const Case& c : cases) {
    const std::vector<Region> regions = RegionsOf(c.Counts);
    const BetaBinomialData data = MakeBetaBinomialData(regions);
    for (const double size : sizes) {
      SCOPED_TRACE(std::string(c.Name) + ", size " + std::to_string(size));
      const ModelPoint point = PointOfPrior(0.23 * size, 0.77 * size);
      const LikelihoodTerms got = EvaluateLikelihood(data, point);
      const MeanSlope slope = EvaluateMeanSlope(data, point);
      const DirectTerms want = DirectSums(regions, point);
      EXPECT_NEAR(got.LogLik, want.Value.LogLik, 1e-15 * want.Scale.LogLik);
      const double checks[][3] = {
          {got.DMean, want.Value.DMean, want.Scale.DMean},
          {got.DTheta, want.Value.DTheta, want.Scale.DTheta},
          {got.DMeanMean, want.Value.DMeanMean, want.Scale.DMeanMean},
          {got.DMeanTheta, want.Value.DMeanTheta, want.Scale.DMeanTheta},
          {got.DThetaTheta, want.Value.DThetaTheta, want.Scale.DThetaTheta},
          {slope.DMean, want.Value.DMean, want.Scale.DMean},
          {slope.DMeanMean, want.Value.DMeanMean, want.Scale.DMeanMean}};
      for (const auto& [value, reference, scale] : checks) {
        EXPECT_NEAR(value, reference, 1e-12 * scale);
      }
    }
  }
}

TEST(MakeBetaBinomialData, CountAboveSizeIsNotBinomial) {
  EXPECT_TRUE(MakeBetaBinomialData(RegionsOf({{0, 3}, {3, 3}})).Binomial);
  EXPECT_FALSE(MakeBetaBinomialData(RegionsOf({{0, 3}, {4, 3}})).Binomial);
  EXPECT_FALSE(MakeBetaBinomialData(RegionsOf({{-1, 3}})).Binomial);
}

// Read in place, a group's records give the data their copy as regions
// gives (the ladder's tails, built another way: a table by count or a sort
// here, the count ladder there), bit for bit, in whatever order the plan
// holds them; the first record outside the rule makes it no binomial. The
// same holds for data filled into one reused value group after group, in
// the table's order and backwards: a larger group before a smaller one,
// the table's way after the sort's, a group that stops at a bad record,
// none may leave anything of itself behind.
TEST(MakeBetaBinomialData, RecordsReadInPlaceGiveTheRegionsData) {
  struct Case {
    const char* Name;
    std::vector<std::pair<std::int32_t, std::int32_t>> Records;  // (Data1, Data2)
    std::vector<std::uint32_t> Indices;
  };
  std::vector<std::pair<std::int32_t, std::int32_t>> many;
  std::vector<std::uint32_t> every_other;
  for (std::int32_t k = 0; k < 300; ++k) {
    many.emplace_back(k % 17, 40 + k % 23);
    if (k % 2 == 1) every_other.push_back(static_cast<std::uint32_t>(k));
  }
  const Case cases[] = {
      {"rats' counts, small: counts by table", {{0, 20}, {4, 14}, {12, 100}, {0, 20}},
       {0, 1, 2, 3}},
      {"counts far above the regions: sorted", {{500000, 2000000}, {3, 7}, {499999, 2000000}},
       {2, 0, 1}},
      {"a group's records among others'", many, every_other},
      {"all or nothing, and a size of 0", {{5, 5}, {0, 9}, {0, 0}}, {0, 1, 2}},
      {"a count above its size", {{0, 3}, {4, 3}, {1, 3}}, {0, 1, 2}},
  };
  const auto expect_same = [](const BetaBinomialData& got, const BetaBinomialData& expected) {
    ASSERT_EQ(got.Binomial, expected.Binomial);
    EXPECT_EQ(got.Regions, expected.Regions);
    if (!expected.Binomial) return;
    EXPECT_EQ(got.Successes, expected.Successes);
    EXPECT_EQ(got.Failures, expected.Failures);
    EXPECT_EQ(got.LogChoose, expected.LogChoose);
    for (const auto& [tail, expected_tail] :
         {std::pair{&got.Success, &expected.Success}, std::pair{&got.Failure, &expected.Failure},
          std::pair{&got.Size, &expected.Size}}) {
      EXPECT_EQ(tail->Counts, expected_tail->Counts);
      EXPECT_EQ(tail->AtLeast, expected_tail->AtLeast);
    }
  };
  const auto table_of = [](const Case& c) {
    RecordTable records;
    for (const auto& [x, n] : c.Records) {
      RegionRecord record;
      record.Data1 = x;
      record.Data2 = n;
      records.push_back(record);
    }
    return records;
  };
  const auto expected_of = [](const RecordTable& records, const Case& c) {
    Counts chosen;
    for (const std::uint32_t index : c.Indices) {
      chosen.emplace_back(records[index].Data1, records[index].Data2);
    }
    return MakeBetaBinomialData(RegionsOf(chosen));
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const RecordTable records = table_of(c);
    expect_same(MakeBetaBinomialData(records, c.Indices), expected_of(records, c));
  }
  for (const bool backwards : {false, true}) {
    BetaBinomialData reused;
    std::vector<std::int64_t> scratch;
    for (std::size_t k = 0; k < std::size(cases); ++k) {
      const Case& c = cases[backwards ? std::size(cases) - 1 - k : k];
      SCOPED_TRACE(std::string(c.Name) + (backwards ? ", reused backwards" : ", reused"));
      const RecordTable records = table_of(c);
      FillBetaBinomialData(records, c.Indices, &reused, &scratch);
      expect_same(reused, expected_of(records, c));
    }
  }
}

// The two ways the project sums the beta-binomial score agree: the
// fast log-likelihood of src/stats (Euler-Maclaurin over long ladder
// steps, in logit mu and log size) and the strict program's exact Newton
// step sums of src/estimate (every term, bit for bit the plain loops). See
// doc/likelihood.md.
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
