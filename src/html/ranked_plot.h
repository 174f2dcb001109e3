// The ranked plot: every region's EB rate under its group's fit with its
// credible interval, sorted, with the threshold and the discoveries.
#ifndef PROPSMOOTH_HTML_RANKED_PLOT_H_
#define PROPSMOOTH_HTML_RANKED_PLOT_H_

#include <optional>
#include <string>

#include "html/plot_view.h"

namespace propsmooth {

/// Appends the figure for `view`: a dot per region with
/// a posterior (every k-th past `limits.PlottedPoints`) at its rank by EB
/// value, its credible interval as a vertical line, discoveries in their
/// own colour, and `threshold` (in the model's units) drawn across when
/// given. `id`, unique in the page, names its clip path. Draws nothing
/// when no region has a posterior.
void AppendRankedPlot(const PlotView& view, std::optional<double> threshold,
                      const std::string& id, const SectionLimits& limits, std::string* html);

}  // namespace propsmooth

#endif  // PROPSMOOTH_HTML_RANKED_PLOT_H_
