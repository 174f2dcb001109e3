// Records meeting regions by id, the CSV table split back into cells, and
// the command line's checks of the GIS options.
#include "report_app/region_run.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "report_tool/report_options.h"

namespace propsmooth {
namespace {

RegionShapes ShapesOf(const std::vector<std::string>& ids) {
  RegionShapes shapes;
  for (const std::string& id : ids) shapes.regions.push_back({id, id, {}});
  return shapes;
}

TEST(MatchRegions, PairsIdsAndListsTheRest) {
  struct Case {
    const char* Name;
    std::vector<std::string> Regions;
    std::vector<std::string> Records;
    std::vector<std::size_t> RecordRegion;  // kNoRegion: none
    std::vector<std::size_t> RecordsWithout;
    std::vector<std::size_t> RegionsWithout;
  };
  const std::size_t n = kNoRegion;
  const Case cases[] = {
      {"all", {"a", "b"}, {"b", "a"}, {1, 0}, {}, {}},
      // A region shared by records of several groups (years, say).
      {"repeated", {"a", "b"}, {"a", "a", "b"}, {0, 0, 1}, {}, {}},
      {"record without", {"a"}, {"a", "z"}, {0, n}, {1}, {}},
      {"region without", {"a", "b", "c"}, {"c"}, {2}, {}, {0, 1}},
      // Ids are text: "037" is not "37", nor " 37".
      {"text", {"37"}, {"037", " 37", "37"}, {n, n, 0}, {0, 1}, {}},
      {"none", {}, {"a"}, {n}, {0}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const RegionMatch match = MatchRegions(ShapesOf(c.Regions), c.Records);
    EXPECT_EQ(match.RecordRegion, c.RecordRegion);
    EXPECT_EQ(match.RecordsWithout, c.RecordsWithout);
    EXPECT_EQ(match.RegionsWithout, c.RegionsWithout);
  }
}

TEST(RegionConsoleLines, CountsAndNamesTheFirstIds) {
  std::vector<std::string> records;
  std::vector<std::string> regions;
  for (int i = 0; i < 25; ++i) records.push_back("r" + std::to_string(i));
  regions.push_back("only");
  const RegionShapes shapes = ShapesOf(regions);
  const RegionMatch match = MatchRegions(shapes, records);
  const std::string lines = RegionConsoleLines(shapes, records, match);
  // 25 without a region: the first 20 named, the other 5 counted.
  EXPECT_NE(lines.find(" Records without a region: 25 (r0; r1;"), std::string::npos) << lines;
  EXPECT_NE(lines.find("r19; and 5 more, all in --summary)\n"), std::string::npos) << lines;
  EXPECT_EQ(lines.find("r20"), std::string::npos) << lines;
  EXPECT_NE(lines.find(" Regions without a record: 1 (only)\n"), std::string::npos) << lines;
}

TEST(SplitCsvText, ReadsWhatTheCsvTableWrites) {
  struct Case {
    const char* Text;
    bool Ok;
    std::vector<std::string> Header;
    std::vector<std::vector<std::string>> Rows;
  };
  const Case cases[] = {
      {"a,b\n1,2\n", true, {"a", "b"}, {{"1", "2"}}},
      {"a,b\n,\n", true, {"a", "b"}, {{"", ""}}},
      {"a,b\n\"x, \"\"y\"\"\",\"line\nbreak\"\n", true, {"a", "b"}, {{"x, \"y\"", "line\nbreak"}}},
      {"a\n", true, {"a"}, {}},
      {"a,b\n1\n", false, {}, {}},             // a row short of a cell
      {"a,b\n1,2", false, {}, {}},             // cut short
      {"a,b\n\"1,2\n", false, {}, {}},         // a quote left open
      {"a,b\nx\"y\",2\n", false, {}, {}},      // a quote inside a cell
      {"", false, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
    ASSERT_EQ(SplitCsvText(c.Text, &header, &rows), c.Ok);
    if (!c.Ok) continue;
    EXPECT_EQ(header, c.Header);
    EXPECT_EQ(rows, c.Rows);
  }
}

TEST(IsGisDataName, KnowsVectorFormatsByExtension) {
  for (const char* name : {"nc.shp", "a/b.GPKG", "x.geojson", "y.fgb", "z.kml", "w.sqlite"}) {
    EXPECT_TRUE(IsGisDataName(name)) << name;
  }
  for (const char* name : {"d.csv", "d.csv.gz", "rats.txt", "-", "shp", "a.shp.csv"}) {
    EXPECT_FALSE(IsGisDataName(name)) << name;
  }
}

// Each option of GIS files is refused where it cannot work, with a message
// that names it and says what to give.
TEST(ReadReportCommandLine, ChecksTheGisOptions) {
  if (!HaveGisFiles()) GTEST_SKIP() << "built without GDAL: these options are refused as such";
  struct Case {
    std::vector<std::string_view> Args;
    const char* Said;  // empty: accepted
  };
  const Case cases[] = {
      {{"d.csv", "--csv", "o", "--regions", "nc.shp", "--regions-id", "FIPSNO"}, ""},
      {{"nc.shp", "--id", "FIPSNO", "--gpkg", "o.gpkg"}, ""},
      {{"d.csv", "--csv", "o", "--regions", "nc.shp"}, "--regions needs --regions-id"},
      {{"d.csv", "--csv", "o", "--regions-id", "FIPSNO"}, "give --regions FILE too"},
      {{"nc.shp", "--csv", "o"}, "nc.shp is a GIS file: name the field"},
      {{"d.csv", "--gpkg", "o.gpkg"}, "--gpkg is about regions"},
      {{"d.csv", "--csv", "o", "--regions-layer", "x"}, "--regions-layer is about regions"},
      {{"nc.shp", "--id", "F", "--geojson", "-"}, "not to standard output"},
      {{"nc.shp", "--id", "F", "--model", "poisson", "--expected", "E", "--gpkg", "o"}, ""},
      // Neighbours need an output that shows them: a table or the page's maps.
      {{"nc.shp", "p.html", "--id", "F", "--neighbours", "queen"}, ""},
      {{"d.csv", "p.html", "--regions", "nc.shp", "--regions-id", "F", "--neighbours", "rook"},
       ""},
      {{"nc.shp", "--id", "F", "--gpkg", "o.gpkg", "--neighbours", "queen"}, ""},
      {{"d.csv", "p.html", "--neighbours", "n.gal"}, "or a page with --regions"},
      {{"d.csv", "--summary", "s.csv", "--neighbours", "n.gal"}, "ask for --csv FILE"},
  };
  for (const Case& c : cases) {
    ReportSettings settings;
    std::string text;
    const CommandLineOutcome outcome = ReadReportCommandLine(c.Args, &settings, &text);
    const std::string said = c.Said;
    if (said.empty()) {
      EXPECT_EQ(outcome, CommandLineOutcome::kRun) << text;
    } else {
      EXPECT_EQ(outcome, CommandLineOutcome::kUsageError) << c.Args[1];
      EXPECT_NE(text.find(said), std::string::npos) << text;
    }
  }
}

}  // namespace
}  // namespace propsmooth
