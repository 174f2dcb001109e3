// Test helpers: regions without a GIS file. The plain-text export of a
// layer (tests/maps, one line per vertex) read back, and a generated
// municipality-like tiling of jittered hexagons with wiggly shared edges.
#ifndef PROPSMOOTH_TESTS_HTML_REGION_FIXTURES_H_
#define PROPSMOOTH_TESTS_HTML_REGION_FIXTURES_H_

#include <cstdint>
#include <string>

#include "geo/region_shapes.h"

namespace propsmooth {

/// Reads a tab-separated file with the header "id name polygon ring x y"
/// (polygons and rings numbered from 1 in order, the outer ring first,
/// no closing vertex) into `shapes`, marked geographic as `geographic`
/// says; false with `error` set when the file cannot be read or a line is
/// out of order.
bool ReadRegionFixture(const std::string& path, bool geographic, RegionShapes* shapes,
                       std::string* error);

/// `columns` x `rows` hexagons on a plane (metres, cells about 2 km
/// across), ids "M1", "M2", ... and names "Municipality 1", ...: every
/// corner jittered and every edge bent through `wiggles` points, both from
/// `seed` and the corner's or edge's own place, so that neighbours share
/// their boundary vertex for vertex, as a topologically clean layer does.
RegionShapes HexagonRegions(int columns, int rows, int wiggles, std::uint64_t seed);

}  // namespace propsmooth

#endif  // PROPSMOOTH_TESTS_HTML_REGION_FIXTURES_H_
