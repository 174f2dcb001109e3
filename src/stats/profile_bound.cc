#include "stats/profile_bound.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "stats/bracketed_newton.h"
#include "stats/profile_bound_internal.h"
#include "stats/safeguarded_search.h"

namespace propsmooth {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

LocalShape ShapeOf(const ProfileLikelihood& likelihood, double logit_mean, double log_size) {
  const ModelPoint point = PointOfCoordinates(logit_mean, log_size);
  return ShapeInLogitLogSize(likelihood.Terms(point), point);
}

// The log-likelihood maximised over mu at size e^log_size, and its slope in
// log size (by the envelope theorem the partial slope at the best mu): for a
// fixed size it is strictly concave in mu, so Newton kept inside a
// shrinking bracket of the root of d/dmu finds the maximum. `mean` is the
// start and the result. The search runs on the smaller of mu and 1 - mu,
// the other taken as 1 less it: near mu = 1 the complement keeps digits
// that 1 - mu has lost.
ProfilePoint Profile(const ProfileLikelihood& likelihood, double log_size, ModelPoint* mean) {
  const double theta = std::exp(-log_size);
  const BracketedNewtonRule rule{1e-15, 0.0, 200};
  const bool by_complement = mean->Complement < mean->Mean;
  ModelPoint point;
  BracketedRoot root;
  if (by_complement) {
    // d loglik/d(1 - mu) = -DMean falls through the root: DMean rises.
    root = FindBracketedRoot(
        [&](double c) {
          const MeanSlope terms = likelihood.Slope({1.0 - c, c, theta});
          return NewtonValue{terms.DMean, -terms.DMeanMean};
        },
        0.0, 1.0, mean->Complement, rule);
    point = {1.0 - root.Root, root.Root, theta};
  } else {
    root = FindBracketedRoot(
        [&](double mu) {
          const MeanSlope terms = likelihood.Slope({mu, 1.0 - mu, theta});
          return NewtonValue{-terms.DMean, -terms.DMeanMean};
        },
        0.0, 1.0, mean->Mean, rule);
    point = {root.Root, 1.0 - root.Root, theta};
  }
  if (!root.Converged) return {};
  *mean = point;
  const LikelihoodTerms terms = likelihood.Terms(point);
  return {terms.LogLik, -theta * terms.DTheta, !std::isnan(terms.LogLik)};
}

// The point of the profile curve (d loglik/d logit mu = 0) where the
// log-likelihood is `target`, by Newton on both equations at once from
// (logit_mean, log_size): a handful of evaluations where a scan of profiles
// takes dozens. Empty unless it converges, with sane steps, to a size below
// the peak's (and above e^-60 of it): the scan then decides.
std::optional<double> CrossingByNewton(const ShapeFunction& shape_at, double logit_mean,
                                       double log_size, double target, double peak_log_size) {
  double w = logit_mean;
  double v = log_size;
  for (int i = 0; i < 30; ++i) {
    const LocalShape shape = shape_at(w, v);
    if (!ShapeIsFinite(shape)) return std::nullopt;
    const double f1 = shape.Gradient[0];
    const double f2 = shape.LogLik - target;
    const double a = shape.Hessian[0][0];
    const double b = shape.Hessian[0][1];
    const double c = shape.Gradient[0];
    const double d = shape.Gradient[1];
    const double det = a * d - b * c;
    const double dw = -(d * f1 - b * f2) / det;
    const double dv = -(a * f2 - c * f1) / det;
    if (!std::isfinite(dw) || !std::isfinite(dv) || std::fabs(dw) > kLongestStep ||
        std::fabs(dv) > kLongestStep) {
      return std::nullopt;
    }
    w = w + dw;
    v = v + dv;
    if (std::fabs(dv) <= 1e-12 * std::max(1.0, std::fabs(v)) &&
        std::fabs(dw) <= 1e-12 * std::max(1.0, std::fabs(w))) {
      if (v < peak_log_size && v > peak_log_size - 60.0) return v;
      return std::nullopt;
    }
  }
  return std::nullopt;
}

}  // namespace

ProfileLikelihood ProfileLikelihoodOf(const BetaBinomialData& data) {
  return {[&data](const ModelPoint& point) { return EvaluateLikelihood(data, point); },
          [&data](const ModelPoint& point) { return EvaluateMeanSlope(data, point); }};
}

SizeBound SizeLower95(const BetaBinomialData& data, double peak_log_size, double peak,
                      const ModelPoint& mean, double first_drop) {
  return SizeLower95With(ProfileLikelihoodOf(data), peak_log_size, peak, mean, first_drop);
}

SizeBound SizeLower95With(const ProfileLikelihood& likelihood, double peak_log_size,
                          double peak, const ModelPoint& mean, double first_drop) {
  ModelPoint at = mean;
  const ProfileModel model{
      [&likelihood](double logit_mean, double log_size) {
        return ShapeOf(likelihood, logit_mean, log_size);
      },
      [&likelihood, &at](double log_size) { return Profile(likelihood, log_size, &at); }};
  return SizeLower95Of(model, std::log(mean.Mean) - std::log1p(-mean.Mean), peak_log_size, peak,
                       first_drop);
}

// Steps down from the peak's size until the profile falls below the peak
// less kHalfChiSquare95, then finds the crossing by Newton on log size, kept
// inside the bracket. Each step after the first is twice the last. A
// profile that is NaN or did not settle is on neither side of the target:
// the bound is then left empty as unconverged, never closed on it.
SizeBound SizeLower95Of(const ProfileModel& model, double peak_location, double peak_log_size,
                        double peak, double first_drop) {
  constexpr double kDeepest = 60.0;
  const SizeBound unconverged{std::nullopt, false};
  const double target = peak - kHalfChiSquare95;
  double above = peak_log_size;
  double below = 0.0;
  ProfilePoint at_below;
  bool found = false;
  first_drop = std::clamp(first_drop, 1e-3, kDeepest);
  if (const std::optional<double> crossing = CrossingByNewton(
          model.Shape, peak_location, peak_log_size - first_drop, target, peak_log_size)) {
    return {std::exp(*crossing), true};
  }
  for (double drop = first_drop; !found; drop = std::min(2.0 * drop, kDeepest)) {
    const double log_size = peak_log_size - drop;
    const ProfilePoint point = model.Profile(log_size);
    if (!point.Converged) return unconverged;
    if (point.LogLik >= target) {
      above = log_size;
      if (drop == kDeepest) return {};
    } else {
      below = log_size;
      at_below = point;
      found = true;
    }
  }
  const NewtonValue first{at_below.LogLik - target, at_below.Slope};
  const BracketedRoot root = FindBracketedRoot(
      [&](double log_size) {
        const ProfilePoint point = model.Profile(log_size);
        if (!point.Converged) return NewtonValue{kNan, kNan};
        return NewtonValue{point.LogLik - target, point.Slope};
      },
      below, above, below, BracketedNewtonRule{1e-12, 1.0, 200}, &first);
  if (!root.Converged) return unconverged;
  return {std::exp(root.Root), true};
}

}  // namespace propsmooth
