#include "region_fixtures.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <sstream>
#include <utility>

namespace propsmooth {
namespace {

std::uint64_t Mix(std::uint64_t x) {
  // splitmix64's finaliser: neighbouring keys give unrelated numbers.
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

// A number in [-1, 1) from a key.
double Unit(std::uint64_t key) {
  return static_cast<double>(Mix(key) >> 11) / 4503599627370496.0 - 1.0;
}

std::uint64_t CornerKey(std::int64_t x, std::int64_t y, std::uint64_t seed) {
  return Mix(seed ^ Mix(static_cast<std::uint64_t>(x) * 1000003ULL + static_cast<std::uint64_t>(y)));
}

}  // namespace

bool ReadRegionFixture(const std::string& path, bool geographic, RegionShapes* shapes,
                       std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = "cannot open " + path;
    return false;
  }
  shapes->regions.clear();
  shapes->geographic = geographic;
  std::string line;
  std::getline(in, line);
  if (line != "id\tname\tpolygon\tring\tx\ty") {
    *error = path + ": not the header id, name, polygon, ring, x, y";
    return false;
  }
  for (std::size_t number = 2; std::getline(in, line); ++number) {
    std::istringstream fields(line);
    std::string id;
    std::string name;
    std::size_t polygon = 0;
    std::size_t ring = 0;
    MapPoint point;
    if (!std::getline(fields, id, '\t') || !std::getline(fields, name, '\t') ||
        !(fields >> polygon >> ring >> point.x >> point.y) || polygon == 0 || ring == 0) {
      *error = path + ":" + std::to_string(number) + ": not id, name, polygon, ring, x, y";
      return false;
    }
    if (shapes->regions.empty() || shapes->regions.back().id != id) {
      shapes->regions.push_back({id, name, {}});
    }
    std::vector<MapPolygon>& polygons = shapes->regions.back().polygons;
    if (polygon == polygons.size() + 1) polygons.emplace_back();
    if (polygon != polygons.size()) {
      *error = path + ":" + std::to_string(number) + ": polygon out of order";
      return false;
    }
    std::vector<MapRing>& rings = polygons.back().rings;
    if (ring == rings.size() + 1) rings.emplace_back();
    if (ring != rings.size()) {
      *error = path + ":" + std::to_string(number) + ": ring out of order";
      return false;
    }
    rings.back().push_back(point);
  }
  return true;
}

RegionShapes HexagonRegions(int columns, int rows, int wiggles, std::uint64_t seed) {
  // Pointy-top hexagons on a lattice of whole numbers: the centre of cell
  // (c, r) is (2c + r mod 2, 3r) and its corners lie 1 across and 1 or 2
  // up or down, so a corner that three cells share has one key for all.
  constexpr double kAcross = 1000.0 * 0.8660254037844386;  // metres per lattice x
  constexpr double kUp = 500.0;                             // metres per lattice y
  const std::array<std::pair<int, int>, 6> corners{
      {{0, -2}, {1, -1}, {1, 1}, {0, 2}, {-1, 1}, {-1, -1}}};
  const auto corner_at = [seed](std::int64_t x, std::int64_t y) {
    const std::uint64_t key = CornerKey(x, y, seed);
    return MapPoint{static_cast<double>(x) * kAcross + 0.3 * kAcross * Unit(key),
                    static_cast<double>(y) * kUp + 0.3 * kUp * Unit(key + 1)};
  };
  RegionShapes shapes;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      const std::int64_t cx = 2 * c + (r & 1);
      const std::int64_t cy = 3 * r;
      MapRing ring;
      for (std::size_t k = 0; k < corners.size(); ++k) {
        const auto [ax, ay] = corners[k];
        const auto [bx, by] = corners[(k + 1) % corners.size()];
        const MapPoint a = corner_at(cx + ax, cy + ay);
        const MapPoint b = corner_at(cx + bx, cy + by);
        ring.push_back(a);
        // The edge's bends come from its ends in a fixed order, so the
        // cell on its other side, which walks it the other way, bends it
        // through the same points.
        std::pair<std::int64_t, std::int64_t> p{cx + ax, cy + ay};
        std::pair<std::int64_t, std::int64_t> q{cx + bx, cy + by};
        const bool flipped = q < p;
        if (flipped) std::swap(p, q);
        const MapPoint from = flipped ? b : a;
        const MapPoint to = flipped ? a : b;
        std::vector<MapPoint> bends;
        for (int w = 1; w <= wiggles; ++w) {
          const double t = static_cast<double>(w) / (wiggles + 1);
          const double offset = 0.08 * Unit(CornerKey(p.first * 7 + q.first, p.second * 7 + q.second,
                                                      seed + static_cast<std::uint64_t>(w)));
          bends.push_back({from.x + t * (to.x - from.x) - offset * (to.y - from.y),
                           from.y + t * (to.y - from.y) + offset * (to.x - from.x)});
        }
        if (flipped) std::reverse(bends.begin(), bends.end());
        ring.insert(ring.end(), bends.begin(), bends.end());
      }
      const int number = r * columns + c + 1;
      shapes.regions.push_back(
          {"M" + std::to_string(number), "Municipality " + std::to_string(number), {{{ring}}}});
    }
  }
  return shapes;
}

}  // namespace propsmooth
