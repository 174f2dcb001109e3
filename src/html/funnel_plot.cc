#include "html/funnel_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "strict_output/number_format.h"
#include "stats/beta_math.h"
#include "html/html_text.h"
#include "html/plot_figure.h"
#include "html/svg_chart.h"

namespace propsmooth {
namespace {

// Tail probabilities of the funnel plot's limits: 95% and 99.8% central.
constexpr double kInner = 0.025;
constexpr double kOuter = 0.001;
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kDotRadius = 2.6;

}  // namespace

void AppendFunnelPlot(const GroupView& group, const std::string& id,
                      const SectionLimits& limits, std::string* html) {
  const std::vector<RegionRecord>& regions = group.Regions;
  std::int64_t total_data1 = 0;
  std::int64_t total_data2 = 0;
  std::int32_t smallest = regions.front().Data2;
  std::int32_t largest = regions.front().Data2;
  double low = 0.0;
  double high = 0.0;
  for (const RegionRecord& region : regions) {
    total_data1 += region.Data1;
    total_data2 += region.Data2;
    smallest = std::min(smallest, region.Data2);
    largest = std::max(largest, region.Data2);
    low = std::min(low, PercentOf(region.Proportion));
    high = std::max(high, PercentOf(region.Proportion));
  }
  const double pooled = static_cast<double>(total_data1) / static_cast<double>(total_data2);
  const bool has_limits = pooled > 0.0 && pooled < 1.0;

  // The funnel runs from half the smallest size to a step past the axis'
  // end, over the padding, at up to 300 sizes; only its part over the
  // regions' sizes sets the vertical range (the clip path cuts the wide
  // mouth).
  PlotFrame frame;
  frame.X = NiceRange(0.0, 1.05 * static_cast<double>(largest));
  frame.Pad = kDotRadius + 2.0;
  const double probabilities[4] = {kOuter, kInner, 1.0 - kInner, 1.0 - kOuter};
  std::vector<DataPoint> curves[4];
  if (has_limits) {
    const std::int64_t first = std::max<std::int64_t>(1, smallest / 2);
    const auto span = std::max<std::int64_t>(
        0, static_cast<std::int64_t>(frame.X.Max + frame.X.Step) - first);
    const std::int64_t steps = std::min<std::int64_t>(span, 299);
    std::int64_t previous = 0;
    for (std::int64_t k = 0; k <= steps; ++k) {
      const std::int64_t size =
          steps == 0 ? first
                     : first + static_cast<std::int64_t>(std::llround(
                               static_cast<double>(span) * static_cast<double>(k) /
                               static_cast<double>(steps)));
      if (size == previous) continue;
      previous = size;
      for (int c = 0; c < 4; ++c) {
        const std::optional<double> limit = BinomialControlLimit(size, pooled, probabilities[c]);
        if (!limit) continue;
        curves[c].emplace_back(static_cast<double>(size), PercentOf(*limit));
        if (size < smallest || size > largest) continue;
        low = std::min(low, PercentOf(*limit));
        high = std::max(high, PercentOf(*limit));
      }
    }
  }
  frame.Y = PercentRange(low, high);
  FitMargins(&frame);
  const std::string clip = id + "-funnel";
  OpenFigure(html);
  const std::string size_name(group.Columns.Size);
  OpenChart(frame, clip, "Funnel plot: raw proportion against " + size_name, html);
  AppendAxes(frame, size_name + " (region size)", "raw proportion (%)", html);
  if (has_limits) {
    AppendLineAcross(frame, clip, {frame.X.Min, PercentOf(pooled)},
                     {frame.X.Max, PercentOf(pooled)}, "pooled", html);
    AppendPolyline(frame, clip, curves[0], "lim998", html);
    AppendPolyline(frame, clip, curves[1], "lim95", html);
    AppendPolyline(frame, clip, curves[2], "lim95", html);
    AppendPolyline(frame, clip, curves[3], "lim998", html);
  }
  // Each drawn region is tested against the 99.8% limits at its own size.
  std::map<std::int32_t, std::pair<double, double>> outer;
  std::size_t drawn = 0;
  std::size_t outside = 0;
  const std::size_t step = SampleStep(regions.size(), limits.PlottedPoints);
  std::size_t beyond = 0;
  for (std::size_t i = 0; i < regions.size(); i += step) {
    const RegionRecord& region = regions[i];
    // A count above its size has no place on an axis of proportions.
    if (region.Proportion < 0.0 || region.Proportion > 1.0) {
      ++beyond;
      continue;
    }
    bool is_outside = false;
    if (has_limits) {
      auto found = outer.find(region.Data2);
      if (found == outer.end()) {
        const double lower = BinomialControlLimit(region.Data2, pooled, kOuter).value_or(-kInfinity);
        const double upper = BinomialControlLimit(region.Data2, pooled, 1.0 - kOuter).value_or(kInfinity);
        found = outer.emplace(region.Data2, std::make_pair(lower, upper)).first;
      }
      is_outside = region.Proportion < found->second.first ||
                   region.Proportion > found->second.second;
    }
    ++drawn;
    if (is_outside) ++outside;
    AppendDot(frame, clip, {static_cast<double>(region.Data2), PercentOf(region.Proportion)},
              kDotRadius,
              is_outside ? "dot out" : "dot", DotTooltip(region), html);
  }
  CloseChart(html);

  std::string caption = "Raw proportion against region size. ";
  if (has_limits) {
    std::string text = "pooled proportion " + BriefPercentWords(pooled) + "%";
    AppendKey("pooled", text, &caption);
    AppendKey("lim95", "95% limits", &caption);
    AppendKey("lim998", "99.8% limits", &caption);
    caption.append("(exact binomial, interpolated). ");
    caption.append(std::to_string(outside));
    caption.append(" of ");
    caption.append(std::to_string(drawn));
    caption.append(" drawn regions lie outside the 99.8% limits (red).");
  } else {
    caption.append("No control limits: the pooled proportion ");
    caption.append(BriefPercentWords(pooled));
    caption.append("% is not between 0% and 100%.");
  }
  if (beyond > 0) {
    caption.append(" ");
    caption.append(std::to_string(beyond));
    caption.append(beyond == 1 ? " region above 100% is not drawn."
                               : " regions above 100% are not drawn.");
  }
  AppendSampleNote(regions.size(), step, &caption);
  CloseFigure(caption, html);
}

}  // namespace propsmooth
