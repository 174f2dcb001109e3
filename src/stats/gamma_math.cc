#include "stats/gamma_math.h"

#include <cmath>

#include <boost/math/distributions/poisson.hpp>
#include <boost/math/special_functions/gamma.hpp>

namespace propsmooth {
namespace {

namespace bmp = boost::math::policies;

// Errors come back as values (NaN or infinity), tested below, so that no
// exception crosses the report's code; double throughout, as beta_math.
using QuietPolicy = bmp::policy<bmp::promote_double<false>, bmp::domain_error<bmp::errno_on_error>,
                                bmp::pole_error<bmp::errno_on_error>,
                                bmp::overflow_error<bmp::errno_on_error>,
                                bmp::evaluation_error<bmp::errno_on_error>,
                                bmp::rounding_error<bmp::errno_on_error>>;

}  // namespace

CredibleBounds GammaInterval(double shape, double rate, double level) {
  CredibleBounds bounds;
  if (!IsPositive(shape) || !IsPositive(rate)) {
    bounds.Status = IntervalStatus::kPriorNotPositive;
    return bounds;
  }
  const double tail = (1.0 - level) / 2.0;
  if (!(tail > 0.0 && tail < 0.5)) {
    bounds.Status = IntervalStatus::kNotComputable;
    return bounds;
  }
  // The upper bound from the upper tail, so that it keeps its digits where
  // 1 - tail would round.
  const double lower = boost::math::gamma_p_inv(shape, tail, QuietPolicy()) / rate;
  const double upper = boost::math::gamma_q_inv(shape, tail, QuietPolicy()) / rate;
  if (!std::isfinite(lower) || !std::isfinite(upper)) {
    bounds.Status = IntervalStatus::kNotComputable;
    return bounds;
  }
  bounds.Status = IntervalStatus::kOk;
  bounds.Lower = lower;
  bounds.Upper = upper;
  return bounds;
}

std::optional<TailProbabilities> GammaTails(double shape, double rate, double threshold) {
  if (!IsPositive(shape) || !IsPositive(rate) || !IsPositive(threshold)) return std::nullopt;
  const double at = rate * threshold;
  if (!std::isfinite(at)) return std::nullopt;
  TailProbabilities tails;
  tails.Exceed = boost::math::gamma_q(shape, at, QuietPolicy());
  tails.AtMost = boost::math::gamma_p(shape, at, QuietPolicy());
  if (!std::isfinite(tails.Exceed) || !std::isfinite(tails.AtMost)) return std::nullopt;
  return tails;
}

std::optional<double> GammaDensity(double shape, double rate, double x) {
  if (!IsPositive(shape) || !IsPositive(rate) || !(x > 0.0 && std::isfinite(x))) {
    return std::nullopt;
  }
  // The derivative of the regularized lower incomplete gamma function in
  // its argument rate * x, times the rate, is the density in x.
  const double density = rate * boost::math::gamma_p_derivative(shape, rate * x, QuietPolicy());
  if (!std::isfinite(density)) return std::nullopt;
  return density;
}

std::optional<double> PoissonControlLimit(double expected, double reference, double probability) {
  if (!IsPositive(expected) || !IsPositive(reference) ||
      !(probability > 0.0 && probability < 1.0)) {
    return std::nullopt;
  }
  const double mean = expected * reference;
  if (!std::isfinite(mean) || !(mean > 0.0)) return std::nullopt;
  // F(r) = Q(r + 1, mean), the upper regularized gamma function.
  const auto cdf = [mean](double r) {
    return r < 0.0 ? 0.0 : boost::math::gamma_q(r + 1.0, mean, QuietPolicy());
  };
  const boost::math::poisson_distribution<double, QuietPolicy> poisson(mean);
  // The library's quantile is a starting point; the steps below make r
  // exactly the smallest count with F(r) >= probability.
  double r = boost::math::quantile(poisson, probability);
  if (!std::isfinite(r)) return std::nullopt;
  r = std::floor(std::fmax(r, 0.0));
  // The steps are few from the library's start; the cap keeps a wrong start
  // from looping long.
  for (int step = 0; step < 1000 && cdf(r) < probability; ++step) r += 1.0;
  for (int step = 0; step < 1000 && r > 0.0 && cdf(r - 1.0) >= probability; ++step) r -= 1.0;
  const double at_r = cdf(r);
  const double below_r = cdf(r - 1.0);
  if (!std::isfinite(at_r) || !std::isfinite(below_r) || !(at_r >= probability) ||
      !(below_r < probability) || !(at_r > below_r)) {
    return std::nullopt;
  }
  const double fraction = (at_r - probability) / (at_r - below_r);
  // At r = 0 the interpolation reaches below 0, where no rate lies.
  return std::fmax(0.0, (r - fraction) / expected);
}

}  // namespace propsmooth
