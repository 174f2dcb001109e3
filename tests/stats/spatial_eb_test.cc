// Spatial EB against independent computations: the local moment estimates
// of North Carolina's SIDS rates (1974) over spdep's queen neighbourhoods,
// computed in exact rational arithmetic by
// tests/geo/data/local_moments.py (its output nc_sids74_local_moments.csv
// is the fixture; the data and lists come from R, tests/geo/data/README.md),
// and small neighbourhoods worked by hand.
#include "stats/spatial_eb.h"

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "input/grouping.h"
#include "stats/rate_estimates.h"
#include "stats/record_estimates.h"
#include "stats/record_figures.h"

namespace propsmooth {
namespace {

std::string GeoData(const std::string& name) {
  return std::string(PROPSMOOTH_SOURCE_DIR) + "/tests/geo/data/" + name;
}

std::vector<std::vector<std::string>> CsvRows(const std::string& name) {
  std::ifstream in(GeoData(name));
  std::vector<std::vector<std::string>> rows;
  std::string line;
  std::getline(in, line);  // the header
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::istringstream row(line);
    std::string cell;
    while (std::getline(row, cell, ',')) cells.push_back(cell);
    rows.push_back(cells);
  }
  return rows;
}

RegionRecord Record(std::int32_t count, std::int32_t size, std::int32_t code) {
  RegionRecord record;
  record.Code = code;
  record.Data1 = count;
  record.Data2 = size;
  return record;
}

struct NorthCarolina {
  std::vector<std::string> Ids;
  RecordTable Records;
  std::vector<std::int32_t> Counts;
  std::vector<double> Births;
  NeighbourIndex Queen;
};

NorthCarolina ReadNorthCarolina() {
  NorthCarolina nc;
  for (const std::vector<std::string>& row : CsvRows("nc_sids74.csv")) {
    nc.Ids.push_back(row[0]);
    const std::int32_t count = std::stoi(row[2]);
    const std::int32_t births = std::stoi(row[3]);
    nc.Records.push_back(Record(count, births, static_cast<std::int32_t>(nc.Ids.size())));
    nc.Counts.push_back(count);
    nc.Births.push_back(births);
  }
  std::map<std::string, std::size_t> position;
  for (std::size_t i = 0; i < nc.Ids.size(); ++i) position[nc.Ids[i]] = i;
  nc.Queen.resize(nc.Ids.size());
  std::ifstream in(GeoData("nc_queen.txt"));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string id;
    std::size_t count = 0;
    words >> id >> count;
    std::string neighbour;
    while (words >> neighbour) nc.Queen[position.at(id)].push_back(position.at(neighbour));
  }
  return nc;
}

void ExpectRelative(double got, double expected, double tolerance, const std::string& what) {
  if (expected == 0.0) {
    EXPECT_EQ(got, 0.0) << what;
  } else {
    EXPECT_LE(std::fabs(got - expected), tolerance * std::fabs(expected))
        << what << ": " << got << " against " << expected;
  }
}

TEST(SpatialEb, NorthCarolinaMomentsEqualExactComputation) {
  const NorthCarolina nc = ReadNorthCarolina();
  const std::vector<std::vector<std::string>> expected = CsvRows("nc_sids74_local_moments.csv");
  ASSERT_EQ(expected.size(), nc.Ids.size());
  std::vector<double> counts(nc.Counts.begin(), nc.Counts.end());
  const std::vector<LocalMoments> moments = LocalMomentEstimates(counts, nc.Births, nc.Queen);
  EstimateSettings settings;
  // Both models take the same moment estimator; each path must give it.
  const SpatialEstimates proportions =
      EstimateSpatialProportions(nc.Records, nc.Queen, settings, 2);
  const SpatialEstimates rates = EstimateSpatialRates(nc.Counts, nc.Births, nc.Queen, settings, 2);
  std::size_t clamped = 0;
  for (std::size_t i = 0; i < nc.Ids.size(); ++i) {
    const std::vector<std::string>& row = expected[i];
    ASSERT_EQ(row[0], nc.Ids[i]);
    const std::string county = "county " + row[0];
    EXPECT_EQ(moments[i].Regions, std::stoul(row[1]) + 1) << county;
    ExpectRelative(moments[i].Rate, std::stod(row[2]), 1e-12, county + " rate");
    ExpectRelative(moments[i].UnclampedVariance, std::stod(row[3]), 1e-12, county + " s2");
    EXPECT_EQ(moments[i].Clamped, row[4] == "true") << county;
    if (row[4] == "true") ++clamped;
    const double eb_me = std::stod(row[5]);
    ExpectRelative(moments[i].Estimate, eb_me, 1e-12, county + " eb_me");
    ExpectRelative(proportions.Figures[i].EbMe, eb_me, 1e-12, county + " proportions");
    ExpectRelative(rates.Figures[i].EbMe, eb_me, 1e-12, county + " rates");
    EXPECT_EQ(proportions.Figures[i].Neighbours, std::stoul(row[1])) << county;
    // Every county has a posterior, from its fit or the moment prior.
    EXPECT_FALSE(proportions.Figures[i].Prior.empty()) << county;
    EXPECT_LE(proportions.Figures[i].Lower, proportions.Figures[i].Eb) << county;
    EXPECT_LE(proportions.Figures[i].Eb, proportions.Figures[i].Upper) << county;
  }
  EXPECT_EQ(proportions.Clamped, clamped);
  EXPECT_EQ(rates.Clamped, clamped);
}

// Three regions in a chain 0 - 1 - 2 and a lone one, all below the size
// that is fitted, worked by hand:
//   region 0: N = {0, 1}, x = 10, 20 of 100 each: r = 0.15, s2 = 0.5/200 -
//   0.15/100 = 0.001, C = 0.001/(0.001 + 0.0015) = 0.4, EB = 0.15 - 0.4 *
//   0.05 = 0.13. Beta prior of mean 0.15 and variance 0.001: size
//   0.15 * 0.85/0.001 - 1 = 126.5, Alpha = 18.975, Beta = 107.525, posterior
//   mean (10 + 18.975)/(100 + 126.5) = 0.12792494481236202; the gamma prior
//   (Alpha 0.15^2/0.001 = 22.5, rate 150) gives (10 + 22.5)/250 = 0.13, the
//   moment estimate itself.
//   region 1: N = {1, 0, 2} with region 2's x = 25: r = 55/300, s2 = 37/18000,
//   EB = 0.19214285714285714 (the beta prior's posterior mean
//   0.19303240012582573, the gamma prior's the moment estimate again;
//   Fractions in Python).
//   region 2: N = {2, 1}: r = 0.225, s2 = 0.125/200 - 0.225/100 < 0: clamped.
//   region 3 alone: x = 5 of 50, s2 = 0 - 0.1/50 < 0: clamped, EB = r = 0.1,
//   complete pooling of itself: the pooled rate 0.1.
TEST(SpatialEb, SmallNeighbourhoodsByHand) {
  const RecordTable records = {Record(10, 100, 1), Record(20, 100, 2), Record(25, 100, 3),
                               Record(5, 50, 4)};
  const NeighbourIndex chain = {{1}, {0, 2}, {1}, {}};
  std::vector<std::int32_t> counts;
  std::vector<double> sizes;
  for (const RegionRecord& record : records) {
    counts.push_back(record.Data1);
    sizes.push_back(record.Data2);
  }
  EstimateSettings settings;
  const SpatialEstimates proportions = EstimateSpatialProportions(records, chain, settings, 1);
  const SpatialEstimates rates = EstimateSpatialRates(counts, sizes, chain, settings, 1);
  struct Row {
    std::size_t region;
    bool rates;
    double eb_me;
    double eb;
    const char* prior;
  };
  const Row rows[] = {
      {0, false, 0.13, 0.12792494481236202, "me (small neighbourhood)"},
      {0, true, 0.13, 0.13, "me (small neighbourhood)"},
      {1, false, 0.19214285714285714, 0.19303240012582573, "me (small neighbourhood)"},
      {1, true, 0.19214285714285714, 0.19214285714285714, "me (small neighbourhood)"},
      {3, false, 0.1, 0.1, "complete pooling (small neighbourhood)"},
      {3, true, 0.1, 0.1, "complete pooling (small neighbourhood)"},
  };
  for (const Row& row : rows) {
    const LocalFigures& figures = (row.rates ? rates : proportions).Figures[row.region];
    const std::string what =
        "region " + std::to_string(row.region) + (row.rates ? " rates" : " proportions");
    ExpectRelative(figures.EbMe, row.eb_me, 1e-14, what + " eb_me");
    ExpectRelative(figures.Eb, row.eb, 1e-14, what + " eb");
    EXPECT_EQ(figures.Prior, row.prior) << what;
    EXPECT_LT(figures.Lower, figures.Eb) << what;
    EXPECT_GT(figures.Upper, figures.Eb) << what;
  }
  EXPECT_EQ(proportions.Clamped, 2u);  // regions 2 (N = {2, 1}: s2 < 0) and 3
  EXPECT_EQ(proportions.SmallNeighbourhoods, 4u);
}

// Where every region neighbours every other, each neighbourhood is the
// whole table: the spatial fit must be the table's own fit, region by
// region (the global figures computed apart, by EstimateRecords and
// EstimateRates on the whole table). A neighbourhood lists its region
// first, so the sums run in another order and agree to rounding only.
TEST(SpatialEb, WholeTableNeighbourhoodIsTheGlobalFit) {
  const NorthCarolina nc = ReadNorthCarolina();
  const std::size_t n = 12;  // the first twelve counties, each neighbouring all
  RecordTable records(nc.Records.begin(), nc.Records.begin() + static_cast<std::ptrdiff_t>(n));
  const std::vector<std::int32_t> counts(nc.Counts.begin(), nc.Counts.begin() + n);
  const std::vector<double> births(nc.Births.begin(), nc.Births.begin() + n);
  NeighbourIndex all(n);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) {
      if (j != i) all[i].push_back(j);
    }
  }
  EstimateSettings settings;
  const SpatialEstimates proportions = EstimateSpatialProportions(records, all, settings, 2);
  const SpatialEstimates rates = EstimateSpatialRates(counts, births, all, settings, 2);

  EstimatedGroups groups;
  groups.Plan = PlanGroups(records);
  EstimateParts parts;
  parts.Fits = true;
  parts.Posteriors = true;
  RecordTable global = records;
  const RecordEstimates estimates = EstimateRecords(settings, parts, 1, {}, &global, &groups);
  const RateEstimates global_rates = EstimateRates(counts, births, PlanGroups(records), settings,
                                                   false, 1);
  for (std::size_t i = 0; i < n; ++i) {
    const RecordFigures expected = FiguresOf(
        global[i], FigureSourcesOf(global, groups, estimates.Posteriors, i, false),
        estimates.Posteriors[i]);
    const std::string county = "county " + nc.Ids[i];
    ExpectRelative(proportions.Figures[i].Eb, expected.Eb, 1e-9, county + " eb");
    ExpectRelative(proportions.Figures[i].Lower, expected.Lower, 1e-9, county + " lower");
    ExpectRelative(proportions.Figures[i].Upper, expected.Upper, 1e-9, county + " upper");
    EXPECT_EQ(proportions.Figures[i].Prior, expected.PriorName) << county;
    ExpectRelative(rates.Figures[i].Eb, global_rates.Figures[i].Eb, 1e-9, county + " rate");
    ExpectRelative(rates.Figures[i].Upper, global_rates.Figures[i].Upper, 1e-9,
                   county + " rate upper");
    EXPECT_EQ(rates.Figures[i].Prior, global_rates.Figures[i].PriorName) << county;
  }
}

}  // namespace
}  // namespace propsmooth
