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

}  // namespace
}  // namespace propsmooth
