// The lower end of a 95 % profile-likelihood interval for Alpha + Beta.
// The size is the prior's least certain figure: its standard error in log
// size is a quadratic guess where the likelihood is often far from
// quadratic (the upper end is often unbounded), so the bound is found on
// the profile itself, the log-likelihood maximised over the mean at each
// size, where it falls chi2(1, 0.95)/2 below the peak.
#ifndef PROPSMOOTH_STATS_PROFILE_BOUND_H_
#define PROPSMOOTH_STATS_PROFILE_BOUND_H_

#include <functional>
#include <limits>
#include <optional>

#include "stats/beta_binomial_likelihood.h"
#include "stats/safeguarded_search.h"

namespace propsmooth {

/// chi2(1) 0.95 quantile 3.841458820694124..., halved: the likelihood-ratio
/// drop of a 95 % profile interval.
constexpr double kHalfChiSquare95 = 1.920729410347062;

/// The bound, or why there is none.
struct SizeBound {
  std::optional<double> Value;
  // False where a profile or the search for the crossing did not settle,
  // or met a log-likelihood it could not evaluate (NaN): Value is then
  // empty, not a guess.
  bool Converged = true;
};

/// The profile at one log size: the log-likelihood maximised over the
/// location, and its slope in log size (by the envelope theorem the partial
/// slope at the best location). Unconverged where the maximum over the
/// location did not settle or the log-likelihood could not be evaluated.
struct ProfilePoint {
  double LogLik = std::numeric_limits<double>::quiet_NaN();
  double Slope = std::numeric_limits<double>::quiet_NaN();
  bool Converged = false;
};

/// A model as the bound sees it: its shape in (location, log size), for
/// the crossing found by Newton on both equations at once, and its profile
/// at a log size, whose search over the location starts where the last one
/// ended (the peak's location at first).
struct ProfileModel {
  ShapeFunction Shape;
  std::function<ProfilePoint(double log_size)> Profile;
};

/// The smallest size whose profile is within kHalfChiSquare95 of `peak`,
/// searched down from the peak at (peak_location, peak_log_size), the first
/// step `first_drop` in log size. Empty but converged when the profile stays
/// that high down to e^-60 of the peak's size. Shared by every model.
SizeBound SizeLower95Of(const ProfileModel& model, double peak_location, double peak_log_size,
                        double peak, double first_drop);

/// The beta prior's: the smallest size whose profile is within kHalfChiSquare95 of `peak`,
/// searched down from the peak's size e^peak_log_size at `mean` (the mean
/// and its complement as carried), the first step `first_drop` in log size
/// (where the peak's shape puts the crossing). Empty but converged when the
/// profile stays that high down to e^-60 of the peak's size.
SizeBound SizeLower95(const BetaBinomialData& data, double peak_log_size, double peak,
                      const ModelPoint& mean, double first_drop);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_PROFILE_BOUND_H_
