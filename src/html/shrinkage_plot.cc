#include "html/shrinkage_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "strict_output/number_format.h"
#include "html/html_text.h"
#include "html/plot_figure.h"
#include "html/svg_chart.h"

namespace propsmooth {
namespace {

// Dot radii in pixels, of a region of size near 0 and of the largest.
constexpr double kSmallestRadius = 1.5;
constexpr double kLargestRadius = 8.0;

}  // namespace

void AppendShrinkagePlot(const GroupView& group, const GroupPrior& prior,
                         const std::string& id, const SectionLimits& limits,
                         std::string* html) {
  const std::vector<RegionRecord>& regions = group.Regions;
  double low = 0.0;
  double high = 0.0;
  std::int32_t largest = 1;
  for (const RegionRecord& region : regions) {
    const double raw = PercentOf(region.Proportion);
    const double eb = PercentOf(EbUnderPrior(region, prior.Source));
    low = std::min({low, raw, eb});
    high = std::max({high, raw, eb});
    largest = std::max(largest, region.Data2);
  }
  PlotFrame frame;
  frame.X = NiceRange(low, high);
  frame.Y = frame.X;
  frame.Pad = kLargestRadius + 2.0;
  FitMargins(&frame);
  const std::string clip = id + "-shrink";
  OpenFigure(html);
  OpenChart(frame, clip, "Shrinkage: raw proportion against EB proportion", html);
  AppendAxes(frame, "raw proportion (%)", "EB proportion (%)", html);
  AppendLineAcross(frame, clip, {frame.X.Min, frame.X.Min}, {frame.X.Max, frame.X.Max},
                   "diag", html);
  const bool proper = PriorIsBeta(prior);
  const double prior_mean = PercentOf(prior.Alpha / (prior.Alpha + prior.Beta));
  if (proper) {
    AppendLineAcross(frame, clip, {frame.X.Min, prior_mean}, {frame.X.Max, prior_mean},
                     "prior", html);
  }
  const std::size_t step = SampleStep(regions.size(), limits.PlottedPoints);
  for (std::size_t i = 0; i < regions.size(); i += step) {
    const RegionRecord& region = regions[i];
    // Area in proportion to Data2.
    const double radius =
        kSmallestRadius + (kLargestRadius - kSmallestRadius) *
                              std::sqrt(static_cast<double>(region.Data2) /
                                        static_cast<double>(largest));
    AppendDot(frame, clip,
              {PercentOf(region.Proportion), PercentOf(EbUnderPrior(region, prior.Source))},
              radius, "dot", DotTooltip(region), html);
  }
  CloseChart(html);

  std::string caption = "Each region's EB proportion (";
  caption.append(PriorSourceText(prior.Source));
  caption.append(" prior) against its raw proportion; dot area in proportion to Data2. ");
  AppendKey("diag", "no shrinkage (y = x)", &caption);
  if (proper) {
    std::string text = "prior mean ";
    AppendFixed6(prior_mean, &text);
    text.push_back('%');
    AppendKey("prior", text, &caption);
  } else {
    caption.append("No prior mean: the prior's parameters are not positive, so the "
                   "EB values are no shrinkage towards a mean. ");
  }
  if (prior.Source == PriorSource::kMeAfterFailedFit) {
    caption.append("The ML fit failed: the moment estimators are used instead.");
  }
  AppendSampleNote(regions.size(), step, &caption);
  CloseFigure(caption, html);
}

}  // namespace propsmooth
