// The shrinkage plot: each region's EB value against its raw one.
#ifndef PROPSMOOTH_HTML_SHRINKAGE_PLOT_H_
#define PROPSMOOTH_HTML_SHRINKAGE_PLOT_H_

#include <string>

#include "html/plot_view.h"

namespace propsmooth {

/// Appends the figure: for every drawn region of `view` (every k-th past
/// `limits.PlottedPoints`) with an EB value a dot at (raw, EB), its area in
/// proportion to its size, with the diagonal of no
/// shrinkage and the line the fit shrinks towards: its prior's mean, or
/// the common rate of complete pooling. `id`, unique in the page, names
/// its clip path.
void AppendShrinkagePlot(const PlotView& view, const std::string& id,
                         const SectionLimits& limits, std::string* html);

}  // namespace propsmooth

#endif  // PROPSMOOTH_HTML_SHRINKAGE_PLOT_H_
