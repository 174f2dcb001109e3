// What the report's plots share around their charts: the <figure> and
// its caption, legend keys, and the thinning of large groups.
#ifndef PROPSMOOTH_HTML_PLOT_FIGURE_H_
#define PROPSMOOTH_HTML_PLOT_FIGURE_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "common/types.h"

namespace propsmooth {

/// Opens a plot's <figure>.
void OpenFigure(std::string* html);

/// Closes the figure under `caption`, which is HTML.
void CloseFigure(const std::string& caption, std::string* html);

/// Appends a legend key to a caption: a short sample of the line drawn
/// with CSS class `css_class`, then `text` (escaped), the two in one item
/// (class "item") that the page never breaks across lines.
void AppendKey(std::string_view css_class, std::string_view text, std::string* out);

/// The step k of drawing every k-th of `count` regions: the smallest that
/// draws at most `cap` of them; 1 when all fit or `cap` is 0.
std::size_t SampleStep(std::size_t count, std::size_t cap);

/// Appends the caption's sentence that says which regions are drawn when
/// `step` is above 1; nothing otherwise.
void AppendSampleNote(std::size_t count, std::size_t step, std::string* out);

/// A dot's tooltip: "Code C: D1 of D2".
std::string DotTooltip(const RegionRecord& record);

}  // namespace propsmooth

#endif  // PROPSMOOTH_HTML_PLOT_FIGURE_H_
