#include "stats/profile_bound.h"

#include <algorithm>
#include <cmath>

#include "stats/safeguarded_search.h"

namespace propsmooth {
namespace {

// The log-likelihood maximised over mu at size e^log_size, and its slope in
// log size (by the envelope theorem the partial slope at the best mu): for a
// fixed size it is strictly concave in mu, so Newton kept inside a
// shrinking bracket of the root of d/dmu finds the maximum. `mean` is the
// start and the result.
struct ProfilePoint {
  double LogLik = 0.0;
  double Slope = 0.0;
};

ProfilePoint Profile(const BetaBinomialData& data, double log_size, double* mean) {
  const double theta = std::exp(-log_size);
  double lo = 0.0;
  double hi = 1.0;
  double mu = *mean;
  for (int i = 0; i < 200; ++i) {
    const MeanSlope terms = EvaluateMeanSlope(data, {mu, 1.0 - mu, theta});
    if (terms.DMean > 0.0) {
      lo = mu;
    } else {
      hi = mu;
    }
    double next = mu - terms.DMean / terms.DMeanMean;
    if (!(next > lo && next < hi)) next = (lo + hi) / 2.0;
    const bool done = std::fabs(next - mu) <= 1e-15 * mu;
    mu = next;
    if (done) break;
  }
  *mean = mu;
  const LikelihoodTerms terms = EvaluateLikelihood(data, {mu, 1.0 - mu, theta});
  return {terms.LogLik, -theta * terms.DTheta};
}

// The point of the profile curve (d loglik/d logit mu = 0) where the
// log-likelihood is `target`, by Newton on both equations at once from
// (logit_mean, log_size): a handful of evaluations where a scan of profiles
// takes dozens. Empty unless it converges, with sane steps, to a size below
// the peak's (and above e^-60 of it): the scan then decides.
std::optional<double> CrossingByNewton(const BetaBinomialData& data, double logit_mean,
                                       double log_size, double target, double peak_log_size) {
  double w = logit_mean;
  double v = log_size;
  for (int i = 0; i < 30; ++i) {
    const LocalShape shape = ShapeAt(data, w, v);
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

// Steps down from the peak's size until the profile falls below the peak
// less kHalfChiSquare95, then finds the crossing by Newton on log size, kept
// inside the bracket. Each step after the first is twice the last.
std::optional<double> SizeLower95(const BetaBinomialData& data, double peak_log_size,
                                  double peak, double mean, double first_drop) {
  constexpr double kDeepest = 60.0;
  const double target = peak - kHalfChiSquare95;
  double above = peak_log_size;
  double below = 0.0;
  ProfilePoint at_below;
  bool found = false;
  first_drop = std::clamp(first_drop, 1e-3, kDeepest);
  const double logit_mean = std::log(mean) - std::log1p(-mean);
  if (const std::optional<double> crossing = CrossingByNewton(
          data, logit_mean, peak_log_size - first_drop, target, peak_log_size)) {
    return std::exp(*crossing);
  }
  for (double drop = first_drop; !found; drop = std::min(2.0 * drop, kDeepest)) {
    const double log_size = peak_log_size - drop;
    const ProfilePoint point = Profile(data, log_size, &mean);
    if (point.LogLik >= target) {
      above = log_size;
      if (drop == kDeepest) return std::nullopt;
    } else {
      below = log_size;
      at_below = point;
      found = true;
    }
  }
  double u = below;
  ProfilePoint point = at_below;
  for (int i = 0; i < 200; ++i) {
    double next = u - (point.LogLik - target) / point.Slope;
    if (!(point.Slope > 0.0) || !(next > below && next < above)) next = (above + below) / 2.0;
    const double tolerance = 1e-12 * std::max(1.0, std::fabs(u));
    if (std::fabs(next - u) <= tolerance || above - below <= tolerance) {
      u = next;
      break;
    }
    u = next;
    point = Profile(data, u, &mean);
    if (point.LogLik >= target) {
      above = u;
    } else {
      below = u;
    }
  }
  return std::exp(u);
}

}  // namespace propsmooth
