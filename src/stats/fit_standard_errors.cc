#include "stats/fit_standard_errors.h"

#include <cmath>

#include "stats/safeguarded_search.h"

namespace propsmooth {

FitStandardErrors StandardErrorsWith(const LocalShape& shape, const ParameterJacobian& jacobian) {
  FitStandardErrors errors;
  if (!IsPeak(shape)) return errors;
  const double m00 = -shape.Hessian[0][0];
  const double m01 = -shape.Hessian[0][1];
  const double m11 = -shape.Hessian[1][1];
  const double det = m00 * m11 - m01 * m01;
  const double var_location = m11 / det;
  const double var_size = m00 / det;
  const double cov = -m01 / det;
  const auto variance = [&](double d_location, double d_size) {
    return d_location * d_location * var_location + 2.0 * d_location * d_size * cov +
           d_size * d_size * var_size;
  };
  const double var_alpha = variance(jacobian[0][0], jacobian[0][1]);
  const double var_beta = variance(jacobian[1][0], jacobian[1][1]);
  if (var_location > 0.0 && var_size > 0.0 && var_alpha > 0.0 && var_beta > 0.0 &&
      std::isfinite(var_alpha) && std::isfinite(var_beta)) {
    errors.LogitMean = std::sqrt(var_location);
    errors.LogSize = std::sqrt(var_size);
    errors.Alpha = std::sqrt(var_alpha);
    errors.Beta = std::sqrt(var_beta);
  }
  return errors;
}

FitStandardErrors StandardErrorsAt(const ModelPoint& point, double log_size,
                                   const LocalShape& shape) {
  const double size = std::exp(log_size);
  const double alpha = size * point.Mean;
  const double beta = size * point.Complement;
  // Alpha = size mu, Beta = size (1 - mu): d/dlogit = +-size mu (1 - mu),
  // d/dlog size = Alpha, Beta.
  const double spread = size * point.Mean * point.Complement;
  return StandardErrorsWith(shape, {{{spread, alpha}, {-spread, beta}}});
}

}  // namespace propsmooth
