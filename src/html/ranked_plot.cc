#include "html/ranked_plot.h"

#include <algorithm>
#include <vector>

#include "strict_output/number_format.h"
#include "html/html_text.h"
#include "html/plot_figure.h"
#include "html/svg_chart.h"

namespace propsmooth {
namespace {

constexpr double kDotRadius = 3.0;

struct RankedRegion {
  std::size_t Index = 0;  // in the group
  double Eb = 0.0;        // shown
};

}  // namespace

void AppendRankedPlot(const PlotView& view, std::optional<double> threshold,
                      const std::string& id, const SectionLimits& limits, std::string* html) {
  const GroupFit& fit = view.Group->Fit;
  const ValueTerms& terms = view.Terms;
  std::vector<RankedRegion> ranked;
  double low = 0.0;
  double high = 0.0;
  for (std::size_t i = 0; i < view.Regions.size(); ++i) {
    const PlotRegion& region = view.Regions[i];
    if (!region.Eb) continue;
    low = std::min(low, *region.Eb);
    high = std::max(high, *region.Eb);
    if (region.Lower) {
      low = std::min(low, *region.Lower);
      high = std::max(high, *region.Upper);
    }
    ranked.push_back({i, *region.Eb});
  }
  if (ranked.empty()) return;
  // Ties keep the order of the data.
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const RankedRegion& a, const RankedRegion& b) { return a.Eb < b.Eb; });
  if (threshold) high = std::max(high, terms.Scale * *threshold);

  // Wide and low: one dot per region side by side.
  PlotFrame frame;
  frame.Width = 900.0;
  frame.Height = 320.0;
  frame.X = NiceRange(0.0, static_cast<double>(ranked.size() + 1));
  frame.Y = view.Range(low, high);
  frame.Pad = kDotRadius + 2.0;
  FitMargins(&frame);
  const std::string clip = id + "-ranked";
  OpenFigure(html);
  OpenChart(frame, clip, "Regions ranked by EB " + terms.Singular + ", with credible intervals",
            html);
  AppendAxes(frame, "rank by EB " + terms.Singular, "EB " + terms.Singular + terms.Unit, html);
  if (threshold) {
    const double level_line = terms.Scale * *threshold;
    AppendLineAcross(frame, clip, {frame.X.Min, level_line}, {frame.X.Max, level_line},
                     "threshold", html);
  }
  const std::size_t step = SampleStep(ranked.size(), limits.PlottedPoints);
  std::size_t discoveries = 0;
  const DotMarks marks = OpenDots((ranked.size() + step - 1) / step, limits.NamedDots, clip, html);
  if (!marks.NameAll) {
    // All intervals as one element, under every dot rather than each
    // under its own.
    std::vector<DataSegment> intervals;
    for (std::size_t r = 0; r < ranked.size(); r += step) {
      const PlotRegion& region = view.Regions[ranked[r].Index];
      const double x = static_cast<double>(r + 1);
      if (region.Lower) intervals.push_back({{x, *region.Lower}, {x, *region.Upper}});
    }
    AppendSegments(frame, marks.Clip, intervals, "ci", html);
  }
  for (std::size_t r = 0; r < ranked.size(); r += step) {
    const PlotRegion& region = view.Regions[ranked[r].Index];
    const double x = static_cast<double>(r + 1);
    if (region.Lower && marks.NameAll) {
      AppendPolyline(frame, clip, {{x, *region.Lower}, {x, *region.Upper}}, "ci", html);
    }
    if (region.Discovery) ++discoveries;
    const bool named = marks.NameAll || region.Discovery;
    AppendDot(frame, marks.Clip, {x, ranked[r].Eb}, kDotRadius,
              region.Discovery ? "dot out" : "dot",
              named ? RegionTooltip(view, ranked[r].Index) : std::string(), html);
  }
  CloseDots(marks, html);
  CloseChart(html);

  std::string caption = "Regions ranked by their EB " + terms.Singular + " (";
  caption.append(PriorName(fit));
  caption.append(" prior), each with its equal-tailed ");
  caption.append(LevelText(view.Level));
  caption.append("% interval. ");
  AppendKey("ci", "credible interval", &caption);
  if (threshold) {
    std::string text = "threshold " + ValueWords(terms, *threshold);
    AppendKey("threshold", text, &caption);
    AppendKey("disc", "discovery", &caption);
    caption.append(std::to_string(discoveries));
    caption.append(discoveries == 1 ? " discovery drawn. " : " discoveries drawn. ");
  }
  AppendSampleNote(ranked.size(), step, &caption);
  AppendUnnamedNote(marks, threshold ? "discoveries" : "", &caption);
  CloseFigure(caption, html);
}

}  // namespace propsmooth
