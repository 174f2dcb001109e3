// GIS files in and out: reading polygon layers through GDAL, refusing what
// is no polygon layer, and a run's GeoPackage read back with GDAL itself.
#include "gis/region_file.h"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gdal.h>
#include <gtest/gtest.h>
#include <ogr_api.h>

#include "report_tool/folder_test.h"
#include "report_app/region_run.h"
#include "report_tool/report_command.h"

namespace propsmooth {
namespace {

namespace fs = std::filesystem;

// The North Carolina counties of R's sf package (SIDS 1974-84).
const char* const kNorthCarolina = "/usr/lib/R/site-library/sf/shape/nc.shp";

class GisTest : public FolderTest {
 protected:
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(PathOf(name), std::ios::binary) << text;
    return PathOf(name);
  }

  static std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Runs propsmooth-report; its standard error in errors_.
  ExitStatus Run(const std::vector<std::string>& args) {
    std::vector<std::string_view> views(args.begin(), args.end());
    StandardStreams streams;
    streams.Out = std::tmpfile();
    streams.Err = std::tmpfile();
    const ExitStatus status = RunReport(views, streams);
    std::rewind(streams.Err);
    errors_.clear();
    for (int c = std::fgetc(streams.Err); c != EOF; c = std::fgetc(streams.Err)) {
      errors_.push_back(static_cast<char>(c));
    }
    std::fclose(streams.Out);
    std::fclose(streams.Err);
    return status;
  }

  std::string errors_;
};

std::string GeoJson(const std::string& features) {
  return R"({"type":"FeatureCollection","features":[)" + features + "]}";
}

std::string Feature(const std::string& properties, const std::string& geometry) {
  return R"({"type":"Feature","properties":{)" + properties + R"(},"geometry":)" + geometry +
         "}";
}

const char* const kSquare = R"({"type":"Polygon","coordinates":[[[0,0],[1,0],[1,1],[0,1],[0,0]]]})";

// Expected figures from R's sf on the same file: nrow(nc) 100;
// nc$FIPSNO[1] 37009 (a real), nc$NAME[1] "Ashe", nc$CRESS_ID[1] 5 (an
// integer), nc$BIR74[1] 1091; lengths(st_geometry(nc)) gives 108 polygons
// (Currituck and Dare 3, Beaufort, Hyde, Craven and Carteret 2), with 108
// rings and 2529 coordinates, each ring's closing point among them, so
// 2529 - 108 points without it; st_is_longlat TRUE.
TEST_F(GisTest, ReadsNorthCarolinaByEachKindOfId) {
  if (!fs::exists(kNorthCarolina)) GTEST_SKIP() << "R's sf package (nc.shp) is not installed";
  struct Case {
    const char* IdField;
    const char* NameField;
    const char* FirstId;
    const char* FirstName;
  };
  const Case cases[] = {
      {"FIPSNO", "NAME", "37009", "Ashe"},  // a real, whole: its digits alone
      {"CRESS_ID", "", "5", "5"},           // an integer; the name is the id
      {"NAME", "FIPS", "Ashe", "37009"},    // text as text
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.IdField);
    RegionLayer layer;
    std::string error;
    ASSERT_TRUE(ReadRegionLayer(kNorthCarolina, {"", c.IdField, c.NameField}, true, &layer,
                                &error))
        << error;
    const RegionShapes& shapes = layer.Shapes;
    ASSERT_EQ(shapes.regions.size(), 100u);
    EXPECT_EQ(shapes.regions[0].id, c.FirstId);
    EXPECT_EQ(shapes.regions[0].name, c.FirstName);
    EXPECT_TRUE(shapes.geographic);
    std::size_t polygons = 0;
    std::size_t rings = 0;
    std::size_t points = 0;
    for (const RegionShape& region : shapes.regions) {
      polygons += region.polygons.size();
      for (const MapPolygon& polygon : region.polygons) {
        rings += polygon.rings.size();
        for (const MapRing& ring : polygon.rings) points += ring.size();
      }
    }
    EXPECT_EQ(polygons, 108u);
    EXPECT_EQ(rings, 108u);
    EXPECT_EQ(points, 2529u - 108u);
    EXPECT_EQ(shapes.regions[3].polygons.size(), 3u);  // Currituck
    // The attribute table: BIR74 is a real field, 1091 in the first row.
    ASSERT_EQ(layer.FieldNames.size(), 14u);
    EXPECT_EQ(layer.FieldNames[8], "BIR74");
    EXPECT_EQ(layer.Cells[8], "1091");
  }
}

// What is no polygon layer, or no layer at all, is refused with the file
// and why.
TEST_F(GisTest, RefusesWhatIsNoPolygonLayer) {
  struct Case {
    const char* Name;
    std::string Text;  // the file's contents; empty: no file
    RegionFileChoice Choice;
    std::vector<std::string> Said;  // each in the error
  };
  const std::string point = R"({"type":"Point","coordinates":[1,2]})";
  const std::string line = R"({"type":"LineString","coordinates":[[1,2],[3,4]]})";
  const Case cases[] = {
      {"points.geojson", GeoJson(Feature(R"("id":1)", kSquare) + "," + Feature(R"("id":2)", point)),
       {"", "id", ""}, {"points.geojson", "feature 2", "Point", "not a polygon"}},
      {"lines.geojson", GeoJson(Feature(R"("id":1)", line)), {"", "id", ""},
       {"feature 1", "Line String"}},
      {"garbage.gpkg", "no GIS file", {"", "id", ""},
       {"cannot read regions from", "garbage.gpkg", "not recognized"}},
      {"absent.shp", "", {"", "id", ""}, {"absent.shp", "No such file"}},
      {"field.geojson", GeoJson(Feature(R"("code":1)", kSquare)), {"", "fips", ""},
       {"field.geojson", "no field fips", "its fields are code"}},
      {"name.geojson", GeoJson(Feature(R"("code":1)", kSquare)), {"", "code", "label"},
       {"no field label"}},
      {"layer.geojson", GeoJson(Feature(R"("code":1)", kSquare)), {"states", "code", ""},
       {"no layer states"}},
      {"fraction.geojson", GeoJson(Feature(R"("code":37009.5)", kSquare)), {"", "code", ""},
       {"feature 1", "37009.5", "fraction"}},
      {"twice.geojson",
       GeoJson(Feature(R"("code":"a")", kSquare) + "," + Feature(R"("code":"a")", kSquare)),
       {"", "code", ""},
       {"features 1 and 2", "code a"}},
      {"noid.geojson",
       GeoJson(Feature(R"("code":"a")", kSquare) + "," + Feature(R"("code":null)", kSquare)),
       {"", "code", ""},
       {"feature 2 has no code"}},
      {"table.csv", "code,x\n1,2\n", {"", "code", ""}, {"table.csv", "no geometry"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string path = c.Text.empty() ? PathOf(c.Name) : Write(c.Name, c.Text);
    RegionLayer layer;
    std::string error;
    EXPECT_FALSE(ReadRegionLayer(path, c.Choice, false, &layer, &error));
    for (const std::string& said : c.Said) {
      EXPECT_NE(error.find(said), std::string::npos) << error << "\nlacks: " << said;
    }
  }
}

// A curved polygon is read as straight segments: every point of a circle
// of radius 1 about (1, 0) lies on it.
TEST_F(GisTest, MakesCurvesStraight) {
  const std::string path =
      Write("curve.csv",
            "code,WKT\n7,\"CURVEPOLYGON(CIRCULARSTRING(0 0,1 1,2 0,1 -1,0 0))\"\n");
  RegionLayer layer;
  std::string error;
  ASSERT_TRUE(ReadRegionLayer(path, {"", "code", ""}, false, &layer, &error)) << error;
  ASSERT_EQ(layer.Shapes.regions.size(), 1u);
  ASSERT_EQ(layer.Shapes.regions[0].polygons.size(), 1u);
  const MapRing& ring = layer.Shapes.regions[0].polygons[0].rings[0];
  EXPECT_GT(ring.size(), 8u);
  for (MapPoint point : ring) EXPECT_NEAR(std::hypot(point.x - 1.0, point.y), 1.0, 1e-9);
}

TEST(RealFieldText, SpellsRealsAsTheDataWould) {
  struct Case {
    double Value;
    const char* Text;
  };
  const Case cases[] = {
      {37009.0, "37009"},
      {-0.0, "0"},
      {-12.0, "-12"},
      {0.1, "0.1"},
      {37009.5, "37009.5"},
      {9007199254740992.0, "9007199254740992"},        // 2^53, still exact
      {18014398509481984.0, "18014398509481984"},      // 2^54 printed as a double
      {1e300, "1e+300"},
      {std::numeric_limits<double>::quiet_NaN(), ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RealFieldText(c.Value), c.Text) << c.Value;
  }
}

TEST(KindOfCells, KeepsLabelsAsText) {
  struct Case {
    std::vector<std::string> Cells;
    FieldKind Kind;
  };
  const Case cases[] = {
      {{"1", "", "-3"}, FieldKind::kInteger},
      {{"1", "0.5"}, FieldKind::kReal},
      {{"1e-05", "2"}, FieldKind::kReal},
      {{"01001", "2"}, FieldKind::kText},  // a leading zero is a label's
      {{"+1"}, FieldKind::kText},
      {{"0", "0.0"}, FieldKind::kReal},
      {{"99999999999999999999"}, FieldKind::kText},  // beyond 64 bits
      {{"true", "false"}, FieldKind::kText},
      {{"inf"}, FieldKind::kText},
      {{""}, FieldKind::kInteger},
  };
  for (const Case& c : cases) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& cell : c.Cells) rows.push_back({cell});
    EXPECT_EQ(KindOfCells(rows, 0), c.Kind) << c.Cells.front();
  }
}

// The cells of a CSV line as the CSV table writes them (no quoted commas
// in the columns compared here).
std::vector<std::string> SplitLine(const std::string& line) {
  std::vector<std::string> cells;
  std::string cell;
  for (char c : line) {
    if (c == ',') {
      cells.push_back(cell);
      cell.clear();
    } else {
      cell += c;
    }
  }
  cells.push_back(cell);
  return cells;
}

// The data in the file itself, written back as a GeoPackage, for
// proportions and for rates: read with GDAL, every number equals the CSV
// table's (parsed with from_chars) to the last bit, every region of the
// file is there once, and a region's polygons are the file's.
TEST_F(GisTest, GeoPackageGivesBackTheCsvNumbers) {
  if (!fs::exists(kNorthCarolina)) GTEST_SKIP() << "R's sf package (nc.shp) is not installed";
  struct Case {
    const char* Name;
    std::vector<std::string> Model;
  };
  const Case cases[] = {
      {"proportions", {"--size", "BIR74", "--threshold", "0.002"}},
      {"rates", {"--model", "poisson", "--exposure", "BIR74", "--per", "1000", "--threshold", "2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string gpkg = PathOf(std::string(c.Name) + ".gpkg");
    const std::string csv = PathOf(std::string(c.Name) + ".csv");
    std::vector<std::string> args = {"-q", kNorthCarolina, "--count", "SID74", "--id", "FIPSNO",
                                     "--gpkg", gpkg, "--csv", csv};
    args.insert(args.end(), c.Model.begin(), c.Model.end());
    ASSERT_EQ(Run(args), ExitStatus::kSuccess) << errors_;
    std::istringstream lines(ReadAll(csv));
    std::string line;
    std::getline(lines, line);
    const std::vector<std::string> header = SplitLine(line);
    std::map<std::string, std::vector<std::string>> by_id;
    std::size_t filled = 0;  // number cells of the CSV's real columns
    while (std::getline(lines, line)) {
      std::vector<std::string> cells = SplitLine(line);
      for (std::size_t k = 4; k < cells.size(); ++k) {
        filled += !cells[k].empty() && header[k] != "prior" && header[k] != "discovery";
      }
      by_id[cells[1]] = cells;
    }
    ASSERT_EQ(by_id.size(), 100u);

    GDALAllRegister();
    GDALDatasetH dataset = GDALOpenEx(gpkg.c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
    ASSERT_NE(dataset, nullptr);
    OGRLayerH layer = GDALDatasetGetLayer(dataset, 0);
    OGRFeatureDefnH definition = OGR_L_GetLayerDefn(layer);
    ASSERT_EQ(OGR_FD_GetFieldCount(definition), static_cast<int>(header.size()));
    std::size_t features = 0;
    std::size_t numbers = 0;
    OGRFeatureH feature = nullptr;
    while ((feature = OGR_L_GetNextFeature(layer)) != nullptr) {
      ++features;
      const std::string id = OGR_F_GetFieldAsString(feature, 1);
      ASSERT_EQ(by_id.count(id), 1u) << id;
      const std::vector<std::string>& cells = by_id[id];
      for (std::size_t k = 0; k < header.size(); ++k) {
        const int field = static_cast<int>(k);
        OGRFieldDefnH defn = OGR_FD_GetFieldDefn(definition, field);
        EXPECT_EQ(header[k], OGR_Fld_GetNameRef(defn));
        if (cells[k].empty()) {
          EXPECT_FALSE(OGR_F_IsFieldSetAndNotNull(feature, field)) << id << " " << header[k];
          continue;
        }
        if (OGR_Fld_GetType(defn) != OFTReal) continue;
        double expected = 0.0;
        std::from_chars(cells[k].data(), cells[k].data() + cells[k].size(), expected);
        EXPECT_EQ(OGR_F_GetFieldAsDouble(feature, field), expected) << id << " " << header[k];
        ++numbers;
      }
      // Currituck (37053) has three parts in the file.
      if (id == "37053") {
        EXPECT_EQ(OGR_G_GetGeometryCount(OGR_F_GetGeometryRef(feature)), 3);
      }
      OGR_F_Destroy(feature);
    }
    GDALClose(dataset);
    EXPECT_EQ(features, 100u);
    // Every number the CSV holds after its count and size came back as a real.
    EXPECT_EQ(numbers, filled);
    EXPECT_GE(numbers, 500u);
  }
}

// Ids the regions and the data do not share are counted and named on the
// console and in the summary; a region without a record is still written,
// with its id alone.
TEST_F(GisTest, ListsWhatDoesNotMatch) {
  if (!fs::exists(kNorthCarolina)) GTEST_SKIP() << "R's sf package (nc.shp) is not installed";
  // Ashe (37009) and Alleghany (37005) with births and deaths of 1974,
  // and two ids no county has.
  const std::string data =
      Write("d.csv", "county,deaths,births\n37009,1,1091\n37005,0,487\n99999,1,100\nabc,2,300\n");
  const std::string summary = PathOf("s.csv");
  const std::string gpkg = PathOf("d.gpkg");
  ASSERT_EQ(Run({"-q", data, "--count", "deaths", "--size", "births", "--id", "county",
                 "--regions", kNorthCarolina, "--regions-id", "FIPSNO", "--summary", summary,
                 "--gpkg", gpkg}),
            ExitStatus::kSuccess)
      << errors_;
  const std::string text = ReadAll(summary);
  const std::string header = text.substr(0, text.find('\n'));
  EXPECT_NE(header.find(",boundary,records_without_region,records_without_region_ids,"
                        "regions_without_record,regions_without_record_ids"),
            std::string::npos)
      << header;
  // The third county of the file, Surry (37171), is the first without a
  // record (R: nc$FIPSNO[1:3]).
  EXPECT_NE(text.find(",2,99999; abc,98,37171; "), std::string::npos) << text;
  EXPECT_EQ(text.find("37009;"), std::string::npos) << text;

  GDALAllRegister();
  GDALDatasetH dataset = GDALOpenEx(gpkg.c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
  ASSERT_NE(dataset, nullptr);
  // Four records and the 98 counties without one.
  EXPECT_EQ(OGR_L_GetFeatureCount(GDALDatasetGetLayer(dataset, 0), TRUE), 4 + 98);
  GDALClose(dataset);
}

// A run that fails leaves an earlier GIS file as it was, and nothing of its
// own beside it.
TEST_F(GisTest, FailedRunLeavesEarlierFile) {
  if (!fs::exists(kNorthCarolina)) GTEST_SKIP() << "R's sf package (nc.shp) is not installed";
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full to fail a write";
  const std::string gpkg = PathOf("out.gpkg");
  const std::string before = Write("out.gpkg", "an earlier file");
  ASSERT_EQ(Run({"-q", kNorthCarolina, "--count", "SID74", "--size", "BIR74", "--id", "FIPSNO",
                 "--gpkg", gpkg, "--csv", "/dev/full"}),
            ExitStatus::kFileError);
  EXPECT_EQ(ReadAll(gpkg), "an earlier file");
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_)) ++entries;
  EXPECT_EQ(entries, 1u);
}

}  // namespace
}  // namespace propsmooth
