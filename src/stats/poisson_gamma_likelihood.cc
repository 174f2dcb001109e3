#include "stats/poisson_gamma_likelihood.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "stats/log_gamma.h"

namespace propsmooth {
namespace {

// Below this z the two functions of log1p(z) - z/(1 + z) are summed as
// their series: the closed forms lose a digit there (at z = 0.25 the
// difference is a tenth of either term) and all of them as z -> 0. The
// series' terms fall by a factor z, so 1e-17 is reached within 30 terms.
constexpr double kSeriesBelow = 0.25;
constexpr int kSeriesTerms = 40;

// h(z) = (log1p(z) - z/(1 + z)) / z^2 = sum over j >= 2 of
// (-1)^j (j - 1)/j z^(j-2), 1/2 at z = 0; and its derivative h'(z) =
// sum over j >= 3 of (-1)^j (j - 1)(j - 2)/j z^(j-3), -2/3 at z = 0.
// Together they are the kappa derivatives of (1/kappa) log1p(mu E kappa).
struct SeriesValues {
  double H = 0.0;
  double HPrime = 0.0;
};

// The series' coefficients (-1)^j (j - 1)/j and (-1)^j (j - 1)(j - 2)/j,
// each the quotient a loop would divide out at every call, found once when
// compiling: the same correctly rounded operations, so the same bits.
struct SeriesCoefficients {
  double H[kSeriesTerms + 2] = {};
  double HPrime[kSeriesTerms + 2] = {};
};

constexpr SeriesCoefficients MakeSeriesCoefficients() {
  SeriesCoefficients c;
  for (int j = 2; j <= kSeriesTerms + 1; ++j) {
    const double sign = j % 2 == 0 ? 1.0 : -1.0;
    const auto jd = static_cast<double>(j);
    c.H[j] = sign * (jd - 1.0) / jd;
    c.HPrime[j] = sign * (jd - 1.0) * (jd - 2.0) / jd;
  }
  return c;
}

constexpr SeriesCoefficients kSeries = MakeSeriesCoefficients();

// With log1p_z = log1p(z), which the closed forms need.
SeriesValues HAndSlope(double z, double log1p_z) {
  if (z >= kSeriesBelow) {
    const double g = log1p_z - z / (1.0 + z);
    const double z2 = z * z;
    return {g / z2, 1.0 / (z * (1.0 + z) * (1.0 + z)) - 2.0 * g / (z2 * z)};
  }
  SeriesValues values;
  // Summed from the smallest term up, so that the small ones count.
  double powers[kSeriesTerms + 1];
  powers[0] = 1.0;
  for (int i = 1; i <= kSeriesTerms; ++i) powers[i] = powers[i - 1] * z;
  for (int j = kSeriesTerms + 1; j >= 2; --j) {
    values.H = values.H + kSeries.H[j] * powers[j - 2];
    if (j >= 3) values.HPrime = values.HPrime + kSeries.HPrime[j] * powers[j - 3];
  }
  return values;
}

}  // namespace

PoissonGammaData MakePoissonGammaData(std::span<const std::int32_t> counts,
                                      std::span<const double> expected) {
  PoissonGammaData data;
  data.Regions = counts.size();
  std::vector<Region> regions(counts.size());
  data.Counts.reserve(counts.size());
  data.Expected.reserve(counts.size());
  for (std::size_t i = 0; i < counts.size(); ++i) {
    const std::int32_t x = counts[i];
    const double e = expected[i];
    if (x < 0 || !(std::isfinite(e) && e > 0.0)) {
      data.Poisson = false;
      return data;
    }
    const auto xd = static_cast<double>(x);
    data.TotalEvents += x;
    data.TotalExpected = data.TotalExpected + e;
    data.LargestRatio = std::max(data.LargestRatio, xd / e);
    if (x > 0) data.Constant = data.Constant + (xd * std::log(e) - LogGamma(xd + 1.0));
    data.Counts.push_back(xd);
    data.Expected.push_back(e);
    regions[i].Data1 = x;
  }
  data.Events = MakeCountTail(regions, CountKind::kSuccess);
  return data;
}

RatePoint PointOfGamma(double alpha, double beta) { return {alpha / beta, 1.0 / alpha}; }

RatePoint PointOfLogMeanLogShape(double log_mean, double log_shape) {
  return {std::exp(log_mean), std::exp(-log_shape)};
}

RatePoint PoissonLimit(const PoissonGammaData& data) {
  return {static_cast<double>(data.TotalEvents) / data.TotalExpected, 0.0};
}

LikelihoodTerms EvaluateRateLikelihood(const PoissonGammaData& data, const RatePoint& point) {
  LikelihoodTerms terms;
  const double mu = point.Mean;
  const double kappa = point.Kappa;
  const auto events = static_cast<double>(data.TotalEvents);
  if ((data.TotalEvents > 0 && !(mu > 0.0)) || !(kappa >= 0.0)) {
    constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
    terms = {-std::numeric_limits<double>::infinity(), kNan, kNan, kNan, kNan, kNan};
    return terms;
  }
  // The ladder: sum over k < x of log1p(k kappa) and its kappa derivatives.
  const TailSums ladder = SweepTail<true>(data.Events, 1.0, kappa);
  double log_part = 0.0;   // sum of x log1p(z) + mu E log1p(z)/z
  double mean_slope = 0.0;     // sum of E (1 + x kappa)/(1 + z)
  double mean_curve = 0.0;     // sum of E^2 (1 + x kappa)/(1 + z)^2
  double kappa_slope = 0.0;    // sum of (mu E)^2 h(z) - x mu E/(1 + z)
  double cross = 0.0;          // sum of E (x - mu E)/(1 + z)^2
  double kappa_curve = 0.0;    // sum of x (mu E)^2/(1 + z)^2 + (mu E)^3 h'(z)
  for (std::size_t i = 0; i < data.Regions; ++i) {
    const double x = data.Counts[i];
    const double e = data.Expected[i];
    const double m = mu * e;
    const double z = m * kappa;
    const double inverse = 1.0 / (1.0 + z);
    const double inverse2 = inverse * inverse;
    // One log1p(z) for every term that has it; log1p(z)/z is 1 at z = 0.
    const double log1p_z = std::log1p(z);
    const SeriesValues h = HAndSlope(z, log1p_z);
    const double weight = 1.0 + x * kappa;
    log_part = log_part + (x * log1p_z + m * (z == 0.0 ? 1.0 : log1p_z / z));
    mean_slope = mean_slope + e * weight * inverse;
    mean_curve = mean_curve + e * e * weight * inverse2;
    kappa_slope = kappa_slope + (m * m * h.H - x * m * inverse);
    cross = cross + e * (x - m) * inverse2;
    kappa_curve = kappa_curve + (x * m * m * inverse2 + m * m * m * h.HPrime);
  }
  double loglik = data.Constant;
  if (data.TotalEvents > 0) loglik = loglik + events * std::log(mu);
  terms.LogLik = (loglik + ladder.Log) - log_part;
  terms.DMean = events / mu - mean_slope;
  terms.DMeanMean = -events / (mu * mu) + kappa * mean_curve;
  terms.DTheta = ladder.KFirst + kappa_slope;
  terms.DMeanTheta = -cross;
  terms.DThetaTheta = kappa_curve - ladder.KKSecond;
  return terms;
}

LocalShape ShapeInLogMeanLogShape(const LikelihoodTerms& terms, const RatePoint& point) {
  // d mu / d log mu = mu, its derivative mu; d kappa / d log Alpha = -kappa,
  // its derivative kappa.
  const double mu = point.Mean;
  const double kappa = point.Kappa;
  LocalShape shape;
  shape.LogLik = terms.LogLik;
  shape.Gradient[0] = mu * terms.DMean;
  shape.Gradient[1] = -kappa * terms.DTheta;
  shape.Hessian[0][0] = mu * mu * terms.DMeanMean + mu * terms.DMean;
  shape.Hessian[0][1] = -mu * kappa * terms.DMeanTheta;
  shape.Hessian[1][0] = shape.Hessian[0][1];
  shape.Hessian[1][1] = kappa * kappa * terms.DThetaTheta + kappa * terms.DTheta;
  return shape;
}

LocalShape RateShapeAt(const PoissonGammaData& data, double log_mean, double log_shape) {
  const RatePoint point = PointOfLogMeanLogShape(log_mean, log_shape);
  return ShapeInLogMeanLogShape(EvaluateRateLikelihood(data, point), point);
}

}  // namespace propsmooth
