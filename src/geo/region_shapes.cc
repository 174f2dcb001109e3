#include "geo/region_shapes.h"

#include <algorithm>

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
