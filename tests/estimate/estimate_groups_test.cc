// The shared group loop gives, in parallel and in batches, what estimating
// each group alone gives, and stops where its sink says.
#include "estimate/estimate_groups.h"

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "estimate/eb.h"
#include "estimate/same_bits.h"

namespace propsmooth {
namespace {

// 6,000 units (more than one batch) of four or five records, written in
// descending unit order with each unit's records far apart: enough records
// for the parallel workers.
RecordTable ManyUnits() {
  RecordTable table;
  constexpr int kUnits = 6000;
  for (int pass = 0; pass < 5; ++pass) {
    for (int u = kUnits; u >= 1; --u) {
      if (pass == 4 && u % 2 == 0) continue;
      RegionRecord record;
      record.Unit = u;
      record.Code = static_cast<int>(table.size()) + 1;
      record.Data1 = (u * 7 + pass * 13) % 40;
      record.Data2 = 40 + (u * 3 + pass * 11) % 90;
      table.push_back(record);
    }
  }
  return table;
}

TEST(EstimateGroups, MatchesEachGroupEstimatedAlone) {
  const RunSettings settings;
  RecordTable table = ManyUnits();
  RecordTable alone = table;
  const GroupPlan plan = PlanGroups(table);
  ASSERT_GT(plan.Groups.size(), 4096u);

  std::vector<GroupSummary> expected;
  GroupWorkspace workspace;
  for (const GroupSpan& group : plan.Groups) {
    GatherGroup(alone, plan, group, &workspace);
    EstimateGroup(settings, true, &workspace);
    expected.push_back(workspace.Summary);
    ScatterGroupResults(workspace, plan, group, &alone);
  }

  std::size_t batches = 0;
  std::size_t seen = 0;
  const bool finished = EstimateGroups(
      settings, plan, &table, [&](std::size_t first, std::span<const GroupSummary> batch) {
        EXPECT_EQ(first, seen);
        for (std::size_t i = 0; i < batch.size(); ++i) {
          SCOPED_TRACE("group " + std::to_string(first + i));
          ExpectSameFit(expected[first + i], batch[i]);
          EXPECT_EQ(Bits(batch[i].AlphaMe), Bits(expected[first + i].AlphaMe));
        }
        seen += batch.size();
        ++batches;
        return true;
      });
  EXPECT_TRUE(finished);
  EXPECT_EQ(seen, plan.Groups.size());
  EXPECT_EQ(batches, 2u);
  for (std::size_t k = 0; k < table.size(); ++k) {
    ASSERT_TRUE(table[k].EbPropMle.has_value() == alone[k].EbPropMle.has_value() &&
                Bits(table[k].EbPropMle.value_or(0.0)) == Bits(alone[k].EbPropMle.value_or(0.0)) &&
                Bits(table[k].EbPropMe) == Bits(alone[k].EbPropMe) &&
                Bits(table[k].Proportion) == Bits(alone[k].Proportion))
        << "record " << k;
  }
}

TEST(EstimateGroups, StopsWhenTheSinkSaysSo) {
  RecordTable table = ManyUnits();
  const GroupPlan plan = PlanGroups(table);
  std::size_t calls = 0;
  EXPECT_FALSE(EstimateGroups(RunSettings(), plan, &table,
                              [&](std::size_t, std::span<const GroupSummary>) {
                                ++calls;
                                return false;
                              }));
  EXPECT_EQ(calls, 1u);
  // The last group (unit 6,000) lies beyond the first batch: never estimated.
  const GroupSpan& last = plan.Groups.back();
  // An estimated group shrinks every region towards its mean, above 0.
  EXPECT_GT(table[plan.RecordIndices[0]].EbPropMe, 0.0);
  EXPECT_EQ(table[plan.RecordIndices[last.Begin]].EbPropMe, 0.0);
}

}  // namespace
}  // namespace propsmooth
