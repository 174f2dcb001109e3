// Splitting the records into groups and moving a group into and out of the
// estimator's workspace.
#ifndef PROPSMOOTH_INPUT_GROUPING_H_
#define PROPSMOOTH_INPUT_GROUPING_H_

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "common/fill_later.h"
#include "common/types.h"

namespace propsmooth {

/// One group: its records' indices into the table (file order) and label.
struct GroupSpan {
  std::int32_t Unit = -1;      // the shared Unit; meaningless in single-group mode
  std::size_t Begin = 0;       // first entry in GroupPlan::RecordIndices
  std::size_t End = 0;         // one past the last
};

/// How the records split into groups, in the order the groups run.
struct GroupPlan {
  bool SingleGroup = false;  // the first record's Unit is -1: one group of all
  FillLaterVector<std::uint32_t> RecordIndices;  // per group, in file order
  FillLaterVector<GroupSpan> Groups;
};

/// Forms the groups: none for an empty table; one group of every record
/// when the first record's Unit is -1; otherwise one group per distinct
/// Unit in ascending order, each holding its records in file order.
GroupPlan PlanGroups(const RecordTable& table);

/// Fills `workspace` with the regions of `group`, region k being the
/// group's k-th record.
void GatherGroup(const RecordTable& table, const GroupPlan& plan,
                 const GroupSpan& group, GroupWorkspace* workspace);

/// Copies each region's three results back to the record it came from.
void ScatterGroupResults(const GroupWorkspace& workspace, const GroupPlan& plan,
                         const GroupSpan& group, RecordTable* table);

/// Records a group run takes in all: runs of many small groups, and large
/// groups on their own, so that threads still share the large ones out.
inline constexpr std::size_t kGroupRunRecords = 256;

/// Takes runs of consecutive groups below `last` off `next` (shared by
/// the threads) until none is left, and calls visit(g) for each group of a
/// run in turn. A group's records lie anywhere in the table; while one
/// group is visited, the first records of the next in its run are asked
/// for from memory, so that a pass over many small groups does not wait on
/// memory at every group.
template <typename Visit>
void VisitGroupRuns(const RecordTable& table, const GroupPlan& plan, std::size_t last,
                    std::atomic<std::size_t>* next, Visit&& visit) {
  const std::size_t groups = std::min(last, plan.Groups.size());
  std::size_t begin = next->load(std::memory_order_relaxed);
  while (begin < groups) {
    std::size_t end = begin + 1;
    std::size_t records = plan.Groups[begin].End - plan.Groups[begin].Begin;
    while (end < groups && records + (plan.Groups[end].End - plan.Groups[end].Begin) <=
                               kGroupRunRecords) {
      records += plan.Groups[end].End - plan.Groups[end].Begin;
      ++end;
    }
    if (!next->compare_exchange_weak(begin, end, std::memory_order_relaxed)) continue;
    for (std::size_t g = begin; g < end; ++g) {
      if (g + 1 < end) {
        const GroupSpan& ahead = plan.Groups[g + 1];
        for (std::size_t k = ahead.Begin; k < std::min(ahead.End, ahead.Begin + 32); ++k) {
          __builtin_prefetch(&table[plan.RecordIndices[k]]);
        }
      }
      visit(g);
    }
    begin = next->load(std::memory_order_relaxed);
  }
}

template <typename Visit>
void VisitGroupRuns(const RecordTable& table, const GroupPlan& plan, std::atomic<std::size_t>* next,
                    Visit&& visit) {
  VisitGroupRuns(table, plan, plan.Groups.size(), next, std::forward<Visit>(visit));
}

}  // namespace propsmooth

#endif  // PROPSMOOTH_INPUT_GROUPING_H_
