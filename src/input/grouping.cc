#include "input/grouping.h"

#include <algorithm>
#include <cassert>
#include <numeric>

namespace propsmooth {

GroupPlan PlanGroups(const RecordTable& table) {
  GroupPlan plan;
  if (table.empty()) return plan;
  plan.RecordIndices.resize(table.size());
  std::iota(plan.RecordIndices.begin(), plan.RecordIndices.end(), 0u);
  plan.SingleGroup = table.front().Unit == -1;
  if (plan.SingleGroup) {
    plan.Groups.push_back({-1, 0, table.size()});
    return plan;
  }
  // A stable sort by Unit keeps each group's records in file order, which
  // is the order of the regions within the group.
  std::stable_sort(plan.RecordIndices.begin(), plan.RecordIndices.end(),
                   [&table](std::uint32_t a, std::uint32_t b) {
                     return table[a].Unit < table[b].Unit;
                   });
  std::size_t begin = 0;
  for (std::size_t i = 1; i <= plan.RecordIndices.size(); ++i) {
    const std::int32_t unit = table[plan.RecordIndices[begin]].Unit;
    if (i == plan.RecordIndices.size() || table[plan.RecordIndices[i]].Unit != unit) {
      plan.Groups.push_back({unit, begin, i});
      begin = i;
    }
  }
  return plan;
}

void GatherGroup(const RecordTable& table, const GroupPlan& plan,
                 const GroupSpan& group, GroupWorkspace* workspace) {
  assert(group.Begin < group.End && group.End <= plan.RecordIndices.size());
  workspace->Regions.resize(group.End - group.Begin);
  for (std::size_t k = group.Begin; k < group.End; ++k) {
    const RegionRecord& record = table[plan.RecordIndices[k]];
    Region& region = workspace->Regions[k - group.Begin];
    region = Region{};
    region.Data1 = record.Data1;
    region.Data2 = record.Data2;
  }
}

void ScatterGroupResults(const GroupWorkspace& workspace, const GroupPlan& plan,
                         const GroupSpan& group, RecordTable* table) {
  assert(workspace.Regions.size() == group.End - group.Begin);
  for (std::size_t k = group.Begin; k < group.End; ++k) {
    const Region& region = workspace.Regions[k - group.Begin];
    RegionRecord& record = (*table)[plan.RecordIndices[k]];
    record.Proportion = region.Proportion;
    record.EbPropMe = region.EbPropMe;
    record.EbPropMle = region.EbPropMle;
  }
}

}  // namespace propsmooth
