#include "html/svg_chart.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "html/html_text.h"

namespace propsmooth {
namespace {

// The step of NiceRange for a span: 1, 2 or 5 times a power of ten.
double NiceStep(double span) {
  const double raw = span / 5.0;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  const double scaled = raw / power;
  if (scaled <= 1.0) return power;
  if (scaled <= 2.0) return 2.0 * power;
  if (scaled <= 5.0) return 5.0 * power;
  return 10.0 * power;
}

// The 1-2-5 step below `step`.
double SmallerNiceStep(double step) {
  const double power = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
  const double mantissa = std::round(step / power);
  if (mantissa <= 1.0) return 0.5 * power;
  if (mantissa <= 2.0) return power;
  return 2.0 * power;
}

// Digits after the point that the range's tick labels need.
int TickDecimals(const AxisRange& range) {
  const double digits = -std::floor(std::log10(range.Step) + 1e-9);
  return digits > 0.0 ? static_cast<int>(digits) : 0;
}

// Where the axes' text sits, in pixels: the vertical title's baseline from
// the chart's left edge (the glyphs reach about a font size to the left of
// it and a quarter beyond), the gap between a y label and the plot area,
// and the x labels' baseline below the plot area.
constexpr double kYTitleBaseline = 16.0;
constexpr double kYTitleBand = kYTitleBaseline + 0.25 * kTitleFontSize + 3.0;
constexpr double kTickGap = 5.0;
constexpr double kXLabelDrop = 15.0;

void AppendPixel(double value, std::string* out) { AppendDecimal(value, 2, out); }

// A mark whose pixels are not all finite is left out: AppendDecimal would
// write "0", drawing it at the chart's edge as if that were its value.
bool AllFinite(std::initializer_list<double> pixels) {
  return std::all_of(pixels.begin(), pixels.end(), [](double p) { return std::isfinite(p); });
}

void AppendClip(std::string_view clip_id, std::string* out) {
  if (clip_id.empty()) return;
  out->append(" clip-path=\"url(#");
  out->append(clip_id);
  out->append(")\"");
}

void AppendClass(std::string_view css_class, std::string* out) {
  out->append(" class=\"");
  out->append(css_class);
  out->append("\"");
}

// The position and size of a rectangle in pixels, and the tag's end.
void AppendRectGeometry(double left, double top, double right, double bottom,
                        std::string* out) {
  out->append(" x=\"");
  AppendPixel(left, out);
  out->append("\" y=\"");
  AppendPixel(top, out);
  out->append("\" width=\"");
  AppendPixel(right - left, out);
  out->append("\" height=\"");
  AppendPixel(bottom - top, out);
  out->append("\"/>");
}

void AppendText(double x, double y, std::string_view anchor, std::string_view text,
                std::string_view extra, std::string* out) {
  out->append("<text x=\"");
  AppendPixel(x, out);
  out->append("\" y=\"");
  AppendPixel(y, out);
  out->append("\" text-anchor=\"");
  out->append(anchor);
  out->append("\"");
  out->append(extra);
  out->append(">");
  AppendEscaped(text, out);
  out->append("</text>");
}

void AppendSegment(double x0, double y0, double x1, double y1,
                   std::string_view css_class, std::string* out) {
  out->append("<line x1=\"");
  AppendPixel(x0, out);
  out->append("\" y1=\"");
  AppendPixel(y0, out);
  out->append("\" x2=\"");
  AppendPixel(x1, out);
  out->append("\" y2=\"");
  AppendPixel(y1, out);
  out->append("\"");
  AppendClass(css_class, out);
  out->append("/>");
}

}  // namespace

AxisRange NiceRange(double low, double high) {
  if (!std::isfinite(low) || !std::isfinite(high)) return AxisRange{};
  if (high < low) std::swap(low, high);
  if (high - low <= 1e-12 * std::fmax(1.0, std::fabs(high))) {
    const double pad = std::fabs(high) > 0.0 ? 0.1 * std::fabs(high) : 1.0;
    low -= pad;
    high += pad;
  }
  const auto cover = [low, high](double step) {
    return AxisRange{std::floor(low / step) * step, std::ceil(high / step) * step, step};
  };
  // A span just past a 1-2-5 threshold (ranks 0 to 101) would take the
  // next step up and an axis up to half as long again as the data (0 to
  // 150); the step below covers it closer, and is taken where that needs
  // no more intervals than the larger step can ever give, so that no
  // axis gets more labels than before.
  const AxisRange wide = cover(NiceStep(high - low));
  const AxisRange fine = cover(SmallerNiceStep(wide.Step));
  const double wide_length = wide.Max - wide.Min;
  const double fine_length = fine.Max - fine.Min;
  if (fine_length / fine.Step <= 6.0 + 1e-9 && fine_length < wide_length - 1e-9 * wide.Step) {
    return fine;
  }
  return wide;
}

AxisRange PercentRange(double low, double high) {
  if (!std::isfinite(low) || !std::isfinite(high)) return AxisRange{0.0, 100.0, 20.0};
  AxisRange range = NiceRange(std::clamp(low, 0.0, 100.0), std::clamp(high, 0.0, 100.0));
  // 0 and 100 are whole multiples of every step up to 100, so the cut
  // range still starts and ends on a tick.
  range.Min = std::max(range.Min, 0.0);
  range.Max = std::min(range.Max, 100.0);
  return range;
}

std::vector<double> TickValues(const AxisRange& range) {
  const double step = range.Step;
  std::vector<double> ticks;
  const double first = std::ceil(range.Min / step - 1e-9);
  for (double k = first; k * step <= range.Max + step * 1e-9 && ticks.size() < 20; k += 1.0) {
    // -0 would print as "-0".
    const double value = k * step;
    ticks.push_back(value == 0.0 ? 0.0 : value);
  }
  return ticks;
}

std::string TickLabel(const AxisRange& range, double value) {
  std::string label;
  AppendDecimal(value, TickDecimals(range), &label);
  return label;
}

double TextWidthBound(std::string_view text, double font_size) {
  double ems = 0.0;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      ems += 0.64;
    } else if (c == '.' || c == ',') {
      ems += 0.37;
    } else if (c == '-') {
      ems += 0.44;
    } else {
      ems += 1.1;
    }
  }
  return ems * font_size;
}

void FitMargins(PlotFrame* frame) {
  const PlotFrame defaults;
  double widest = 0.0;
  for (const double y : TickValues(frame->Y)) {
    widest = std::max(widest, TextWidthBound(TickLabel(frame->Y, y), kTickFontSize));
  }
  frame->Left = std::max(defaults.Left, kYTitleBand + widest + kTickGap);
  // An x label is centred on its tick; only the last can reach the right
  // edge, and the first stays right of the left one while Left exceeds its
  // half width.
  const std::vector<double> ticks = TickValues(frame->X);
  double half_last = 0.0;
  if (!ticks.empty()) {
    half_last = TextWidthBound(TickLabel(frame->X, ticks.back()), kTickFontSize) / 2.0;
    const double half_first =
        TextWidthBound(TickLabel(frame->X, ticks.front()), kTickFontSize) / 2.0;
    frame->Left = std::max(frame->Left, half_first - frame->Pad + 1.0);
  }
  frame->Right = std::max(defaults.Right, half_last - frame->Pad + 1.0);
}

double MapX(const PlotFrame& frame, double x) {
  const double inner = frame.Width - frame.Left - frame.Right - 2.0 * frame.Pad;
  return frame.Left + frame.Pad + (x - frame.X.Min) / (frame.X.Max - frame.X.Min) * inner;
}

double MapY(const PlotFrame& frame, double y) {
  const double inner = frame.Height - frame.Top - frame.Bottom - 2.0 * frame.Pad;
  return frame.Top + frame.Pad + (frame.Y.Max - y) / (frame.Y.Max - frame.Y.Min) * inner;
}

void OpenChart(const PlotFrame& frame, std::string_view clip_id,
               std::string_view label, std::string* out) {
  out->append("<svg class=\"chart\" width=\"");
  AppendPixel(frame.Width, out);
  out->append("\" height=\"");
  AppendPixel(frame.Height, out);
  out->append("\" viewBox=\"0 0 ");
  AppendPixel(frame.Width, out);
  out->push_back(' ');
  AppendPixel(frame.Height, out);
  // The chart sets its own font rather than inheriting the page's, so
  // that FitMargins' bound is about the font the labels are drawn in.
  out->append("\" font-family=\"sans-serif\" font-size=\"");
  AppendPixel(kTickFontSize, out);
  out->append("\" role=\"img\" aria-label=\"");
  AppendEscaped(label, out);
  out->append("\"><title>");
  AppendEscaped(label, out);
  out->append("</title><defs><clipPath id=\"");
  out->append(clip_id);
  out->append("\"><rect x=\"");
  AppendPixel(frame.Left, out);
  out->append("\" y=\"");
  AppendPixel(frame.Top, out);
  out->append("\" width=\"");
  AppendPixel(frame.Width - frame.Left - frame.Right, out);
  out->append("\" height=\"");
  AppendPixel(frame.Height - frame.Top - frame.Bottom, out);
  out->append("\"/></clipPath></defs>");
}

void AppendAxes(const PlotFrame& frame, std::string_view x_title,
                std::string_view y_title, std::string* out) {
  const double left = frame.Left;
  const double right = frame.Width - frame.Right;
  const double top = frame.Top;
  const double bottom = frame.Height - frame.Bottom;
  for (const double x : TickValues(frame.X)) {
    const double px = MapX(frame, x);
    AppendSegment(px, top, px, bottom, "grid", out);
    AppendText(px, bottom + kXLabelDrop, "middle", TickLabel(frame.X, x), "", out);
  }
  for (const double y : TickValues(frame.Y)) {
    const double py = MapY(frame, y);
    AppendSegment(left, py, right, py, "grid", out);
    AppendText(left - kTickGap, py + 4.0, "end", TickLabel(frame.Y, y), "", out);
  }
  out->append("<rect class=\"frame\"");
  AppendRectGeometry(left, top, right, bottom, out);
  std::string title_size = " class=\"axis-title\" font-size=\"";
  AppendPixel(kTitleFontSize, &title_size);
  title_size.append("\"");
  AppendText((left + right) / 2.0, frame.Height - 8.0, "middle", x_title, title_size, out);
  std::string rotate = title_size + " transform=\"rotate(-90 ";
  AppendPixel(kYTitleBaseline, &rotate);
  rotate.push_back(' ');
  AppendPixel((top + bottom) / 2.0, &rotate);
  rotate.append(")\"");
  AppendText(kYTitleBaseline, (top + bottom) / 2.0, "middle", y_title, rotate, out);
}

void AppendPolyline(const PlotFrame& frame, std::string_view clip_id,
                    const std::vector<DataPoint>& points,
                    std::string_view css_class, std::string* out) {
  // A point that is not finite has no pixel: the line breaks there rather
  // than bridge the gap, each stretch of two or more points drawn alone.
  std::vector<DataPoint> pixels;
  pixels.reserve(points.size());
  const auto draw = [&] {
    if (pixels.size() >= 2) {
      out->append("<polyline");
      AppendClass(css_class, out);
      AppendClip(clip_id, out);
      out->append(" points=\"");
      for (std::size_t i = 0; i < pixels.size(); ++i) {
        if (i > 0) out->push_back(' ');
        AppendPixel(pixels[i].first, out);
        out->push_back(',');
        AppendPixel(pixels[i].second, out);
      }
      out->append("\"/>");
    }
    pixels.clear();
  };
  for (const DataPoint& point : points) {
    const DataPoint pixel = {MapX(frame, point.first), MapY(frame, point.second)};
    if (std::isfinite(pixel.first) && std::isfinite(pixel.second)) {
      pixels.push_back(pixel);
    } else {
      draw();
    }
  }
  draw();
}

void AppendLineAcross(const PlotFrame& frame, std::string_view clip_id,
                      const DataPoint& a, const DataPoint& b,
                      std::string_view css_class, std::string* out) {
  const double dx = b.first - a.first;
  const double dy = b.second - a.second;
  AppendPolyline(frame, clip_id, {{a.first - dx, a.second - dy}, {b.first + dx, b.second + dy}},
                 css_class, out);
}

void AppendBar(const PlotFrame& frame, std::string_view clip_id, double x0,
               double x1, double y0, double y1, std::string_view css_class,
               std::string* out) {
  const double left = MapX(frame, x0);
  const double right = MapX(frame, x1);
  const double top = MapY(frame, y1);
  const double bottom = MapY(frame, y0);
  if (!AllFinite({left, right, top, bottom})) return;
  out->append("<rect");
  AppendClass(css_class, out);
  AppendClip(clip_id, out);
  AppendRectGeometry(left, top, right, bottom, out);
}

void AppendDot(const PlotFrame& frame, std::string_view clip_id,
               const DataPoint& point, double radius,
               std::string_view css_class, std::string_view tooltip,
               std::string* out) {
  const double x = MapX(frame, point.first);
  const double y = MapY(frame, point.second);
  if (!AllFinite({x, y, radius})) return;
  out->append("<circle");
  AppendClass(css_class, out);
  AppendClip(clip_id, out);
  out->append(" cx=\"");
  AppendPixel(x, out);
  out->append("\" cy=\"");
  AppendPixel(y, out);
  out->append("\" r=\"");
  AppendPixel(radius, out);
  if (tooltip.empty()) {
    out->append("\"/>");
    return;
  }
  out->append("\"><title>");
  AppendEscaped(tooltip, out);
  out->append("</title></circle>");
}

void AppendSegments(const PlotFrame& frame, std::string_view clip_id,
                    const std::vector<DataSegment>& segments,
                    std::string_view css_class, std::string* out) {
  std::string path;
  for (const auto& [a, b] : segments) {
    const double x0 = MapX(frame, a.first);
    const double y0 = MapY(frame, a.second);
    const double x1 = MapX(frame, b.first);
    const double y1 = MapY(frame, b.second);
    if (!AllFinite({x0, y0, x1, y1})) continue;
    path.push_back('M');
    AppendPixel(x0, &path);
    path.push_back(' ');
    AppendPixel(y0, &path);
    path.push_back('L');
    AppendPixel(x1, &path);
    path.push_back(' ');
    AppendPixel(y1, &path);
  }
  if (path.empty()) return;
  // Segments enclose nothing, but a path is filled black by default.
  out->append("<path");
  AppendClass(css_class, out);
  AppendClip(clip_id, out);
  out->append(" fill=\"none\" d=\"");
  out->append(path);
  out->append("\"/>");
}

void OpenClippedGroup(std::string_view clip_id, std::string* out) {
  out->append("<g");
  AppendClip(clip_id, out);
  out->append(">");
}

void CloseGroup(std::string* out) { out->append("</g>"); }

void CloseChart(std::string* out) { out->append("</svg>"); }

}  // namespace propsmooth
