// The funnel plot: raw value against region size, with the model's
// control limits around its reference.
#ifndef PROPSMOOTH_HTML_FUNNEL_PLOT_H_
#define PROPSMOOTH_HTML_FUNNEL_PLOT_H_

#include <string>

#include "html/plot_view.h"

namespace propsmooth {

/// Appends the figure: every drawn region of `view` (every k-th past
/// `limits.PlottedPoints`) at (size, raw value), red when outside the
/// 99.8% limits at its own size, with the reference (the pooled
/// proportion, an SMR of 1, the pooled rate) and the 95% and 99.8% limits
/// as curves; without limits where the reference has none (a pooled
/// proportion of 0 or 1, no events). `id`, unique in the page, names its
/// clip path.
void AppendFunnelPlot(const PlotView& view, const std::string& id,
                      const SectionLimits& limits, std::string* html);

}  // namespace propsmooth

#endif  // PROPSMOOTH_HTML_FUNNEL_PLOT_H_
