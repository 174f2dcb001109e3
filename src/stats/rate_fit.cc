#include "stats/rate_fit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>

#include "stats/beta_math.h"
#include "stats/bracketed_newton.h"
#include "stats/fit_standard_errors.h"
#include "stats/safeguarded_search.h"

namespace propsmooth {
namespace {

// Newton's steps have settled once they move the mean and the shape by at
// most this share of themselves.
constexpr double kNewtonSettled = 1e-10;
// A log mean or log shape beyond this has run off: exp() of it is no number.
constexpr double kFarthest = 700.0;

ShapeFunction RateShapeFunction(const PoissonGammaData& data) {
  return [&data](double log_mean, double log_shape) {
    return RateShapeAt(data, log_mean, log_shape);
  };
}

struct NewtonResult {
  double LogMean = 0.0;
  double LogShape = 0.0;
  LocalShape Shape;
  std::int32_t Steps = 0;
  bool Settled = false;
};

// Plain Newton, no safeguard: where it settles from the moments it is the
// fit a reader would get by hand, and where it runs off the safeguarded
// search takes over.
NewtonResult PlainNewton(const PoissonGammaData& data, double log_mean, double log_shape,
                         std::int32_t limit) {
  NewtonResult result{log_mean, log_shape, RateShapeAt(data, log_mean, log_shape), 0, false};
  while (result.Steps < limit && ShapeIsFinite(result.Shape)) {
    const auto& h = result.Shape.Hessian;
    const auto& g = result.Shape.Gradient;
    const double det = h[0][0] * h[1][1] - h[0][1] * h[1][0];
    const double d0 = -(h[1][1] * g[0] - h[0][1] * g[1]) / det;
    const double d1 = -(h[0][0] * g[1] - h[1][0] * g[0]) / det;
    result.LogMean = result.LogMean + d0;
    result.LogShape = result.LogShape + d1;
    ++result.Steps;
    if (!std::isfinite(d0) || !std::isfinite(d1) || std::fabs(result.LogMean) > kFarthest ||
        std::fabs(result.LogShape) > kFarthest) {
      return result;
    }
    result.Shape = RateShapeAt(data, result.LogMean, result.LogShape);
    if (std::max(std::fabs(d0), std::fabs(d1)) <= kNewtonSettled) {
      result.Settled = ShapeIsFinite(result.Shape);
      return result;
    }
  }
  return result;
}

// Everything a fitted gamma prior carries besides itself.
void FinishPeak(const PoissonGammaData& data, double log_mean, double log_shape,
                const LocalShape& shape, bool size_bound, PriorFit* fit) {
  const double alpha = std::exp(log_shape);
  const double beta = std::exp(log_shape - log_mean);
  fit->Prior = BetaPrior{alpha, beta};
  fit->LogLik = shape.LogLik;
  const FitStandardErrors errors = StandardErrorsWith(shape, GammaParameterJacobian(alpha, beta));
  fit->SeAlpha = errors.Alpha;
  fit->SeBeta = errors.Beta;
  fit->SeLogitMean = errors.LogitMean;
  fit->SeLogSize = errors.LogSize;
  if (size_bound) {
    const double drop = fit->SeLogSize ? std::sqrt(2.0 * kHalfChiSquare95) * *fit->SeLogSize : 1.0;
    double at = log_mean;
    const SizeBound bound =
        SizeLower95Of(RateProfileModel(data, &at), log_mean, log_shape, shape.LogLik, drop);
    fit->SizeLower95 = bound.Value;
    fit->SizeLower95Unconverged = !bound.Converged;
  }
}

}  // namespace

ProfileModel RateProfileModel(const PoissonGammaData& data, double* log_mean) {
  ProfileModel model;
  model.Shape = RateShapeFunction(data);
  model.Profile = [&data, log_mean](double log_shape) -> ProfilePoint {
    const double kappa = std::exp(-log_shape);
    // The root lies where sum mu E (1 + x kappa)/(1 + mu E kappa) = sum x:
    // each term is at most mu E (1 + x kappa), so the mean is at least
    // sum x / sum E (1 + x kappa); each is at least x once mu E >= x, so
    // at most the largest x/E.
    double weighted = 0.0;
    for (std::size_t i = 0; i < data.Regions; ++i) {
      weighted = weighted + data.Expected[i] * (1.0 + data.Counts[i] * kappa);
    }
    const double lo = std::log(static_cast<double>(data.TotalEvents) / weighted);
    const double hi = std::log(data.LargestRatio);
    if (!(lo < hi)) {
      const LocalShape shape = RateShapeAt(data, lo, log_shape);
      *log_mean = lo;
      return {shape.LogLik, shape.Gradient[1], !std::isnan(shape.LogLik)};
    }
    const BracketedRoot root = FindBracketedRoot(
        [&](double w) {
          const LocalShape shape = RateShapeAt(data, w, log_shape);
          return NewtonValue{-shape.Gradient[0], -shape.Hessian[0][0]};
        },
        lo, hi, std::clamp(*log_mean, lo, hi), BracketedNewtonRule{1e-14, 1.0, 200});
    if (!root.Converged) return {};
    *log_mean = root.Root;
    const LocalShape shape = RateShapeAt(data, root.Root, log_shape);
    return {shape.LogLik, shape.Gradient[1], !std::isnan(shape.LogLik)};
  };
  return model;
}

PriorFit FitRatePrior(const PoissonGammaData& data, const RateMoments& moments,
                      const RunSettings& settings, bool size_bound) {
  PriorFit fit;
  if (!data.Poisson) {
    fit.Boundary = FitBoundary::kNotBinomial;
    return fit;
  }
  if (data.Regions == 0 || !(data.TotalExpected > 0.0)) {
    fit.Boundary = FitBoundary::kNoTrials;
    return fit;
  }
  const RatePoint limit = PoissonLimit(data);
  const LikelihoodTerms poisson = EvaluateRateLikelihood(data, limit);
  fit.BinomialLogLik = poisson.LogLik;
  fit.SlopeAtBinomial = poisson.DTheta;
  // No events: the Poisson limit at rate 0 is the supremum, whatever the shape.
  if (data.TotalEvents == 0) {
    fit.Label = FitLabel::kNoFiniteMaximum;
    fit.Boundary = FitBoundary::kNoSuccesses;
    fit.LogLik = fit.BinomialLogLik;
    return fit;
  }
  const double l_pois = fit.BinomialLogLik;
  const bool rises_from_poisson = fit.SlopeAtBinomial > 0.0;
  double best = -std::numeric_limits<double>::infinity();

  const double alpha0 = settings.AlphaInit > 0.0 ? settings.AlphaInit : moments.Alpha;
  const double beta0 = settings.BetaInit > 0.0 ? settings.BetaInit : moments.Beta;
  double log_mean = std::log(limit.Mean);
  double log_shape = std::log(10.0);
  if (IsPositive(alpha0) && IsPositive(beta0)) {
    log_mean = std::log(alpha0) - std::log(beta0);
    log_shape = std::log(alpha0);
  }
  SearchResult search;
  if (data.Regions > 1) {
    const NewtonResult newton = PlainNewton(data, log_mean, log_shape, settings.IterationLimit);
    if (newton.Settled) {
      best = newton.Shape.LogLik;
      if (IsPeak(newton.Shape) && BeatsLimit(fit, newton.Shape.LogLik)) {
        fit.Label = FitLabel::kNewton;
        fit.Iterations = newton.Steps;
        FinishPeak(data, newton.LogMean, newton.LogShape, newton.Shape, size_bound, &fit);
        return fit;
      }
    }
    search = SafeguardedSearch(RateShapeFunction(data), log_mean, log_shape,
                               rises_from_poisson ? std::nullopt : std::optional<double>(l_pois));
    fit.Iterations = search.Steps;
    if (std::isfinite(search.Shape.LogLik)) best = std::max(best, search.Shape.LogLik);
  }

  const double pooled_log_mean = std::log(limit.Mean);
  double at = pooled_log_mean;
  SettleFit(
      search, best, size_bound,
      [&](double first_drop) {
        return SizeLower95Of(RateProfileModel(data, &at), pooled_log_mean, kPoolingLogSize,
                             l_pois, first_drop);
      },
      [&](const SearchResult& peak) {
        FinishPeak(data, peak.LogitMean, peak.LogSize, peak.Shape, size_bound, &fit);
      },
      &fit);
  return fit;
}

}  // namespace propsmooth
