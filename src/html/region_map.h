// Choropleth maps of regions as inline SVG: a projection for the layer's
// extent, outlines simplified to the drawn size without gaps between
// neighbours, colour classes and their legend.
#ifndef PROPSMOOTH_HTML_REGION_MAP_H_
#define PROPSMOOTH_HTML_REGION_MAP_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "geo/region_shapes.h"

namespace propsmooth {

/// Grid units per pixel: outlines are snapped to this grid, so that a
/// vertex two neighbours share is one point, and written as whole numbers.
inline constexpr double kMapGridPerPixel = 10.0;

/// The largest distance, in pixels, by which a simplified outline may stray
/// from the true one: below what a reader can see at the drawn size.
inline constexpr double kMapTolerancePixels = 0.5;

/// Blank pixels around the drawn extent, so that outlines at its edge are
/// not cut by the frame.
inline constexpr double kMapMarginPixels = 2.0;

/// How coordinates become a plane before they are scaled to the frame.
enum class ProjectionKind {
  kAsIs,             // projected coordinates, used as they are (y up)
  kEqualAreaConic,   // Albers' equal-area conic on the sphere
  kEquirectangular,  // longitude scaled by the cosine of the mid latitude
};

/// A projection chosen for one extent.
struct MapProjection {
  ProjectionKind Kind = ProjectionKind::kAsIs;
  double CentralLongitude = 0.0;  // degrees
  // The conic's cone constant, C and rho at the origin (unit sphere).
  double N = 0.0;
  double C = 0.0;
  double Rho0 = 0.0;
  double CosMid = 1.0;  // equirectangular: cos of the mid latitude
};

/// The projection for a layer whose points lie in `bounds`: as they are
/// for projected coordinates; for longitude and latitude, Albers'
/// equal-area conic with standard parallels a sixth of the latitude range
/// inside its ends, or, for a range under half a degree or one that
/// straddles the equator (where the cone flattens), equirectangular.
/// Longitudes may run past 180 (a layer across the antimeridian).
MapProjection ProjectionFor(const MapBounds& bounds, bool geographic);

/// `point` in the projection's plane, y up (radians of the unit sphere
/// for the geographic ones, the layer's units otherwise); longitudes are
/// taken the short way round from the central meridian.
MapPoint Project(const MapProjection& projection, MapPoint point);

/// A point of the snapped grid (kMapGridPerPixel units per pixel, y down).
struct GridPoint {
  std::int32_t X = 0;
  std::int32_t Y = 0;
  friend bool operator==(GridPoint a, GridPoint b) { return a.X == b.X && a.Y == b.Y; }
  friend bool operator<(GridPoint a, GridPoint b) { return a.X < b.X || (a.X == b.X && a.Y < b.Y); }
};

/// A closed ring on the grid, without its closing point.
using GridRing = std::vector<GridPoint>;

/// The largest frame a map may take, in pixels.
struct MapSize {
  double MaxWidth = 560.0;
  double MaxHeight = 460.0;
};

/// Regions ready to draw: their rings on the grid, every polygon's outer
/// ring and holes alike (drawn with the even-odd rule).
struct RegionOutlines {
  double Width = 0.0;   // the frame in pixels, margins included
  double Height = 0.0;
  ProjectionKind Projection = ProjectionKind::kAsIs;
  /// One entry per region asked for, in that order; empty for a region
  /// smaller than the tolerance, which the map cannot show.
  std::vector<std::vector<GridRing>> Rings;
};

/// The outlines of `shapes.regions[selected[k]]` for every k, projected
/// for their common extent, scaled so that the extent fills a frame within
/// `size` and simplified to kMapTolerancePixels. A boundary that neighbours
/// share (the same vertices, which the snapping to the grid makes exactly
/// equal) comes out the same for both: the rings are cut into arcs where
/// three or more edges meet, and each arc is simplified once in one
/// direction, whichever ring it belongs to, so neighbours never part.
/// Empty outlines (Width 0) when the regions have no extent.
RegionOutlines OutlineRegions(const RegionShapes& shapes, const std::vector<std::size_t>& selected,
                              const MapSize& size);

/// SVG path data for `rings`: whole grid units, relative moves after each
/// ring's first point.
std::string OutlinePath(const std::vector<GridRing>& rings);

/// Colour classes of values: class k holds values from Breaks[k - 1]
/// (included) up to Breaks[k]; the first has no lower bound and the last
/// no upper one.
struct MapClasses {
  std::vector<double> Breaks;          // ascending, distinct
  std::vector<std::string> Colours;    // Breaks.size() + 1
  std::vector<std::string> Labels;     // the legend's text for each class
};

/// The class of `value` (finite) in `classes`.
std::size_t ClassOf(const MapClasses& classes, double value);

/// A colour of the viridis palette (sequential, colour-blind safe, readable
/// in grey) at `t` in [0, 1], as #rrggbb.
std::string SequentialColour(double t);

/// Up to `count` classes of proportions holding about equal numbers of
/// `values` (the finite ones): breaks at their quantiles, rounded to three
/// significant digits of the shown value (`scale` times the value: percent
/// by default), ties merged. Labels in shown values with `unit` after them:
/// "< 1.2%", "1.2 – 1.5%", "≥ 3.1%"; rates: `scale` their --per, no unit.
MapClasses QuantileClasses(std::vector<double> values, std::size_t count, double scale = 100.0,
                           std::string_view unit = "%");

/// Classes at fixed `breaks` (ascending) of probabilities, labelled
/// "< 0.05", "0.05 – 0.2", "≥ 0.95".
MapClasses FixedClasses(const std::vector<double>& breaks);

/// One region as a map shows it.
struct MapEntry {
  std::size_t Outline = 0;        // index into RegionOutlines::Rings
  std::optional<double> Value;    // none: drawn grey as "no value"
  bool Outlined = false;          // drawn with a heavy outline on top
  std::string Title;              // hover text, plain (escaped when written)
};

/// What a map says beside its regions.
struct MapLegend {
  std::string_view Label;          // the SVG's description for screen readers
  std::string CaptionHtml;         // the figure's caption before the legend
  std::string_view OutlinedText;   // legend text of the outline; empty: none
};

/// Appends a <figure> with the map of `entries` over `outlines` (whose
/// path data `paths` holds, one per outline), coloured by `classes`, and
/// its legend: one swatch per class, "no value" when a region has none,
/// and the outline when one is drawn. No script: the region names show on
/// hover through <title>.
void AppendRegionMap(const RegionOutlines& outlines, const std::vector<std::string>& paths,
                     const std::vector<MapEntry>& entries, const MapClasses& classes,
                     const MapLegend& legend, std::string* html);

}  // namespace propsmooth

#endif  // PROPSMOOTH_HTML_REGION_MAP_H_
