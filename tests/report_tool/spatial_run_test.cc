// propsmooth-report --neighbours end to end on North Carolina's SIDS
// counties (tests/geo/data, from R: see its README): the local moment
// column against the exact computation of tests/geo/data/local_moments.py,
// the global columns against a run without neighbours, and the refusals.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "report_tool/folder_test.h"
#include "report_tool/report_command.h"

namespace propsmooth {
namespace {

namespace fs = std::filesystem;

std::string GeoData(const std::string& name) {
  return std::string(PROPSMOOTH_SOURCE_DIR) + "/tests/geo/data/" + name;
}

std::string TextOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string StreamText(std::FILE* stream) {
  std::rewind(stream);
  std::string text;
  for (int c = std::fgetc(stream); c != EOF; c = std::fgetc(stream)) {
    text.push_back(static_cast<char>(c));
  }
  std::fclose(stream);
  return text;
}

std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells;
  std::istringstream row(line);
  std::string cell;
  while (std::getline(row, cell, ',')) cells.push_back(cell);
  if (!line.empty() && line.back() == ',') cells.emplace_back();
  return cells;
}

std::vector<std::vector<std::string>> Rows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) rows.push_back(Cells(line));
  return rows;
}

class SpatialRunTest : public FolderTest {
 protected:
  // Runs the report; its console (standard output) in console_, its errors
  // in errors_.
  ExitStatus Run(const std::vector<std::string>& args) {
    std::vector<std::string_view> views(args.begin(), args.end());
    StandardStreams streams;
    streams.Out = std::tmpfile();
    streams.Err = std::tmpfile();
    const ExitStatus status = RunReport(views, streams);
    console_ = StreamText(streams.Out);
    errors_ = StreamText(streams.Err);
    return status;
  }

  std::string console_;
  std::string errors_;
};

TEST_F(SpatialRunTest, NorthCarolinaColumns) {
  const std::string data = GeoData("nc_sids74.csv");
  // local_moments.py's exact figures, by county.
  std::map<std::string, double> eb_me;
  for (const auto& row : Rows(TextOf(GeoData("nc_sids74_local_moments.csv")))) {
    if (row[0] != "id") eb_me[row[0]] = std::strtod(row[5].c_str(), nullptr);
  }
  // spdep's counts of neighbours, by county.
  std::map<std::string, std::string> rook_count;
  {
    std::istringstream in(TextOf(GeoData("nc_rook.txt")));
    std::string id;
    std::string count;
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream words(line);
      words >> id >> count;
      rook_count[id] = count;
    }
  }
  struct Row {
    const char* name;
    std::vector<std::string> options;
    bool rates;
    bool queen;       // local_eb_me must equal the exact queen figures
    const char* neighbours;  // every county's count, or "rook" for spdep's
  };
  const std::vector<std::string> proportions = {"--count", "sid74", "--size", "bir74"};
  const std::vector<std::string> rates = {"--model", "poisson", "--count", "sid74",
                                          "--exposure", "bir74"};
  const Row rows[] = {
      {"queen gal", {"--neighbours", GeoData("nc_queen.gal")}, false, true, nullptr},
      {"queen gal, rates", {"--neighbours", GeoData("nc_queen.gal")}, true, true, nullptr},
      {"rook gwt", {"--neighbours", GeoData("nc_rook.gwt")}, false, false, "rook"},
      {"knn", {"--neighbours", "knn:6", "--centroids", GeoData("nc_centroids.csv")}, true, false,
       "6"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> base = {data, "--id", "id", "--keep", "name"};
    const std::vector<std::string>& model = row.rates ? rates : proportions;
    base.insert(base.end(), model.begin(), model.end());
    std::vector<std::string> plain = base;
    plain.insert(plain.end(), {"--csv", PathOf("plain.csv"), "-q"});
    ASSERT_EQ(Run(plain), ExitStatus::kSuccess) << row.name << errors_;
    std::vector<std::string> spatial = base;
    spatial.insert(spatial.end(), {"--csv", PathOf("spatial.csv")});
    spatial.insert(spatial.end(), row.options.begin(), row.options.end());
    ASSERT_EQ(Run(spatial), ExitStatus::kSuccess) << row.name << errors_;
    EXPECT_NE(console_.find("islands (no neighbour): 0"), std::string::npos) << row.name;
    const auto plain_rows = Rows(TextOf(PathOf("plain.csv")));
    const auto spatial_rows = Rows(TextOf(PathOf("spatial.csv")));
    ASSERT_EQ(plain_rows.size(), 101u) << row.name;
    ASSERT_EQ(spatial_rows.size(), 101u) << row.name;
    const std::vector<std::string> header = {
        "group", "id", "x", row.rates ? "exposure" : "n", "raw", "eb_me", "eb", "lower", "upper",
        "prior", "neighbours", "local_eb_me", "local_eb", "local_lower", "local_upper",
        "local_prior", "name"};
    EXPECT_EQ(spatial_rows[0], header) << row.name;
    for (std::size_t r = 1; r < spatial_rows.size(); ++r) {
      const std::vector<std::string>& got = spatial_rows[r];
      const std::vector<std::string>& was = plain_rows[r];
      ASSERT_EQ(got.size(), 17u) << row.name << " row " << r;
      const std::string county = std::string(row.name) + " county " + got[1];
      // The global columns and the kept one as they were.
      EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + 10),
                std::vector<std::string>(was.begin(), was.begin() + 10))
          << county;
      EXPECT_EQ(got[16], was[10]) << county;
      if (row.queen) {
        const double expected = eb_me.at(got[1]);
        EXPECT_LE(std::fabs(std::strtod(got[11].c_str(), nullptr) - expected),
                  1e-12 * expected)
            << county;
      }
      if (row.neighbours != nullptr) {
        const std::string expected =
            std::string(row.neighbours) == "rook" ? rook_count.at(got[1]) : row.neighbours;
        EXPECT_EQ(got[10], expected) << county;
      }
      EXPECT_FALSE(got[12].empty()) << county;
      EXPECT_FALSE(got[15].empty()) << county;
    }
  }
}

TEST_F(SpatialRunTest, IslandsAndRefusals) {
  const std::string data = PathOf("d.csv");
  std::ofstream(data) << "id,x,n,local_eb\na,1,10,u\nb,2,10,v\nc,3,10,w\n";
  std::ofstream(PathOf("island.gal")) << "3\na 1\nb\nb 1\na\nc 0\n";
  std::ofstream(PathOf("short.gal")) << "2\na 1\nb\nb 1\na\n";
  std::ofstream(PathOf("bad.gal")) << "3\na 1\nb\nb 2\na\nc 0\n";
  std::ofstream(PathOf("repeat.csv")) << "id,x,n\na,1,10\na,2,10\n";
  std::ofstream(PathOf("c.csv")) << "id,lon,lat\na,0,0\nb,1,0\n";
  struct Row {
    const char* name;
    std::vector<std::string> args;
    ExitStatus status;
    const char* text;  // in the console (success) or the errors
  };
  const std::string csv = PathOf("out.csv");
  const Row rows[] = {
      {"island", {data, "--count", "x", "--size", "n", "--id", "id", "--csv", csv,
                  "--neighbours", PathOf("island.gal")},
       ExitStatus::kSuccess, "islands (no neighbour): 1 (c)"},
      {"record missing from the file", {data, "--count", "x", "--size", "n", "--id", "id",
                                        "--csv", csv, "--neighbours", PathOf("short.gal")},
       ExitStatus::kBadInput, "short.gal has no entry for 1 records: ids c"},
      {"malformed file", {data, "--count", "x", "--size", "n", "--id", "id", "--csv", csv,
                          "--neighbours", PathOf("bad.gal")},
       ExitStatus::kBadInput, "bad.gal line 5: 1 neighbours where line 4 announced 2"},
      {"no file", {data, "--count", "x", "--size", "n", "--id", "id", "--csv", csv,
                   "--neighbours", PathOf("none.gal")},
       ExitStatus::kBadInput, "Can't read"},
      {"no ids", {data, "--count", "x", "--size", "n", "--csv", csv, "--neighbours",
                  PathOf("island.gal")},
       ExitStatus::kBadInput, "name the id column with --id"},
      {"repeated id", {PathOf("repeat.csv"), "--count", "x", "--size", "n", "--id", "id",
                       "--csv", csv, "--neighbours", PathOf("island.gal")},
       ExitStatus::kBadInput, "id a repeats"},
      {"kept column named as a spatial one",
       {data, "--count", "x", "--size", "n", "--id", "id", "--keep", "local_eb", "--csv", csv,
        "--neighbours", PathOf("island.gal")},
       ExitStatus::kBadInput, "--keep local_eb"},
      {"queen without polygons", {data, "--count", "x", "--size", "n", "--id", "id", "--csv",
                                  csv, "--neighbours", "queen"},
       ExitStatus::kBadInput, "needs the regions' polygons"},
      {"centroid missing", {data, "--count", "x", "--size", "n", "--id", "id", "--csv", csv,
                            "--neighbours", "knn:1", "--centroids", PathOf("c.csv")},
       ExitStatus::kBadInput, "1 records have no centroid: ids c"},
      {"no csv", {data, "--count", "x", "--size", "n", "--id", "id", "--summary", csv,
                  "--neighbours", "queen"},
       ExitStatus::kBadInput, "ask for --csv FILE"},
  };
  for (const Row& row : rows) {
    fs::remove(csv);
    const ExitStatus status = Run(row.args);
    EXPECT_EQ(status, row.status) << row.name << ": " << errors_;
    const std::string& text = row.status == ExitStatus::kSuccess ? console_ : errors_;
    EXPECT_NE(text.find(row.text), std::string::npos) << row.name << ": " << text;
    // A refused run makes no table.
    EXPECT_EQ(fs::exists(csv), row.status == ExitStatus::kSuccess) << row.name;
  }
}

}  // namespace
}  // namespace propsmooth
