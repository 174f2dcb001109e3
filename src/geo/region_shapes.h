#ifndef PROPSMOOTH_GEO_REGION_SHAPES_H_
#define PROPSMOOTH_GEO_REGION_SHAPES_H_

#include <cstddef>
#include <string>
#include <vector>

namespace propsmooth {

/// A point in the layer's own coordinates: degrees of longitude (x) and
/// latitude (y) when the layer is geographic, its projection's units
/// (metres, feet) otherwise.
struct MapPoint {
  double x = 0;
  double y = 0;
};

/// A closed ring without its closing point: the last point joins the first.
using MapRing = std::vector<MapPoint>;

/// One polygon: its outer ring first, then its holes.
struct MapPolygon {
  std::vector<MapRing> rings;
};

/// One region, that is one feature of the file: every polygon of it (a
/// multipolygon keeps its islands together) and the key that joins it to
/// the data's records.
struct RegionShape {
  /// The join key as the data's id column would spell it: a whole number
  /// stored as a real (37009.0) is "37009".
  std::string id;
  /// What a reader calls the region (hover text on a map); the id when the
  /// file names no other field.
  std::string name;
  std::vector<MapPolygon> polygons;
};

/// Every region of one layer, in the file's order.
struct RegionShapes {
  std::vector<RegionShape> regions;
  /// Coordinates are longitude and latitude in degrees, so a map must
  /// project them and distances are not planar.
  bool geographic = false;
};

/// The smallest axis-parallel box around a set of points; empty (min above
/// max) until a point is added.
struct MapBounds {
  double min_x = 1.0;
  double min_y = 1.0;
  double max_x = -1.0;
  double max_y = -1.0;

  bool Empty() const { return min_x > max_x; }
  void Add(MapPoint point);
};

/// Adds to `region` the polygon of `rings` (outer ring first, then its
/// holes), each ring as a file stores it: a last point equal to the first
/// closes the ring and is dropped. Empty holes are skipped; an empty outer
/// ring leaves the holes nothing to be holes of, so no polygon is added.
void AddPolygon(std::vector<MapRing> rings, RegionShape* region);

/// The box around every ring of every region; empty when there is no point.
MapBounds BoundsOf(const RegionShapes& shapes);

/// The box around one region.
MapBounds BoundsOf(const RegionShape& region);

}  // namespace propsmooth

#endif  // PROPSMOOTH_GEO_REGION_SHAPES_H_
