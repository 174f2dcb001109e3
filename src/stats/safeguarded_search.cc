#include "stats/safeguarded_search.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace propsmooth {

LocalShape ShapeAt(const BetaBinomialData& data, double logit_mean, double log_size) {
  const ModelPoint point = PointOfCoordinates(logit_mean, log_size);
  return ShapeInLogitLogSize(EvaluateLikelihood(data, point), point);
}

bool ShapeIsFinite(const LocalShape& shape) {
  return std::isfinite(shape.LogLik) && std::isfinite(shape.Gradient[0]) &&
         std::isfinite(shape.Gradient[1]) && std::isfinite(shape.Hessian[0][0]) &&
         std::isfinite(shape.Hessian[0][1]) && std::isfinite(shape.Hessian[1][1]);
}

bool IsPeak(const LocalShape& shape) {
  const auto& h = shape.Hessian;
  return ShapeIsFinite(shape) && -h[0][0] > 0.0 && h[0][0] * h[1][1] - h[0][1] * h[1][0] > 0.0;
}

namespace {

constexpr double kArmijoFraction = 1e-4;

bool GradientSmall(const LocalShape& shape, double relative) {
  const double largest = std::max(std::fabs(shape.Gradient[0]), std::fabs(shape.Gradient[1]));
  return largest <= relative * std::max(1.0, std::fabs(shape.LogLik));
}

// The Newton step in logit mu and log size is the relative change of the
// odds and of the size still to come: a gradient small against the
// log-likelihood can leave it at 1e-6 where the size is ill-determined.
bool StepSmall(const std::array<double, 2>& d, double relative) {
  return std::max(std::fabs(d[0]), std::fabs(d[1])) <= relative;
}

// The Newton direction of ascent, minus the Hessian shifted by a multiple of
// the identity where it is not safely positive definite: its smaller
// eigenvalue raised to 1e-8 of the larger's size (at least 1e-8). Where it
// is positive definite already, only a singular one is raised (to 1e-14):
// drifting towards complete pooling the size direction's curvature is
// rightly some 1e-9 of the mean's, and the higher floor would cut every
// step there to a fraction of its Newton length.
std::array<double, 2> AscentDirection(const LocalShape& shape) {
  double a = -shape.Hessian[0][0];
  const double b = -shape.Hessian[0][1];
  double c = -shape.Hessian[1][1];
  const double half_trace = (a + c) / 2.0;
  const double radius = std::hypot((a - c) / 2.0, b);
  const double smaller = half_trace - radius;
  const double larger = std::fabs(half_trace + radius);
  const double floor = smaller > 0.0 ? 1e-14 * larger : 1e-8 * std::max(1.0, larger);
  if (smaller < floor) {
    a = a + (floor - smaller);
    c = c + (floor - smaller);
  }
  const double det = a * c - b * b;
  const double g0 = shape.Gradient[0];
  const double g1 = shape.Gradient[1];
  return {(c * g0 - b * g1) / det, (a * g1 - b * g0) / det};
}

// Near a flat optimum the log-likelihood no longer tells points apart (a
// prior with standard errors of 150 % moves it by 1e-15 for a step of
// 1e-7): a step that changes it by no more than its rounding but lowers the
// gradient is taken, so that the search ends at the optimum to the last
// digits rather than where the level stopped showing the ascent.
bool LevelWithinRounding(const LocalShape& from, const LocalShape& to) {
  const double rounding = 64.0 * std::numeric_limits<double>::epsilon() *
                          std::max(1.0, std::fabs(from.LogLik));
  const auto largest = [](const LocalShape& s) {
    return std::max(std::fabs(s.Gradient[0]), std::fabs(s.Gradient[1]));
  };
  return std::fabs(to.LogLik - from.LogLik) <= rounding && largest(to) < largest(from);
}

// The expected gain of the full Newton step, twice over (the Newton
// decrement squared): the gradient's own measure of the distance left.
double Decrement(const LocalShape& shape) {
  const std::array<double, 2> d = AscentDirection(shape);
  return shape.Gradient[0] * d[0] + shape.Gradient[1] * d[1];
}

// A large group's log-likelihood is a sum of terms of 1e5 and more: its
// level carries errors near 1e-9 where the last Newton steps gain 1e-14,
// so it turns down a full step to the optimum as often as not. Where minus
// the Hessian is positive definite and the step's predicted gain is far
// below what the level can show, a step that lowers the Newton decrement is
// taken on the gradient's word.
bool GradientVouches(const LocalShape& from, const LocalShape& to, double predicted_gain) {
  return IsPeak(from) && predicted_gain <= 1e-8 * std::max(1.0, std::fabs(from.LogLik)) &&
         Decrement(to) < Decrement(from);
}

}  // namespace

SearchResult SafeguardedSearch(const BetaBinomialData& data, double logit_mean,
                               double log_size, std::optional<double> pooling_limit) {
  return SafeguardedSearch(
      [&data](double location, double size) { return ShapeAt(data, location, size); },
      logit_mean, log_size, pooling_limit);
}

SearchResult SafeguardedSearch(const ShapeFunction& shape_at, double location,
                               double log_size, std::optional<double> pooling_limit) {
  SearchResult result;
  result.LogitMean = location;
  result.LogSize = log_size;
  result.Shape = shape_at(location, log_size);
  if (!ShapeIsFinite(result.Shape)) return result;
  // Only a peak above the pooling limit can be taken as the fit; elsewhere
  // (drifting to complete pooling, say) the step is no distance to it.
  const auto could_be_fit = [&](const LocalShape& shape) {
    return IsPeak(shape) && (!pooling_limit || shape.LogLik > *pooling_limit);
  };
  while (result.Steps < kSafeguardedStepLimit) {
    const LocalShape& shape = result.Shape;
    const std::array<double, 2> d = AscentDirection(shape);
    if (GradientSmall(shape, 1e-10) && (!could_be_fit(shape) || StepSmall(d, 1e-9))) {
      result.Converged = true;
      return result;
    }
    const double longest = std::max(std::fabs(d[0]), std::fabs(d[1]));
    if (!std::isfinite(longest)) return result;
    const double slope = shape.Gradient[0] * d[0] + shape.Gradient[1] * d[1];
    double t = longest > kLongestStep ? kLongestStep / longest : 1.0;
    bool accepted = false;
    double next_logit = 0.0;
    double next_size = 0.0;
    LocalShape next;
    for (int halvings = 0; halvings < 60 && !accepted; ++halvings) {
      next_logit = result.LogitMean + t * d[0];
      next_size = result.LogSize + t * d[1];
      next = shape_at(next_logit, next_size);
      accepted = ShapeIsFinite(next) &&
                 (next.LogLik >= shape.LogLik + kArmijoFraction * t * slope ||
                  LevelWithinRounding(shape, next) || GradientVouches(shape, next, t * slope));
      if (!accepted) t = t / 2.0;
    }
    if (!accepted) break;
    const bool still = next_logit == result.LogitMean && next_size == result.LogSize;
    ++result.Steps;
    result.LogitMean = next_logit;
    result.LogSize = next_size;
    result.Shape = next;
    if (still) break;
    if (pooling_limit && next_size > kPoolingLogSize && !(next.LogLik > *pooling_limit)) {
      return result;
    }
  }
  result.Converged =
      GradientSmall(result.Shape, result.Steps < kSafeguardedStepLimit ? 1e-6 : 1e-10) &&
      (!could_be_fit(result.Shape) || StepSmall(AscentDirection(result.Shape), 1e-8));
  return result;
}

}  // namespace propsmooth
