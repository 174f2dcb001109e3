#include "stats/log_gamma.h"

#include <math.h>  // lgamma_r, where the C library has it

#include <cmath>

#include <boost/math/policies/policy.hpp>
#include <boost/math/special_functions/gamma.hpp>

namespace propsmooth {

double PortableLogGamma(double x) {
  namespace bmp = boost::math::policies;
  // No exceptions and no errno: a pole is +inf, as lgamma has it.
  using Quiet = bmp::policy<bmp::pole_error<bmp::ignore_error>,
                            bmp::overflow_error<bmp::ignore_error>,
                            bmp::domain_error<bmp::ignore_error>,
                            bmp::evaluation_error<bmp::ignore_error>,
                            bmp::promote_double<false>>;
  if (std::isnan(x)) return x;
  const double value = boost::math::lgamma(x, Quiet());
  return std::isnan(value) ? HUGE_VAL : value;
}

double LogGamma(double x) {
#if defined(__GLIBC__)
  // The reentrant twin of lgamma: the same code, the sign in a local.
  int sign = 0;
  return ::lgamma_r(x, &sign);
#else
  // lgamma_r may be missing or behind feature macros elsewhere.
  return PortableLogGamma(x);
#endif
}

}  // namespace propsmooth
