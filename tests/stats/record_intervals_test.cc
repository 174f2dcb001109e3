#include "stats/record_intervals.h"

#include <bit>
#include <cstdint>
#include <algorithm>
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

// The entry of each record, as the intervals number them: group after
// group in the plan's order, and within a group each distinct count and
// size in order of first sight in the table.
std::vector<std::uint32_t> ExpectedEntries(const RecordTable& table, const GroupPlan& plan) {
  std::vector<std::uint32_t> entries(table.size());
  std::uint32_t next = 0;
  for (const GroupSpan& group : plan.Groups) {
    std::vector<std::uint32_t> records(plan.RecordIndices.data() + group.Begin,
                                       plan.RecordIndices.data() + group.End);
    std::sort(records.begin(), records.end());
    std::map<std::pair<std::int32_t, std::int32_t>, std::uint32_t> seen;
    for (const std::uint32_t i : records) {
      const auto [known, added] =
          seen.emplace(std::make_pair(table[i].Data1, table[i].Data2), next);
      if (added) ++next;
      entries[i] = known->second;
    }
  }
  return entries;
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
    const std::vector<std::uint32_t> expected = ExpectedEntries(table, plan);
    EXPECT_EQ(std::vector<std::uint32_t>(intervals.OfRecord.begin(), intervals.OfRecord.end()),
              expected);
    EXPECT_EQ(intervals.Distinct.size(), std::size_t{*std::max_element(expected.begin(),
                                                                        expected.end())} + 1);
    EXPECT_LT(intervals.Distinct.size(), table.size());
  }
}

// The same on tables of other shapes, on 1 and 3 threads: every record's
// interval is the direct call's under its own group's prior, bit for bit,
// and entries are numbered group after group. The pairs are computed
// group by group in runs of 1024 that cut groups anywhere, so each shape
// has more than one run: groups of 2, 51 and about 700 distinct pairs, and
// a table of one group, where no group is kept per record. The priors
// differ from group to group, so a pair computed under a neighbouring
// group's prior shows.
TEST(ComputeRecordPosteriors, EachRecordGetsItsGroupsIntervalOnEveryShape) {
  struct Shape {
    const char* Name;
    std::int32_t Records;
    std::int32_t Units;     // 0: one group of all (Unit -1)
    std::int32_t Sizes;     // distinct sizes per unit, each with every count
    std::int32_t Shuffle;   // a step coprime to Records that scatters the units
  };
  const Shape shapes[] = {
      {"one group of 1800 pairs", 6000, 0, 600, 7},
      {"1500 groups of 2 pairs", 3000, 1500, 1, 11},
      {"400 groups of 51 pairs", 40000, 400, 17, 13},
      {"7 groups of about 700 pairs", 5000, 7, 3000, 3},
  };
  for (const Shape& shape : shapes) {
    RecordTable table;
    for (std::int32_t i = 0; i < shape.Records; ++i) {
      const std::int32_t j = static_cast<std::int32_t>((std::int64_t{i} * shape.Shuffle) % shape.Records);
      RegionRecord record;
      record.Unit = shape.Units == 0 ? -1 : 1 + j % shape.Units;
      record.Code = i + 1;
      const std::int32_t k = j / std::max(shape.Units, 1);
      record.Data2 = 20 + k % shape.Sizes;
      record.Data1 = (k / shape.Sizes) % 3;
      table.push_back(record);
    }
    const GroupPlan plan = PlanGroups(table);
    std::vector<Prior> priors;
    for (std::size_t g = 0; g < plan.Groups.size(); ++g) {
      priors.push_back({12.0 + static_cast<double>(g % 5), 40.0 + static_cast<double>(g % 3)});
    }
    for (const unsigned workers : {1u, 3u}) {
      SCOPED_TRACE(::testing::Message() << shape.Name << ", " << workers << " workers");
      const RecordIntervals intervals = Intervals(table, plan, priors, 0.95, workers, {});
      for (std::size_t g = 0; g < plan.Groups.size(); ++g) {
        for (std::size_t k = plan.Groups[g].Begin; k < plan.Groups[g].End; ++k) {
          const std::uint32_t i = plan.RecordIndices[k];
          ASSERT_EQ(intervals.GroupOfRecord(i), g) << "record " << i;
          const CredibleBounds alone = PosteriorInterval(table[i].Data1, table[i].Data2,
                                                         priors[g].Alpha, priors[g].Beta, 0.95);
          ASSERT_TRUE(SameBits(intervals[i], alone)) << "record " << i;
        }
      }
      const std::vector<std::uint32_t> expected = ExpectedEntries(table, plan);
      ASSERT_EQ(std::vector<std::uint32_t>(intervals.OfRecord.begin(), intervals.OfRecord.end()),
                expected);
      const std::size_t entries =
          std::size_t{*std::max_element(expected.begin(), expected.end())} + 1;
      EXPECT_EQ(intervals.Distinct.size(), entries);
      EXPECT_GT(entries, 1024u);
    }
  }
}

TEST(ComputeRecordPosteriors, TakesAnEmptyTable) {
  const RecordIntervals intervals = Intervals(RecordTable(), GroupPlan(), {}, 0.95, 2, {});
  EXPECT_TRUE(intervals.Distinct.empty());
  EXPECT_TRUE(intervals.OfRecord.empty());
}

}  // namespace
}  // namespace propsmooth
