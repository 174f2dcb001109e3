#include "estimate/step_sums.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <thread>

namespace propsmooth {
namespace {

// Below this many terms a thread costs more than it saves.
constexpr std::int64_t kParallelTerms = 1 << 16;

CountLadder MakeLadder(const std::vector<std::int64_t>& per_region) {
  CountLadder ladder;
  ladder.Counts = per_region;
  std::sort(ladder.Counts.begin(), ladder.Counts.end());
  ladder.Counts.erase(std::unique(ladder.Counts.begin(), ladder.Counts.end()),
                      ladder.Counts.end());
  ladder.Rung.resize(per_region.size());
  for (std::size_t i = 0; i < per_region.size(); ++i) {
    const auto it = std::lower_bound(ladder.Counts.begin(), ladder.Counts.end(),
                                     per_region[i]);
    ladder.Rung[i] = static_cast<std::uint32_t>(it - ladder.Counts.begin());
  }
  return ladder;
}

std::int64_t Largest(const CountLadder& ladder) {
  return ladder.Counts.empty() ? 0 : ladder.Counts.back();
}

// Terms are computed a block at a time into arrays, where the divisions
// are independent of each other, and then added in k order.
constexpr std::int64_t kBlock = 256;

void AddTerms(double base, std::int64_t from, std::int64_t to, double* first,
              double* second) {
  alignas(64) std::array<double, kBlock> t1;
  alignas(64) std::array<double, kBlock> t2;
  double s1 = *first;
  double s2 = *second;
  for (std::int64_t k0 = from; k0 < to; k0 += kBlock) {
    const std::int64_t n = std::min(kBlock, to - k0);
    for (std::int64_t j = 0; j < n; ++j) {
      const double d = base + static_cast<double>(k0 + j);
      t1[static_cast<std::size_t>(j)] = 1.0 / d;
      t2[static_cast<std::size_t>(j)] = 1.0 / (d * d);
    }
    for (std::int64_t j = 0; j < n; ++j) {
      s1 = s1 + t1[static_cast<std::size_t>(j)];
      s2 = s2 + t2[static_cast<std::size_t>(j)];
    }
  }
  *first = s1;
  *second = s2;
}

struct InnerSums {
  std::vector<double> First;   // by rung: sum of 1/d
  std::vector<double> Second;  // by rung: sum of 1/(d*d)
};

}  // namespace

void SweepInnerSums(const std::vector<std::int64_t>& counts, double base,
                    std::vector<double>* first, std::vector<double>* second) {
  first->resize(counts.size());
  second->resize(counts.size());
  double s1 = 0.0;
  double s2 = 0.0;
  std::int64_t k = 0;
  for (std::size_t j = 0; j < counts.size(); ++j) {
    assert(counts[j] >= k);
    AddTerms(base, k, counts[j], &s1, &s2);
    k = counts[j];
    (*first)[j] = s1;
    (*second)[j] = s2;
  }
}

StepPlan MakeStepPlan(const std::vector<Region>& regions, bool allow_threads) {
  std::vector<std::int64_t> sizes(regions.size());
  std::vector<std::int64_t> successes(regions.size());
  std::vector<std::int64_t> failures(regions.size());
  for (std::size_t i = 0; i < regions.size(); ++i) {
    sizes[i] = regions[i].Data2;
    successes[i] = regions[i].Data1;
    // A count above its size adds no Beta terms.
    failures[i] = std::max<std::int64_t>(
        std::int64_t{regions[i].Data2} - regions[i].Data1, 0);
  }
  StepPlan plan;
  plan.Size = MakeLadder(sizes);
  plan.Success = MakeLadder(successes);
  plan.Failure = MakeLadder(failures);
  plan.Parallel = allow_threads && std::thread::hardware_concurrency() > 1 &&
                  Largest(plan.Size) >= kParallelTerms;
  return plan;
}

StepSums ComputeStepSums(const StepPlan& plan, double alpha, double beta) {
  InnerSums size_sums;
  InnerSums success_sums;
  InnerSums failure_sums;
  const double alpha_plus_beta = alpha + beta;
  const auto sweep_size = [&] {
    SweepInnerSums(plan.Size.Counts, alpha_plus_beta, &size_sums.First,
                   &size_sums.Second);
  };
  const auto sweep_others = [&] {
    SweepInnerSums(plan.Success.Counts, alpha, &success_sums.First,
                   &success_sums.Second);
    SweepInnerSums(plan.Failure.Counts, beta, &failure_sums.First,
                   &failure_sums.Second);
  };
  if (plan.Parallel) {
    // The size sweep is the longest chain; the other two share the core.
    std::thread helper(sweep_others);
    sweep_size();
    helper.join();
  } else {
    sweep_size();
    sweep_others();
  }

  // The outer totals take the regions in order, each row as its own
  // running total: S, then gA and gB from S; HAB, then HAA and HBB from HAB.
  const std::size_t count = plan.Size.Rung.size();
  double shared = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    shared = shared - size_sums.First[plan.Size.Rung[i]];
  }
  double grad_alpha = shared;
  double grad_beta = shared;
  double hess_mixed = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    grad_alpha = grad_alpha + success_sums.First[plan.Success.Rung[i]];
    grad_beta = grad_beta + failure_sums.First[plan.Failure.Rung[i]];
    hess_mixed = hess_mixed + size_sums.Second[plan.Size.Rung[i]];
  }
  double hess_alpha = hess_mixed;
  double hess_beta = hess_mixed;
  for (std::size_t i = 0; i < count; ++i) {
    hess_alpha = hess_alpha - success_sums.Second[plan.Success.Rung[i]];
    hess_beta = hess_beta - failure_sums.Second[plan.Failure.Rung[i]];
  }
  StepSums sums;
  sums.GradAlpha = grad_alpha;
  sums.GradBeta = grad_beta;
  sums.HessAlpha = hess_alpha;
  sums.HessBeta = hess_beta;
  sums.HessMixed = hess_mixed;
  return sums;
}

}  // namespace propsmooth
