#include "html/histogram_plot.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string_view>
#include <vector>

#include "strict_output/number_format.h"
#include "html/html_text.h"
#include "html/plot_figure.h"
#include "html/svg_chart.h"

namespace propsmooth {
void AppendHistogram(const PlotView& view, const std::string& id,
                     std::string* html) {
  const std::vector<PlotRegion>& regions = view.Regions;
  const GroupFit& fit = view.Group->Fit;
  const ValueTerms& terms = view.Terms;
  double low = 0.0;
  double high = 0.0;
  for (const PlotRegion& region : regions) {
    low = std::min(low, region.Raw);
    high = std::max(high, region.Raw);
  }
  PlotFrame frame;
  frame.X = view.Range(low, high);
  const auto bins = static_cast<std::size_t>(std::clamp(
      std::ceil(1.5 * std::sqrt(static_cast<double>(regions.size()))), 5.0, 40.0));
  const double width = (frame.X.Max - frame.X.Min) / static_cast<double>(bins);
  std::vector<std::size_t> counts(bins, 0);
  for (const PlotRegion& region : regions) {
    const double slot = std::floor((region.Raw - frame.X.Min) / width);
    const auto bin = static_cast<std::size_t>(
        std::clamp(slot, 0.0, static_cast<double>(bins - 1)));
    ++counts[bin];
  }
  const double scale = 1.0 / (static_cast<double>(regions.size()) * width);
  double bar_top = 0.0;
  for (const std::size_t count : counts) {
    bar_top = std::max(bar_top, static_cast<double>(count) * scale);
  }

  struct Curve {
    const char* Class;
    double Alpha;
    double Beta;
    std::vector<DataPoint> Points;
  };
  // The one prior the page uses; complete pooling has no density.
  std::vector<Curve> curves;
  if (view.Density != nullptr) {
    curves.push_back({UsesMomentPrior(fit) ? "me" : "mle", fit.Alpha, fit.Beta, {}});
  }
  constexpr int kSamples = 240;
  double curve_top = 0.0;
  for (Curve& curve : curves) {
    for (int k = 0; k < kSamples; ++k) {
      const double x = frame.X.Min + (frame.X.Max - frame.X.Min) *
                                         (static_cast<double>(k) + 0.5) / kSamples;
      // x is shown scaled (in percent, say): the density per shown unit is
      // that per unit of the model over the scale.
      const std::optional<double> density =
          view.Density(curve.Alpha, curve.Beta, x / terms.Scale);
      if (!density) continue;
      curve.Points.emplace_back(x, *density / terms.Scale);
      curve_top = std::max(curve_top, *density / terms.Scale);
    }
  }
  // A density with a pole would flatten the bars; cut it at three times
  // their height (the clip path hides the rest).
  const double top = std::max(bar_top, std::min(curve_top, 3.0 * bar_top));
  frame.Y = NiceRange(0.0, top * 1.05);
  FitMargins(&frame);

  const std::string clip = id + "-hist";
  OpenFigure(html);
  OpenChart(frame, clip, "Histogram of the raw " + terms.Plural + " with the prior's density",
            html);
  AppendAxes(frame, "raw " + terms.Singular + terms.Unit, "density per " + terms.DensityUnit,
             html);
  for (std::size_t b = 0; b < bins; ++b) {
    if (counts[b] == 0) continue;
    const double x0 = frame.X.Min + width * static_cast<double>(b);
    AppendBar(frame, clip, x0, x0 + width, 0.0,
              static_cast<double>(counts[b]) * scale, "bar", html);
  }
  for (const Curve& curve : curves) AppendPolyline(frame, clip, curve.Points, curve.Class, html);
  CloseChart(html);

  // Without a prior the section's note says why: the caption names only
  // what is drawn.
  std::string caption = "Raw " + terms.Plural + " (bars, as a density per " + terms.DensityUnit +
                        "; ";
  caption.append(std::to_string(bins));
  caption.append(curves.empty() ? " bins). " : " bins) and the density of the group's prior. ");
  for (const Curve& curve : curves) AppendKey(curve.Class, view.PriorText, &caption);
  CloseFigure(caption, html);
}

}  // namespace propsmooth
