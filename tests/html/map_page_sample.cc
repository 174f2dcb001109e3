// Writes a report page with maps, for looking at in a browser and timing
// its rendering (tests/maps/map_render_check.py), without a GIS file:
//   map_page_sample OUT.html hexagons COLUMNS ROWS [THRESHOLD]
//     a generated tiling of municipalities with made-up counts;
//   map_page_sample OUT.html nc [THRESHOLD]
//     North Carolina's counties, SIDS deaths of 1974 among births;
//   map_page_sample OUT.html hexagons-without-maps COLUMNS ROWS [THRESHOLD]
//     the municipalities' page as it is without regions, for comparison.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/job_files.h"
#include "html/page_file.h"
#include "input/grouping.h"
#include "stats/record_estimates.h"
#include "region_fixtures.h"
#include "tabular/named_input.h"

using namespace propsmooth;

namespace {

int Usage() {
  std::fputs("usage: map_page_sample OUT.html hexagons[-without-maps] COLUMNS ROWS [THRESHOLD]\n"
             "       map_page_sample OUT.html nc [THRESHOLD]\n",
             stderr);
  return 2;
}

// Municipal counts: sizes spread over two orders of magnitude, rates from
// a beta prior around 1%, so that the EB map visibly differs from the raw.
void WriteHexagonData(const RegionShapes& shapes, const std::string& path) {
  std::mt19937_64 random(20261209);
  std::uniform_real_distribution<double> log_size(std::log(200.0), std::log(40000.0));
  std::gamma_distribution<double> a(20.0), b(1980.0);
  std::ofstream out(path);
  out << "id,deaths,births\n";
  for (const RegionShape& region : shapes.regions) {
    const auto size = static_cast<int>(std::exp(log_size(random)));
    const double x = a(random);
    const double rate = x / (x + b(random));
    std::binomial_distribution<int> count(size, rate);
    out << region.id << ',' << count(random) << ',' << size << '\n';
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string out_name = argv[1];
  const std::string kind = argv[2];
  RegionShapes shapes;
  std::string data_name;
  ColumnChoice columns;
  columns.Count = "deaths";
  columns.Size = "births";
  columns.Id = "id";
  int next = 3;
  const bool maps = kind != "hexagons-without-maps";
  if ((kind == "hexagons" || !maps) && argc >= 5) {
    shapes = HexagonRegions(std::atoi(argv[3]), std::atoi(argv[4]), 3, 2026);
    data_name = out_name + ".csv";
    WriteHexagonData(shapes, data_name);
    next = 5;
  } else if (kind == "nc") {
    std::string error;
    const std::string folder = std::string(PROPSMOOTH_SOURCE_DIR) + "/tests/maps/";
    if (!ReadRegionFixture(folder + "nc_counties.tsv", true, &shapes, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    data_name = folder + "nc_sids74.csv";
  } else {
    return Usage();
  }
  EstimateSettings settings;
  if (next < argc) settings.Threshold = std::atof(argv[next]);

  EstimatedData data;
  if (const auto refused = ReadNamedInput(data_name, std::nullopt, columns, &data.Input)) {
    std::fputs(refused->Message.c_str(), stderr);
    return 1;
  }
  data.Plan = PlanGroups(data.Input.Records);
  EstimateParts parts;
  parts.Fits = parts.SizeBound = true;
  parts.Posteriors = settings.Threshold.has_value();
  EstimateRecords(settings, parts, std::max(1u, std::thread::hardware_concurrency()),
                  [](std::size_t, std::size_t, std::string_view) {}, &data.Input.Records, &data);
  OutputFile page;
  if (!CreateOutputFile(out_name, &page, stderr)) return 1;
  WritePage(settings, data_name, columns, 10, data, &page, maps ? &shapes : nullptr);
  OutputFile* files[] = {&page};
  if (!CloseOutputFile(out_name, &page, stderr) || !CommitOutputFiles(files, stderr)) return 1;
  return 0;
}
