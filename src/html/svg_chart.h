// Inline SVG charts: a plot frame with linear axes and the marks drawn in it.
#ifndef PROPSMOOTH_HTML_SVG_CHART_H_
#define PROPSMOOTH_HTML_SVG_CHART_H_

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
/// The pixels are the SVG's own units: the page scales the chart to the
/// width it has, text included.
struct PlotFrame {
  double Width = 440.0;
  double Height = 300.0;
  double Left = 58.0;    // FitMargins sets Left and Right from the labels
  double Right = 12.0;
  double Top = 12.0;
  double Bottom = 46.0;
  // Pixels between the plot area's border and the ends of each range, so
  // that a mark at a range's end (a dot at 0% or 100%) is drawn whole.
  double Pad = 0.0;
  AxisRange X;
  AxisRange Y;
};

/// Font sizes of the chart's text, in pixels: tick labels and axis titles.
inline constexpr double kTickFontSize = 11.0;
inline constexpr double kTitleFontSize = 12.0;

/// A data point (x, y).
using DataPoint = std::pair<double, double>;

/// The smallest range of whole multiples of a 1-, 2- or 5-step that holds
/// [low, high], the step chosen to give about five intervals. A range
/// without width, or with a bound that is not finite, is widened to a
/// usable one around it.
AxisRange NiceRange(double low, double high);

/// NiceRange for an axis of proportions in percent: [low, high] cut to
/// [0, 100] first and the range after, so that an estimate outside them
/// (a moment estimate below 0%, say) never stretches the axis past what a
/// proportion can be; the clip path hides such a mark.
AxisRange PercentRange(double low, double high);

/// The tick values of a range: the multiples of its step within it (at
/// most 20).
std::vector<double> TickValues(const AxisRange& range);

/// The text of the tick label at `value`, a tick of `range`: as many
/// decimals as the range's step needs.
std::string TickLabel(const AxisRange& range, double value);

/// A width, in pixels, that `text` does not exceed at `font_size` in the
/// sans-serif fonts browsers choose (DejaVu Sans, Liberation Sans, Arial,
/// Helvetica, Verdana, Segoe UI, Roboto): digits 0.64 em, "." and ","
/// 0.37 em, "-" 0.44 em, any other character 1.1 em.
double TextWidthBound(std::string_view text, double font_size);

/// Sets the frame's left and right margins from the tick labels of its
/// ranges (and its Pad), so that every label and the vertical axis title
/// lie inside the chart: left, the title and the widest y label; right,
/// half the last x label. Neither falls below its default.
void FitMargins(PlotFrame* frame);

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
/// clipped to the plot area. A point that is not finite (nor its pixel)
/// breaks the line: each stretch of two or more finite points is a
/// polyline of its own, and fewer than two draw nothing.
void AppendPolyline(const PlotFrame& frame, std::string_view clip_id,
                    const std::vector<DataPoint>& points,
                    std::string_view css_class, std::string* out);

/// The straight line through the data points `a` and `b` across the whole
/// plot area, clipped to it: the segment a-b lengthened by its own length
/// at each end, so `a` and `b` must lie a range's width apart (the ends of
/// the x range for a horizontal line).
void AppendLineAcross(const PlotFrame& frame, std::string_view clip_id,
                      const DataPoint& a, const DataPoint& b,
                      std::string_view css_class, std::string* out);

/// A filled rectangle between data x0..x1 and y0..y1, clipped; nothing
/// when a corner is not finite.
void AppendBar(const PlotFrame& frame, std::string_view clip_id, double x0,
               double x1, double y0, double y1, std::string_view css_class,
               std::string* out);

/// A circle of `radius` pixels at a data point, clipped, with a tooltip;
/// nothing when the point or the radius is not finite. An empty `clip_id`
/// leaves the clipping to an enclosing group (OpenClippedGroup), an empty
/// `tooltip` leaves the dot without one.
void AppendDot(const PlotFrame& frame, std::string_view clip_id,
               const DataPoint& point, double radius,
               std::string_view css_class, std::string_view tooltip,
               std::string* out);

/// A data segment from one point to another.
using DataSegment = std::pair<DataPoint, DataPoint>;

/// The segments as one <path> with CSS class `css_class`, clipped (or not,
/// with an empty `clip_id`): one element, however many segments. A segment
/// with an end that is not finite is left out; none left draws nothing.
void AppendSegments(const PlotFrame& frame, std::string_view clip_id,
                    const std::vector<DataSegment>& segments,
                    std::string_view css_class, std::string* out);

/// Opens a group whose marks the clip path `clip_id` clips as a whole,
/// cheaper for a browser than a clip on each of thousands of marks.
void OpenClippedGroup(std::string_view clip_id, std::string* out);

/// Closes the group OpenClippedGroup opened.
void CloseGroup(std::string* out);

/// Closes the <svg> element.
void CloseChart(std::string* out);

}  // namespace propsmooth

#endif  // PROPSMOOTH_HTML_SVG_CHART_H_
