// The table of a group's regions with their EB proportions and credible
// intervals.
#ifndef PROPSMOOTH_HTML_REGION_TABLE_H_
#define PROPSMOOTH_HTML_REGION_TABLE_H_

#include <string>

#include "stats/group_prior.h"
#include "html/group_view.h"

namespace propsmooth {

/// Appends the table of the first `limits.TableRows` regions of `group` in
/// file order, every proportion in percent, each with its equal-tailed
/// `level` interval under `prior` or the reason it has none; a note under
/// the table when it is cut.
void AppendRegionTable(const GroupView& group, const GroupPrior& prior, double level,
                       const SectionLimits& limits, std::string* html);

}  // namespace propsmooth

#endif  // PROPSMOOTH_HTML_REGION_TABLE_H_
