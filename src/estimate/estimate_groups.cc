#include "estimate/estimate_groups.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "common/parallel.h"
#include "estimate/eb.h"

namespace propsmooth {
namespace {

// Groups estimated between two calls of the sink.
constexpr std::size_t kBatch = 4096;
// Below this many records the threads cost more than they save.
constexpr std::size_t kParallelRecords = 20000;

// Whether the group's records lie together in the table in their order,
// as every record of a table of one group does.
bool Consecutive(const GroupPlan& plan, const GroupSpan& group) {
  const std::uint32_t first = plan.RecordIndices[group.Begin];
  for (std::size_t k = group.Begin + 1; k < group.End; ++k) {
    if (plan.RecordIndices[k] != first + (k - group.Begin)) return false;
  }
  return true;
}

// Estimates groups [first, last) of the plan into `summaries` (indexed from
// `first`) and the records. Each group touches only its own records and
// summary, so workers need no lock.
void EstimateBatch(const RunSettings& settings, const GroupPlan& plan, std::size_t first,
                   std::size_t last, unsigned workers, bool allow_threads, RecordTable* table,
                   std::vector<GroupSummary>* summaries) {
  std::atomic<std::size_t> next{first};
  RunInParallel(workers, [&](std::size_t) {
    GroupWorkspace workspace;
    VisitGroupRuns(*table, plan, last, &next, [&](std::size_t g) {
      const GroupSpan& group = plan.Groups[g];
      // A group in one piece is estimated where it lies: a copy of one
      // group of ten million records would double the memory of the run.
      if (Consecutive(plan, group)) {
        EstimateGroupInPlace(settings, allow_threads,
                             std::span<RegionRecord>(*table).subspan(
                                 plan.RecordIndices[group.Begin], group.End - group.Begin),
                             &(*summaries)[g - first]);
        return;
      }
      GatherGroup(*table, plan, group, &workspace);
      EstimateGroup(settings, allow_threads, &workspace);
      (*summaries)[g - first] = workspace.Summary;
      ScatterGroupResults(workspace, plan, group, table);
    });
  });
}

}  // namespace

bool EstimateGroups(const RunSettings& settings, const GroupPlan& plan, RecordTable* table,
                    const GroupBatchSink& sink, unsigned max_workers) {
  unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  if (max_workers > 0) cores = std::min(cores, max_workers);
  const unsigned workers =
      (plan.Groups.size() > 1 && table->size() >= kParallelRecords) ? cores : 1;
  // A lone worker may spread one large group over the cores instead,
  // unless one thread is all it may use.
  const bool allow_threads = workers == 1 && max_workers != 1;
  std::vector<GroupSummary> summaries;
  for (std::size_t first = 0; first < plan.Groups.size(); first += kBatch) {
    const std::size_t last = std::min(plan.Groups.size(), first + kBatch);
    summaries.resize(last - first);
    EstimateBatch(settings, plan, first, last, workers, allow_threads, table, &summaries);
    if (!sink(first, summaries)) return false;
  }
  return true;
}

std::vector<GroupSummary> EstimateAllGroups(const RunSettings& settings, const GroupPlan& plan,
                                            RecordTable* table) {
  std::vector<GroupSummary> all;
  all.reserve(plan.Groups.size());
  EstimateGroups(settings, plan, table, [&](std::size_t, std::span<const GroupSummary> batch) {
    all.insert(all.end(), batch.begin(), batch.end());
    return true;
  });
  return all;
}

}  // namespace propsmooth
