#include "recorded_sweeps.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <time.h>

#include "estimate/mle_internal.h"
#include "estimate/moments.h"
#include "estimate/step_sums.h"
#include "input/data_file.h"
#include "input/grouping.h"

namespace propsmooth {

namespace {

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

}  // namespace

double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
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

bool RecordSweepsOfArguments(int argc, char** argv, const char* tool, int default_rounds,
                             RecordedSweeps* recorded, int* rounds, int* status) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s FILE [ROUNDS]\n", tool);
    *status = 2;
    return false;
  }
  *rounds = argc == 3 ? std::max(1, std::atoi(argv[2])) : default_rounds;
  RecordTable table;
  std::string error;
  if (!ReadRecordTable(argv[1], &table, &error)) {
    std::fprintf(stderr, "%s: %s\n", tool, error.c_str());
    *status = 1;
    return false;
  }
  *recorded = RecordSweeps(table);
  return true;
}

}  // namespace propsmooth
