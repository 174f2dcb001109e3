// The Poisson-gamma model against independent computations: the
// log-likelihood and its shape against 50-digit sums of log-gamma values
// (reference/poisson_gamma_loglik.py), the moment estimators against
// spdep::EBest and the fit against a generic optimiser on R's dnbinom
// (reference/poisson_gamma_reference.R, whose printout the tables quote).
// The data sets and their sources are in data/rates/README.md.
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "stats/poisson_gamma_likelihood.h"
#include "stats/rate_estimates.h"
#include "stats/rate_fit.h"
#include "stats/rate_moments.h"

namespace propsmooth {
namespace {

struct RateData {
  std::vector<std::int32_t> Counts;
  std::vector<double> Expected;
};

// A data set of data/rates: a header line, then "x,e" rows.
RateData ReadRates(const std::string& name) {
  RateData data;
  std::ifstream in(std::string(PROPSMOOTH_SOURCE_DIR) + "/tests/stats/data/rates/" + name);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::istringstream row(line);
    std::string x;
    std::string e;
    std::getline(row, x, ',');
    std::getline(row, e);
    data.Counts.push_back(static_cast<std::int32_t>(std::stol(x)));
    data.Expected.push_back(std::stod(e));
  }
  return data;
}

// The fit of a data set of data/rates from its moments, by default settings.
PriorFit FitOfFile(const std::string& name) {
  const RateData rates = ReadRates(name);
  return FitRatePrior(MakePoissonGammaData(rates.Counts, rates.Expected),
                      ComputeRateMoments(rates.Counts, rates.Expected), RunSettings());
}

double Relative(double value, double reference) {
  return std::fabs(value - reference) / std::fabs(reference);
}

// nc_sids74 at mu = 0.9: the 50-digit log-likelihood and its gradient and
// Hessian in (log mu, log Alpha), by poisson_gamma_loglik.py. The shapes
// run from 0.5 to 1e15: at 1e10 R's dnbinom is 3e-6 off and lgamma
// differences lose every digit, and at 1e15 the model is the Poisson one to
// 5e-13 (its log-likelihood at mu = 0.9 is -257.952270079559...).
TEST(RateLikelihood, MatchesFiftyDigitSumsFromSmallShapesToThePoissonLimit) {
  const RateData sids = ReadRates("nc_sids74.csv");
  const PoissonGammaData data = MakePoissonGammaData(sids.Counts, sids.Expected);
  ASSERT_TRUE(data.Poisson);
  struct Row {
    double Shape, LogLik, Gw, Gv, Hww, Hwv, Hvv;
  };
  const Row rows[] = {
      {0.5, -285.24311398056041434, 6.5731767909779490024, 40.423381523292329315,
       -48.697683150281183739, 6.3695415373289906521, -18.061798266173480243},
      {6.3719767484349648, -239.34186023920988949, 41.052288221806818282,
       -1.1050004580058013403, -265.08477171360260929, 16.698869820639708244,
       -9.9372818243245586262},
      {1e4, -257.90345670539336371, 66.682873726004741983, -0.048728899826054973406,
       -599.47358011406722263, 0.017147684677558514299, 0.048560263497273856669},
      {1e10, -257.95227003066109011, 66.699999982895172349, -4.8898004843800149019e-8,
       -600.29999917151051418, 1.710483726525136237e-8, 4.8898004674224771782e-8},
      {1e15, -257.95227007955860606, 66.699999999999838544, -4.8898005013373830973e-13,
       -600.29999999999170551, 1.71048372223265688e-13, 4.889800501337213522e-13},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Shape);
    const LocalShape shape = RateShapeAt(data, std::log(0.9), std::log(row.Shape));
    EXPECT_LT(Relative(shape.LogLik, row.LogLik), 1e-14);
    EXPECT_LT(Relative(shape.Gradient[0], row.Gw), 1e-12);
    EXPECT_LT(Relative(shape.Gradient[1], row.Gv), 1e-9);
    EXPECT_LT(Relative(shape.Hessian[0][0], row.Hww), 1e-12);
    EXPECT_LT(Relative(shape.Hessian[0][1], row.Hwv), 1e-9);
    EXPECT_LT(Relative(shape.Hessian[1][1], row.Hvv), 1e-9);
  }
}

// spdep::EBest(x, e, family = "poisson") on each data set: its parameters
// a (the prior's variance, clamped at 0) and b (the pooled rate) and the
// first and last regions' estmm, as poisson_gamma_reference.R prints them.
// The generated Poisson data's variance falls below 0 and is clamped.
TEST(RateMoments, MatchEBest) {
  struct Row {
    const char* File;
    double A, B, First, Last;
    bool Clamped;
  };
  const Row rows[] = {
      {"nc_sids74.csv", 0.18826431309109912, 1, 0.83964561002066429, 1.0608231654006122, false},
      {"nc_sids79.csv", 3.1636550271510302e-07, 0.0019792041515937801, 0.0016249245831466224,
       0.0020628319460746715, false},
      {"auckland.csv", 0.10503514655148836, 1, 1.1308547871723937, 0.74964796436290482, false},
      {"generated_gamma.csv", 0.27043199480504188, 1.0166711673873376, 0.69728284956451347,
       1.0237083663182427, false},
      {"generated_poisson.csv", 0.0, 0.98635316140352347, 0.98635316140352347,
       0.98635316140352347, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.File);
    const RateData rates = ReadRates(row.File);
    const RateMoments moments = ComputeRateMoments(rates.Counts, rates.Expected);
    EXPECT_NEAR(moments.Variance, row.A, 1e-9 * row.A);
    EXPECT_NEAR(moments.Mean, row.B, 1e-9 * row.B);
    EXPECT_EQ(moments.VarianceClamped, row.Clamped);
    EXPECT_EQ(moments.UnclampedVariance < 0.0, row.Clamped);
    // A clamped variance is no gamma prior.
    EXPECT_EQ(moments.Alpha > 0.0, !row.Clamped);
    EXPECT_NEAR(MomentRate(moments, rates.Counts.front(), rates.Expected.front()), row.First,
                1e-9 * row.First);
    EXPECT_NEAR(MomentRate(moments, rates.Counts.back(), rates.Expected.back()), row.Last,
                1e-9 * row.Last);
  }
}

// The maximum-likelihood gamma prior of each data set against R: BFGS on
// the sum of dnbinom(x, size = Alpha, prob = Beta/(Beta + E), log = TRUE)
// over (log Alpha, log Beta), polished by nlminb and Newton on numDeriv's
// Richardson derivatives until the step is below 1e-12 (BFGS alone stops
// 1e-5 short). The generated data came from Gamma(4, 4).
TEST(RateFit, MatchesMaximumLikelihoodOfDnbinom) {
  struct Row {
    const char* File;
    double Alpha, Beta, LogLik;
  };
  const Row rows[] = {
      {"nc_sids74.csv", 6.3719767484349648, 6.0652753458861346, -236.16608498707811},
      {"nc_sids79.csv", 13.752640049502874, 6675.315029234398, -239.52401066018726},
      {"auckland.csv", 11.552508991238806, 11.417819574993914, -433.40470085466143},
      {"generated_gamma.csv", 4.1229838171218303, 4.0640243119884163, -1551.9850242972423},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.File);
    const PriorFit fit = FitOfFile(row.File);
    EXPECT_EQ(fit.Label, FitLabel::kNewton);
    EXPECT_EQ(fit.Boundary, FitBoundary::kNone);
    ASSERT_TRUE(fit.Prior.has_value());
    EXPECT_LT(Relative(fit.Prior->Alpha, row.Alpha), 1e-6);
    EXPECT_LT(Relative(fit.Prior->Beta, row.Beta), 1e-6);
    ASSERT_TRUE(fit.LogLik.has_value());
    EXPECT_NEAR(*fit.LogLik, row.LogLik, 1e-9);
    // Standard errors and the shape's bound exist, the bound below the shape.
    EXPECT_TRUE(fit.SeAlpha && fit.SeBeta);
    ASSERT_TRUE(fit.SizeLower95.has_value());
    EXPECT_LT(*fit.SizeLower95, fit.Prior->Alpha);
  }
}

// Standard errors and the profile bound of the shape against R
// (poisson_gamma_reference.R, se_and_bound): the inverse of minus numDeriv's
// Hessian carried to Alpha and Beta by the delta method, and the shape where
// the profile (optimize over Beta) falls chi2(1, 0.95)/2 below the peak
// (uniroot). 1e-6: numDeriv's Hessian is good to about 1e-8.
TEST(RateFit, StandardErrorsAndShapeBoundMatchR) {
  struct Row {
    const char* File;
    double SeAlpha, SeBeta, ShapeLower95;
  };
  const Row rows[] = {
      {"nc_sids74.csv", 1.9584799439931055, 1.9202587035663468, 3.6205703137086207},
      {"auckland.csv", 3.1372274313452602, 3.1537016762767602, 7.0945844695038494},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.File);
    const PriorFit fit = FitOfFile(row.File);
    ASSERT_TRUE(fit.SeAlpha && fit.SeBeta && fit.SizeLower95);
    EXPECT_LT(Relative(*fit.SeAlpha, row.SeAlpha), 1e-6);
    EXPECT_LT(Relative(*fit.SeBeta, row.SeBeta), 1e-6);
    EXPECT_LT(Relative(*fit.SizeLower95, row.ShapeLower95), 1e-6);
    EXPECT_FALSE(fit.SizeLower95Unconverged);
  }
}

// Counts drawn without extra-Poisson variation: the score at the Poisson
// limit is below 0 and no prior beats the Poisson log-likelihood, so the
// fit has no finite maximum and every region gets the common rate's
// posterior Gamma(sum x + 1/2, sum E). Score, log-likelihood and the
// posterior's 2.5 % and 97.5 % quantiles are R's (dpois, qgamma).
TEST(RateFit, EndsAtThePoissonLimitWithoutExtraPoissonVariation) {
  const RateData rates = ReadRates("generated_poisson.csv");
  const PoissonGammaData data = MakePoissonGammaData(rates.Counts, rates.Expected);
  const RateMoments moments = ComputeRateMoments(rates.Counts, rates.Expected);
  const PriorFit fit = FitRatePrior(data, moments, RunSettings());
  EXPECT_EQ(fit.Label, FitLabel::kNoFiniteMaximum);
  EXPECT_EQ(fit.Boundary, FitBoundary::kCompletePooling);
  EXPECT_FALSE(fit.Prior.has_value());
  EXPECT_NEAR(fit.SlopeAtBinomial, -96.121622241207575, 1e-9);
  EXPECT_NEAR(fit.BinomialLogLik, -172.00497283218007, 1e-10);
  ASSERT_TRUE(fit.LogLik.has_value());
  EXPECT_EQ(*fit.LogLik, fit.BinomialLogLik);
  const GroupFit chosen = ChooseRateFit(static_cast<double>(data.TotalEvents),
                                        data.TotalExpected, fit, moments, PriorEstimator::kMle);
  EXPECT_EQ(PriorName(chosen), "complete pooling");
  for (std::size_t i : {std::size_t{0}, std::size_t{59}}) {
    const RecordFigures figures = RateFiguresOf(rates.Counts[i], rates.Expected[i], moments,
                                                chosen, 0.95, std::nullopt);
    EXPECT_NEAR(figures.Eb, 1414.0 / 1433.5636112201028, 1e-15);
    EXPECT_NEAR(figures.Lower, 0.93594573391595148, 1e-12);
    EXPECT_NEAR(figures.Upper, 1.0387794805158757, 1e-12);
  }
}

// The SIDS data with one more region, 8 deaths against 0.02 expected:
// Marshall's variance becomes 4.96, a moment shape of 0.21, and plain
// Newton from there runs off to a log mean of -34 and a log shape of 36
// (poisson_gamma_reference.R prints its steps on R's own derivatives).
// The maximum exists; the safeguarded search must end at it, as R's
// polished optimiser has it.
TEST(RateFit, EndsSafeguardedAtTheOptimumWhereNewtonFromTheMomentsRunsOff) {
  const RateData rates = ReadRates("nc_sids74_outlier.csv");
  const PoissonGammaData data = MakePoissonGammaData(rates.Counts, rates.Expected);
  const RateMoments moments = ComputeRateMoments(rates.Counts, rates.Expected);
  EXPECT_NEAR(moments.Variance, 4.9583048443008373, 1e-9 * 4.96);
  const PriorFit fit = FitRatePrior(data, moments, RunSettings());
  EXPECT_EQ(fit.Label, FitLabel::kSafeguarded);
  ASSERT_TRUE(fit.Prior.has_value());
  EXPECT_LT(Relative(fit.Prior->Alpha, 4.9091997166363468), 1e-6);
  EXPECT_LT(Relative(fit.Prior->Beta, 4.504354918716853), 1e-6);
  ASSERT_TRUE(fit.LogLik.has_value());
  EXPECT_NEAR(*fit.LogLik, -273.96862388537642, 1e-9);
}

// The edges where there is nothing to search, by hand: no events (the
// Poisson limit at rate 0 is the supremum; the common rate's posterior
// Gamma(1/2, sum E), its mean 0 as the pooled rate), one region (a gamma
// mixture of Poissons lies below the Poisson at its own rate: complete
// pooling at x/E), and data with no Poisson likelihood (no fit, no
// posterior).
TEST(RateFit, SettlesTheEdgesWithoutASearch) {
  struct Row {
    const char* Name;
    std::vector<std::int32_t> Counts;
    std::vector<double> Expected;
    FitLabel Label;
    FitBoundary Boundary;
    const char* Prior;  // PriorName under the MLE
    double Eb;          // NaN: none
  };
  const double kNone = std::numeric_limits<double>::quiet_NaN();
  const Row rows[] = {
      {"no events", {0, 0, 0}, {1.0, 2.0, 5.0}, FitLabel::kNoFiniteMaximum,
       FitBoundary::kNoSuccesses, "complete pooling", 0.0},
      {"one region", {7}, {2.0}, FitLabel::kNoFiniteMaximum, FitBoundary::kCompletePooling,
       "complete pooling", 3.5},
      {"expected of 0", {1, 2}, {1.0, 0.0}, FitLabel::kFailed, FitBoundary::kNotBinomial, "",
       kNone},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    const PoissonGammaData data = MakePoissonGammaData(row.Counts, row.Expected);
    const RateMoments moments = ComputeRateMoments(row.Counts, row.Expected);
    const PriorFit fit = FitRatePrior(data, moments, RunSettings());
    EXPECT_EQ(fit.Label, row.Label);
    EXPECT_EQ(fit.Boundary, row.Boundary);
    const GroupFit chosen = ChooseRateFit(static_cast<double>(data.TotalEvents),
                                          data.TotalExpected, fit, moments, PriorEstimator::kMle);
    EXPECT_EQ(PriorName(chosen), row.Prior);
    const std::optional<double> eb =
        EbRateUnderFit(row.Counts[0], row.Expected[0] > 0.0 ? row.Expected[0] : 1.0, moments,
                       chosen);
    EXPECT_EQ(eb.has_value(), !std::isnan(row.Eb));
    if (eb) {
      EXPECT_EQ(*eb, row.Eb);
    }
  }
}

}  // namespace
}  // namespace propsmooth
