#include "input/grouping.h"

#include <algorithm>
#include <cassert>
#include <numeric>

namespace propsmooth {
namespace {

// Sorts the record indices by Unit, keeping file order among equal Units
// (the order of the regions within a group). Two counting passes over the
// 16-bit halves of the Unit: linear, and stable by construction.
void SortStablyByUnit(const RecordTable& table, std::vector<std::uint32_t>* indices) {
  const std::size_t count = indices->size();
  // Flipping the sign bit makes unsigned order the signed order.
  std::vector<std::uint32_t> keys(count);
  for (std::size_t i = 0; i < count; ++i) {
    keys[i] = static_cast<std::uint32_t>(table[i].Unit) ^ 0x80000000u;
  }
  std::vector<std::uint32_t> scratch(count);
  for (const int shift : {0, 16}) {
    std::vector<std::size_t> start(65537, 0);
    for (const std::uint32_t index : *indices) ++start[((keys[index] >> shift) & 0xFFFFu) + 1];
    for (std::size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
    for (const std::uint32_t index : *indices) {
      scratch[start[(keys[index] >> shift) & 0xFFFFu]++] = index;
    }
    indices->swap(scratch);
  }
}

}  // namespace

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
  SortStablyByUnit(table, &plan.RecordIndices);
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
    record.EbPropMe = region.EbPropMe;
    record.EbPropMle = region.EbPropMle;
  }
}

}  // namespace propsmooth
