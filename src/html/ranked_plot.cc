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
  double Eb = 0.0;        // percent
  CredibleBounds Bounds;
};

}  // namespace

void AppendRankedPlot(const GroupView& group, double level, std::optional<double> threshold,
                      const std::string& id, const SectionLimits& limits, std::string* html) {
  const GroupFit& fit = group.Fit;
  std::vector<RankedRegion> ranked;
  double low = 0.0;
  double high = 0.0;
  for (std::size_t i = 0; i < group.Regions.size(); ++i) {
    const std::optional<double> eb = EbUnderFit(group.Regions[i], fit);
    if (!eb) continue;
    RankedRegion region{i, PercentOf(*eb), IntervalUnderFit(group.Regions[i], fit, level)};
    low = std::min(low, region.Eb);
    high = std::max(high, region.Eb);
    if (region.Bounds.Status == IntervalStatus::kOk) {
      low = std::min(low, PercentOf(region.Bounds.Lower));
      high = std::max(high, PercentOf(region.Bounds.Upper));
    }
    ranked.push_back(region);
  }
  if (ranked.empty()) return;
  // Ties keep the order of the data.
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const RankedRegion& a, const RankedRegion& b) { return a.Eb < b.Eb; });
  if (threshold) high = std::max(high, PercentOf(*threshold));

  // Wide and low: one dot per region side by side.
  PlotFrame frame;
  frame.Width = 900.0;
  frame.Height = 320.0;
  frame.X = NiceRange(0.0, static_cast<double>(ranked.size() + 1));
  frame.Y = PercentRange(low, high);
  frame.Pad = kDotRadius + 2.0;
  FitMargins(&frame);
  const std::string clip = id + "-ranked";
  OpenFigure(html);
  OpenChart(frame, clip, "Regions ranked by EB proportion, with credible intervals", html);
  AppendAxes(frame, "rank by EB proportion", "EB proportion (%)", html);
  if (threshold) {
    const double level_line = PercentOf(*threshold);
    AppendLineAcross(frame, clip, {frame.X.Min, level_line}, {frame.X.Max, level_line},
                     "threshold", html);
  }
  const std::size_t step = SampleStep(ranked.size(), limits.PlottedPoints);
  std::size_t discoveries = 0;
  for (std::size_t r = 0; r < ranked.size(); r += step) {
    const RankedRegion& region = ranked[r];
    const double x = static_cast<double>(r + 1);
    if (region.Bounds.Status == IntervalStatus::kOk) {
      AppendPolyline(frame, clip,
                     {{x, PercentOf(region.Bounds.Lower)}, {x, PercentOf(region.Bounds.Upper)}},
                     "ci", html);
    }
    const bool found = !group.Discoveries.empty() && group.Discoveries[region.Index].Discovery;
    if (found) ++discoveries;
    AppendDot(frame, clip, {x, region.Eb}, kDotRadius, found ? "dot out" : "dot",
              DotTooltip(group.Regions[region.Index]), html);
  }
  CloseChart(html);

  std::string caption = "Regions ranked by their EB proportion (";
  caption.append(PriorName(fit));
  caption.append(" prior), each with its equal-tailed ");
  caption.append(LevelText(level));
  caption.append("% interval. ");
  AppendKey("ci", "credible interval", &caption);
  if (threshold) {
    std::string text = "threshold " + BriefPercentWords(*threshold) + "%";
    AppendKey("threshold", text, &caption);
    AppendKey("disc", "discovery", &caption);
    caption.append(std::to_string(discoveries));
    caption.append(discoveries == 1 ? " discovery drawn. " : " discoveries drawn. ");
  }
  AppendSampleNote(ranked.size(), step, &caption);
  CloseFigure(caption, html);
}

}  // namespace propsmooth
