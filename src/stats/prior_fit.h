// A fit of a group's beta prior that does not give up: propsmooth's Newton
// result where the likelihood vouches for it, a safeguarded Newton search
// where not, and the boundaries, decided from the likelihood's shape, where
// no finite maximum exists.
#ifndef PROPSMOOTH_STATS_PRIOR_FIT_H_
#define PROPSMOOTH_STATS_PRIOR_FIT_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "common/types.h"
#include "stats/beta_binomial_likelihood.h"
#include "stats/profile_bound.h"
#include "stats/safeguarded_search.h"

namespace propsmooth {

/// How the prior was found.
enum class FitLabel {
  kNewton,           // propsmooth's own fit, a maximum of the likelihood
  kSafeguarded,      // the safeguarded search, where propsmooth's fit failed or fell short
  kNoFiniteMaximum,  // the likelihood rises towards a boundary; see FitBoundary
  kFailed,           // no likelihood (see FitBoundary) or the search did not converge
};

/// "newton", "safeguarded", "no finite maximum" or "failed".
const char* FitLabelText(FitLabel label);

/// Where the likelihood has its supremum when no finite maximum exists, or
/// why there is no likelihood at all.
enum class FitBoundary {
  kNone,              // a finite maximum, or a search that failed
  kCompletePooling,   // no more spread than binomial sampling: Alpha + Beta -> infinity
  kNoPooling,         // every region all successes or none: Alpha + Beta -> 0
  kNoSuccesses,       // sum of x = 0: the prior's mean -> 0
  kAllSuccesses,      // sum of x = sum of n: the prior's mean -> 1
  kNoTrials,          // no region, or every size 0
  kNotBinomial,       // a count below 0 or above its size
};

/// The boundary in plain words; empty for kNone.
const char* FitBoundaryText(FitBoundary boundary);

/// The count model a fit is of: binomial counts of a beta prior, or
/// Poisson counts against expected values of a gamma prior.
enum class CountModel {
  kBinomial,
  kPoisson,
};

/// The boundary in plain words for `model`: for rates, complete pooling is
/// no more spread than Poisson sampling, kNoSuccesses no events, kNoTrials
/// no region and kNotBinomial a count below 0 or an expected value not
/// positive and finite; kNoPooling and kAllSuccesses never end a rate fit
/// (the likelihood falls towards a shape of 0 wherever a count is above 0,
/// and a rate has no upper end), their text empty.
const char* FitBoundaryText(FitBoundary boundary, CountModel model);

/// The fit of one group. The figures at the returned point: the prior's for
/// kNewton and kSafeguarded, the binomial limit's for kCompletePooling.
/// A fit of rates (rate_fit.h) fills the same figures: its prior is
/// Gamma(shape Alpha, rate Beta), its limit the Poisson one (BinomialLogLik
/// the Poisson log-likelihood at the pooled rate, SlopeAtBinomial the score
/// in 1/Alpha there), its coordinates (log mean, log Alpha) in place of
/// (logit mu, log(Alpha + Beta)) and SizeLower95 a bound of the shape Alpha.
struct PriorFit {
  FitLabel Label = FitLabel::kFailed;
  FitBoundary Boundary = FitBoundary::kNone;
  std::optional<BetaPrior> Prior;   // kNewton and kSafeguarded only
  // With the sum of log C(n, x); at a boundary, the supremum there. Empty
  // without a likelihood (kNotBinomial, kNoTrials) or a converged search.
  std::optional<double> LogLik;
  double BinomialLogLik = 0.0;      // l_bin: theta = 0 at the pooled rate
  double SlopeAtBinomial = 0.0;     // s0: d loglik / d theta there
  std::int32_t Iterations = 0;      // propsmooth's steps (kNewton), else the search's
  // From the inverse of minus the Hessian in (logit mu, log(Alpha + Beta)),
  // carried to Alpha and Beta by the delta method; empty unless minus the
  // Hessian is positive definite at the prior.
  std::optional<double> SeAlpha;
  std::optional<double> SeBeta;
  std::optional<double> SeLogitMean;
  std::optional<double> SeLogSize;
  // The smallest size whose profile log-likelihood (the maximum over mu) is
  // within chi2(1, 0.95)/2 of the peak; also for complete pooling, whose
  // peak is l_bin. Empty when the profile stays that high down to sizes
  // e^-60 below the peak's, or without a prior or pooling limit, or when
  // its search did not converge (SizeLower95Unconverged).
  std::optional<double> SizeLower95;
  // The search for SizeLower95 did not settle or met a log-likelihood it
  // could not evaluate: the bound is unknown, not absent.
  bool SizeLower95Unconverged = false;
};

/// Whether a peak whose log-likelihood is `loglik` can be the fit: at least
/// the limit's (fit.BinomialLogLik) where the slope there rises, above it
/// where not. Shared by both models.
bool BeatsLimit(const PriorFit& fit, double loglik);

/// How a fit of either model ends once its search has run, `fit` holding
/// its limit's log-likelihood and slope and `best` the highest
/// log-likelihood met: complete pooling (kNoFiniteMaximum,
/// kCompletePooling, LogLik the limit's) where the slope does not rise and
/// nothing beat the limit, its SizeLower95 from `pooling_bound(first_drop)`
/// with `size_bound`; else kSafeguarded, finished by `finish_peak`, where
/// the search converged to a peak that beats the limit; else left as it is.
void SettleFit(const SearchResult& search, double best, bool size_bound,
               const std::function<SizeBound(double first_drop)>& pooling_bound,
               const std::function<void(const SearchResult& peak)>& finish_peak, PriorFit* fit);

/// What a fit computes beyond its label, boundary and prior, by what the
/// caller prints: a table of estimates needs neither.
struct FitOutputs {
  // LogLik and the standard errors of a peak (the summary, the page, the
  // Python module). Without them propsmooth's fit is mostly kept without
  // the likelihood's sums of logarithms, its LogLik then empty and
  // SlopeAtBinomial 0.
  bool Figures = true;
  bool SizeBound = true;  // SizeLower95, the costliest part; needs Figures
};

/// Fits the prior of `regions`, whose propsmooth estimate is `summary` (its
/// Mle, Iterations and moment estimators) under `settings` (the start -A/-B
/// when positive). propsmooth's Mle is kept when minus the Hessian is
/// positive definite there and its log-likelihood reaches l_bin; else the
/// search starts from -A/-B, else from positive moment estimators, else from
/// mu = p and Alpha + Beta = 10. The profile bound SizeLower95, the
/// costliest part, only with `size_bound`.
PriorFit FitPrior(const std::vector<Region>& regions, const GroupSummary& summary,
                  const RunSettings& settings, bool size_bound = true);

/// The same for a group given as its likelihood's data (from its regions
/// or from the histograms of its counts).
PriorFit FitPrior(const BetaBinomialData& data, const GroupSummary& summary,
                  const RunSettings& settings, bool size_bound = true);

/// The same, computing what `outputs` asks for: the label, boundary and
/// prior are those of the full fit whatever it asks.
PriorFit FitPrior(const BetaBinomialData& data, const GroupSummary& summary,
                  const RunSettings& settings, const FitOutputs& outputs);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_PRIOR_FIT_H_
