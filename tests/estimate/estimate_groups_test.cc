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

// Each group of `table` estimated on its own, one after another, through
// a copy of its records: the reference the shared loop must match. The
// records' results are written back into `table`.
std::vector<GroupSummary> EachGroupAlone(const RunSettings& settings, const GroupPlan& plan,
                                         RecordTable* table) {
  std::vector<GroupSummary> summaries;
  GroupWorkspace workspace;
  for (const GroupSpan& group : plan.Groups) {
    GatherGroup(*table, plan, group, &workspace);
    EstimateGroup(settings, true, &workspace);
    summaries.push_back(workspace.Summary);
    ScatterGroupResults(workspace, plan, group, table);
  }
  return summaries;
}

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

  const std::vector<GroupSummary> expected = EachGroupAlone(settings, plan, &alone);

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
                Bits(table[k].Proportion()) == Bits(alone[k].Proportion()))
        << "record " << k;
  }
}

// Records of `units` units (Unit -1 for all: one group), laid out as
// `layout` says: each unit's records together, or dealt out one per unit
// in turn, or the even units together and the odd ones dealt out.
enum class Layout { kTogether, kDealt, kMixed };

RecordTable Laid(int units, int per_unit, Layout layout) {
  RecordTable table;
  const auto add = [&](int u, int k) {
    RegionRecord record;
    record.Unit = units == 1 ? -1 : u;
    record.Code = static_cast<int>(table.size()) + 1;
    record.Data1 = (u * 7 + k * 13) % 40;
    record.Data2 = 40 + (u * 3 + k * 11) % 90;
    table.push_back(record);
  };
  for (int u = units; u >= 1; --u) {
    if (layout == Layout::kDealt || (layout == Layout::kMixed && u % 2 == 1)) continue;
    for (int k = 0; k < per_unit; ++k) add(u, k);
  }
  for (int k = 0; k < per_unit; ++k) {
    for (int u = units; u >= 1; --u) {
      if (layout == Layout::kTogether || (layout == Layout::kMixed && u % 2 == 0)) continue;
      add(u, k);
    }
  }
  return table;
}

// A group whose records lie together is estimated where it lies, the
// others from a copy: both must give what a copy of each alone gives.
TEST(EstimateGroups, GroupsInOnePieceMatchTheirCopies) {
  struct Case {
    const char* Name;
    RecordTable Table;
  };
  const Case cases[] = {
      // Above 20,000 records the one group may take a second core.
      {"one group", Laid(1, 30000, Layout::kTogether)},
      {"units together", Laid(300, 90, Layout::kTogether)},
      {"units dealt", Laid(300, 90, Layout::kDealt)},
      {"together and dealt", Laid(300, 90, Layout::kMixed)},
      {"one record a unit", Laid(30000, 1, Layout::kTogether)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const RunSettings settings;
    RecordTable table = c.Table;
    RecordTable alone = c.Table;
    const GroupPlan plan = PlanGroups(table);
    const std::vector<GroupSummary> expected = EachGroupAlone(settings, plan, &alone);
    ASSERT_TRUE(EstimateGroups(settings, plan, &table,
                               [&](std::size_t first, std::span<const GroupSummary> batch) {
                                 for (std::size_t i = 0; i < batch.size(); ++i) {
                                   SCOPED_TRACE("group " + std::to_string(first + i));
                                   ExpectSameFit(expected[first + i], batch[i]);
                                   EXPECT_EQ(Bits(batch[i].AlphaMe),
                                             Bits(expected[first + i].AlphaMe));
                                   EXPECT_EQ(Bits(batch[i].Variance),
                                             Bits(expected[first + i].Variance));
                                 }
                                 return true;
                               }));
    for (std::size_t k = 0; k < table.size(); ++k) {
      ASSERT_TRUE(table[k].EbPropMle.has_value() == alone[k].EbPropMle.has_value() &&
                  Bits(table[k].EbPropMle.value_or(0.0)) ==
                      Bits(alone[k].EbPropMle.value_or(0.0)) &&
                  Bits(table[k].EbPropMe) == Bits(alone[k].EbPropMe))
          << "record " << k;
    }
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
