// Test helper: groups for the likelihood and fit tests, and an independent
// log-likelihood with its numerical derivatives.
#ifndef PROPSMOOTH_TESTS_STATS_FIT_DATA_H_
#define PROPSMOOTH_TESTS_STATS_FIT_DATA_H_

#include <functional>
#include <vector>

#include "common/types.h"
#include "estimate/worked_groups.h"
#include "stats/beta_binomial_likelihood.h"
#include "stats/prior_fit.h"

namespace propsmooth {

/// Unit 30 of examples/units.txt: two all-or-nothing regions beside two
/// nearly so; more spread than the moment estimators can express.
inline const Counts kUnit30 = {{0, 12}, {12, 12}, {1, 12}, {11, 12}};
/// Less spread than binomial sampling at p = 0.1 (variance 8e-4 against
/// 0.09/50 = 1.8e-3), yet positive moment estimators (11.15, 100.35).
inline const Counts kUnderdispersed = {{5, 50}, {6, 50}, {4, 50}, {5, 50}, {7, 50}, {3, 50}};
/// 2/10, 4/20, ..., 12/60: one proportion, which propsmooth's variance
/// rounds to some 1e-34 rather than 0.
inline const Counts kEqualProportions = {{2, 10}, {4, 20}, {6, 30}, {8, 40}, {10, 50}, {12, 60}};

/// The rats' optimum from tests/stats/prior_fit_reference.py: mpmath.findroot
/// on the digamma form of the gradient at 50 digits (gradient below 1e-48
/// there), the log-likelihood from log-gamma differences, the profile bound
/// by bisection on the size with mu refound by findroot at each size.
constexpr double kRatsAlpha = 2.3047833121243347941;
constexpr double kRatsBeta = 14.079809031547965007;
constexpr double kRatsLogLik = -154.14024966519733273;
constexpr double kRatsSizeLower95 = 8.76364758367761;

/// Regions of (Data1, Data2) pairs, in order.
inline std::vector<Region> RegionsOf(const Counts& counts) { return MakeGroup(counts).Regions; }

/// The 70 groups of examples/rats.txt.
std::vector<Region> RatRegions();

/// The fit as the report runs it: propsmooth's estimate first.
PriorFit FitAfterPropsmooth(const std::vector<Region>& regions, const RunSettings& settings,
                            bool size_bound = true);

/// The beta-binomial log-likelihood in its textbook form, a sum of
/// std::lgamma differences, at logit mu and log(Alpha + Beta): usable at
/// moderate sizes only.
double LogGammaLogLik(const std::vector<Region>& regions, double logit_mean,
                      double log_size);

/// Value, gradient and Hessian of `f` at (u, v) by central differences.
LocalShape DifferenceShape(const std::function<double(double, double)>& f,
                           double u, double v);

}  // namespace propsmooth

#endif  // PROPSMOOTH_TESTS_STATS_FIT_DATA_H_
