// Test helper: a group of the report estimated by the core, as a report run
// would hand it over.
#ifndef PROPSMOOTH_TESTS_HTML_ESTIMATED_GROUP_H_
#define PROPSMOOTH_TESTS_HTML_ESTIMATED_GROUP_H_

#include <utility>
#include <vector>

#include "html/group_view.h"
#include "stats/group_fit.h"

namespace propsmooth {

/// Unit 2 of (Data1, Data2) pairs, Codes 1, 2, ..., with their raw
/// proportions; no estimates, no fit.
GroupView ViewOf(const std::vector<std::pair<int, int>>& counts);

/// Unit 2 of (Data1, Data2) pairs, Codes 1, 2, ..., estimated with the
/// default fit settings, its Fit under `estimator`.
GroupView EstimatedGroup(const std::vector<std::pair<int, int>>& counts,
                         PriorEstimator estimator = PriorEstimator::kMle);

}  // namespace propsmooth

#endif  // PROPSMOOTH_TESTS_HTML_ESTIMATED_GROUP_H_
