// The division floor of a whole run: `propsmooth_run_floor FILE` makes the
// fits propsmooth makes of FILE's groups (default settings), notes every
// sweep they take (its base and its number of terms), and times the
// divisions of those sweeps alone, on one thread, in CPU time, best of a
// few rounds.
// A run's CPU time over this floor says how much of it goes to anything
// but the divisions no exact sum can avoid: planning, term-by-term
// stretches, grouping, reading and writing. PROPSMOOTH_SIMD caps the
// floor's target as it caps the program's.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <time.h>
#include <vector>

#include "division_floor.h"
#include "estimate/mle_internal.h"
#include "estimate/moments.h"
#include "estimate/simd_targets.h"
#include "estimate/step_sums.h"
#include "input/data_file.h"
#include "input/grouping.h"

namespace propsmooth {
namespace {

// This thread's CPU time: on a shared machine, wall time would count the
// time other processes ran as well.
double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// One sweep of a step: terms 1/d and 1/(d*d), d = base + k, k < Terms.
struct SweepShape {
  double Base = 0.0;
  std::int64_t Terms = 0;
};

// Makes every group's fit as the program does and notes its sweeps; a
// ladder without terms makes a sweep that divides nothing.
std::vector<SweepShape> RecordSweeps(const RecordTable& table, double* fit_seconds) {
  const GroupPlan plan = PlanGroups(table);
  const RunSettings settings;
  std::vector<SweepShape> sweeps;
  GroupWorkspace workspace;
  const double start = ThreadSeconds();
  for (const GroupSpan& group : plan.Groups) {
    GatherGroup(table, plan, group, &workspace);
    ComputeMoments(&workspace);
    StepPlan step_plan = MakeStepPlan(workspace.Regions, false);
    FitMleWith(
        settings,
        [&](double alpha, double beta) {
          sweeps.push_back({alpha + beta, Largest(step_plan.Size)});
          sweeps.push_back({alpha, Largest(step_plan.Success)});
          sweeps.push_back({beta, Largest(step_plan.Failure)});
          return ComputeStepSums(step_plan, alpha, beta);
        },
        &workspace.Summary);
  }
  *fit_seconds = ThreadSeconds() - start;
  return sweeps;
}

double TimeFloor(const std::vector<SweepShape>& sweeps, double* checksum) {
  const double start = ThreadSeconds();
  double total = 0.0;
  for (const SweepShape& sweep : sweeps) {
    const ReciprocalSums sums = SweepDivisionFloor(sweep.Base, sweep.Terms);
    total += sums.First + sums.Second;
  }
  *checksum = total;
  return ThreadSeconds() - start;
}

}  // namespace
}  // namespace propsmooth

int main(int argc, char** argv) {
  using namespace propsmooth;  // NOLINT(build/namespaces): a tool's main
  if (argc < 2 || argc > 3) {
    std::fputs("usage: propsmooth_run_floor FILE [ROUNDS]\n", stderr);
    return 2;
  }
  const int rounds = argc == 3 ? std::max(1, std::atoi(argv[2])) : 5;
  std::string error;
  if (!CapSimdTargetsFromEnvironment(&error)) {
    std::fprintf(stderr, "propsmooth_run_floor: %s\n", error.c_str());
    return 1;
  }
  std::FILE* file = std::fopen(argv[1], "rb");
  if (file == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  RecordTable table;
  const ReadResult read = ReadDataFile(file, &table);
  std::fclose(file);
  if (read.Outcome != ReadOutcome::kOk) {
    std::fprintf(stderr, "propsmooth_run_floor: %s holds no valid data file\n", argv[1]);
    return 1;
  }
  double fit_seconds = 0.0;
  const std::vector<SweepShape> sweeps = RecordSweeps(table, &fit_seconds);
  std::int64_t terms = 0;
  for (const SweepShape& sweep : sweeps) terms += sweep.Terms;
  double best = 0.0;
  double checksum = 0.0;
  for (int round = 0; round < rounds; ++round) {
    const double seconds = TimeFloor(sweeps, &checksum);
    best = round == 0 ? seconds : std::min(best, seconds);
  }
  // One line, read by bench/run.sh: target, sweeps, terms, floor seconds,
  // the fits' own seconds (one thread, plans included), and a checksum
  // that keeps the divisions from being optimised away.
  std::printf("%s %zu %lld %.4f %.4f %.6g\n", DivisionFloorTarget().c_str(), sweeps.size(),
              static_cast<long long>(terms), best, fit_seconds, checksum);
  return 0;
}
