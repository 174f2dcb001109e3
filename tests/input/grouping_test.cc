// Forming the groups and moving each into and out of the workspace.
#include "input/grouping.h"

#include <atomic>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/parallel.h"

namespace propsmooth {
namespace {

constexpr std::int32_t kMaxInt = std::numeric_limits<std::int32_t>::max();

// A table with the given units; Data1 and Data2 differ per record so that
// a record's results show which record they were computed for.
RecordTable MakeTable(const std::vector<std::int32_t>& units) {
  RecordTable table;
  for (std::size_t i = 0; i < units.size(); ++i) {
    RegionRecord record;
    record.Unit = units[i];
    record.Code = 100 + static_cast<std::int32_t>(i);
    record.Data1 = static_cast<std::int32_t>(i) + 1;
    record.Data2 = 2 * static_cast<std::int32_t>(i) + 3;
    table.push_back(record);
  }
  return table;
}

struct ExpectedGroup {
  std::int32_t Unit;                    // ignored in single-group mode
  std::vector<std::uint32_t> Positions;  // record positions, from 1
};

TEST(PlanGroups, FormsGroupsInAscendingUnitOrder) {
  struct Case {
    const char* Name;
    std::vector<std::int32_t> Units;
    bool SingleGroup;
    std::vector<ExpectedGroup> Groups;
  };
  const Case kCases[] = {
      {"empty table", {}, false, {}},
      {"single group despite later units", {-1, 3, 7}, true, {{-1, {1, 2, 3}}}},
      {"single group of one", {-1}, true, {{-1, {1}}}},
      {"single group with later -1", {-1, 5, -1, 2}, true, {{-1, {1, 2, 3, 4}}}},
      {"one unit", {3}, false, {{3, {1}}}},
      {"only -1 selects one group", {-2, -1}, false, {{-2, {1}}, {-1, {2}}}},
      {"repeated units", {5, 2, 5, 9, 2}, false,
       {{2, {2, 5}}, {5, {1, 3}}, {9, {4}}}},
      {"later -1 runs first", {4, -1}, false, {{-1, {2}}, {4, {1}}}},
      {"later -1 among others", {4, 6, -1, 4, -1}, false,
       {{-1, {3, 5}}, {4, {1, 4}}, {6, {2}}}},
      {"extremes", {0, kMaxInt, -1, 0}, false,
       {{-1, {3}}, {0, {1, 4}}, {kMaxInt, {2}}}},
      {"extremes reversed", {kMaxInt, 0, -1}, false,
       {{-1, {3}}, {0, {2}}, {kMaxInt, {1}}}},
      {"all alike", {7, 7, 7}, false, {{7, {1, 2, 3}}}},
      {"descending", {9, 8, 7, 6, 5, 4, 3, 2, 1, 0}, false,
       {{0, {10}}, {1, {9}}, {2, {8}}, {3, {7}}, {4, {6}},
        {5, {5}}, {6, {4}}, {7, {3}}, {8, {2}}, {9, {1}}}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.Name);
    const RecordTable table = MakeTable(c.Units);
    const GroupPlan plan = PlanGroups(table);
    EXPECT_EQ(plan.SingleGroup, c.SingleGroup);
    ASSERT_EQ(plan.Groups.size(), c.Groups.size());
    for (std::size_t g = 0; g < c.Groups.size(); ++g) {
      SCOPED_TRACE("group " + std::to_string(g + 1));
      const GroupSpan& group = plan.Groups[g];
      if (!c.SingleGroup) {
        EXPECT_EQ(group.Unit, c.Groups[g].Unit);
      }
      ASSERT_LE(group.Begin, group.End);
      ASSERT_LE(group.End, plan.RecordIndices.size());
      std::vector<std::uint32_t> positions;
      for (std::size_t k = group.Begin; k < group.End; ++k) {
        positions.push_back(plan.RecordIndices[k] + 1);
      }
      EXPECT_EQ(positions, c.Groups[g].Positions);
    }
  }
}

// Many records over a few units: the groups still hold their records in
// file order, which a sort that is not stable would break.
TEST(PlanGroups, KeepsFileOrderWithinLargeGroups) {
  std::vector<std::int32_t> units;
  for (int i = 0; i < 5000; ++i) units.push_back((i * 7919) % 3);
  const GroupPlan plan = PlanGroups(MakeTable(units));
  ASSERT_EQ(plan.Groups.size(), 3u);
  for (std::size_t g = 0; g < 3; ++g) {
    SCOPED_TRACE(g);
    const GroupSpan& group = plan.Groups[g];
    EXPECT_EQ(group.Unit, static_cast<std::int32_t>(g));
    std::vector<std::uint32_t> expected;
    for (std::uint32_t i = 0; i < units.size(); ++i) {
      if (units[i] == group.Unit) expected.push_back(i);
    }
    const std::vector<std::uint32_t> actual(
        plan.RecordIndices.begin() + static_cast<std::ptrdiff_t>(group.Begin),
        plan.RecordIndices.begin() + static_cast<std::ptrdiff_t>(group.End));
    EXPECT_EQ(actual, expected);
  }
}

// Runs every group through gather and scatter with a stand-in estimator
// that computes each region's raw proportion (from the gathered counts, so
// a region gathered from the wrong record shows) and tags the other two
// results with the group's run order and the region's place, then checks
// that every record got its own. A group smaller than the one before must
// shrink the workspace.
TEST(ScatterGroupResults, ReturnsResultsToTheirRecords) {
  struct Case {
    const char* Name;
    std::vector<std::int32_t> Units;
    std::vector<int> GroupOfRecord;  // run order of each record's group
  };
  const Case kCases[] = {
      {"single group", {-1, 3, 7}, {0, 0, 0}},
      {"per unit", {5, 2, 5, 9, 2}, {1, 0, 1, 2, 0}},
      {"later -1", {4, -1, 4}, {1, 0, 1}},
      {"extremes", {0, kMaxInt, -1, 0}, {1, 2, 0, 1}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.Name);
    RecordTable table = MakeTable(c.Units);
    const RecordTable before = table;
    const GroupPlan plan = PlanGroups(table);
    GroupWorkspace workspace;
    for (std::size_t g = 0; g < plan.Groups.size(); ++g) {
      GatherGroup(table, plan, plan.Groups[g], &workspace);
      ASSERT_EQ(workspace.Regions.size(), plan.Groups[g].End - plan.Groups[g].Begin);
      for (std::size_t k = 0; k < workspace.Regions.size(); ++k) {
        Region& region = workspace.Regions[k];
        region.EbPropMe = static_cast<double>(g);
        region.EbPropMle = static_cast<double>(k);
      }
      ScatterGroupResults(workspace, plan, plan.Groups[g], &table);
    }
    ASSERT_EQ(table.size(), before.size());
    std::vector<int> seen_in_group(plan.Groups.size(), 0);
    for (std::size_t i = 0; i < table.size(); ++i) {
      SCOPED_TRACE("record " + std::to_string(i + 1));
      const RegionRecord& record = table[i];
      EXPECT_EQ(record.Unit, before[i].Unit);
      EXPECT_EQ(record.Code, before[i].Code);
      EXPECT_EQ(record.Data1, before[i].Data1);
      EXPECT_EQ(record.Data2, before[i].Data2);
      EXPECT_EQ(record.Proportion(),
                static_cast<double>(before[i].Data1) / before[i].Data2);
      const int group = c.GroupOfRecord[i];
      EXPECT_EQ(record.EbPropMe, static_cast<double>(group));
      // Within its group, the record is the next region in file order.
      const auto slot = static_cast<std::size_t>(group);
      EXPECT_EQ(record.EbPropMle, std::optional(static_cast<double>(seen_in_group[slot])));
      ++seen_in_group[slot];
    }
  }
}

// Every group below the bound is visited once, whatever the sizes and the
// threads, and each thread's groups come in ascending order: runs are
// taken off the shared counter, which only moves on.
TEST(VisitGroupRuns, VisitsEachGroupOnce) {
  struct Case {
    const char* Name;
    std::vector<std::size_t> Sizes;  // records per group, in group order
    std::size_t Last;
  };
  const std::size_t kBound = kGroupRunRecords;
  const Case kCases[] = {
      {"many small groups", std::vector<std::size_t>(1000, 3), 1000},
      {"a large group between small ones", {5, 5, 3 * kBound, 5, kBound, 1}, 6},
      {"groups that fill a run exactly", {kBound / 2, kBound / 2, kBound / 2, 1}, 4},
      {"stops at the bound given", std::vector<std::size_t>(50, 10), 37},
      {"one group", {1}, 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::int32_t> units;
    for (std::size_t g = 0; g < c.Sizes.size(); ++g) {
      units.insert(units.end(), c.Sizes[g], static_cast<std::int32_t>(g));
    }
    const RecordTable table = MakeTable(units);
    const GroupPlan plan = PlanGroups(table);
    ASSERT_EQ(plan.Groups.size(), c.Sizes.size());
    for (const unsigned threads : {1u, 3u}) {
      std::vector<std::vector<std::size_t>> order(threads);
      std::atomic<std::size_t> next{0};
      RunInParallel(threads, [&](std::size_t t) {
        VisitGroupRuns(table, plan, c.Last, &next, [&](std::size_t g) { order[t].push_back(g); });
      });
      std::vector<int> seen(c.Sizes.size(), 0);
      for (const std::vector<std::size_t>& visits : order) {
        for (std::size_t i = 0; i < visits.size(); ++i) {
          ++seen[visits[i]];
          if (i > 0) {
            EXPECT_LT(visits[i - 1], visits[i]);
          }
        }
      }
      for (std::size_t g = 0; g < c.Sizes.size(); ++g) {
        EXPECT_EQ(seen[g], g < c.Last ? 1 : 0) << "group " << g << ", " << threads << " threads";
      }
    }
  }
}

}  // namespace
}  // namespace propsmooth
