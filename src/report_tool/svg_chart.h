// Inline SVG charts: a plot frame with linear axes and the marks drawn in it.
#ifndef PROPSMOOTH_REPORT_TOOL_SVG_CHART_H_
#define PROPSMOOTH_REPORT_TOOL_SVG_CHART_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace propsmooth {

/// A closed interval of data values along one axis, Min < Max, with the
/// distance of its tick marks.
struct AxisRange {
  double Min = 0.0;
  double Max = 1.0;
  double Step = 0.2;  // positive; ticks at its whole multiples in the range
};

/// The chart's size in pixels, its margins and the data ranges of its axes.
struct PlotFrame {
  double Width = 440.0;
  double Height = 300.0;
  double Left = 58.0;
  double Right = 12.0;
  double Top = 12.0;
  double Bottom = 46.0;
  AxisRange X;
  AxisRange Y;
};

/// A data point (x, y).
using DataPoint = std::pair<double, double>;

/// The smallest range of whole multiples of a 1-, 2- or 5-step that holds
/// [low, high], the step chosen to give about five intervals. A range
/// without width, or with a bound that is not finite, is widened to a
/// usable one around it.
AxisRange NiceRange(double low, double high);

/// The tick values of a range: the multiples of its step within it (at
/// most 20).
std::vector<double> TickValues(const AxisRange& range);

/// Pixel position of a data value; values outside the range map outside
/// the plot area, where the clip path hides them.
double MapX(const PlotFrame& frame, double x);
double MapY(const PlotFrame& frame, double y);

/// Opens the <svg> element, described by `label` for screen readers, and
/// defines the clip path `clip_id` (unique in the page) of the plot area.
void OpenChart(const PlotFrame& frame, std::string_view clip_id,
               std::string_view label, std::string* out);

/// Draws the plot area's border, grid lines, tick labels and axis titles.
void AppendAxes(const PlotFrame& frame, std::string_view x_title,
                std::string_view y_title, std::string* out);

/// A polyline through `points` (data values) with CSS class `css_class`,
/// clipped to the plot area. Fewer than two points draw nothing.
void AppendPolyline(const PlotFrame& frame, std::string_view clip_id,
                    const std::vector<DataPoint>& points,
                    std::string_view css_class, std::string* out);

/// A filled rectangle between data x0..x1 and y0..y1, clipped.
void AppendBar(const PlotFrame& frame, std::string_view clip_id, double x0,
               double x1, double y0, double y1, std::string_view css_class,
               std::string* out);

/// A circle of `radius` pixels at a data point, clipped, with a tooltip.
void AppendDot(const PlotFrame& frame, std::string_view clip_id,
               const DataPoint& point, double radius,
               std::string_view css_class, std::string_view tooltip,
               std::string* out);

/// Closes the <svg> element.
void CloseChart(std::string* out);

}  // namespace propsmooth

#endif  // PROPSMOOTH_REPORT_TOOL_SVG_CHART_H_
