// The step kernels and the fit on the benchmark groups: the term-by-term
// reference against the fast kernel, and the fast kernel against the
// divisions it cannot avoid. PROPSMOOTH_SIMD caps the targets, as it does
// for the program.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "datasets.h"
#include "division_floor.h"
#include "estimate/mle.h"
#include "estimate/moments.h"
#include "estimate/simd_targets.h"
#include "estimate/step_sums.h"
#include "reference/reference.h"

namespace propsmooth {
namespace {

// A group's regions with its moment estimators computed, so that steps
// are taken where the fit starts.
GroupWorkspace MakeGroup(Dataset dataset) {
  const RecordTable table = MakeDataset(dataset);
  GroupWorkspace workspace;
  workspace.Regions.resize(table.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    workspace.Regions[i].Data1 = table[i].Data1;
    workspace.Regions[i].Data2 = table[i].Data2;
  }
  ComputeMoments(&workspace);
  return workspace;
}

// Each group is made the first time a benchmark asks for it, so that a
// filtered run makes only the groups it uses.
const GroupWorkspace& Group(Dataset dataset) {
  switch (dataset) {
    case Dataset::kWide: {
      static const GroupWorkspace wide = MakeGroup(Dataset::kWide);
      return wide;
    }
    case Dataset::kLarge: {
      static const GroupWorkspace large = MakeGroup(Dataset::kLarge);
      return large;
    }
    default: {
      static const GroupWorkspace national = MakeGroup(Dataset::kNational);
      return national;
    }
  }
}

// The group argument of every benchmark: 0 national, 1 wide, 2 large.
Dataset FromArg(std::int64_t arg) {
  switch (arg) {
    case 1:
      return Dataset::kWide;
    case 2:
      return Dataset::kLarge;
    default:
      return Dataset::kNational;
  }
}

void SetTerms(benchmark::State& state, const GroupWorkspace& group) {
  std::int64_t terms = 0;
  for (const Region& region : group.Regions) terms += region.Data2;
  state.counters["sumData2"] = static_cast<double>(terms);
}

// One step, every term of every row.
void BM_StepLiteral(benchmark::State& state) {
  const GroupWorkspace& group = Group(FromArg(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(LiteralStepSums(group.Regions, group.Summary.AlphaMe,
                                             group.Summary.BetaMe));
  }
  SetTerms(state, group);
}

// One step of `kernel` where the fit starts; range(1) allows the second
// thread.
template <auto kernel>
void StepAtStart(benchmark::State& state) {
  const GroupWorkspace& group = Group(FromArg(state.range(0)));
  StepPlan plan = MakeStepPlan(group.Regions, state.range(1) != 0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(kernel(plan, group.Summary.AlphaMe, group.Summary.BetaMe));
  }
  SetTerms(state, group);
}

// One step of the fast kernel.
void BM_StepFast(benchmark::State& state) { StepAtStart<ComputeStepSums>(state); }

// The divisions of one step alone, at the same point and on the same
// threads as BM_StepFast: how far the step is from what the target's
// division unit allows.
void BM_DivisionFloor(benchmark::State& state) { StepAtStart<DivisionFloor>(state); }

// The reference fit, the plain loop on the literal sums, default settings.
void BM_FitLiteral(benchmark::State& state) {
  const GroupWorkspace& group = Group(FromArg(state.range(0)));
  const RunSettings settings;
  GroupSummary summary;
  for (auto _ : state) {
    summary = group.Summary;
    PlainFit(settings, LiteralKernel(group.Regions), &summary);
  }
  state.counters["steps"] = summary.Iterations;
  state.counters["converged"] = summary.Mle ? 1 : 0;
}

// A whole fit as the program makes it (plan included), default settings.
void BM_Fit(benchmark::State& state) {
  GroupWorkspace group = Group(FromArg(state.range(0)));
  const RunSettings settings;
  const GroupSummary start = group.Summary;
  for (auto _ : state) {
    group.Summary = start;
    FitMle(settings, state.range(1) != 0, &group);
  }
  state.counters["steps"] = group.Summary.Iterations;
  state.counters["converged"] = group.Summary.Mle ? 1 : 0;
}

// Arguments: group (0 national, 1 wide, 2 large), threads allowed.
BENCHMARK(BM_StepLiteral)->ArgNames({"group"})->Arg(0)->Arg(1)
    ->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StepFast)->ArgNames({"group", "threads"})
    ->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})->Args({2, 0})->Args({2, 1})
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DivisionFloor)->ArgNames({"group", "threads"})
    ->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})->Args({2, 0})->Args({2, 1})
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FitLiteral)->ArgNames({"group"})->Arg(0)->Arg(1)
    ->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Fit)->ArgNames({"group", "threads"})
    ->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})
    ->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace propsmooth

// `propsmooth_bench --list_simd_targets` prints the targets this CPU runs
// (after any cap), best first, and nothing else; bench/run.sh runs the
// benchmarks once per target from that list.
int main(int argc, char** argv) {
  // Before any benchmark runs a kernel, as in the program.
  std::string error;
  if (!propsmooth::CapSimdTargetsFromEnvironment(&error)) {
    std::fprintf(stderr, "propsmooth_bench: %s\n", error.c_str());
    return 1;
  }
  std::string available;
  for (const std::string& name : propsmooth::AvailableSimdTargets()) {
    available += (available.empty() ? "" : " ") + name;
  }
  const std::string target = propsmooth::ActiveSimdTarget();
  // With Highway 1.0.3, every call of hwy::SupportedTargets() (the two
  // above make some) points the dispatch back at the best target of the
  // CPU, cap or no cap; capping again makes the next dispatch choose anew.
  propsmooth::CapSimdTargetsFromEnvironment(&error);
  if (argc == 2 && std::strcmp(argv[1], "--list_simd_targets") == 0) {
    std::printf("%s\n", available.c_str());
    return 0;
  }
  // A dispatch, as the step kernel's: the figures are only worth reading
  // when it chose the target they are reported under.
  const std::string floor_target = propsmooth::DivisionFloorTarget();
  if (floor_target != target) {
    std::fprintf(stderr, "propsmooth_bench: the dispatch chose %s, not %s\n",
                 floor_target.c_str(), target.c_str());
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::AddCustomContext("simd_target", target);
  benchmark::AddCustomContext("simd_available", available);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
