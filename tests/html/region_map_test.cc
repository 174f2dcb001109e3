// Maps of regions: the projection, outlines that neighbours share after
// simplification, the frame, colour classes and legend, hover texts and
// the outlines of discoveries.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "estimated_group.h"
#include "region_fixtures.h"
#include "svg_reading.h"
#include "html/group_maps.h"
#include "html/region_map.h"

namespace propsmooth {
namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<std::size_t> All(const RegionShapes& shapes) {
  std::vector<std::size_t> all(shapes.regions.size());
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
  return all;
}

RegionShapes NorthCarolina() {
  RegionShapes shapes;
  std::string error;
  EXPECT_TRUE(ReadRegionFixture(std::string(PROPSMOOTH_SOURCE_DIR) + "/tests/maps/nc_counties.tsv",
                                true, &shapes, &error))
      << error;
  return shapes;
}

// A square of side 100 with a wiggly square hole, and the island that
// fills the hole exactly: the two rings meet no third boundary, so they
// have no junction to cut them at.
RegionShapes SquareWithEnclave() {
  MapRing hole;
  for (int k = 0; k < 200; ++k) {
    const double a = 2.0 * kPi * k / 200.0;
    const double r = 20.0 + 0.4 * std::sin(17.0 * a);
    hole.push_back({50.0 + r * std::cos(a), 50.0 + r * std::sin(a)});
  }
  MapRing outer{{0, 0}, {100, 0}, {100, 100}, {0, 100}};
  RegionShapes shapes;
  shapes.regions.push_back({"1", "Outer", {{{outer, hole}}}});
  shapes.regions.push_back({"2", "Enclave", {{{MapRing(hole.rbegin(), hole.rend())}}}});
  return shapes;
}

// The number of rings the edges used by one ring only close into. A tiling
// without gaps leaves one such ring for each stretch of its outer
// boundary; a gap between two neighbours adds one of its own, bounded by
// the two sides that no longer match.
std::size_t OpenBoundaries(const RegionOutlines& outlines) {
  std::map<std::pair<GridPoint, GridPoint>, int> uses;
  for (const auto& rings : outlines.Rings) {
    for (const GridRing& ring : rings) {
      for (std::size_t i = 0; i < ring.size(); ++i) {
        GridPoint a = ring[i];
        GridPoint b = ring[(i + 1) % ring.size()];
        if (b < a) std::swap(a, b);
        ++uses[{a, b}];
      }
    }
  }
  // Components of the once-used edges, by union-find over their points.
  std::map<GridPoint, GridPoint> parent;
  const auto find = [&parent](GridPoint p) {
    while (!(parent.at(p) == p)) p = parent.at(p) = parent.at(parent.at(p));
    return p;
  };
  for (const auto& [edge, count] : uses) {
    if (count != 1) continue;
    parent.emplace(edge.first, edge.first);
    parent.emplace(edge.second, edge.second);
    parent[find(edge.first)] = find(edge.second);
  }
  std::set<GridPoint> roots;
  for (const auto& entry : parent) roots.insert(find(entry.first));
  return roots.size();
}

TEST(RegionMap, NeighboursShareTheirSimplifiedBoundary) {
  struct Row {
    const char* name;
    RegionShapes shapes;
    std::size_t boundaries;  // stretches of outer boundary in the layer
  };
  const std::vector<Row> rows = {
      {"hexagons without bends", HexagonRegions(12, 10, 0, 1), 1},
      {"hexagons with bends under a pixel", HexagonRegions(60, 50, 3, 7), 1},
      {"hexagons with bends over a pixel", HexagonRegions(8, 6, 5, 3), 1},
      {"enclave filling a hole", SquareWithEnclave(), 1},
      // sf's st_union of the counties (planar, s2 off) is 6 polygons
      // without holes: the mainland and five islands of the Outer Banks.
      {"North Carolina", NorthCarolina(), 6},
  };
  for (const Row& row : rows) {
    const RegionOutlines outlines = OutlineRegions(row.shapes, All(row.shapes), MapSize{});
    EXPECT_EQ(OpenBoundaries(outlines), row.boundaries) << row.name;
    for (std::size_t k = 0; k < outlines.Rings.size(); ++k) {
      EXPECT_FALSE(outlines.Rings[k].empty()) << row.name << ", region " << k;
    }
  }
}

// Simplification keeps what a reader can see and drops what they cannot:
// 3,000 hexagons bent through three points an edge, less than half a
// pixel off the straight edge at this size, come out as hexagons with a
// few bends left. Three maps of the page must stay well under a few MB.
TEST(RegionMap, SimplifiedSizesAreBounded) {
  struct Row {
    const char* name;
    RegionShapes shapes;
    double max_vertices_per_ring;
    std::size_t max_path_bytes;
  };
  const std::vector<Row> rows = {
      {"3,000 municipalities", HexagonRegions(60, 50, 3, 11), 12.0, 400000},
      {"North Carolina", NorthCarolina(), 25.0, 60000},
  };
  for (const Row& row : rows) {
    const RegionOutlines outlines = OutlineRegions(row.shapes, All(row.shapes), MapSize{});
    std::size_t vertices = 0;
    std::size_t rings = 0;
    std::size_t bytes = 0;
    std::size_t input_vertices = 0;
    for (const RegionShape& region : row.shapes.regions) {
      for (const MapPolygon& polygon : region.polygons) {
        for (const MapRing& ring : polygon.rings) input_vertices += ring.size();
      }
    }
    for (const auto& region : outlines.Rings) {
      for (const GridRing& ring : region) vertices += ring.size();
      rings += region.size();
      bytes += OutlinePath(region).size();
    }
    EXPECT_LT(vertices, input_vertices) << row.name;
    EXPECT_LE(static_cast<double>(vertices) / static_cast<double>(rings), row.max_vertices_per_ring)
        << row.name;
    EXPECT_LE(bytes, row.max_path_bytes) << row.name;
  }
}

// The drawn extent fills the frame: touching the margins on all four
// sides, as wide or as high as the frame allows, north up.
TEST(RegionMap, ExtentFillsTheFrame) {
  RegionShapes wide;
  wide.regions.push_back({"w", "wide", {{{{{0, 0}, {1000, 0}, {1000, 100}, {0, 100}}}}}});
  RegionShapes tall;
  tall.regions.push_back({"t", "tall", {{{{{0, 0}, {10, 0}, {10, 200}, {0, 200}}}}}});
  struct Row {
    const char* name;
    RegionShapes shapes;
    ProjectionKind projection;
    bool fills_width;
  };
  const std::vector<Row> rows = {
      {"wide, projected", wide, ProjectionKind::kAsIs, true},
      {"tall, projected", tall, ProjectionKind::kAsIs, false},
      // 33.9 to 36.6 degrees north, 84.3 to 75.5 west: wider than high.
      {"North Carolina, geographic", NorthCarolina(), ProjectionKind::kEqualAreaConic, true},
  };
  const MapSize size;
  const double margin = kMapMarginPixels * kMapGridPerPixel;
  for (const Row& row : rows) {
    const RegionOutlines outlines = OutlineRegions(row.shapes, All(row.shapes), size);
    EXPECT_EQ(outlines.Projection, row.projection) << row.name;
    std::int32_t min_x = INT32_MAX, min_y = INT32_MAX, max_x = INT32_MIN, max_y = INT32_MIN;
    for (const auto& region : outlines.Rings) {
      for (const GridRing& ring : region) {
        for (const GridPoint p : ring) {
          min_x = std::min(min_x, p.X);
          max_x = std::max(max_x, p.X);
          min_y = std::min(min_y, p.Y);
          max_y = std::max(max_y, p.Y);
        }
      }
    }
    EXPECT_EQ(min_x, margin) << row.name;
    EXPECT_EQ(min_y, margin) << row.name;
    EXPECT_NEAR(max_x, (outlines.Width - kMapMarginPixels) * kMapGridPerPixel, 1.0) << row.name;
    EXPECT_NEAR(max_y, (outlines.Height - kMapMarginPixels) * kMapGridPerPixel, 1.0) << row.name;
    EXPECT_NEAR(row.fills_width ? outlines.Width : outlines.Height,
                (row.fills_width ? size.MaxWidth : size.MaxHeight) + 2 * kMapMarginPixels, 1e-9)
        << row.name;
  }
  // North up: of two squares stacked, the upper (larger y) is drawn at
  // the frame's top (smaller grid y).
  RegionShapes stacked;
  stacked.regions.push_back({"n", "north", {{{{{0, 10}, {10, 10}, {10, 20}, {0, 20}}}}}});
  stacked.regions.push_back({"s", "south", {{{{{0, 0}, {10, 0}, {10, 10}, {0, 10}}}}}});
  const RegionOutlines outlines = OutlineRegions(stacked, {0, 1}, size);
  const auto max_y = [](const GridRing& ring) {
    return std::max_element(ring.begin(), ring.end(),
                            [](GridPoint a, GridPoint b) { return a.Y < b.Y; })->Y;
  };
  const auto min_y = [](const GridRing& ring) {
    return std::min_element(ring.begin(), ring.end(),
                            [](GridPoint a, GridPoint b) { return a.Y < b.Y; })->Y;
  };
  EXPECT_EQ(min_y(outlines.Rings[0][0]), margin);
  EXPECT_EQ(max_y(outlines.Rings[0][0]), min_y(outlines.Rings[1][0]));
}

// Islands on both sides of the antimeridian, stored split at +-180 as GIS
// files store them, are the same places as written with longitudes past
// 180: both layers must draw the same map. Whole and half degrees keep
// the wrapped longitudes exact, so the outlines match to the grid point.
// A layer crossing no antimeridian but with its widest gap elsewhere
// (here on the prime meridian's far side only) keeps its box.
TEST(RegionMap, LayersAcrossTheAntimeridianAreDrawnWhole) {
  const auto squares = [](bool split) {
    RegionShapes shapes;
    shapes.geographic = true;
    for (int k = 0; k < 8; ++k) {
      double west = 176.0 + k;
      if (split && west >= 180.0) west -= 360.0;
      const double south = -18.0 + 0.5 * (k % 3);
      shapes.regions.push_back({"i" + std::to_string(k), "island",
                                {{{{{west, south}, {west + 0.5, south},
                                    {west + 0.5, south + 1.5}, {west, south + 1.5}}}}}});
    }
    return shapes;
  };
  const RegionShapes whole = squares(false);
  const RegionShapes split = squares(true);
  const MapSize size;
  const RegionOutlines expected = OutlineRegions(whole, All(whole), size);
  const RegionOutlines drawn = OutlineRegions(split, All(split), size);
  EXPECT_EQ(drawn.Width, expected.Width);
  EXPECT_EQ(drawn.Height, expected.Height);
  EXPECT_EQ(drawn.Rings, expected.Rings);
  // Eight half-degree islands a degree apart across 8.5 degrees of
  // longitude at 17 degrees south, 2 degrees of latitude: wider than high,
  // so the map fills the frame's width, not a globe's width of sea.
  EXPECT_NEAR(drawn.Width, size.MaxWidth + 2 * kMapMarginPixels, 1e-9);
}

// The area of a ring in the projection's plane (shoelace).
double PlaneArea(const MapProjection& projection, const std::vector<MapPoint>& ring) {
  double twice = 0.0;
  for (std::size_t i = 0; i < ring.size(); ++i) {
    const MapPoint a = Project(projection, ring[i]);
    const MapPoint b = Project(projection, ring[(i + 1) % ring.size()]);
    twice += a.x * b.y - b.x * a.y;
  }
  return std::fabs(twice) / 2.0;
}

// A cell of longitude and latitude, its parallels traced in fine steps
// (the conic draws them as arcs).
std::vector<MapPoint> Cell(double west, double east, double south, double north) {
  std::vector<MapPoint> ring;
  for (int k = 0; k <= 400; ++k) ring.push_back({west + (east - west) * k / 400.0, south});
  for (int k = 0; k <= 400; ++k) ring.push_back({east - (east - west) * k / 400.0, north});
  return ring;
}

// The conic is equal-area: on the unit sphere a cell of longitude dl and
// latitudes f1..f2 has area dl (sin f2 - sin f1) (Archimedes' hat-box
// theorem), wherever it lies. The equirectangular plane of a narrow band
// keeps a small cell's shape at the mid latitude: dx / dy = cos(mid).
TEST(RegionMap, ProjectionKeepsAreasAndShapes) {
  struct Row {
    const char* name;
    MapBounds extent;
    bool geographic;
    ProjectionKind kind;
    std::vector<std::array<double, 4>> cells;  // west, east, south, north
  };
  const std::vector<Row> rows = {
      {"North Carolina", {-84.3, 33.9, -75.5, 36.6}, true, ProjectionKind::kEqualAreaConic,
       {{-84.0, -83.5, 34.0, 34.5}, {-76.0, -75.0, 36.0, 36.5}, {-80.0, -79.9, 35.0, 35.1}}},
      {"Scandinavia", {4.0, 54.0, 32.0, 71.0}, true, ProjectionKind::kEqualAreaConic,
       {{5.0, 6.0, 55.0, 56.0}, {25.0, 30.0, 69.0, 70.0}}},
      {"a band across the equator", {-10.0, -8.0, 10.0, 8.0}, true,
       ProjectionKind::kEquirectangular, {}},
      {"a city", {2.2, 48.8, 2.45, 48.95}, true, ProjectionKind::kEquirectangular,
       {{2.3, 2.31, 48.85, 48.86}}},
      {"metres", {400000, 6000000, 500000, 6100000}, false, ProjectionKind::kAsIs, {}},
  };
  constexpr double kRadians = kPi / 180.0;
  for (const Row& row : rows) {
    const MapProjection projection = ProjectionFor(row.extent, row.geographic);
    EXPECT_EQ(projection.Kind, row.kind) << row.name;
    for (const auto& [west, east, south, north] : row.cells) {
      if (projection.Kind == ProjectionKind::kEqualAreaConic) {
        const double sphere = (east - west) * kRadians *
                              (std::sin(north * kRadians) - std::sin(south * kRadians));
        EXPECT_NEAR(PlaneArea(projection, Cell(west, east, south, north)) / sphere, 1.0, 1e-5)
            << row.name << " cell at " << south;
      } else {
        const MapPoint a = Project(projection, {west, south});
        const MapPoint b = Project(projection, {east, north});
        EXPECT_NEAR((b.x - a.x) / (b.y - a.y), std::cos((south + north) / 2.0 * kRadians), 2e-3)
            << row.name;
      }
    }
  }
  const MapPoint same = Project(ProjectionFor({0, 0, 10, 10}, false), {3.5, -2.0});
  EXPECT_EQ(same.x, 3.5);
  EXPECT_EQ(same.y, -2.0);
}

// Path data: whole grid units, moves after the first relative, a minus
// sign standing for the separator.
TEST(RegionMap, OutlinePathText) {
  struct Row {
    const char* name;
    std::vector<GridRing> rings;
    const char* path;
  };
  const std::vector<Row> rows = {
      {"triangle", {{{0, 0}, {10, 0}, {10, -5}}}, "M0 0l10 0 0-5z"},
      {"two rings", {{{20, 30}, {25, 30}, {20, 34}}, {{1, 1}, {2, 1}, {1, 2}}},
       "M20 30l5 0-5 4zM1 1l1 0-1 1z"},
      {"none", {}, ""},
  };
  for (const Row& row : rows) EXPECT_EQ(OutlinePath(row.rings), row.path) << row.name;
}

// Quantile classes: break k of K at the value at index k n / K of the n
// sorted values, in percent to three digits, ties merged; a value on a
// break belongs to the class above it.
TEST(RegionMap, ClassBreaksAndLegend) {
  struct Row {
    const char* name;
    std::vector<double> values;
    std::size_t count;
    std::vector<double> breaks;
    std::vector<std::string> labels;
    double scale = 100.0;  // shown value per model value: percent
    std::string unit = "%";
  };
  const std::vector<Row> rows = {
      // Ten values 1%..10%, five classes: indices 2, 4, 6, 8.
      {"even", {0.01, 0.02, 0.03, 0.04, 0.05, 0.06, 0.07, 0.08, 0.09, 0.10}, 5,
       {0.03, 0.05, 0.07, 0.09},
       {"< 3%", "3 \u2013 5%", "5 \u2013 7%", "7 \u2013 9%", "\u2265 9%"}},
      // Index 1 of 3 is 0.0123456 -> 1.23%; index 2 is 0.0456789 -> 4.57%.
      {"rounded", {0.0456789, 0.0123456, 0.001}, 3, {0.0123, 0.0457},
       {"< 1.23%", "1.23 \u2013 4.57%", "\u2265 4.57%"}},
      // Indices 1 and 2 of four are 2%, the smallest value: a break there
      // would leave the class below it empty. Index 3 is 50%.
      {"ties", {0.02, 0.02, 0.02, 0.5}, 4, {0.5}, {"< 50%", "\u2265 50%"}},
      {"one value", {0.02, 0.02, std::nan("")}, 7, {}, {"all values"}},
      {"none", {}, 7, {}, {"all values"}},
      // SMRs are shown as they are: index 2 of four is 1.2345 -> 1.23.
      {"SMRs", {2.0, 0.5, 1.2345, 0.9}, 2, {1.23}, {"< 1.23", "\u2265 1.23"}, 1.0, ""},
      // Rates per 1,000: index 1 of two is 0.0041 -> 4.1 per 1,000.
      {"rates per 1,000", {0.00196, 0.0041}, 2, {0.0041},
       {"< 4.1 per 1,000", "\u2265 4.1 per 1,000"}, 1000.0, " per 1,000"},
  };
  for (const Row& row : rows) {
    const MapClasses classes = QuantileClasses(row.values, row.count, row.scale, row.unit);
    ASSERT_EQ(classes.Breaks.size(), row.breaks.size()) << row.name;
    for (std::size_t k = 0; k < row.breaks.size(); ++k) {
      EXPECT_NEAR(classes.Breaks[k], row.breaks[k], 1e-15) << row.name << " break " << k;
    }
    EXPECT_EQ(classes.Labels, row.labels) << row.name;
    EXPECT_EQ(classes.Colours.size(), row.labels.size()) << row.name;
  }
  const MapClasses fixed = FixedClasses({0.05, 0.2, 0.5, 0.8, 0.95});
  EXPECT_EQ(fixed.Labels, (std::vector<std::string>{"< 0.05", "0.05 \u2013 0.2", "0.2 \u2013 0.5",
                                                    "0.5 \u2013 0.8", "0.8 \u2013 0.95",
                                                    "\u2265 0.95"}));
  struct Membership {
    double value;
    std::size_t expected;
  };
  for (const Membership m : {Membership{0.0, 0}, Membership{0.0499, 0}, Membership{0.05, 1},
                             Membership{0.94, 4}, Membership{0.95, 5}, Membership{1.0, 5}}) {
    EXPECT_EQ(ClassOf(fixed, m.value), m.expected) << m.value;
  }
  // Viridis' ends and middle: the 1st, 5th and 9th of matplotlib's nine.
  EXPECT_EQ(SequentialColour(0.0), "#440154");
  EXPECT_EQ(SequentialColour(0.5), "#21908c");
  EXPECT_EQ(SequentialColour(1.0), "#fde725");
  EXPECT_EQ(fixed.Colours.front(), "#440154");
  EXPECT_EQ(fixed.Colours.back(), "#fde725");
}

// Three square regions in a row with ids "a", "b", "c".
RegionShapes ThreeSquares(const std::string& first_name) {
  RegionShapes shapes;
  const char* ids[] = {"a", "b", "c"};
  for (int k = 0; k < 3; ++k) {
    const double x = 10.0 * k;
    shapes.regions.push_back({ids[k], k == 0 ? first_name : std::string(ids[k]),
                              {{{{{x, 0}, {x + 10, 0}, {x + 10, 10}, {x, 10}}}}}});
  }
  return shapes;
}

// The <figure> elements of the page's HTML, whole (outline paths end in
// "/>", which Elements would stop at).
std::vector<std::string> Figures(const std::string& html) {
  std::vector<std::string> figures;
  for (std::size_t at = html.find("<figure>"); at != std::string::npos;
       at = html.find("<figure>", at + 1)) {
    figures.push_back(html.substr(at, html.find("</figure>", at) - at));
  }
  return figures;
}

std::vector<std::string> Titles(const std::string& figure) {
  std::vector<std::string> titles;
  for (const std::string& title : Elements(figure, "title")) titles.push_back(Content(title));
  return titles;
}

// The group's maps as the page shows them: names escaped on hover,
// discoveries outlined on the exceedance map only, records without a
// shape and shapes without a value said.
TEST(RegionMap, GroupMapsTitlesOutlinesAndNotes) {
  GroupView group = EstimatedGroup({{1, 100}, {9, 100}, {4, 100}, {30, 100}});
  const std::vector<std::string> ids = {"a", "b", "zz", "c"};
  for (const std::string& id : ids) group.Ids.push_back(id);
  group.Discoveries.resize(4);
  for (std::size_t i = 0; i < 4; ++i) {
    group.Discoveries[i].Tails = TailProbabilities{0.1 * static_cast<double>(i + 1), 0.0};
  }
  group.Discoveries[3].Discovery = true;
  const RegionShapes shapes = ThreeSquares("O'Brien <North> & Co");
  const RegionJoin join = JoinRegions(shapes, false);
  const std::string html = GroupMaps(group, join, 0.05);
  const std::vector<std::string> figures = Figures(html);
  ASSERT_EQ(figures.size(), 3u);
  // Raw: 1 of 100, 9 of 100 and (id c) 30 of 100; "zz" has no shape.
  EXPECT_NE(figures[0].find("<title>O&#39;Brien &lt;North&gt; &amp; Co (a): 1 of 100, raw "
                            "1.00%</title>"),
            std::string::npos);
  EXPECT_EQ(Titles(figures[0]).size(), 3u);
  EXPECT_NE(html.find("1 record whose id no region has"), std::string::npos);
  // Outlines: only on the exceedance map, around region c alone.
  struct Row {
    std::size_t figure;
    std::size_t outlined;
  };
  for (const Row row : {Row{0, 0}, Row{1, 0}, Row{2, 1}}) {
    std::size_t outlined = 0;
    for (const std::string& path : Elements(figures[row.figure], "path")) {
      outlined += path.find("<title>") == std::string::npos;
    }
    EXPECT_EQ(outlined, row.outlined) << "figure " << row.figure;
  }
  EXPECT_NE(figures[2].find("discovery</span>"), std::string::npos);
  EXPECT_NE(figures[2].find("<title>c: P(rate &gt; 5%) 0.4, discovery</title>"),
            std::string::npos);
  EXPECT_EQ(figures[0].find("no value"), std::string::npos);

  // One group: the whole layer, shapes without a record grey.
  GroupView two = EstimatedGroup({{1, 100}, {9, 100}});
  two.Ids = {"a", "b"};
  const std::string whole = GroupMaps(two, JoinRegions(shapes, true), std::nullopt);
  ASSERT_EQ(Figures(whole).size(), 2u);
  EXPECT_NE(whole.find("c: no record in the data"), std::string::npos);
  EXPECT_NE(whole.find("no value</span>"), std::string::npos);

  // Rates: the values are the figures' SMRs, not count over size, and the
  // maps speak of SMRs. Region a: 3 observed against 2 expected, raw 1.5,
  // EB 1.25; b: 1 against 4, raw 0.25, EB 0.75.
  GroupView rates = EstimatedGroup({{3, 100}, {1, 100}});
  rates.Ids = {"a", "b"};
  rates.Columns.Count = "deaths";
  rates.Columns.Size = "expected";
  RateView view;
  view.Expected = {2.0, 4.0};
  view.Figures.resize(2);
  view.Figures[0].Raw = 1.5;
  view.Figures[0].Eb = 1.25;
  view.Figures[1].Raw = 0.25;
  view.Figures[1].Eb = 0.75;
  rates.Rates = view;
  rates.Discoveries.resize(2);
  rates.Discoveries[0].Tails = TailProbabilities{0.97, 0.03};
  rates.Discoveries[0].Discovery = true;
  const std::vector<std::string> rate_maps = Figures(GroupMaps(rates, join, 1.0));
  ASSERT_EQ(rate_maps.size(), 3u);
  EXPECT_NE(rate_maps[0].find("<title>O&#39;Brien &lt;North&gt; &amp; Co (a): 3 observed, 2 "
                              "expected, raw 1.5</title>"),
            std::string::npos);
  EXPECT_NE(rate_maps[0].find("<b>Raw SMR</b> (deaths / expected)"), std::string::npos);
  EXPECT_NE(rate_maps[1].find("<title>b: EB 0.75</title>"), std::string::npos);
  EXPECT_NE(rate_maps[2].find("<b>P(SMR &gt; 1)</b>"), std::string::npos);
  for (const std::string& figure : rate_maps) {
    EXPECT_EQ(figure.find('%'), std::string::npos) << figure.substr(0, 200);
  }

  // With neighbours, a third map of the estimates shrunk towards each
  // neighbourhood, on the raw and EB maps' classes; a region without a
  // spatial estimate (NaN) is named without a value. Rates speak of SMRs.
  GroupView spatial = two;
  spatial.LocalEb = {0.02, std::nan("")};
  const std::vector<std::string> spatial_maps =
      Figures(GroupMaps(spatial, join, std::nullopt));
  ASSERT_EQ(spatial_maps.size(), 3u);
  EXPECT_NE(spatial_maps[0].find("raw, EB and spatial EB proportions together"),
            std::string::npos);
  EXPECT_NE(spatial_maps[2].find("<b>Spatial EB proportion</b>"), std::string::npos);
  EXPECT_NE(spatial_maps[2].find(": spatial EB 2.00%</title>"), std::string::npos);
  EXPECT_NE(spatial_maps[2].find("b: spatial EB \u2014</title>"), std::string::npos);
  // The raw map's legend (its classes; it has no region without a value)
  // opens the spatial map's, which adds the swatch of "no value".
  const std::string& raw_map = spatial_maps[0];
  const std::size_t legend = raw_map.find("<span class=\"item\">");
  ASSERT_NE(legend, std::string::npos);
  EXPECT_NE(spatial_maps[2].find(raw_map.substr(legend, raw_map.rfind("</span>") - legend)),
            std::string::npos);
  rates.LocalEb = {1.1, 0.9};
  const std::vector<std::string> rate_spatial = Figures(GroupMaps(rates, join, std::nullopt));
  ASSERT_EQ(rate_spatial.size(), 3u);
  EXPECT_NE(rate_spatial[2].find("<title>b: spatial EB 0.9</title>"), std::string::npos);
  EXPECT_NE(rate_spatial[2].find("<b>Spatial EB SMR</b>"), std::string::npos);

  GroupView no_ids = EstimatedGroup({{1, 100}, {9, 100}});
  EXPECT_NE(GroupMaps(no_ids, join, std::nullopt).find("no id column"), std::string::npos);
  EXPECT_EQ(GroupMaps(no_ids, RegionJoin{}, std::nullopt), "");
}

}  // namespace
}  // namespace propsmooth
