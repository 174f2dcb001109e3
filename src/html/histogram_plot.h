// The histogram of a group's raw proportions with its fitted beta densities.
#ifndef PROPSMOOTH_HTML_HISTOGRAM_PLOT_H_
#define PROPSMOOTH_HTML_HISTOGRAM_PLOT_H_

#include <string>

#include "html/group_view.h"

namespace propsmooth {

/// Appends the figure: the raw proportions of `group` (two or more regions
/// with spread) as a density histogram, and the densities of the moment and
/// maximum-likelihood beta priors where they exist; the caption says which
/// is missing and why. `id`, unique in the page, names its clip path.
void AppendHistogram(const GroupView& group, const std::string& id,
                     std::string* html);

}  // namespace propsmooth

#endif  // PROPSMOOTH_HTML_HISTOGRAM_PLOT_H_
