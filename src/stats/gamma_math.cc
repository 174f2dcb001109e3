#include "stats/gamma_math.h"

#include <cmath>

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

}  // namespace propsmooth
