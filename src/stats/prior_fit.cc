#include "stats/prior_fit.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "stats/beta_binomial_likelihood.h"
#include "stats/beta_math.h"
#include "stats/fit_standard_errors.h"
#include "stats/likelihood_bound.h"
#include "stats/profile_bound.h"
#include "stats/safeguarded_search.h"

namespace propsmooth {
namespace {

void SetSizeLower95(const SizeBound& bound, PriorFit* fit) {
  fit->SizeLower95 = bound.Value;
  fit->SizeLower95Unconverged = !bound.Converged;
}

// Everything a fitted prior carries besides itself, with `outputs.Figures`.
void FinishPeak(const BetaBinomialData& data, double logit_mean, double log_size,
                const LocalShape& shape, const FitOutputs& outputs, PriorFit* fit) {
  const ModelPoint point = PointOfCoordinates(logit_mean, log_size);
  if (!fit->Prior) {
    const double size = std::exp(log_size);
    fit->Prior = BetaPrior{size * point.Mean, size * point.Complement};
  }
  if (!outputs.Figures) return;
  fit->LogLik = shape.LogLik;
  const FitStandardErrors errors = StandardErrorsAt(point, log_size, shape);
  fit->SeAlpha = errors.Alpha;
  fit->SeBeta = errors.Beta;
  fit->SeLogitMean = errors.LogitMean;
  fit->SeLogSize = errors.LogSize;
  if (outputs.SizeBound) {
    // The quadratic shape of the peak puts the crossing sqrt(chi2) standard
    // errors below it.
    const double drop = fit->SeLogSize ? std::sqrt(2.0 * kHalfChiSquare95) * *fit->SeLogSize : 1.0;
    SetSizeLower95(SizeLower95(data, log_size, shape.LogLik, point, drop), fit);
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

// propsmooth's Mle as the fit, without the sums of logarithms: where minus
// the Hessian there is positive definite (the same bits as
// EvaluateLikelihood's) and its log-likelihood is proven above the limit's
// (likelihood_bound.h), which is then finite and beats the limit whichever
// way ties go. Fills `fit` (all but SlopeAtBinomial, which only decides
// ties) and says so; else leaves it to the full fit.
bool ProvenNewton(const BetaBinomialData& data, const GroupSummary& summary,
                  const ModelPoint& pooled, PriorFit* fit) {
  if (data.Successes == 0 || data.Failures == 0 || !summary.Mle ||
      !IsPositive(summary.Mle->Alpha) || !IsPositive(summary.Mle->Beta) ||
      EveryRegionAllOrNothing(data)) {
    return false;
  }
  const ModelPoint point = PointOfPrior(summary.Mle->Alpha, summary.Mle->Beta);
  LocalShape shape = ShapeInLogitLogSize(EvaluateDerivatives(data, point), point);
  shape.LogLik = 0.0;  // finite: see above
  if (!IsPeak(shape)) return false;
  // At theta = 0 every log1p term is log1p(+0) = +0 and adds nothing, so
  // the limit's log-likelihood is its base, bit for bit.
  const double limit = LogLikelihoodBase(data, pooled);
  if (CompareLogLikelihood(data, point, limit) != LevelOrder::kAbove) return false;
  fit->Label = FitLabel::kNewton;
  fit->BinomialLogLik = limit;
  fit->Prior = *summary.Mle;
  fit->Iterations = summary.Iterations;
  return true;
}

}  // namespace

bool BeatsLimit(const PriorFit& fit, double loglik) {
  // Where the slope does not rise, a point only counts if it beats the limit.
  return fit.SlopeAtBinomial > 0.0 ? loglik >= fit.BinomialLogLik : loglik > fit.BinomialLogLik;
}

void SettleFit(const SearchResult& search, double best, bool size_bound,
               const std::function<SizeBound(double first_drop)>& pooling_bound,
               const std::function<void(const SearchResult& peak)>& finish_peak, PriorFit* fit) {
  const double limit = fit->BinomialLogLik;
  if (!(fit->SlopeAtBinomial > 0.0) && !(best > limit)) {
    fit->Label = FitLabel::kNoFiniteMaximum;
    fit->Boundary = FitBoundary::kCompletePooling;
    fit->LogLik = limit;
    if (size_bound) {
      // Near theta = 0 the profile is the limit's level + s0 theta: it
      // crosses the bound near theta = kHalfChiSquare95 / -s0.
      const double crossing = fit->SlopeAtBinomial < 0.0
                                  ? std::log(-fit->SlopeAtBinomial / kHalfChiSquare95)
                                  : kPoolingLogSize - 1.0;
      const SizeBound bound = pooling_bound(kPoolingLogSize - crossing);
      fit->SizeLower95 = bound.Value;
      fit->SizeLower95Unconverged = !bound.Converged;
    }
    return;
  }
  if (search.Converged && IsPeak(search.Shape) && BeatsLimit(*fit, search.Shape.LogLik)) {
    fit->Label = FitLabel::kSafeguarded;
    finish_peak(search);
  }
}

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

const char* FitBoundaryText(FitBoundary boundary, CountModel model) {
  if (model == CountModel::kBinomial) return FitBoundaryText(boundary);
  switch (boundary) {
    case FitBoundary::kCompletePooling:
      return "no more spread than Poisson sampling: complete pooling";
    case FitBoundary::kNoSuccesses:
      return "no events in the group: the pooled rate is 0";
    case FitBoundary::kNoTrials:
      return "no region in the group";
    case FitBoundary::kNotBinomial:
      return "a count below 0 or an expected value not above 0: no Poisson likelihood";
    case FitBoundary::kNone:
    case FitBoundary::kNoPooling:
    case FitBoundary::kAllSuccesses:
      return "";
  }
  return "";
}

PriorFit FitPrior(const std::vector<Region>& regions, const GroupSummary& summary,
                  const RunSettings& settings, bool size_bound) {
  return FitPrior(MakeBetaBinomialData(regions), summary, settings, size_bound);
}

PriorFit FitPrior(const BetaBinomialData& data, const GroupSummary& summary,
                  const RunSettings& settings, bool size_bound) {
  return FitPrior(data, summary, settings, FitOutputs{true, size_bound});
}

PriorFit FitPrior(const BetaBinomialData& data, const GroupSummary& summary,
                  const RunSettings& settings, const FitOutputs& outputs) {
  const bool size_bound = outputs.Figures && outputs.SizeBound;
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
  if (!outputs.Figures && ProvenNewton(data, summary, pooled, &fit)) return fit;
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
  double best = -std::numeric_limits<double>::infinity();

  if (summary.Mle && IsPositive(summary.Mle->Alpha) && IsPositive(summary.Mle->Beta)) {
    const double alpha = summary.Mle->Alpha;
    const double beta = summary.Mle->Beta;
    const double logit_mean = std::log(alpha) - std::log(beta);
    const double log_size = std::log(alpha + beta);
    const ModelPoint point = PointOfPrior(alpha, beta);
    const LocalShape shape = ShapeInLogitLogSize(EvaluateLikelihood(data, point), point);
    if (std::isfinite(shape.LogLik)) best = shape.LogLik;
    if (IsPeak(shape) && BeatsLimit(fit, shape.LogLik)) {
      fit.Label = FitLabel::kNewton;
      fit.Prior = *summary.Mle;
      fit.Iterations = summary.Iterations;
      FinishPeak(data, logit_mean, log_size, shape, {outputs.Figures, size_bound}, &fit);
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
    search = SafeguardedSearch(data, logit_mean, log_size,
                               rises_from_binomial ? std::nullopt : std::optional<double>(l_bin));
    fit.Iterations = search.Steps;
    if (std::isfinite(search.Shape.LogLik)) best = std::max(best, search.Shape.LogLik);
  }

  SettleFit(
      search, best, size_bound,
      [&](double first_drop) {
        return SizeLower95(data, kPoolingLogSize, l_bin, pooled, first_drop);
      },
      [&](const SearchResult& peak) {
        FinishPeak(data, peak.LogitMean, peak.LogSize, peak.Shape, {outputs.Figures, size_bound},
                   &fit);
      },
      &fit);
  return fit;
}

}  // namespace propsmooth
