#include "geo/region_shapes.h"

#include <algorithm>
#include <utility>

namespace propsmooth {

void MapBounds::Add(MapPoint point) {
  if (Empty()) {
    min_x = max_x = point.x;
    min_y = max_y = point.y;
    return;
  }
  min_x = std::min(min_x, point.x);
  max_x = std::max(max_x, point.x);
  min_y = std::min(min_y, point.y);
  max_y = std::max(max_y, point.y);
}

void AddPolygon(std::vector<MapRing> rings, RegionShape* region) {
  MapPolygon polygon;
  for (std::size_t i = 0; i < rings.size(); ++i) {
    MapRing& ring = rings[i];
    if (ring.size() > 1 && ring.front().x == ring.back().x && ring.front().y == ring.back().y) {
      ring.pop_back();
    }
    if (ring.empty()) {
      if (i == 0) return;
      continue;
    }
    polygon.rings.push_back(std::move(ring));
  }
  if (!polygon.rings.empty()) region->polygons.push_back(std::move(polygon));
}

MapBounds BoundsOf(const RegionShape& region) {
  MapBounds bounds;
  for (const MapPolygon& polygon : region.polygons) {
    for (const MapRing& ring : polygon.rings) {
      for (MapPoint point : ring) bounds.Add(point);
    }
  }
  return bounds;
}

MapBounds BoundsOf(const RegionShapes& shapes) {
  MapBounds bounds;
  for (const RegionShape& region : shapes.regions) {
    MapBounds one = BoundsOf(region);
    if (one.Empty()) continue;
    bounds.Add({one.min_x, one.min_y});
    bounds.Add({one.max_x, one.max_y});
  }
  return bounds;
}

}  // namespace propsmooth
