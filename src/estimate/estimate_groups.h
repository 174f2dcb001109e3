// Estimating every group of a run, shared out over the cores.
#ifndef PROPSMOOTH_ESTIMATE_ESTIMATE_GROUPS_H_
#define PROPSMOOTH_ESTIMATE_ESTIMATE_GROUPS_H_

#include <cstddef>
#include <functional>
#include <span>
#include <vector>

#include "common/types.h"
#include "input/grouping.h"

namespace propsmooth {

/// Receives the summaries of the groups from `first` on, in plan order,
/// once they are estimated; false stops the estimation.
using GroupBatchSink =
    std::function<bool(std::size_t first, std::span<const GroupSummary> summaries)>;

/// Estimates every group of `plan`, setting each record's three results,
/// and hands the summaries to `sink` in batches, in plan order. Groups may
/// be estimated in parallel; results and summaries are those of running
/// them one after another. A batch bounds what is held between two calls
/// of `sink`. False when `sink` stopped it; the later groups are then not
/// estimated. What a worker throws (running out of memory) reaches the
/// caller. At most `max_workers` threads when it is above 0; with 1, a
/// large group keeps to one thread too.
bool EstimateGroups(const RunSettings& settings, const GroupPlan& plan, RecordTable* table,
                    const GroupBatchSink& sink, unsigned max_workers = 0);

/// EstimateGroups keeping every group's summary, in plan order.
std::vector<GroupSummary> EstimateAllGroups(const RunSettings& settings, const GroupPlan& plan,
                                            RecordTable* table);

}  // namespace propsmooth

#endif  // PROPSMOOTH_ESTIMATE_ESTIMATE_GROUPS_H_
