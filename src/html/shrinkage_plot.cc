#include "html/shrinkage_plot.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "strict_output/number_format.h"
#include "html/html_text.h"
#include "html/plot_figure.h"
#include "html/svg_chart.h"
#include "stats/group_fit.h"

namespace propsmooth {
namespace {

// Dot radii in pixels, of a region of size near 0 and of the largest.
constexpr double kSmallestRadius = 1.5;
constexpr double kLargestRadius = 8.0;

}  // namespace

void AppendShrinkagePlot(const PlotView& view, const std::string& id,
                         const SectionLimits& limits, std::string* html) {
  const std::vector<PlotRegion>& regions = view.Regions;
  const GroupFit& fit = view.Group->Fit;
  const ValueTerms& terms = view.Terms;
  double low = 0.0;
  double high = 0.0;
  double largest = 0.0;
  for (const PlotRegion& region : regions) {
    low = std::min(low, region.Raw);
    high = std::max(high, region.Raw);
    largest = std::max(largest, region.Size);
    if (region.Eb) {
      low = std::min(low, *region.Eb);
      high = std::max(high, *region.Eb);
    }
  }
  // Counts of trials are whole: a largest size below 1 means none at all.
  if (terms.Percent) largest = std::max(largest, 1.0);
  PlotFrame frame;
  frame.X = view.Range(low, high);
  frame.Y = frame.X;
  frame.Pad = kLargestRadius + 2.0;
  FitMargins(&frame);
  const std::string clip = id + "-shrink";
  OpenFigure(html);
  OpenChart(frame, clip,
            "Shrinkage: raw " + terms.Singular + " against EB " + terms.Singular, html);
  AppendAxes(frame, "raw " + terms.Singular + terms.Unit, "EB " + terms.Singular + terms.Unit,
             html);
  AppendLineAcross(frame, clip, {frame.X.Min, frame.X.Min}, {frame.X.Max, frame.X.Max},
                   "diag", html);
  // The value the fit shrinks towards: the prior's mean, or the common rate.
  std::optional<double> centre;
  if (view.Centre) centre = terms.Scale * *view.Centre;
  if (centre) {
    AppendLineAcross(frame, clip, {frame.X.Min, *centre}, {frame.X.Max, *centre}, "prior",
                     html);
  }
  const std::size_t step = SampleStep(regions.size(), limits.PlottedPoints);
  const DotMarks marks = OpenDots((regions.size() + step - 1) / step, limits.NamedDots, clip, html);
  for (std::size_t i = 0; i < regions.size(); i += step) {
    const PlotRegion& region = regions[i];
    if (!region.Eb) continue;
    // Area in proportion to the size.
    const double radius =
        kSmallestRadius + (kLargestRadius - kSmallestRadius) * std::sqrt(region.Size / largest);
    AppendDot(frame, marks.Clip, {region.Raw, *region.Eb}, radius, "dot",
              marks.NameAll ? RegionTooltip(view, i) : std::string(), html);
  }
  CloseDots(marks, html);
  CloseChart(html);

  std::string caption;
  if (HasPosterior(fit)) {
    caption = "Each region's EB " + terms.Singular + " (";
    caption.append(PriorName(fit));
    caption.append(" prior) against its raw " + terms.Singular + "; dot area in proportion to ");
    AppendEscaped(view.Group->Columns.Size, &caption);
    caption.append(". ");
  } else {
    caption = "No EB " + terms.Plural + ": the group's fit gives no posterior. ";
  }
  AppendKey("diag", "no shrinkage (y = x)", &caption);
  if (centre) {
    std::string text = PoolsCompletely(fit) ? "common rate " : "prior mean ";
    text.append(ValueWords(terms, ModelValue(view, *centre)));
    AppendKey("prior", text, &caption);
  }
  AppendSampleNote(regions.size(), step, &caption);
  AppendUnnamedNote(marks, "", &caption);
  CloseFigure(caption, html);
}

}  // namespace propsmooth
