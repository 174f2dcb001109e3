#include "stats/record_intervals.h"

#include <bit>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

// Units 3, 1 and 2 interleaved, with counts and sizes that repeat within a
// unit and across units; unit 2's prior is no beta distribution.
RecordTable MixedTable() {
  RecordTable table;
  for (std::int32_t i = 0; i < 3000; ++i) {
    RegionRecord record;
    record.Unit = 1 + (i * 7) % 3;
    record.Code = i + 1;
    record.Data2 = 10 + (i * 13) % 40;
    record.Data1 = (i * 5) % (record.Data2 + 1);
    table.push_back(record);
  }
  return table;
}

struct Prior {
  double Alpha;
  double Beta;
};

// Every record's interval under its group's prior, through the shared
// computation.
RecordIntervals Intervals(const RecordTable& table, const GroupPlan& plan,
                          const std::vector<Prior>& priors, double level, unsigned workers,
                          const IntervalProgress& progress) {
  return ComputeRecordPosteriors(
      table, plan,
      EachPair([&](const RegionRecord& record, std::size_t group, CredibleBounds* bounds,
                   std::optional<TailProbabilities>*) {
        *bounds = PosteriorInterval(record.Data1, record.Data2, priors[group].Alpha,
                                    priors[group].Beta, level);
      }),
      false, workers, progress);
}

bool SameBits(const CredibleBounds& a, const CredibleBounds& b) {
  return a.Status == b.Status && std::bit_cast<std::uint64_t>(a.Lower) ==
                                     std::bit_cast<std::uint64_t>(b.Lower) &&
         std::bit_cast<std::uint64_t>(a.Upper) == std::bit_cast<std::uint64_t>(b.Upper);
}

// Shared out over threads and computed once per distinct (group, count,
// size), every interval is bit for bit the one a plain call for the record
// gives, under its own group's prior; records that share the three share
// an entry, counted and numbered here with a map.
TEST(ComputeRecordPosteriors, EqualsOneCallPerRecordBitForBitOncePerDistinctPair) {
  const RecordTable table = MixedTable();
  const GroupPlan plan = PlanGroups(table);
  ASSERT_EQ(plan.Groups.size(), 3u);
  const std::vector<Prior> priors = {{2.5, 11.0}, {0.0, 0.0}, {0.7, 3.25}};
  for (const unsigned workers : {1u, 2u, 5u}) {
    SCOPED_TRACE(workers);
    std::size_t last_done = 0;
    const RecordIntervals intervals = Intervals(
        table, plan, priors, 0.9, workers, [&](std::size_t done, std::size_t total) {
          EXPECT_LE(done, total);
          last_done = done;
        });
    EXPECT_EQ(last_done, intervals.Distinct.size());
    for (std::size_t g = 0; g < plan.Groups.size(); ++g) {
      const Prior& prior = priors[g];
      for (std::size_t k = plan.Groups[g].Begin; k < plan.Groups[g].End; ++k) {
        const std::uint32_t i = plan.RecordIndices[k];
        ASSERT_EQ(intervals.GroupOfRecord(i), g);
        const CredibleBounds alone =
            PosteriorInterval(table[i].Data1, table[i].Data2, prior.Alpha, prior.Beta, 0.9);
        ASSERT_TRUE(SameBits(intervals[i], alone)) << "record " << i;
      }
    }
    std::map<std::pair<std::int32_t, std::pair<std::int32_t, std::int32_t>>, std::uint32_t> entry;
    for (std::size_t i = 0; i < table.size(); ++i) {
      const auto key =
          std::make_pair(table[i].Unit, std::make_pair(table[i].Data1, table[i].Data2));
      const auto [known, added] = entry.emplace(key, intervals.OfRecord[i]);
      // Entries come in order of first sight in the table, across groups,
      // so that the tables, written in that order, read them in turn.
      if (added) {
        EXPECT_EQ(known->second, entry.size() - 1) << "record " << i;
      }
      EXPECT_EQ(known->second, intervals.OfRecord[i]) << "record " << i;
    }
    EXPECT_EQ(intervals.Distinct.size(), entry.size());
    EXPECT_LT(intervals.Distinct.size(), table.size());
  }
}

TEST(ComputeRecordPosteriors, TakesAnEmptyTable) {
  const RecordIntervals intervals = Intervals(RecordTable(), GroupPlan(), {}, 0.95, 2, {});
  EXPECT_TRUE(intervals.Distinct.empty());
  EXPECT_TRUE(intervals.OfRecord.empty());
}

}  // namespace
}  // namespace propsmooth
