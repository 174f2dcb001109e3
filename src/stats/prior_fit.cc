#include "stats/prior_fit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "stats/beta_binomial_likelihood.h"
#include "stats/beta_math.h"

namespace propsmooth {
namespace {

using Matrix = std::array<std::array<double, 2>, 2>;

// chi2(1) 0.95 quantile 3.841458820694124..., halved: the likelihood-ratio
// drop of a 95 % profile interval.
constexpr double kHalfChiSquare95 = 1.920729410347062;
// A step in logit mu or log size longer than this is cut: e^5 is a large
// move for a prior, and the cap keeps exp() of the coordinates finite.
constexpr double kLongestStep = 5.0;
constexpr double kArmijoFraction = 1e-4;
// The size the complete-pooling profile starts from: there the profile is
// l_bin to the last digit of the rat data's log-likelihood.
constexpr double kPoolingLogSize = 34.538776394910684;  // log(1e15)

LocalShape ShapeAt(const BetaBinomialData& data, double logit_mean, double log_size) {
  const ModelPoint point = PointOfCoordinates(logit_mean, log_size);
  return ShapeInLogitLogSize(EvaluateLikelihood(data, point), point);
}

bool AllFinite(const LocalShape& shape) {
  return std::isfinite(shape.LogLik) && std::isfinite(shape.Gradient[0]) &&
         std::isfinite(shape.Gradient[1]) && std::isfinite(shape.Hessian[0][0]) &&
         std::isfinite(shape.Hessian[0][1]) && std::isfinite(shape.Hessian[1][1]);
}

// Minus the Hessian positive definite: a strict local maximum.
bool IsPeak(const LocalShape& shape) {
  const Matrix& h = shape.Hessian;
  return AllFinite(shape) && -h[0][0] > 0.0 && h[0][0] * h[1][1] - h[0][1] * h[1][0] > 0.0;
}

bool GradientSmall(const LocalShape& shape, double relative) {
  const double largest = std::max(std::fabs(shape.Gradient[0]), std::fabs(shape.Gradient[1]));
  return largest <= relative * std::max(1.0, std::fabs(shape.LogLik));
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

struct SearchResult {
  double LogitMean = 0.0;
  double LogSize = 0.0;
  LocalShape Shape;
  std::int32_t Steps = 0;
  bool Converged = false;
};

// Newton with a modified Hessian and Armijo backtracking. Converged: the
// gradient within 1e-10 of the log-likelihood's size, or no ascent left at
// double precision (a cut-down step that gains nothing, or one too small to
// move the point) with the gradient within 1e-6. Given `pooling_limit`
// (l_bin where the slope there does not rise), a search past the size at
// which every profile is l_bin, not above it, is drifting to complete
// pooling and stops unconverged.
SearchResult Search(const BetaBinomialData& data, double logit_mean, double log_size,
                    std::optional<double> pooling_limit) {
  SearchResult result;
  result.LogitMean = logit_mean;
  result.LogSize = log_size;
  result.Shape = ShapeAt(data, logit_mean, log_size);
  if (!AllFinite(result.Shape)) return result;
  while (result.Steps < kSafeguardedStepLimit) {
    const LocalShape& shape = result.Shape;
    if (GradientSmall(shape, 1e-10)) {
      result.Converged = true;
      return result;
    }
    const std::array<double, 2> d = AscentDirection(shape);
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
      next = ShapeAt(data, next_logit, next_size);
      accepted = AllFinite(next) &&
                 (next.LogLik >= shape.LogLik + kArmijoFraction * t * slope ||
                  LevelWithinRounding(shape, next));
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
  result.Converged = GradientSmall(result.Shape, result.Steps < kSafeguardedStepLimit ? 1e-6 : 1e-10);
  return result;
}

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
    if (!AllFinite(shape)) return std::nullopt;
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

// Steps down from the peak's size until the profile falls below the peak
// less kHalfChiSquare95, then finds the crossing by Newton on log size, kept
// inside the bracket. The first step is `first_drop` (where the peak's
// shape puts the crossing), each further one twice the last, down to e^-60
// of the peak's size.
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

// Everything a fitted prior carries besides itself.
void FinishPeak(const BetaBinomialData& data, double logit_mean, double log_size,
                const LocalShape& shape, bool size_bound, PriorFit* fit) {
  const ModelPoint point = PointOfCoordinates(logit_mean, log_size);
  const double size = std::exp(log_size);
  const double alpha = size * point.Mean;
  const double beta = size * point.Complement;
  if (!fit->Prior) fit->Prior = BetaPrior{alpha, beta};
  fit->LogLik = shape.LogLik;
  if (IsPeak(shape)) {
    const double m00 = -shape.Hessian[0][0];
    const double m01 = -shape.Hessian[0][1];
    const double m11 = -shape.Hessian[1][1];
    const double det = m00 * m11 - m01 * m01;
    const double var_logit = m11 / det;
    const double var_size = m00 / det;
    const double cov = -m01 / det;
    // Alpha = size mu, Beta = size (1 - mu): d/dlogit = +-size mu (1 - mu),
    // d/dlog size = Alpha, Beta.
    const double spread = size * point.Mean * point.Complement;
    const auto variance = [&](double d_logit, double d_size) {
      return d_logit * d_logit * var_logit + 2.0 * d_logit * d_size * cov +
             d_size * d_size * var_size;
    };
    const double var_alpha = variance(spread, alpha);
    const double var_beta = variance(-spread, beta);
    if (var_logit > 0.0 && var_size > 0.0 && var_alpha > 0.0 && var_beta > 0.0 &&
        std::isfinite(var_alpha) && std::isfinite(var_beta)) {
      fit->SeLogitMean = std::sqrt(var_logit);
      fit->SeLogSize = std::sqrt(var_size);
      fit->SeAlpha = std::sqrt(var_alpha);
      fit->SeBeta = std::sqrt(var_beta);
    }
  }
  if (size_bound) {
    // The quadratic shape of the peak puts the crossing sqrt(chi2) standard
    // errors below it.
    const double drop = fit->SeLogSize ? std::sqrt(2.0 * kHalfChiSquare95) * *fit->SeLogSize : 1.0;
    fit->SizeLower95 = SizeLower95(data, log_size, shape.LogLik, point.Mean, drop);
  }
}

// The regions whose count of this kind is 0.
std::int64_t RegionsAtZero(const CountTail& tail) {
  if (tail.Counts.empty() || tail.Counts[0] != 0) return 0;
  return tail.AtLeast[0] - (tail.AtLeast.size() > 1 ? tail.AtLeast[1] : 0);
}

// x = 0 or n - x = 0 in every region, counted off the tails so that a
// group known by its histograms is judged alike; both hold where n = 0
// alone, since the counts are binomial.
bool EveryRegionAllOrNothing(const BetaBinomialData& data) {
  return RegionsAtZero(data.Success) + RegionsAtZero(data.Failure) - RegionsAtZero(data.Size) ==
         static_cast<std::int64_t>(data.Regions);
}

// The supremum of the log-likelihood of all-or-nothing regions, reached as
// Alpha + Beta -> 0 at mean mu: a region's chance of x = 0 tends to 1 - mu,
// of x = n to mu (of 0 < x < n to 0), so the limit is K log mu + Z
// log(1 - mu), K regions at n > 0 and Z at 0 < n, highest at mu = K/(K + Z).
// A region of size 0 has chance 1 whatever the prior. Each log C(n, x) is
// 0; the sum is added as the likelihood adds it, so that a group known by
// histograms carries the same rounding.
double NoPoolingLogLik(const BetaBinomialData& data) {
  const std::int64_t empty = RegionsAtZero(data.Size);
  const auto all = static_cast<double>(RegionsAtZero(data.Failure) - empty);
  const auto none = static_cast<double>(RegionsAtZero(data.Success) - empty);
  const double regions = all + none;
  return data.LogChoose + (all * std::log(all / regions) + none * std::log(none / regions));
}

}  // namespace

const char* FitLabelText(FitLabel label) {
  switch (label) {
    case FitLabel::kNewton:
      return "newton";
    case FitLabel::kSafeguarded:
      return "safeguarded";
    case FitLabel::kNoFiniteMaximum:
      return "no finite maximum";
    case FitLabel::kFailed:
      return "failed";
  }
  return "";
}

const char* FitBoundaryText(FitBoundary boundary) {
  switch (boundary) {
    case FitBoundary::kNone:
      return "";
    case FitBoundary::kCompletePooling:
      return "no more spread than binomial sampling: complete pooling";
    case FitBoundary::kNoPooling:
      return "every region has all successes or none: no pooling";
    case FitBoundary::kNoSuccesses:
      return "no successes in the group: the pooled rate is 0";
    case FitBoundary::kAllSuccesses:
      return "every trial a success: the pooled rate is 1";
    case FitBoundary::kNoTrials:
      return "no trials in the group";
    case FitBoundary::kNotBinomial:
      return "a count below 0 or above its size: no binomial likelihood";
  }
  return "";
}

PriorFit FitPrior(const std::vector<Region>& regions, const GroupSummary& summary,
                  const RunSettings& settings, bool size_bound) {
  return FitPrior(MakeBetaBinomialData(regions), summary, settings, size_bound);
}

PriorFit FitPrior(const BetaBinomialData& data, const GroupSummary& summary,
                  const RunSettings& settings, bool size_bound) {
  PriorFit fit;
  if (!data.Binomial) {
    fit.Boundary = FitBoundary::kNotBinomial;
    return fit;
  }
  if (data.Successes + data.Failures == 0) {
    fit.Boundary = FitBoundary::kNoTrials;
    return fit;
  }
  const ModelPoint pooled = PooledPoint(data);
  const LikelihoodTerms binomial = EvaluateLikelihood(data, pooled);
  fit.BinomialLogLik = binomial.LogLik;
  fit.SlopeAtBinomial = binomial.DTheta;
  // With the pooled rate at 0 or 1 the binomial limit is the supremum for
  // every size; with all-or-nothing regions the supremum is at size 0
  // (both kinds of region exist here, as the pooled rate is inside (0, 1)).
  if (data.Successes == 0 || data.Failures == 0 || EveryRegionAllOrNothing(data)) {
    fit.Label = FitLabel::kNoFiniteMaximum;
    if (data.Successes == 0) {
      fit.Boundary = FitBoundary::kNoSuccesses;
    } else if (data.Failures == 0) {
      fit.Boundary = FitBoundary::kAllSuccesses;
    } else {
      fit.Boundary = FitBoundary::kNoPooling;
      fit.LogLik = NoPoolingLogLik(data);
      return fit;
    }
    fit.LogLik = fit.BinomialLogLik;
    return fit;
  }
  const double l_bin = fit.BinomialLogLik;
  const bool rises_from_binomial = fit.SlopeAtBinomial > 0.0;
  // Where the slope does not rise, a point only counts if it beats l_bin.
  const auto beats_binomial = [&](double loglik) {
    return rises_from_binomial ? loglik >= l_bin : loglik > l_bin;
  };
  double best = -std::numeric_limits<double>::infinity();

  if (summary.Mle && IsPositive(summary.Mle->Alpha) && IsPositive(summary.Mle->Beta)) {
    const double alpha = summary.Mle->Alpha;
    const double beta = summary.Mle->Beta;
    const double logit_mean = std::log(alpha) - std::log(beta);
    const double log_size = std::log(alpha + beta);
    const ModelPoint point = PointOfPrior(alpha, beta);
    const LocalShape shape = ShapeInLogitLogSize(EvaluateLikelihood(data, point), point);
    if (std::isfinite(shape.LogLik)) best = shape.LogLik;
    if (IsPeak(shape) && beats_binomial(shape.LogLik)) {
      fit.Label = FitLabel::kNewton;
      fit.Prior = *summary.Mle;
      fit.Iterations = summary.Iterations;
      FinishPeak(data, logit_mean, log_size, shape, size_bound, &fit);
      return fit;
    }
  }

  // The start as propsmooth takes it, parameter by parameter.
  const double alpha0 = settings.AlphaInit > 0.0 ? settings.AlphaInit : summary.AlphaMe;
  const double beta0 = settings.BetaInit > 0.0 ? settings.BetaInit : summary.BetaMe;
  double logit_mean = 0.0;
  double log_size = 0.0;
  if (IsPositive(alpha0) && IsPositive(beta0)) {
    logit_mean = std::log(alpha0) - std::log(beta0);
    log_size = std::log(alpha0 + beta0);
  } else {
    logit_mean = std::log(static_cast<double>(data.Successes)) -
                 std::log(static_cast<double>(data.Failures));
    log_size = std::log(10.0);
  }
  // One region's likelihood is a beta mixture of binomials, each below the
  // one at its own rate x/n but at that single rate: no prior reaches
  // l_bin, so there is nothing to search.
  SearchResult search;
  if (data.Regions > 1) {
    search = Search(data, logit_mean, log_size,
                    rises_from_binomial ? std::nullopt : std::optional<double>(l_bin));
    fit.Iterations = search.Steps;
    if (std::isfinite(search.Shape.LogLik)) best = std::max(best, search.Shape.LogLik);
  }

  if (!rises_from_binomial && !(best > l_bin)) {
    fit.Label = FitLabel::kNoFiniteMaximum;
    fit.Boundary = FitBoundary::kCompletePooling;
    fit.LogLik = l_bin;
    if (size_bound) {
      // Near theta = 0 the profile is l_bin + s0 theta: it crosses the
      // bound near theta = kHalfChiSquare95 / -s0.
      const double crossing = fit.SlopeAtBinomial < 0.0
                                  ? std::log(-fit.SlopeAtBinomial / kHalfChiSquare95)
                                  : kPoolingLogSize - 1.0;
      fit.SizeLower95 =
          SizeLower95(data, kPoolingLogSize, l_bin, pooled.Mean, kPoolingLogSize - crossing);
    }
    return fit;
  }
  if (search.Converged && IsPeak(search.Shape) && beats_binomial(search.Shape.LogLik)) {
    fit.Label = FitLabel::kSafeguarded;
    FinishPeak(data, search.LogitMean, search.LogSize, search.Shape, size_bound, &fit);
  }
  return fit;
}

}  // namespace propsmooth
