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

/// How a scatter plot draws its dots (see SectionLimits::NamedDots).
struct DotMarks {
  std::string_view Clip;  // each dot's clip; empty where a group clips them
  bool NameAll = true;    // every dot has a tooltip, not only highlighted ones
  std::size_t Drawn = 0;  // dots drawn
};

/// Starts the dots of a plot that draws `drawn` of them, clipped by
/// `clip_id`: each named and clipped while there are at most `named`,
/// otherwise in a clipped group (opened here) with only the highlighted
/// ones named.
DotMarks OpenDots(std::size_t drawn, std::size_t named, std::string_view clip_id,
                  std::string* html);

/// Ends the dots OpenDots started.
void CloseDots(const DotMarks& marks, std::string* html);

/// Appends the caption's sentence that says which dots have no tooltip,
/// `highlighted` (HTML) naming the ones that keep theirs, or empty when
/// none does; nothing when every dot is named.
void AppendUnnamedNote(const DotMarks& marks, std::string_view highlighted, std::string* out);

/// A dot's tooltip: "Code C: D1 of D2".
std::string DotTooltip(const RegionRecord& record);

}  // namespace propsmooth

#endif  // PROPSMOOTH_HTML_PLOT_FIGURE_H_
