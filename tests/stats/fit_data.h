// Test helper: groups for the likelihood and fit tests, and an independent
// log-likelihood with its numerical derivatives.
#ifndef PROPSMOOTH_TESTS_REPORT_TOOL_FIT_DATA_H_
#define PROPSMOOTH_TESTS_REPORT_TOOL_FIT_DATA_H_

#include <functional>
#include <utility>
#include <vector>

#include "common/types.h"
#include "stats/beta_binomial_likelihood.h"

namespace propsmooth {

/// Regions of (Data1, Data2) pairs, in order.
std::vector<Region> RegionsOf(const std::vector<std::pair<int, int>>& counts);

/// The 70 groups of examples/rats.txt.
std::vector<Region> RatRegions();

/// The beta-binomial log-likelihood in its textbook form, a sum of
/// std::lgamma differences, at logit mu and log(Alpha + Beta): usable at
/// moderate sizes only.
double LogGammaLogLik(const std::vector<Region>& regions, double logit_mean,
                      double log_size);

/// Value, gradient and Hessian of `f` at (u, v) by central differences.
LocalShape DifferenceShape(const std::function<double(double, double)>& f,
                           double u, double v);

}  // namespace propsmooth

#endif  // PROPSMOOTH_TESTS_REPORT_TOOL_FIT_DATA_H_
