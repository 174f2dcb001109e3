// The table of a group's regions with their EB proportions and credible
// intervals under the group's fit.
#ifndef PROPSMOOTH_HTML_REGION_TABLE_H_
#define PROPSMOOTH_HTML_REGION_TABLE_H_

#include <string>

#include "html/group_view.h"

namespace propsmooth {

/// Appends the table of the first `limits.TableRows` regions of `group` in
/// file order, every proportion in percent: propsmooth's moment EB, and the
/// EB and equal-tailed `level` interval under group.Fit (the CSV table's
/// eb, lower and upper) or the reason there are none; a note under the
/// table when it is cut. A table of more than `limits.EagerTableRows` rows
/// is left for the browser to lay out when it is scrolled near.
void AppendRegionTable(const GroupView& group, double level, const SectionLimits& limits,
                       std::string* html);

}  // namespace propsmooth

#endif  // PROPSMOOTH_HTML_REGION_TABLE_H_
