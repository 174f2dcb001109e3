// Standard errors of a fitted prior. They are taken in the coordinates the
// search steps in, (logit mu, log(Alpha + Beta)), where the likelihood is
// closest to quadratic, and carried to Alpha and Beta by the delta method;
// a Hessian that is not safely negative definite gives none rather than
// figures that mean nothing.
#ifndef PROPSMOOTH_STATS_FIT_STANDARD_ERRORS_H_
#define PROPSMOOTH_STATS_FIT_STANDARD_ERRORS_H_

#include <array>
#include <optional>

#include "stats/beta_binomial_likelihood.h"

namespace propsmooth {

struct FitStandardErrors {
  std::optional<double> Alpha;
  std::optional<double> Beta;
  std::optional<double> LogitMean;  // the location: logit mu, or log mean
  std::optional<double> LogSize;    // log(Alpha + Beta), or log shape
};

/// How the prior's two parameters move with the fit's coordinates:
/// Rows[0] = d Alpha / d(location, log size), Rows[1] = d Beta / d(...).
using ParameterJacobian = std::array<std::array<double, 2>, 2>;

/// From the inverse of minus the Hessian of `shape`, carried to the two
/// parameters by the delta method through `jacobian`; all empty unless
/// that matrix is positive definite and every variance positive and finite.
/// Shared by every model: each gives its own Jacobian.
FitStandardErrors StandardErrorsWith(const LocalShape& shape, const ParameterJacobian& jacobian);

/// The beta prior's: from the inverse of minus the Hessian of `shape`, the
/// shape at `point` (size e^log_size); all empty unless that matrix is positive definite and
/// every variance positive and finite.
FitStandardErrors StandardErrorsAt(const ModelPoint& point, double log_size,
                                   const LocalShape& shape);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_FIT_STANDARD_ERRORS_H_
