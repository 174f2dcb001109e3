#include "stats/fit_standard_errors.h"

#include <cmath>

#include "stats/safeguarded_search.h"

namespace propsmooth {

ParameterJacobian BetaParameterJacobian(const ModelPoint& point, double size) {
  // d/dlogit = +-size mu (1 - mu), d/dlog size = Alpha, Beta.
  const double alpha = size * point.Mean;
  const double beta = size * point.Complement;
  const double spread = size * point.Mean * point.Complement;
  return {{{spread, alpha}, {-spread, beta}}};
}

ParameterJacobian GammaParameterJacobian(double alpha, double beta) {
  // d/dw = 0, -Beta; d/dv = Alpha, Beta.
  return {{{0.0, alpha}, {-beta, beta}}};
}

std::optional<FitCovariance> CovarianceWith(const LocalShape& shape,
                                            const ParameterJacobian& jacobian) {
  if (!IsPeak(shape)) return std::nullopt;
  const double m00 = -shape.Hessian[0][0];
  const double m01 = -shape.Hessian[0][1];
  const double m11 = -shape.Hessian[1][1];
  const double det = m00 * m11 - m01 * m01;
  const double var_location = m11 / det;
  const double var_size = m00 / det;
  const double cov = -m01 / det;
  // The diagonal written as the standard errors have always been computed:
  // a sum reordered would move their last digit.
  const auto variance = [&](double d_location, double d_size) {
    return d_location * d_location * var_location + 2.0 * d_location * d_size * cov +
           d_size * d_size * var_size;
  };
  const ParameterJacobian& j = jacobian;
  FitCovariance covariance;
  covariance.Location = var_location;
  covariance.Size = var_size;
  covariance.Parameters[0][0] = variance(j[0][0], j[0][1]);
  covariance.Parameters[1][1] = variance(j[1][0], j[1][1]);
  covariance.Parameters[0][1] = j[0][0] * j[1][0] * var_location +
                                (j[0][0] * j[1][1] + j[0][1] * j[1][0]) * cov +
                                j[0][1] * j[1][1] * var_size;
  covariance.Parameters[1][0] = covariance.Parameters[0][1];
  const double var_alpha = covariance.Parameters[0][0];
  const double var_beta = covariance.Parameters[1][1];
  if (!(var_location > 0.0 && var_size > 0.0 && var_alpha > 0.0 && var_beta > 0.0 &&
        std::isfinite(var_alpha) && std::isfinite(var_beta))) {
    return std::nullopt;
  }
  return covariance;
}

FitStandardErrors StandardErrorsWith(const LocalShape& shape, const ParameterJacobian& jacobian) {
  FitStandardErrors errors;
  if (const std::optional<FitCovariance> covariance = CovarianceWith(shape, jacobian)) {
    errors.LogitMean = std::sqrt(covariance->Location);
    errors.LogSize = std::sqrt(covariance->Size);
    errors.Alpha = std::sqrt(covariance->Parameters[0][0]);
    errors.Beta = std::sqrt(covariance->Parameters[1][1]);
  }
  return errors;
}

FitStandardErrors StandardErrorsAt(const ModelPoint& point, double log_size,
                                   const LocalShape& shape) {
  return StandardErrorsWith(shape, BetaParameterJacobian(point, std::exp(log_size)));
}

}  // namespace propsmooth
