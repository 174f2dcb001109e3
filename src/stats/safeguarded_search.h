// The maximum of a group's likelihood where propsmooth's Newton fit failed
// or fell short (or, for rates, where there is no such fit): Newton in a
// model's two coordinates, a location (logit mu of a beta prior, log mean of
// a gamma one) and a log size (log(Alpha + Beta), log shape), with the Hessian
// made safely negative definite and Armijo backtracking, so that every
// accepted step climbs. Kept apart from the decision that calls it: the
// search knows nothing of boundaries but the pooling cut-off it is given.
#ifndef PROPSMOOTH_STATS_SAFEGUARDED_SEARCH_H_
#define PROPSMOOTH_STATS_SAFEGUARDED_SEARCH_H_

#include <cstdint>
#include <functional>
#include <optional>

#include "stats/beta_binomial_likelihood.h"

namespace propsmooth {

/// The search's own step limit; the -L limit is propsmooth's alone.
constexpr std::int32_t kSafeguardedStepLimit = 200;
/// A step in logit mu or log size longer than this is cut: e^5 is a large
/// move for a prior, and the cap keeps exp() of the coordinates finite.
constexpr double kLongestStep = 5.0;
/// A size (log 1e15) at which every profile of the rat data is l_bin to
/// its last digit: past it a search is drifting to complete pooling, and
/// complete pooling's profile bound starts there.
constexpr double kPoolingLogSize = 34.538776394910684;

/// The shape at logit mu = `logit_mean`, log(Alpha + Beta) = `log_size`.
LocalShape ShapeAt(const BetaBinomialData& data, double logit_mean, double log_size);

/// A model's log-likelihood, gradient and Hessian at (location, log size):
/// the one thing the search, the crossing of the profile bound and the
/// standard errors ask of a model.
using ShapeFunction = std::function<LocalShape(double location, double log_size)>;

/// The log-likelihood, gradient and Hessian all finite.
bool ShapeIsFinite(const LocalShape& shape);

/// Minus the Hessian positive definite: a strict local maximum.
bool IsPeak(const LocalShape& shape);

struct SearchResult {
  double LogitMean = 0.0;  // the location: logit mu, or a gamma prior's log mean
  double LogSize = 0.0;
  LocalShape Shape;
  std::int32_t Steps = 0;
  bool Converged = false;
};

/// Searches from (logit_mean, log_size). Converged: the gradient within
/// 1e-10 of the log-likelihood's size, or no ascent left at double
/// precision (a cut-down step that gains nothing, or one too small to move
/// the point) with the gradient within 1e-6; at a peak above the pooling
/// limit (a point that can be the fit) the Newton step, the relative change
/// of the odds and the size still to come, must be within 1e-9 (1e-8 where
/// no ascent is left) too: above the 1e-10 or so to which a large group's
/// gradient can place it. Given `pooling_limit` (l_bin
/// where the slope there does not rise), a search past kPoolingLogSize
/// whose log-likelihood is not above it stops unconverged.
SearchResult SafeguardedSearch(const BetaBinomialData& data, double logit_mean,
                               double log_size, std::optional<double> pooling_limit);

/// The same search on any model's shape, from (location, log_size); the
/// pooling limit is the model's likelihood at its no-spread limit.
SearchResult SafeguardedSearch(const ShapeFunction& shape_at, double location,
                               double log_size, std::optional<double> pooling_limit);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_SAFEGUARDED_SEARCH_H_
