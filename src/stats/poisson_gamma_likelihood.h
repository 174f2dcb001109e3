// The Poisson-gamma log-likelihood of a group of rates and its first two
// derivatives: x_i ~ Poisson(theta_i E_i), theta_i ~ Gamma(shape Alpha, rate
// Beta), E_i > 0 the expected count or person-time, so that x_i is negative
// binomial. Written in the mean mu = Alpha/Beta and kappa = 1/Alpha, with
// kappa = 0 the Poisson limit, as
//   sum_k<x log1p(k kappa) + x log(mu E) - log x! - (x + 1/kappa) log1p(mu E kappa),
// the sum over k < x a finite sum over the group's count ladder (as the
// binomial fit sums its own) and the last term kept in log1p form: the
// textbook sum of log(Alpha + k) less (x + Alpha) log(Beta + E) is a
// difference of terms of size Alpha log Alpha that loses every digit as
// Alpha grows, and lgamma differences do no better.
#ifndef PROPSMOOTH_STATS_POISSON_GAMMA_LIKELIHOOD_H_
#define PROPSMOOTH_STATS_POISSON_GAMMA_LIKELIHOOD_H_

#include <cstdint>
#include <span>
#include <vector>

#include "stats/beta_binomial_likelihood.h"
#include "stats/tail_sums.h"

namespace propsmooth {

/// A group of rates as its likelihood sees it: built once, evaluated at
/// many points.
struct PoissonGammaData {
  CountTail Events;              // the ladder of x
  std::vector<double> Counts;    // x_i, by region
  std::vector<double> Expected;  // E_i, by region
  std::int64_t TotalEvents = 0;  // sum of x
  double TotalExpected = 0.0;    // sum of E
  double LargestRatio = 0.0;     // the largest x_i / E_i
  // sum of x log E - log x!: the part of every point's log-likelihood that
  // does not depend on the prior.
  double Constant = 0.0;
  std::size_t Regions = 0;
  bool Poisson = true;  // every x >= 0 and every E positive and finite
};

/// The group of counts x_i observed against E_i (spans of one length);
/// Poisson is false (and the rest meaningless) when a count is below 0 or
/// an expected value not positive or not finite.
PoissonGammaData MakePoissonGammaData(std::span<const std::int32_t> counts,
                                      std::span<const double> expected);

/// A point of the gamma prior: its mean mu = Alpha/Beta and kappa =
/// 1/Alpha, 0 in the Poisson limit.
struct RatePoint {
  double Mean = 1.0;
  double Kappa = 0.0;
};

/// The point of Gamma(shape alpha, rate beta), both positive.
RatePoint PointOfGamma(double alpha, double beta);

/// The point at log mu = `log_mean`, log Alpha = `log_shape`.
RatePoint PointOfLogMeanLogShape(double log_mean, double log_shape);

/// The Poisson limit at the pooled rate sum x / sum E (kappa = 0). There
/// DKappa (LikelihoodTerms::DTheta) is the score
/// sum ((x - mu E)^2 - x) / 2, above 0 when the regions spread more than
/// Poisson sampling would. Needs sum E > 0.
RatePoint PoissonLimit(const PoissonGammaData& data);

/// The log-likelihood (with every constant: sum x log E - log x!) and its
/// derivatives in mu (DMean, DMeanMean) and kappa (DTheta, DThetaTheta,
/// DMeanTheta). -inf (and NaN derivatives) at a mean not above 0 with
/// events to explain.
LikelihoodTerms EvaluateRateLikelihood(const PoissonGammaData& data, const RatePoint& point);

/// The chain rule from (mu, kappa) to (log mu, log Alpha), the coordinates
/// in which the rate fit steps and its standard errors are taken.
LocalShape ShapeInLogMeanLogShape(const LikelihoodTerms& terms, const RatePoint& point);

/// The shape at log mu = `log_mean`, log Alpha = `log_shape`.
LocalShape RateShapeAt(const PoissonGammaData& data, double log_mean, double log_shape);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_POISSON_GAMMA_LIKELIHOOD_H_
