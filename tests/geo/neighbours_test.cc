#include "geo/neighbours.h"

#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

// The fixtures of data/ come from R (data/export_nc.R, see data/README.md):
// North Carolina's 100 counties from sf's nc.shp and spdep's neighbours of
// them.
std::string DataPath(const std::string& name) { return std::string(PROPSMOOTH_GEO_DATA) + "/" + name; }

std::string FileText(const std::string& name) {
  std::ifstream in(DataPath(name), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The counties' vertices as the map tests have them (tests/maps, written by
// R from the same nc.shp): "id<TAB>name<TAB>polygon<TAB>ring<TAB>x<TAB>y".
RegionShapes ReadPolygons() {
  std::istringstream in(FileText("../../maps/nc_counties.tsv"));
  std::string line;
  std::getline(in, line);
  RegionShapes shapes;
  shapes.geographic = true;
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::istringstream fields(line);
    for (std::string cell; std::getline(fields, cell, '\t');) cells.push_back(cell);
    if (cells.size() != 6) continue;
    const std::string& id = cells[0];
    const std::size_t polygon = std::stoul(cells[2]);
    const std::size_t ring = std::stoul(cells[3]);
    const MapPoint point{std::stod(cells[4]), std::stod(cells[5])};
    if (shapes.regions.empty() || shapes.regions.back().id != id) {
      shapes.regions.push_back({id, id, {}});
    }
    std::vector<MapPolygon>& polygons = shapes.regions.back().polygons;
    if (polygons.size() < polygon) polygons.resize(polygon);
    std::vector<MapRing>& rings = polygons[polygon - 1].rings;
    if (rings.size() < ring) rings.resize(ring);
    rings[ring - 1].push_back(point);
  }
  // MapRing keeps no closing point.
  for (RegionShape& region : shapes.regions) {
    for (MapPolygon& p : region.polygons) {
      for (MapRing& r : p.rings) {
        if (r.size() > 1 && r.front().x == r.back().x && r.front().y == r.back().y) r.pop_back();
      }
    }
  }
  return shapes;
}

std::vector<std::string> IdsOf(const RegionShapes& shapes) {
  std::vector<std::string> ids;
  for (const RegionShape& region : shapes.regions) ids.push_back(region.id);
  return ids;
}

// "id count neighbour-ids..." per line, as export_nc.R writes spdep's lists.
std::map<std::string, std::set<std::string>> ReadList(const std::string& name) {
  std::map<std::string, std::set<std::string>> lists;
  std::istringstream in(FileText(name));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string id;
    std::size_t count = 0;
    words >> id >> count;
    std::set<std::string>& set = lists[id];
    std::string neighbour;
    while (words >> neighbour) set.insert(neighbour);
    EXPECT_EQ(set.size(), count) << name << " " << id;
  }
  return lists;
}

// Compares lists over `ids` with spdep's, county by county: the count and
// the set.
void ExpectSameLists(const std::vector<std::string>& ids, const NeighbourLists& lists,
                     const std::string& expected_file, const std::string& row) {
  const std::map<std::string, std::set<std::string>> expected = ReadList(expected_file);
  ASSERT_EQ(ids.size(), expected.size()) << row;
  ASSERT_EQ(lists.size(), ids.size()) << row;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    std::set<std::string> got;
    for (const std::size_t j : lists[i]) got.insert(ids[j]);
    const auto found = expected.find(ids[i]);
    ASSERT_NE(found, expected.end()) << row << " " << ids[i];
    EXPECT_EQ(lists[i].size(), found->second.size()) << row << " county " << ids[i];
    EXPECT_EQ(got, found->second) << row << " county " << ids[i];
  }
}

TEST(Neighbours, NorthCarolinaEqualsSpdep) {
  const RegionShapes shapes = ReadPolygons();
  ASSERT_EQ(shapes.regions.size(), 100u);
  const std::vector<std::string> ids = IdsOf(shapes);
  std::vector<MapPoint> centroids;
  for (const RegionShape& region : shapes.regions) centroids.push_back(CentroidOf(region));
  struct Row {
    const char* name;
    const char* expected;  // spdep's list
  };
  const Row rows[] = {
      {"queen", "nc_queen.txt"},  // poly2nb(queen = TRUE)
      {"rook", "nc_rook.txt"},    // poly2nb(queen = FALSE)
      {"knn:6", "nc_knn6.txt"},   // knn2nb(knearneigh(k = 6, longlat = TRUE))
  };
  for (const Row& row : rows) {
    NeighbourLists lists;
    std::string error;
    bool ok = false;
    if (std::string(row.name) == "knn:6") {
      ok = NearestNeighbours(centroids, 6, true, &lists, &error);
    } else {
      ok = ContiguityNeighbours(shapes,
                                std::string(row.name) == "queen" ? Contiguity::kQueen
                                                                 : Contiguity::kRook,
                                kDefaultSnap, &lists, &error);
    }
    ASSERT_TRUE(ok) << row.name << ": " << error;
    ExpectSameLists(ids, lists, row.expected, row.name);
  }
}

// sf's st_centroid (GEOS, spherical geometry off) of each county, which
// the knn lists above were built on.
TEST(Neighbours, CentroidsEqualGeos) {
  const RegionShapes shapes = ReadPolygons();
  std::vector<std::string> ids;
  std::vector<MapPoint> expected;
  bool geographic = false;
  std::string error;
  ASSERT_TRUE(ReadCentroids(FileText("nc_centroids.csv"), "nc_centroids.csv", &ids, &expected,
                            &geographic, &error))
      << error;
  ASSERT_TRUE(geographic);
  ASSERT_EQ(ids, IdsOf(shapes));
  for (std::size_t i = 0; i < ids.size(); ++i) {
    const MapPoint got = CentroidOf(shapes.regions[i]);
    EXPECT_NEAR(got.x, expected[i].x, 1e-11) << ids[i];
    EXPECT_NEAR(got.y, expected[i].y, 1e-11) << ids[i];
  }
}

// spdep's own GAL and GWT files (ids the counties' positions, 1 to 100) and
// the same lists keyed by FIPSNO as GeoDa writes them; each read back after
// GalText must give the same lists again.
TEST(Neighbours, GalGwtRoundTrip) {
  const std::vector<std::string> fips = IdsOf(ReadPolygons());
  std::vector<std::string> positions;
  for (std::size_t i = 1; i <= fips.size(); ++i) positions.push_back(std::to_string(i));
  struct Row {
    const char* file;
    bool by_position;
    const char* expected;
  };
  const Row rows[] = {
      {"nc_queen_spdep.gal", true, "nc_queen.txt"},
      {"nc_queen.gal", false, "nc_queen.txt"},
      {"nc_rook_spdep.gwt", true, "nc_rook.txt"},
      {"nc_rook.gwt", false, "nc_rook.txt"},
  };
  for (const Row& row : rows) {
    const std::vector<std::string>& ids = row.by_position ? positions : fips;
    const std::string name = row.file;
    const bool gal = name.substr(name.size() - 3) == "gal";
    NeighbourFile file;
    std::string error;
    ASSERT_TRUE(gal ? ReadGal(FileText(name), name, ids, &file, &error)
                    : ReadGwt(FileText(name), name, ids, &file, &error))
        << error;
    EXPECT_TRUE(file.Absent.empty()) << name;
    EXPECT_TRUE(file.Unknown.empty()) << name;
    ExpectSameLists(fips, file.Lists, row.expected, name);
    NeighbourFile again;
    ASSERT_TRUE(ReadGal(GalText(fips, file.Lists, "nc", "FIPSNO"), "again.gal", fips, &again,
                        &error))
        << error;
    EXPECT_EQ(again.Lists, file.Lists) << name;
  }
}

TEST(Neighbours, MalformedFilesRefusedByLine) {
  const std::vector<std::string> ids = {"a", "b", "c"};
  struct Row {
    const char* text;
    bool gal;
    const char* message;  // a part of the error
  };
  const Row rows[] = {
      {"", true, "empty"},
      {"zero 3\n", true, "line 1: the header"},
      {"3\na 1\nb\nb 1\na\n", true, "line 1: the header announces 3 regions, the file lists 2"},
      {"2\na 2\nb\nb 0\n", true, "line 3: 1 neighbours where line 2 announced 2"},
      {"2\na x\nb\n", true, "line 2: expected \"id count\""},
      {"2\na 1\nb\na 1\nb\n", true, "line 4: region a is listed a second time"},
      {"1\na 2\nb b\n", true, "line 3: a neighbour is listed twice"},
      {"1\na 1\n", true, "line 2: region a has 1 neighbours but the file ends"},
      {"0 2 layer id\na b 1\nb a one\n", false, "line 3: expected \"from to weight\""},
      {"0 2 layer id\na b 1\n\na b 2\n", false, "line 4: the pair a b is listed a second time"},
      {"0 1 layer id\na b 1\nb a 1\n", false, "line 1: the header announces 1 regions"},
  };
  for (const Row& row : rows) {
    NeighbourFile file;
    std::string error;
    const bool ok = row.gal ? ReadGal(row.text, "w.gal", ids, &file, &error)
                            : ReadGwt(row.text, "w.gwt", ids, &file, &error);
    EXPECT_FALSE(ok) << row.text;
    EXPECT_NE(error.find(row.message), std::string::npos) << row.text << " -> " << error;
  }
}

// Absent and unknown ids and self-links are reported or dropped, not fatal.
TEST(Neighbours, FileJoinedToIds) {
  const std::vector<std::string> ids = {"a", "b", "c"};
  NeighbourFile file;
  std::string error;
  ASSERT_TRUE(ReadGal("3\na 2\nb z\nb 2\na b\nz 1\na\n", "w.gal", ids, &file, &error)) << error;
  EXPECT_EQ(file.Lists, (NeighbourLists{{1}, {0}, {}}));
  EXPECT_EQ(file.Absent, (std::vector<std::size_t>{2}));
  EXPECT_EQ(file.Unknown, (std::vector<std::string>{"z"}));
  EXPECT_EQ(Islands(file.Lists), (std::vector<std::size_t>{2}));
}

RegionShape Square(const char* id, double x, double y, double side) {
  return {id, id, {MapPolygon{{MapRing{{x, y}, {x + side, y}, {x + side, y + side}, {x, y + side}}}}}};
}

// Unit squares placed by hand: what a queen and a rook see of each layout.
TEST(Neighbours, ContiguityOfSquares) {
  struct Row {
    const char* name;
    double second_x;
    double second_y;
    bool queen;
    bool rook;
  };
  const Row rows[] = {
      {"shared edge", 1.0, 0.0, true, true},
      {"shared corner", 1.0, 1.0, true, false},
      {"gap within snap", 1.0 + 1e-9, 0.0, true, true},
      {"gap beyond snap", 1.0 + 1e-7, 0.0, false, false},
      {"half an edge", 1.0, 0.5, false, false},  // no vertex on the other's
      {"apart", 3.0, 0.0, false, false},
  };
  for (const Row& row : rows) {
    RegionShapes shapes;
    shapes.regions = {Square("a", 0.0, 0.0, 1.0), Square("b", row.second_x, row.second_y, 1.0)};
    for (const Contiguity kind : {Contiguity::kQueen, Contiguity::kRook}) {
      NeighbourLists lists;
      std::string error;
      ASSERT_TRUE(ContiguityNeighbours(shapes, kind, kDefaultSnap, &lists, &error)) << error;
      const bool expected = kind == Contiguity::kQueen ? row.queen : row.rook;
      const NeighbourLists want = expected ? NeighbourLists{{1}, {0}} : NeighbourLists{{}, {}};
      EXPECT_EQ(lists, want)
          << row.name << (kind == Contiguity::kQueen ? " queen" : " rook");
    }
  }
  // Beyond 2^63 cells of 256 snaps (3.4e13 units), and not a number.
  for (const double x : {1e14, std::nan("")}) {
    RegionShapes far;
    far.regions = {Square("a", 0.0, 0.0, 1.0), Square("b", x, 0.0, 1.0)};
    NeighbourLists lists;
    std::string error;
    EXPECT_FALSE(ContiguityNeighbours(far, Contiguity::kQueen, kDefaultSnap, &lists, &error)) << x;
    EXPECT_NE(error.find("region b"), std::string::npos) << error;
  }
}

// Planar knn on a line of points 0, 1, 3, 7: distances by hand; a tie (the
// point at 1 is 1 from 0 and 2 from 3) never arises, the ties rule is
// covered by the equal spacing row.
TEST(Neighbours, NearestOnALine) {
  struct Row {
    std::vector<double> xs;
    std::size_t k;
    NeighbourLists expected;
  };
  const Row rows[] = {
      {{0, 1, 3, 7}, 1, {{1}, {0}, {1}, {2}}},
      {{0, 1, 3, 7}, 2, {{1, 2}, {0, 2}, {0, 1}, {1, 2}}},
      {{0, 1, 2}, 1, {{1}, {0}, {1}}},  // 1 is as far from 0 as from 2: the earlier wins
  };
  for (const Row& row : rows) {
    std::vector<MapPoint> points;
    for (const double x : row.xs) points.push_back({x, 0.0});
    NeighbourLists lists;
    std::string error;
    ASSERT_TRUE(NearestNeighbours(points, row.k, false, &lists, &error)) << error;
    EXPECT_EQ(lists, row.expected) << "k = " << row.k;
  }
  NeighbourLists lists;
  std::string error;
  const std::vector<MapPoint> two = {{0, 0}, {1, 0}};
  EXPECT_FALSE(NearestNeighbours(two, 2, false, &lists, &error));
}

TEST(Neighbours, ChoiceParsed) {
  using Kind = NeighbourChoice::Kind;
  struct Row {
    const char* text;
    bool ok;
    Kind kind;
    std::size_t k;
  };
  const Row rows[] = {
      {"queen", true, Kind::kQueen, 0}, {"rook", true, Kind::kRook, 0},
      {"knn:6", true, Kind::kKnn, 6},   {"w.GAL", true, Kind::kGal, 0},
      {"dir/w.gwt", true, Kind::kGwt, 0}, {"knn:0", false, Kind::kQueen, 0},
      {"knn:", false, Kind::kQueen, 0}, {"knn:6x", false, Kind::kQueen, 0},
      {"Queen", false, Kind::kQueen, 0}, {".gal", false, Kind::kQueen, 0},
  };
  for (const Row& row : rows) {
    NeighbourChoice choice;
    std::string error;
    EXPECT_EQ(ParseNeighbourChoice(row.text, &choice, &error), row.ok) << row.text;
    if (!row.ok) continue;
    EXPECT_EQ(choice.Source, row.kind) << row.text;
    EXPECT_EQ(choice.K, row.k) << row.text;
  }
}

}  // namespace
}  // namespace propsmooth
