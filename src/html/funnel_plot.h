// The funnel plot: raw proportion against region size, with binomial
// control limits around the pooled proportion.
#ifndef PROPSMOOTH_HTML_FUNNEL_PLOT_H_
#define PROPSMOOTH_HTML_FUNNEL_PLOT_H_

#include <string>

#include "html/group_view.h"

namespace propsmooth {

/// Appends the figure: every drawn region of `group` (every k-th past
/// `limits.PlottedPoints`) at (Data2, raw proportion), red when outside the
/// 99.8% limits at its own size, with the pooled proportion and the 95% and
/// 99.8% limits as curves; without limits when the pooled proportion is 0
/// or 1. `id`, unique in the page, names its clip path.
void AppendFunnelPlot(const GroupView& group, const std::string& id,
                      const SectionLimits& limits, std::string* html);

}  // namespace propsmooth

#endif  // PROPSMOOTH_HTML_FUNNEL_PLOT_H_
