// The exceedance figures held once per distinct count and size are those
// of every record taken one by one: the q-value is a mean over all the
// records' PEPs, each record counted, in whatever group.
#include <bit>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "input/grouping.h"
#include "stats/discovery.h"
#include "stats/record_estimates.h"

namespace propsmooth {
namespace {

struct Row {
  std::int32_t Unit;
  std::int32_t Count;
  std::int32_t Size;
};

RecordTable TableOf(const std::vector<Row>& rows) {
  RecordTable table;
  for (const Row& row : rows) {
    RegionRecord record;
    record.Unit = row.Unit;
    record.Code = static_cast<std::int32_t>(table.size()) + 1;
    record.Data1 = row.Count;
    record.Data2 = row.Size;
    table.push_back(record);
  }
  return table;
}

// Group `unit`'s records: `repeats` rounds of the same twelve pairs.
std::vector<Row> Group(std::int32_t unit, int repeats) {
  std::vector<Row> rows;
  for (int r = 0; r < repeats; ++r) {
    for (std::int32_t k = 0; k < 12; ++k) rows.push_back({unit, 2 + (k * 5) % 17, 60 + k * 9});
  }
  return rows;
}

std::vector<Row> Joined(std::vector<std::vector<Row>> parts) {
  std::vector<Row> rows;
  for (const auto& part : parts) rows.insert(rows.end(), part.begin(), part.end());
  return rows;
}

TEST(MarkDiscoveries, PairsGiveEachRecordItsOwnFigures) {
  struct Case {
    std::string Name;
    std::vector<Row> Rows;
    double Threshold;
  };
  const std::vector<Case> cases = {
      {"pairs repeated in one group", Group(-1, 5), 0.05},
      // Equal data give equal fits, so the two groups' pairs share PEPs
      // and each tie counts the records of both.
      {"two groups alike", Joined({Group(1, 3), Group(2, 3)}), 0.04},
      {"groups unlike", Joined({Group(1, 2), Group(2, 4), Group(3, 1)}), 0.06},
      // A count above its size has no posterior, hence no PEP.
      {"records without a PEP",
       Joined({Group(1, 2), {{1, 90, 40}, {1, 90, 40}}, Group(2, 1)}), 0.05},
      {"few discoveries", Joined({Group(1, 2), Group(2, 2)}), 0.08},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    RecordTable table = TableOf(c.Rows);
    EstimatedGroups groups;
    groups.Plan = PlanGroups(table);
    EstimateSettings settings;
    settings.Threshold = c.Threshold;
    EstimateParts parts;
    parts.Fits = true;
    parts.Posteriors = true;
    const RecordEstimates estimates =
        EstimateRecords(settings, parts, 2, StageProgress(), &table, &groups);
    const RecordIntervals& posteriors = estimates.Posteriors;
    ASSERT_LT(posteriors.Distinct.size(), table.size());

    // The reference: one PEP per record, the q-values over all of them.
    std::vector<std::optional<double>> peps(table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
      const auto& tails = posteriors.DistinctTails[posteriors.OfRecord[i]];
      if (tails) peps[i] = tails->AtMost;
    }
    const std::vector<std::optional<double>> q_values = QValues(peps);
    const std::vector<bool> marked = Discoveries(q_values, settings.Fdr);
    std::size_t found = 0;
    for (std::size_t i = 0; i < table.size(); ++i) {
      const RegionDiscovery& discovery = groups.DiscoveryOf(i);
      ASSERT_EQ(discovery.Tails.has_value(), peps[i].has_value()) << "record " << i;
      ASSERT_EQ(discovery.QValue.has_value(), q_values[i].has_value()) << "record " << i;
      if (q_values[i]) {
        ASSERT_EQ(std::bit_cast<std::uint64_t>(*discovery.QValue),
                  std::bit_cast<std::uint64_t>(*q_values[i]))
            << "record " << i;
      }
      ASSERT_EQ(discovery.Discovery, marked[i]) << "record " << i;
      if (marked[i]) ++found;
    }
    // Neither none nor all: the marks were tested both ways.
    EXPECT_GT(found, 0u);
    EXPECT_LT(found, table.size());
  }
}

}  // namespace
}  // namespace propsmooth
