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

/// The beta prior's Jacobian at `point` and size Alpha + Beta = `size`:
/// Alpha = size mu, Beta = size (1 - mu) in (logit mu, log size).
ParameterJacobian BetaParameterJacobian(const ModelPoint& point, double size);

/// The gamma prior's Jacobian at shape `alpha` and rate `beta`: Alpha = e^v,
/// Beta = e^(v - w) in (w, v) = (log mean, log shape).
ParameterJacobian GammaParameterJacobian(double alpha, double beta);

/// The inverse of minus a Hessian: the variances of the fit's two
/// coordinates and, by the delta method, the covariance matrix of the
/// prior's two parameters.
struct FitCovariance {
  double Location = 0.0;  // the variance of logit mu, or of log mean
  double Size = 0.0;      // of log(Alpha + Beta), or of log shape
  std::array<std::array<double, 2>, 2> Parameters{};  // of (Alpha, Beta)
};

/// The covariance at `shape` carried through `jacobian`; empty unless
/// minus the Hessian is positive definite and every variance (of the
/// coordinates and of the parameters) positive and finite. The one
/// computation behind every standard error of a prior.
std::optional<FitCovariance> CovarianceWith(const LocalShape& shape,
                                            const ParameterJacobian& jacobian);

/// The square roots of CovarianceWith's variances; all empty where it is.
/// Shared by every model: each gives its own Jacobian.
FitStandardErrors StandardErrorsWith(const LocalShape& shape, const ParameterJacobian& jacobian);

/// The beta prior's: from the inverse of minus the Hessian of `shape`, the
/// shape at `point` (size e^log_size); all empty unless that matrix is positive definite and
/// every variance positive and finite.
FitStandardErrors StandardErrorsAt(const ModelPoint& point, double log_size,
                                   const LocalShape& shape);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_FIT_STANDARD_ERRORS_H_
