#include "html/region_map.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <unordered_map>
#include <utility>

#include "html/html_text.h"

namespace propsmooth {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRadians = kPi / 180.0;

// Below this cone constant the conic's parallels are nearly straight and
// its scale runs away: a band across the equator is drawn equirectangular.
constexpr double kFlatCone = 0.05;

std::uint64_t KeyOf(GridPoint p) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(p.X)) << 32) |
         static_cast<std::uint32_t>(p.Y);
}

// The distinct points a vertex joins; more than two makes it a junction,
// where a shared boundary begins or ends.
struct VertexLinks {
  std::array<GridPoint, 2> Next{};
  std::uint8_t Count = 0;
  bool Junction = false;

  void Link(GridPoint other) {
    for (std::uint8_t i = 0; i < Count; ++i) {
      if (Next[i] == other) return;
    }
    if (Count < 2) {
      Next[Count++] = other;
    } else {
      Junction = true;
    }
  }
};

double SegmentDistanceSquared(GridPoint p, GridPoint a, GridPoint b) {
  const double dx = static_cast<double>(b.X) - a.X;
  const double dy = static_cast<double>(b.Y) - a.Y;
  const double px = static_cast<double>(p.X) - a.X;
  const double py = static_cast<double>(p.Y) - a.Y;
  const double length = dx * dx + dy * dy;
  double t = length > 0.0 ? (px * dx + py * dy) / length : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  const double ex = px - t * dx;
  const double ey = py - t * dy;
  return ex * ex + ey * ey;
}

// Douglas-Peucker on an open arc with both ends kept. The result depends
// on the order of the points (ties go to the first), so callers pass every
// arc in one canonical direction.
std::vector<GridPoint> SimplifyArc(const std::vector<GridPoint>& arc, double tolerance) {
  if (arc.size() <= 2) return arc;
  const double limit = tolerance * tolerance;
  std::vector<bool> keep(arc.size(), false);
  keep.front() = keep.back() = true;
  std::vector<std::pair<std::size_t, std::size_t>> spans{{0, arc.size() - 1}};
  while (!spans.empty()) {
    const auto [first, last] = spans.back();
    spans.pop_back();
    double farthest = -1.0;
    std::size_t at = first;
    for (std::size_t i = first + 1; i < last; ++i) {
      const double d = SegmentDistanceSquared(arc[i], arc[first], arc[last]);
      if (d > farthest) {
        farthest = d;
        at = i;
      }
    }
    if (farthest > limit) {
      keep[at] = true;
      spans.push_back({first, at});
      spans.push_back({at, last});
    }
  }
  std::vector<GridPoint> kept;
  for (std::size_t i = 0; i < arc.size(); ++i) {
    if (keep[i]) kept.push_back(arc[i]);
  }
  return kept;
}

// The arc simplified as its canonical direction gives it (from the smaller
// end, or for a loop from the smaller second point), then turned back.
std::vector<GridPoint> SimplifyCanonical(std::vector<GridPoint> arc, double tolerance) {
  const bool reverse = arc.back() < arc.front() ||
                       (arc.back() == arc.front() && arc.size() > 2 &&
                        arc[arc.size() - 2] < arc[1]);
  if (reverse) std::reverse(arc.begin(), arc.end());
  std::vector<GridPoint> kept = SimplifyArc(arc, tolerance);
  if (reverse) std::reverse(kept.begin(), kept.end());
  return kept;
}

// A ring that meets no other boundary at a junction: an island, or an
// enclave and the hole it fills, which must simplify alike. Both start at
// their smallest point and run towards its smaller neighbour.
GridRing SimplifyLoop(const GridRing& ring, double tolerance) {
  const std::size_t n = ring.size();
  const std::size_t start =
      static_cast<std::size_t>(std::min_element(ring.begin(), ring.end()) - ring.begin());
  const bool forward = ring[(start + 1) % n] < ring[(start + n - 1) % n];
  std::vector<GridPoint> arc;
  arc.reserve(n + 1);
  for (std::size_t k = 0; k <= n; ++k) {
    arc.push_back(forward ? ring[(start + k) % n] : ring[(start + n - k % n) % n]);
  }
  std::vector<GridPoint> kept = SimplifyArc(arc, tolerance);
  kept.pop_back();
  return kept;
}

GridRing SimplifyRing(const GridRing& ring,
                      const std::unordered_map<std::uint64_t, VertexLinks>& links,
                      double tolerance) {
  const std::size_t n = ring.size();
  const auto is_junction = [&](GridPoint p) {
    const VertexLinks& link = links.at(KeyOf(p));
    return link.Junction || link.Count < 2;
  };
  std::size_t start = n;
  for (std::size_t i = 0; i < n; ++i) {
    if (is_junction(ring[i])) {
      start = i;
      break;
    }
  }
  if (start == n) return SimplifyLoop(ring, tolerance);
  GridRing simplified;
  std::vector<GridPoint> arc{ring[start]};
  for (std::size_t k = 1; k <= n; ++k) {
    const GridPoint p = ring[(start + k) % n];
    arc.push_back(p);
    if (k == n || is_junction(p)) {
      const std::vector<GridPoint> kept = SimplifyCanonical(arc, tolerance);
      simplified.insert(simplified.end(), kept.begin(), kept.end() - 1);
      arc.assign(1, p);
    }
  }
  return simplified;
}

// The ring on the grid: consecutive repeats (the closing point too) merged.
GridRing SnapRing(const std::vector<MapPoint>& projected, double scale, double min_x,
                  double max_y) {
  GridRing ring;
  ring.reserve(projected.size());
  const double grid = scale * kMapGridPerPixel;
  const double margin = kMapMarginPixels * kMapGridPerPixel;
  for (const MapPoint& p : projected) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) continue;
    const GridPoint g{static_cast<std::int32_t>(std::lround(margin + (p.x - min_x) * grid)),
                      static_cast<std::int32_t>(std::lround(margin + (max_y - p.y) * grid))};
    if (ring.empty() || !(ring.back() == g)) ring.push_back(g);
  }
  while (ring.size() > 1 && ring.back() == ring.front()) ring.pop_back();
  return ring;
}

void AppendInteger(std::int64_t value, bool first, std::string* out) {
  if (!first && value >= 0) out->push_back(' ');
  out->append(std::to_string(value));
}

// Viridis at nine even steps (matplotlib's table, as R's viridis(9) gives
// it); between them linear in RGB, closer than a reader can tell.
constexpr std::array<std::array<int, 3>, 9> kViridis{{{0x44, 0x01, 0x54},
                                                      {0x47, 0x2D, 0x7B},
                                                      {0x3B, 0x52, 0x8B},
                                                      {0x2C, 0x72, 0x8E},
                                                      {0x21, 0x90, 0x8C},
                                                      {0x27, 0xAD, 0x81},
                                                      {0x5D, 0xC8, 0x63},
                                                      {0xAA, 0xDC, 0x32},
                                                      {0xFD, 0xE7, 0x25}}};

constexpr const char* kNoValueColour = "#c8c8c8";

// A number as the legend shows it: three significant digits.
std::string ThreeDigits(double value) {
  std::string text;
  AppendRounded(value, 3, &text);
  return text;
}

MapClasses ClassesFrom(std::vector<double> breaks, std::string_view unit) {
  MapClasses classes;
  classes.Breaks = std::move(breaks);
  const std::size_t count = classes.Breaks.size() + 1;
  for (std::size_t k = 0; k < count; ++k) {
    classes.Colours.push_back(
        SequentialColour(count == 1 ? 0.5 : static_cast<double>(k) / static_cast<double>(count - 1)));
    std::string label;
    if (count == 1) {
      label = "all values";
    } else if (k == 0) {
      label = "< " + ThreeDigits(classes.Breaks[0]) + std::string(unit);
    } else if (k + 1 == count) {
      label = "\u2265 " + ThreeDigits(classes.Breaks[k - 1]) + std::string(unit);
    } else {
      label = ThreeDigits(classes.Breaks[k - 1]) + " \u2013 " + ThreeDigits(classes.Breaks[k]) +
              std::string(unit);
    }
    classes.Labels.push_back(std::move(label));
  }
  return classes;
}

void AppendSwatch(std::string_view colour, std::string_view border, std::string_view text,
                  std::string* html) {
  html->append(" <span class=\"item\"><span style=\"display:inline-block;width:12px;"
               "height:12px;vertical-align:middle;margin-right:3px;background:");
  html->append(colour);
  html->append(";border:");
  html->append(border);
  html->append("\"></span>");
  AppendEscaped(text, html);
  html->append("</span>");
}

// The longitudes a geographic layer covers, as one arc of the circle:
// the arc left when the widest stretch no polygon touches is cut out.
// Layers on both sides of the antimeridian (Fiji, the Aleutians) store
// their polygons split at +-180, so their box spans the globe and its
// middle lies on the far side of the earth; the arc then runs past 180
// (max_x above 180), and Project wraps the longitudes onto it. A layer
// whose widest gap is the one across the antimeridian keeps its box.
void CoverLongitudes(const RegionShapes& shapes, const std::vector<std::size_t>& selected,
                     MapBounds* extent) {
  std::vector<std::pair<double, double>> spans;
  for (const std::size_t index : selected) {
    for (const MapPolygon& polygon : shapes.regions[index].polygons) {
      if (polygon.rings.empty() || polygon.rings.front().empty()) continue;
      double low = std::numeric_limits<double>::infinity();
      double high = -low;
      for (const MapPoint p : polygon.rings.front()) {
        if (!std::isfinite(p.x)) continue;
        low = std::min(low, p.x);
        high = std::max(high, p.x);
      }
      if (low <= high) spans.emplace_back(low, high);
    }
  }
  if (spans.size() < 2) return;
  std::sort(spans.begin(), spans.end());
  double widest = spans.front().first + 360.0 - extent->max_x;  // across the antimeridian
  double reach = spans.front().second;
  std::optional<std::pair<double, double>> cut;
  for (std::size_t i = 1; i < spans.size(); ++i) {
    if (spans[i].first - reach > widest) {
      widest = spans[i].first - reach;
      cut = std::pair(reach, spans[i].first);
    }
    reach = std::max(reach, spans[i].second);
  }
  if (!cut) return;
  extent->min_x = cut->second;
  extent->max_x = cut->first + 360.0;
}

}  // namespace

MapProjection ProjectionFor(const MapBounds& bounds, bool geographic) {
  MapProjection projection;
  if (!geographic || bounds.Empty()) return projection;
  projection.CentralLongitude = (bounds.min_x + bounds.max_x) / 2.0;
  const double span = bounds.max_y - bounds.min_y;
  const double lower = std::clamp(bounds.min_y + span / 6.0, -89.0, 89.0) * kRadians;
  const double upper = std::clamp(bounds.max_y - span / 6.0, -89.0, 89.0) * kRadians;
  const double n = (std::sin(lower) + std::sin(upper)) / 2.0;
  if (span < 0.5 || std::fabs(n) < kFlatCone) {
    projection.Kind = ProjectionKind::kEquirectangular;
    projection.CosMid = std::cos((bounds.min_y + bounds.max_y) / 2.0 * kRadians);
    return projection;
  }
  projection.Kind = ProjectionKind::kEqualAreaConic;
  projection.N = n;
  projection.C = std::cos(lower) * std::cos(lower) + 2.0 * n * std::sin(lower);
  const double origin = (bounds.min_y + bounds.max_y) / 2.0 * kRadians;
  projection.Rho0 = std::sqrt(std::max(0.0, projection.C - 2.0 * n * std::sin(origin))) / n;
  return projection;
}

namespace {

// Degrees east of the central meridian, the short way round: a point of
// a layer that straddles the antimeridian lies within 180 degrees of its
// centre only after wrapping. A layer that needs no wrap is projected
// exactly as before.
double EastOfCentre(const MapProjection& projection, double longitude) {
  double east = longitude - projection.CentralLongitude;
  if (east > 180.0) east -= 360.0;
  if (east < -180.0) east += 360.0;
  return east;
}

}  // namespace

MapPoint Project(const MapProjection& projection, MapPoint point) {
  switch (projection.Kind) {
    case ProjectionKind::kAsIs:
      return point;
    case ProjectionKind::kEquirectangular:
      return {EastOfCentre(projection, point.x) * kRadians * projection.CosMid,
              point.y * kRadians};
    case ProjectionKind::kEqualAreaConic: {
      const double n = projection.N;
      const double rho =
          std::sqrt(std::max(0.0, projection.C - 2.0 * n * std::sin(point.y * kRadians))) / n;
      const double theta = n * EastOfCentre(projection, point.x) * kRadians;
      return {rho * std::sin(theta), projection.Rho0 - rho * std::cos(theta)};
    }
  }
  return point;
}

RegionOutlines OutlineRegions(const RegionShapes& shapes, const std::vector<std::size_t>& selected,
                              const MapSize& size) {
  RegionOutlines outlines;
  MapBounds extent;
  for (const std::size_t index : selected) {
    const MapBounds one = BoundsOf(shapes.regions[index]);
    if (one.Empty()) continue;
    extent.Add({one.min_x, one.min_y});
    extent.Add({one.max_x, one.max_y});
  }
  if (shapes.geographic && !extent.Empty()) CoverLongitudes(shapes, selected, &extent);
  const MapProjection projection = ProjectionFor(extent, shapes.geographic);
  outlines.Projection = projection.Kind;

  // Projected first: a conic bends the parallels, so the frame follows the
  // projected points, not the corners of the layer's box.
  std::vector<std::vector<std::vector<MapPoint>>> projected(selected.size());
  MapBounds plane;
  for (std::size_t k = 0; k < selected.size(); ++k) {
    for (const MapPolygon& polygon : shapes.regions[selected[k]].polygons) {
      for (const MapRing& ring : polygon.rings) {
        std::vector<MapPoint>& out = projected[k].emplace_back();
        out.reserve(ring.size());
        for (const MapPoint p : ring) {
          const MapPoint q = Project(projection, p);
          out.push_back(q);
          if (std::isfinite(q.x) && std::isfinite(q.y)) plane.Add(q);
        }
      }
    }
  }
  outlines.Rings.resize(selected.size());
  if (plane.Empty()) return outlines;
  const double dx = plane.max_x - plane.min_x;
  const double dy = plane.max_y - plane.min_y;
  if (!(dx > 0.0) && !(dy > 0.0)) return outlines;
  constexpr double kUnbounded = std::numeric_limits<double>::infinity();
  const double scale = std::min(dx > 0.0 ? size.MaxWidth / dx : kUnbounded,
                                dy > 0.0 ? size.MaxHeight / dy : kUnbounded);
  if (!std::isfinite(scale)) return outlines;
  outlines.Width = dx * scale + 2.0 * kMapMarginPixels;
  outlines.Height = dy * scale + 2.0 * kMapMarginPixels;

  std::vector<std::vector<GridRing>> snapped(selected.size());
  std::unordered_map<std::uint64_t, VertexLinks> links;
  for (std::size_t k = 0; k < selected.size(); ++k) {
    for (const std::vector<MapPoint>& ring : projected[k]) {
      GridRing grid = SnapRing(ring, scale, plane.min_x, plane.max_y);
      if (grid.size() < 3) continue;
      for (std::size_t i = 0; i < grid.size(); ++i) {
        const GridPoint here = grid[i];
        VertexLinks& link = links[KeyOf(here)];
        link.Link(grid[(i + 1) % grid.size()]);
        link.Link(grid[(i + grid.size() - 1) % grid.size()]);
      }
      snapped[k].push_back(std::move(grid));
    }
  }
  const double tolerance = kMapTolerancePixels * kMapGridPerPixel;
  for (std::size_t k = 0; k < selected.size(); ++k) {
    for (const GridRing& ring : snapped[k]) {
      GridRing simplified = SimplifyRing(ring, links, tolerance);
      // A ring that shrinks below three points is under a pixel across;
      // its neighbour's hole (the same ring) goes with it.
      if (simplified.size() >= 3) outlines.Rings[k].push_back(std::move(simplified));
    }
  }
  return outlines;
}

std::string OutlinePath(const std::vector<GridRing>& rings) {
  std::string path;
  for (const GridRing& ring : rings) {
    path.push_back('M');
    AppendInteger(ring[0].X, true, &path);
    AppendInteger(ring[0].Y, false, &path);
    path.push_back('l');
    for (std::size_t i = 1; i < ring.size(); ++i) {
      AppendInteger(static_cast<std::int64_t>(ring[i].X) - ring[i - 1].X, i == 1, &path);
      AppendInteger(static_cast<std::int64_t>(ring[i].Y) - ring[i - 1].Y, false, &path);
    }
    path.push_back('z');
  }
  return path;
}

std::size_t ClassOf(const MapClasses& classes, double value) {
  return static_cast<std::size_t>(
      std::upper_bound(classes.Breaks.begin(), classes.Breaks.end(), value) -
      classes.Breaks.begin());
}

std::string SequentialColour(double t) {
  t = std::clamp(std::isfinite(t) ? t : 0.0, 0.0, 1.0);
  const double position = t * static_cast<double>(kViridis.size() - 1);
  const std::size_t low = std::min(static_cast<std::size_t>(position), kViridis.size() - 2);
  const double f = position - static_cast<double>(low);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string colour = "#";
  for (std::size_t c = 0; c < 3; ++c) {
    const double v = kViridis[low][c] + f * (kViridis[low + 1][c] - kViridis[low][c]);
    const int byte = static_cast<int>(std::lround(v));
    colour.push_back(kHex[byte >> 4]);
    colour.push_back(kHex[byte & 15]);
  }
  return colour;
}

MapClasses QuantileClasses(std::vector<double> values, std::size_t count, double scale,
                           std::string_view unit) {
  values.erase(std::remove_if(values.begin(), values.end(),
                              [](double v) { return !std::isfinite(v); }),
               values.end());
  std::sort(values.begin(), values.end());
  std::vector<double> breaks;
  for (std::size_t k = 1; k < count && !values.empty(); ++k) {
    const double quantile = values[k * values.size() / count];
    // The break a reader sees is the break used: rounded, then read back.
    const double shown = std::strtod(ThreeDigits(quantile * scale).c_str(), nullptr) / scale;
    // A break at or below the smallest value would leave its class empty.
    if (shown <= values.front()) continue;
    if (breaks.empty() || shown > breaks.back()) breaks.push_back(shown);
  }
  // Labelled in shown values (percent, rates per --per); classified in the
  // model's own values, as they come.
  std::vector<double> labels;
  for (const double b : breaks) labels.push_back(b * scale);
  MapClasses classes = ClassesFrom(std::move(labels), unit);
  classes.Breaks = std::move(breaks);
  return classes;
}

MapClasses FixedClasses(const std::vector<double>& breaks) { return ClassesFrom(breaks, ""); }

void AppendRegionMap(const RegionOutlines& outlines, const std::vector<std::string>& paths,
                     const std::vector<MapEntry>& entries, const MapClasses& classes,
                     const MapLegend& legend, std::string* html) {
  const auto width = static_cast<long>(std::ceil(outlines.Width));
  const auto height = static_cast<long>(std::ceil(outlines.Height));
  html->append("<figure><svg class=\"chart\" viewBox=\"0 0 ");
  html->append(std::to_string(width));
  html->push_back(' ');
  html->append(std::to_string(height));
  html->append("\" role=\"img\" aria-label=\"");
  AppendEscaped(legend.Label, html);
  // The grid's units inside; a thin light stroke closes the hairline seams
  // that anti-aliasing leaves between neighbouring fills.
  html->append("\"><g transform=\"scale(.1)\" stroke=\"#fff\" stroke-width=\"2\" "
               "stroke-linejoin=\"round\" fill-rule=\"evenodd\">");
  // One group per colour: the fill is written once, not once a region.
  const std::size_t none = classes.Colours.size();
  std::vector<std::vector<std::size_t>> by_class(none + 1);
  bool any_missing = false;
  bool any_outlined = false;
  for (std::size_t e = 0; e < entries.size(); ++e) {
    const MapEntry& entry = entries[e];
    if (paths[entry.Outline].empty()) continue;
    const bool value = entry.Value && std::isfinite(*entry.Value);
    by_class[value ? ClassOf(classes, *entry.Value) : none].push_back(e);
    any_missing = any_missing || !value;
    any_outlined = any_outlined || entry.Outlined;
  }
  for (std::size_t c = 0; c <= none; ++c) {
    if (by_class[c].empty()) continue;
    html->append("<g fill=\"");
    html->append(c == none ? kNoValueColour : classes.Colours[c]);
    html->append("\">");
    for (const std::size_t e : by_class[c]) {
      html->append("<path d=\"");
      html->append(paths[entries[e].Outline]);
      html->append("\"><title>");
      AppendEscaped(entries[e].Title, html);
      html->append("</title></path>");
    }
    html->append("</g>");
  }
  html->append("</g>");
  if (any_outlined) {
    // On top of every fill, so no neighbour covers half the outline.
    html->append("<g transform=\"scale(.1)\" fill=\"none\" stroke=\"#000\" "
                 "stroke-width=\"16\" stroke-linejoin=\"round\" pointer-events=\"none\">");
    for (const MapEntry& entry : entries) {
      if (!entry.Outlined || paths[entry.Outline].empty()) continue;
      html->append("<path d=\"");
      html->append(paths[entry.Outline]);
      html->append("\"/>");
    }
    html->append("</g>");
  }
  html->append("</svg><figcaption>");
  html->append(legend.CaptionHtml);
  html->append("<br>");
  for (std::size_t c = 0; c < classes.Colours.size(); ++c) {
    AppendSwatch(classes.Colours[c], "1px solid #888", classes.Labels[c], html);
  }
  if (any_missing) AppendSwatch(kNoValueColour, "1px solid #888", "no value", html);
  if (any_outlined && !legend.OutlinedText.empty()) {
    AppendSwatch("#fff", "2px solid #000", legend.OutlinedText, html);
  }
  html->append("</figcaption></figure>\n");
}

}  // namespace propsmooth
