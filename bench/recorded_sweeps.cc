#include "recorded_sweeps.h"

#include <cstdio>
#include <time.h>

#include "estimate/mle_internal.h"
#include "estimate/moments.h"
#include "estimate/step_sums.h"
#include "input/data_file.h"
#include "input/grouping.h"

namespace propsmooth {

double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

bool ReadRecordTable(const char* path, RecordTable* table, std::string* error) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    *error = std::string(path) + ": cannot be opened";
    return false;
  }
  const ReadResult read = ReadDataFile(file, table);
  std::fclose(file);
  if (read.Outcome != ReadOutcome::kOk) {
    *error = std::string(path) + " holds no valid data file";
    return false;
  }
  return true;
}

RecordedSweeps RecordSweeps(const RecordTable& table) {
  const GroupPlan plan = PlanGroups(table);
  const RunSettings settings;
  RecordedSweeps recorded;
  GroupWorkspace workspace;
  const double start = ThreadSeconds();
  for (const GroupSpan& group : plan.Groups) {
    GatherGroup(table, plan, group, &workspace);
    ComputeMoments(&workspace);
    StepPlan step_plan = MakeStepPlan(workspace.Regions, false);
    const std::size_t size = recorded.Ladders.size();
    recorded.Ladders.push_back(step_plan.Size.Counts);
    recorded.Ladders.push_back(step_plan.Success.Counts);
    recorded.Ladders.push_back(step_plan.Failure.Counts);
    FitMleWith(
        settings,
        [&](double alpha, double beta) {
          recorded.Sweeps.push_back({alpha + beta, size});
          recorded.Sweeps.push_back({alpha, size + 1});
          recorded.Sweeps.push_back({beta, size + 2});
          return ComputeStepSums(step_plan, alpha, beta);
        },
        &workspace.Summary);
  }
  recorded.FitSeconds = ThreadSeconds() - start;
  return recorded;
}

}  // namespace propsmooth
