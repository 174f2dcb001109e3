// Splitting the records into groups and moving a group into and out of the
// estimator's workspace.
#ifndef PROPSMOOTH_INPUT_GROUPING_H_
#define PROPSMOOTH_INPUT_GROUPING_H_

#include <cstddef>
#include <cstdint>
#include <vector>

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
  std::vector<std::uint32_t> RecordIndices;  // per group, in file order
  std::vector<GroupSpan> Groups;
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

}  // namespace propsmooth

#endif  // PROPSMOOTH_INPUT_GROUPING_H_
