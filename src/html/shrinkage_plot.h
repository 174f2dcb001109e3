// The shrinkage plot: each region's EB proportion against its raw one.
#ifndef PROPSMOOTH_HTML_SHRINKAGE_PLOT_H_
#define PROPSMOOTH_HTML_SHRINKAGE_PLOT_H_

#include <string>

#include "stats/group_prior.h"
#include "html/group_view.h"

namespace propsmooth {

/// Appends the figure: for every drawn region of `group` (every k-th past
/// `limits.PlottedPoints`) a dot at (raw, EB under `prior`), its area in
/// proportion to Data2, with the diagonal of no shrinkage and the prior's
/// mean where the prior is a beta distribution. `id`, unique in the page,
/// names its clip path.
void AppendShrinkagePlot(const GroupView& group, const GroupPrior& prior,
                         const std::string& id, const SectionLimits& limits,
                         std::string* html);

}  // namespace propsmooth

#endif  // PROPSMOOTH_HTML_SHRINKAGE_PLOT_H_
