#include "stats/beta_math.h"

#include <cmath>
#include <cstdint>
#include <numbers>
#include <optional>

#include <boost/math/distributions/binomial.hpp>
#include <boost/math/special_functions/beta.hpp>
#include <boost/math/special_functions/erf.hpp>

#include "stats/beta_quantile.h"

namespace propsmooth {
namespace {

namespace bmp = boost::math::policies;

// Errors come back as values (NaN or infinity), which the callers test, so
// no exception crosses the report's code. Working in double rather than
// long double keeps a million-record table quick; the bounds stay within
// 1e-12 of 50-digit references (beta_math_test).
using QuietPolicy = bmp::policy<bmp::promote_double<false>,bmp::domain_error<bmp::errno_on_error>,
                                bmp::pole_error<bmp::errno_on_error>,
                                bmp::overflow_error<bmp::errno_on_error>,
                                bmp::evaluation_error<bmp::errno_on_error>,
                                bmp::rounding_error<bmp::errno_on_error>,
                                bmp::discrete_quantile<bmp::integer_round_down>>;

// The standard normal quantile of p, which starts the quick quantiles. A
// table asks for one tail probability many times over, so the last one is
// kept for each thread.
double NormalQuantile(double p) {
  thread_local double last_p = -1.0;
  thread_local double last_z = 0.0;
  if (p != last_p) {
    last_z = -std::numbers::sqrt2 * boost::math::erfc_inv(2.0 * p, QuietPolicy());
    last_p = p;
  }
  return last_z;
}

// The posterior's quantile from Boost's general inverse, for the shapes the
// quick method does not certify. The upper bound comes from the upper tail
// itself, so that it keeps its precision when 1 - tail would round.
double GeneralQuantile(double a, double b, double tail, BetaTail side) {
  return side == BetaTail::kLower ? boost::math::ibeta_inv(a, b, tail, QuietPolicy())
                                  : boost::math::ibetac_inv(a, b, tail, QuietPolicy());
}

}  // namespace

bool IsPositive(double value) { return std::isfinite(value) && value > 0.0; }

CredibleBounds PosteriorInterval(std::int32_t data1, std::int32_t data2,
                                 double alpha, double beta, double level) {
  CredibleBounds bounds;
  if (alpha == 0.0 && beta == 0.0) {
    bounds.Status = IntervalStatus::kNoPrior;
    return bounds;
  }
  if (!IsPositive(alpha) || !IsPositive(beta)) {
    bounds.Status = IntervalStatus::kPriorNotPositive;
    return bounds;
  }
  if (data1 > data2) {
    bounds.Status = IntervalStatus::kCountAboveSize;
    return bounds;
  }
  if (data1 < 0) {
    bounds.Status = IntervalStatus::kNotComputable;
    return bounds;
  }
  const double a = static_cast<double>(data1) + alpha;
  // In 64 bits: a negative data1 would take the difference out of 32.
  const double b = static_cast<double>(std::int64_t{data2} - data1) + beta;
  const double tail = (1.0 - level) / 2.0;
  if (!IsPositive(a) || !IsPositive(b) || !(tail > 0.0 && tail < 0.5)) {
    bounds.Status = IntervalStatus::kNotComputable;
    return bounds;
  }
  // The quick quantiles where they can certify their result (both shapes of
  // ordinary counts), Boost elsewhere.
  FastBetaBounds quick;
  if (a >= kFastBetaMinShape && b >= kFastBetaMinShape) {
    quick = FastBetaInterval(a, b, tail, NormalQuantile(tail));
  }
  const double lower = quick.Lower ? *quick.Lower : GeneralQuantile(a, b, tail, BetaTail::kLower);
  const double upper = quick.Upper ? *quick.Upper : GeneralQuantile(a, b, tail, BetaTail::kUpper);
  if (!std::isfinite(lower) || !std::isfinite(upper)) {
    bounds.Status = IntervalStatus::kNotComputable;
    return bounds;
  }
  bounds.Status = IntervalStatus::kOk;
  bounds.Lower = lower;
  bounds.Upper = upper;
  return bounds;
}

const char* IntervalStatusText(IntervalStatus status) {
  switch (status) {
    case IntervalStatus::kOk:
      return "";
    case IntervalStatus::kNoPrior:
      return "no prior: the group's proportions do not vary";
    case IntervalStatus::kPriorNotPositive:
      return "no beta prior: Alpha or Beta is not positive";
    case IntervalStatus::kCountAboveSize:
      return "Data1 > Data2: not a binomial count";
    case IntervalStatus::kNotComputable:
      return "posterior quantiles not computable";
  }
  return "";
}

std::optional<TailProbabilities> BetaTails(double a, double b, double threshold) {
  if (!IsPositive(a) || !IsPositive(b) || !(threshold > 0.0 && threshold < 1.0)) {
    return std::nullopt;
  }
  TailProbabilities tails;
  tails.Exceed = boost::math::ibetac(a, b, threshold, QuietPolicy());
  tails.AtMost = boost::math::ibeta(a, b, threshold, QuietPolicy());
  if (!std::isfinite(tails.Exceed) || !std::isfinite(tails.AtMost)) return std::nullopt;
  return tails;
}

std::optional<double> BetaDensity(double alpha, double beta, double x) {
  if (!IsPositive(alpha) || !IsPositive(beta) || !(x > 0.0 && x < 1.0)) {
    return std::nullopt;
  }
  // The derivative of the regularized incomplete beta function is the
  // density itself.
  const double density = boost::math::ibeta_derivative(alpha, beta, x, QuietPolicy());
  if (!std::isfinite(density)) return std::nullopt;
  return density;
}

std::optional<double> BinomialControlLimit(std::int64_t size, double pooled,
                                           double probability) {
  if (size < 1 || !(pooled > 0.0 && pooled < 1.0) ||
      !(probability > 0.0 && probability < 1.0)) {
    return std::nullopt;
  }
  const auto n = static_cast<double>(size);
  const boost::math::binomial_distribution<double, QuietPolicy> binomial(n, pooled);
  const auto cdf = [&binomial](double r) {
    return r < 0.0 ? 0.0 : boost::math::cdf(binomial, r);
  };
  // The library's quantile is a starting point; the steps below make r
  // exactly the smallest count with F(r) >= probability.
  double r = boost::math::quantile(binomial, probability);
  if (!std::isfinite(r)) return std::nullopt;
  r = std::floor(std::fmin(std::fmax(r, 0.0), n));
  while (r < n && cdf(r) < probability) r += 1.0;
  while (r > 0.0 && cdf(r - 1.0) >= probability) r -= 1.0;
  const double at_r = cdf(r);
  const double below_r = cdf(r - 1.0);
  if (!std::isfinite(at_r) || !std::isfinite(below_r) || !(at_r > below_r)) {
    return std::nullopt;
  }
  const double fraction = (at_r - probability) / (at_r - below_r);
  // At r = 0 the interpolation reaches below 0, where no proportion lies.
  return std::fmax(0.0, (r - fraction) / n);
}

}  // namespace propsmooth
