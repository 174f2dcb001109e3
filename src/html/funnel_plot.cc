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

// Tail probabilities of the funnel plot's limits: 95% and 99.8% central,
// Spiegelhalter's choice for funnel plots (about two and three standard
// errors from the reference): the inner one warns, the outer one marks a
// region sampling alone would put outside once in 500.
constexpr double kInner = 0.025;
constexpr double kOuter = 0.001;
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kDotRadius = 2.6;

// The sizes the funnel's curves are drawn at: from half the smallest
// size to a step past the axis' end, at up to 300 sizes; whole sizes for
// counts of trials, each once.
std::vector<double> FunnelSizes(bool whole, double smallest, const AxisRange& x) {
  std::vector<double> sizes;
  if (whole) {
    const std::int64_t first = std::max<std::int64_t>(1, static_cast<std::int64_t>(smallest) / 2);
    const auto span =
        std::max<std::int64_t>(0, static_cast<std::int64_t>(x.Max + x.Step) - first);
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
      sizes.push_back(static_cast<double>(size));
    }
    return sizes;
  }
  const double first = smallest / 2.0;
  const double last = x.Max + x.Step;
  constexpr int kSteps = 299;
  for (int k = 0; k <= kSteps; ++k) {
    sizes.push_back(first + (last - first) * static_cast<double>(k) / kSteps);
  }
  return sizes;
}

}  // namespace

void AppendFunnelPlot(const PlotView& view, const std::string& id,
                      const SectionLimits& limits, std::string* html) {
  const std::vector<PlotRegion>& regions = view.Regions;
  const FunnelModel& model = view.Funnel;
  const ValueTerms& terms = view.Terms;
  double smallest = regions.front().Size;
  double largest = regions.front().Size;
  double low = 0.0;
  double high = 0.0;
  for (const PlotRegion& region : regions) {
    smallest = std::min(smallest, region.Size);
    largest = std::max(largest, region.Size);
    low = std::min(low, region.Raw);
    high = std::max(high, region.Raw);
  }
  const bool has_limits = model.Reference.has_value();
  const double reference = model.Reference.value_or(0.0);

  // Only the funnel's part over the regions' sizes sets the vertical range
  // (the clip path cuts the wide mouth).
  PlotFrame frame;
  frame.X = NiceRange(0.0, 1.05 * largest);
  frame.Pad = kDotRadius + 2.0;
  const double probabilities[4] = {kOuter, kInner, 1.0 - kInner, 1.0 - kOuter};
  std::vector<DataPoint> curves[4];
  if (has_limits) {
    for (const double size : FunnelSizes(model.WholeSizes, smallest, frame.X)) {
      for (int c = 0; c < 4; ++c) {
        const std::optional<double> limit = model.Limit(size, reference, probabilities[c]);
        if (!limit) continue;
        curves[c].emplace_back(size, terms.Scale * *limit);
        if (size < smallest || size > largest) continue;
        low = std::min(low, terms.Scale * *limit);
        high = std::max(high, terms.Scale * *limit);
      }
    }
  }
  frame.Y = view.Range(low, high);
  FitMargins(&frame);
  const std::string clip = id + "-funnel";
  OpenFigure(html);
  OpenChart(frame, clip,
            "Funnel plot: raw " + terms.Singular + " against " +
                std::string(view.Group->Columns.Size),
            html);
  AppendAxes(frame, model.SizeTitle, "raw " + terms.Singular + terms.Unit, html);
  if (has_limits) {
    AppendLineAcross(frame, clip, {frame.X.Min, terms.Scale * reference},
                     {frame.X.Max, terms.Scale * reference}, "pooled", html);
    AppendPolyline(frame, clip, curves[0], "lim998", html);
    AppendPolyline(frame, clip, curves[1], "lim95", html);
    AppendPolyline(frame, clip, curves[2], "lim95", html);
    AppendPolyline(frame, clip, curves[3], "lim998", html);
  }
  // Each drawn region is tested against the 99.8% limits at its own size.
  std::map<double, std::pair<double, double>> outer;
  std::size_t drawn = 0;
  std::size_t outside = 0;
  const std::size_t step = SampleStep(regions.size(), limits.PlottedPoints);
  const DotMarks marks = OpenDots((regions.size() + step - 1) / step, limits.NamedDots, clip, html);
  std::size_t beyond = 0;
  for (std::size_t i = 0; i < regions.size(); i += step) {
    const PlotRegion& region = regions[i];
    if (!region.OnFunnel) {
      ++beyond;
      continue;
    }
    bool is_outside = false;
    if (has_limits) {
      auto found = outer.find(region.Size);
      if (found == outer.end()) {
        const double lower = model.Limit(region.Size, reference, kOuter).value_or(-kInfinity);
        const double upper =
            model.Limit(region.Size, reference, 1.0 - kOuter).value_or(kInfinity);
        found = outer.emplace(region.Size, std::make_pair(lower, upper)).first;
      }
      is_outside = region.Value < found->second.first || region.Value > found->second.second;
    }
    ++drawn;
    if (is_outside) ++outside;
    const bool named = marks.NameAll || is_outside;
    AppendDot(frame, marks.Clip, {region.Size, region.Raw}, kDotRadius,
              is_outside ? "dot out" : "dot", named ? RegionTooltip(view, i) : std::string(),
              html);
  }
  CloseDots(marks, html);
  CloseChart(html);

  std::string caption = model.Intro;
  if (has_limits) {
    AppendKey("pooled", model.ReferenceText, &caption);
    AppendKey("lim95", "95% limits", &caption);
    AppendKey("lim998", "99.8% limits", &caption);
    caption.append("(exact " + model.LimitsKind + ", interpolated). ");
    caption.append(model.LimitsNote);
    caption.append(std::to_string(outside));
    caption.append(" of ");
    caption.append(std::to_string(drawn));
    caption.append(" drawn regions lie outside the 99.8% limits (red).");
  } else {
    caption.append(model.NoLimits);
  }
  if (beyond > 0) {
    caption.append(" ");
    caption.append(std::to_string(beyond));
    caption.append(beyond == 1 ? " region above 100% is not drawn."
                               : " regions above 100% are not drawn.");
  }
  AppendSampleNote(regions.size(), step, &caption);
  AppendUnnamedNote(marks, has_limits ? "red ones" : "", &caption);
  CloseFigure(caption, html);
}

}  // namespace propsmooth
