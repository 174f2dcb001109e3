// The histogram of a group's raw proportions with its prior's density.
#ifndef PROPSMOOTH_HTML_HISTOGRAM_PLOT_H_
#define PROPSMOOTH_HTML_HISTOGRAM_PLOT_H_

#include <string>

#include "html/group_view.h"

namespace propsmooth {

/// Appends the figure: the raw proportions of `group` (two or more regions
/// with spread) as a density histogram, and the density of the prior of
/// group.Fit where it is a beta prior; the caption says why there is none
/// otherwise. `id`, unique in the page, names its clip path.
void AppendHistogram(const GroupView& group, const std::string& id,
                     std::string* html);

}  // namespace propsmooth

#endif  // PROPSMOOTH_HTML_HISTOGRAM_PLOT_H_
