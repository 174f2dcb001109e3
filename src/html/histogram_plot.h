// The histogram of a group's raw values with its prior's density.
#ifndef PROPSMOOTH_HTML_HISTOGRAM_PLOT_H_
#define PROPSMOOTH_HTML_HISTOGRAM_PLOT_H_

#include <string>

#include "html/plot_view.h"

namespace propsmooth {

/// Appends the figure: the raw values of `view` (two or more regions with
/// spread) as a density histogram, and the density of its prior where it
/// has one (the section's note says why there is none otherwise). `id`,
/// unique in the page, names its clip path.
void AppendHistogram(const PlotView& view, const std::string& id,
                     std::string* html);

}  // namespace propsmooth

#endif  // PROPSMOOTH_HTML_HISTOGRAM_PLOT_H_
