// The step kernels and the fit on the benchmark groups: the term-by-term
// reference against the fast kernel.
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include "datasets.h"
#include "estimate/literal_step_sums.h"
#include "estimate/mle.h"
#include "estimate/moments.h"
#include "estimate/step_sums.h"

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

const GroupWorkspace& Group(Dataset dataset) {
  static const GroupWorkspace national = MakeGroup(Dataset::kNational);
  static const GroupWorkspace wide = MakeGroup(Dataset::kWide);
  return dataset == Dataset::kNational ? national : wide;
}

Dataset FromArg(std::int64_t arg) {
  return arg == 0 ? Dataset::kNational : Dataset::kWide;
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

// One step of the fast kernel; range(1) allows the second thread.
void BM_StepFast(benchmark::State& state) {
  const GroupWorkspace& group = Group(FromArg(state.range(0)));
  StepPlan plan = MakeStepPlan(group.Regions, state.range(1) != 0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        ComputeStepSums(plan, group.Summary.AlphaMe, group.Summary.BetaMe));
  }
  SetTerms(state, group);
}

// A whole fit with the reference kernel, default settings.
void BM_FitLiteral(benchmark::State& state) {
  const GroupWorkspace& group = Group(FromArg(state.range(0)));
  const RunSettings settings;
  GroupSummary summary;
  for (auto _ : state) {
    summary = group.Summary;
    FitMleWith(
        settings,
        [&group](double alpha, double beta) {
          return LiteralStepSums(group.Regions, alpha, beta);
        },
        &summary);
  }
  state.counters["steps"] = summary.Iterations;
  state.counters["converged"] = summary.Converged;
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
  state.counters["converged"] = group.Summary.Converged;
}

// Arguments: group (0 national, 1 wide), threads allowed.
BENCHMARK(BM_StepLiteral)->ArgNames({"group"})->Arg(0)->Arg(1)
    ->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StepFast)->ArgNames({"group", "threads"})
    ->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FitLiteral)->ArgNames({"group"})->Arg(0)->Arg(1)
    ->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Fit)->ArgNames({"group", "threads"})
    ->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})
    ->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace propsmooth
