#include "html/shrinkage_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
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

void AppendShrinkagePlot(const GroupView& group, const std::string& id,
                         const SectionLimits& limits, std::string* html) {
  const std::vector<RegionRecord>& regions = group.Regions;
  const GroupFit& fit = group.Fit;
  // Each region's EB proportion in percent, where it has one.
  std::vector<std::optional<double>> ebs(regions.size());
  double low = 0.0;
  double high = 0.0;
  std::int32_t largest = 1;
  for (std::size_t i = 0; i < regions.size(); ++i) {
    const RegionRecord& region = regions[i];
    const double raw = PercentOf(region.Proportion);
    low = std::min(low, raw);
    high = std::max(high, raw);
    largest = std::max(largest, region.Data2);
    if (const std::optional<double> eb = EbUnderFit(region, fit)) {
      ebs[i] = PercentOf(*eb);
      low = std::min(low, *ebs[i]);
      high = std::max(high, *ebs[i]);
    }
  }
  PlotFrame frame;
  frame.X = PercentRange(low, high);
  frame.Y = frame.X;
  frame.Pad = kLargestRadius + 2.0;
  FitMargins(&frame);
  const std::string clip = id + "-shrink";
  OpenFigure(html);
  OpenChart(frame, clip, "Shrinkage: raw proportion against EB proportion", html);
  AppendAxes(frame, "raw proportion (%)", "EB proportion (%)", html);
  AppendLineAcross(frame, clip, {frame.X.Min, frame.X.Min}, {frame.X.Max, frame.X.Max},
                   "diag", html);
  // The rate the fit shrinks towards: the prior's mean, or the common rate.
  std::optional<double> centre;
  if (UsesFittedPrior(fit) || UsesMomentPrior(fit)) {
    centre = PercentOf(fit.Alpha / (fit.Alpha + fit.Beta));
  } else if (PoolsCompletely(fit)) {
    centre = PercentOf(fit.PooledRate);
  }
  if (centre) {
    AppendLineAcross(frame, clip, {frame.X.Min, *centre}, {frame.X.Max, *centre}, "prior",
                     html);
  }
  const std::size_t step = SampleStep(regions.size(), limits.PlottedPoints);
  for (std::size_t i = 0; i < regions.size(); i += step) {
    const RegionRecord& region = regions[i];
    if (!ebs[i]) continue;
    // Area in proportion to the size.
    const double radius =
        kSmallestRadius + (kLargestRadius - kSmallestRadius) *
                              std::sqrt(static_cast<double>(region.Data2) /
                                        static_cast<double>(largest));
    AppendDot(frame, clip, {PercentOf(region.Proportion), *ebs[i]}, radius, "dot",
              DotTooltip(region), html);
  }
  CloseChart(html);

  std::string caption;
  if (HasPosterior(fit)) {
    caption = "Each region's EB proportion (";
    caption.append(PriorName(fit));
    caption.append(" prior) against its raw proportion; dot area in proportion to ");
    AppendEscaped(group.Columns.Size, &caption);
    caption.append(". ");
  } else {
    caption = "No EB proportions: the group's fit gives no posterior. ";
  }
  AppendKey("diag", "no shrinkage (y = x)", &caption);
  if (centre) {
    std::string text = PoolsCompletely(fit) ? "common rate " : "prior mean ";
    text.append(BriefPercentWords(*centre / 100.0));
    text.push_back('%');
    AppendKey("prior", text, &caption);
  }
  AppendSampleNote(regions.size(), step, &caption);
  CloseFigure(caption, html);
}

}  // namespace propsmooth
