#include "geo/region_shapes.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

// Rings given as stored (a GIS file's or shapely's, closing point repeated
// or not), and the rings a region must hold after AddPolygon, by count of
// points; an empty `kept` means no polygon at all.
struct PolygonCase {
  std::string name;
  std::vector<MapRing> rings;
  std::vector<std::size_t> kept;
};

TEST(AddPolygon, KeepsRingsAsTheNeighboursNeedThem) {
  const MapRing closed = {{0, 0}, {1, 0}, {1, 1}, {0, 0}};
  const MapRing open = {{0, 0}, {1, 0}, {1, 1}};
  const MapRing hole = {{0.2, 0.2}, {0.4, 0.2}, {0.4, 0.4}, {0.2, 0.2}};
  const std::vector<PolygonCase> cases = {
      {"closing point dropped", {closed}, {3}},
      {"open ring kept whole", {open}, {3}},
      {"hole closed the same way", {closed, hole}, {3, 3}},
      {"empty hole skipped", {closed, {}, hole}, {3, 3}},
      {"empty outer ring: no polygon", {{}, hole}, {}},
      {"no rings: no polygon", {}, {}},
      {"one point stays", {{{5, 5}}}, {1}},
      // Only an equal last point closes: a ring that ends elsewhere keeps it.
      {"near closing point kept", {{{0, 0}, {1, 0}, {1, 1}, {0, 1e-300}}}, {4}},
  };
  for (const PolygonCase& row : cases) {
    RegionShape region;
    region.polygons.push_back({{{{9, 9}}}});  // an earlier polygon stays first
    AddPolygon(row.rings, &region);
    ASSERT_EQ(region.polygons.size(), row.kept.empty() ? 1u : 2u) << row.name;
    if (row.kept.empty()) continue;
    std::vector<std::size_t> sizes;
    for (const MapRing& ring : region.polygons[1].rings) sizes.push_back(ring.size());
    EXPECT_EQ(sizes, row.kept) << row.name;
    EXPECT_EQ(region.polygons[1].rings[0][0].x, row.rings[0][0].x) << row.name;
  }
}

}  // namespace
}  // namespace propsmooth
