#include "input/grouping.h"

#include <algorithm>
#include <cassert>
#include <numeric>

namespace propsmooth {
namespace {

// Sorts the record indices by Unit, keeping file order among equal Units
// (the order of the regions within a group), and returns the keys in the
// sorted order. Two counting passes over the 16-bit halves of the Unit:
// linear, and stable by construction.
FillLaterVector<std::uint32_t> SortStablyByUnit(const RecordTable& table,
                                                FillLaterVector<std::uint32_t>* indices) {
  const std::size_t count = indices->size();
  // Flipping the sign bit makes unsigned order the signed order.
  FillLaterVector<std::uint32_t> keys = FillLaterVector<std::uint32_t>(count);
  for (std::size_t i = 0; i < count; ++i) {
    keys[i] = static_cast<std::uint32_t>(table[i].Unit) ^ 0x80000000u;
  }
  FillLaterVector<std::uint32_t> sorted_keys = FillLaterVector<std::uint32_t>(count);
  FillLaterVector<std::uint32_t> scratch = FillLaterVector<std::uint32_t>(count);
  for (const int shift : {0, 16}) {
    std::vector<std::size_t> start(65537, 0);
    for (const std::uint32_t index : *indices) ++start[((keys[index] >> shift) & 0xFFFFu) + 1];
    for (std::size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
    for (const std::uint32_t index : *indices) {
      const std::size_t at = start[(keys[index] >> shift) & 0xFFFFu]++;
      scratch[at] = index;
      if (shift == 16) sorted_keys[at] = keys[index];
    }
    indices->swap(scratch);
  }
  return sorted_keys;
}

}  // namespace

GroupPlan PlanGroups(const RecordTable& table) {
  GroupPlan plan;
  if (table.empty()) return plan;
  plan.RecordIndices = FillLaterVector<std::uint32_t>(table.size());
  std::iota(plan.RecordIndices.begin(), plan.RecordIndices.end(), 0u);
  plan.SingleGroup = table.front().Unit == -1;
  if (plan.SingleGroup) {
    plan.Groups.push_back({-1, 0, table.size()});
    return plan;
  }
  // The groups' ends are read off the sorted keys in turn, rather than off
  // the records, which the sorted indices reach anywhere in the table; and
  // counted first, so that a hundred thousand groups are not copied as
  // their list grows.
  const FillLaterVector<std::uint32_t> keys = SortStablyByUnit(table, &plan.RecordIndices);
  std::size_t groups = 1;
  for (std::size_t i = 1; i < keys.size(); ++i) groups += keys[i] != keys[i - 1] ? 1u : 0u;
  plan.Groups.reserve(groups);
  std::size_t begin = 0;
  for (std::size_t i = 1; i <= keys.size(); ++i) {
    if (i == keys.size() || keys[i] != keys[begin]) {
      plan.Groups.push_back({static_cast<std::int32_t>(keys[begin] ^ 0x80000000u), begin, i});
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
