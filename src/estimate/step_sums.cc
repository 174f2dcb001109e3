#include "estimate/step_sums.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

namespace propsmooth {
namespace {

// Below this many terms a thread costs more than it saves.
constexpr std::int64_t kParallelTerms = 1 << 16;

// Which count of a region a ladder is built from.
enum class Kind { kSize, kSuccess, kFailure };

// An inner sum whose upper limit is below 0 is empty, as one of 0.
std::int64_t CountOf(const Region& region, Kind kind) {
  const std::int64_t size = std::max<std::int64_t>(region.Data2, 0);
  const std::int64_t success = std::max<std::int64_t>(region.Data1, 0);
  switch (kind) {
    case Kind::kSize:
      return size;
    case Kind::kSuccess:
      return success;
    case Kind::kFailure:
      // A count above its size adds no Beta terms.
      return std::max<std::int64_t>(std::int64_t{region.Data2} - region.Data1, 0);
  }
  return 0;
}

CountLadder MakeLadder(const std::vector<Region>& regions, Kind kind) {
  CountLadder ladder;
  ladder.Rung.resize(regions.size());
  std::int64_t largest = 0;
  for (const Region& region : regions) largest = std::max(largest, CountOf(region, kind));
  if (static_cast<std::uint64_t>(largest) <= 4 * regions.size() + 64) {
    // Counts in a range of the order of the regions: a table by count
    // sorts them in linear time, and holds no more than the rungs would.
    // A small group with counts in the thousands sorts its few counts
    // faster than it would clear and scan the table.
    std::vector<std::uint32_t> rung_of(static_cast<std::size_t>(largest) + 1, 0);
    for (const Region& region : regions) {
      rung_of[static_cast<std::size_t>(CountOf(region, kind))] = 1;
    }
    std::uint32_t next = 0;
    for (std::size_t count = 0; count < rung_of.size(); ++count) {
      if (rung_of[count] == 0) continue;
      ladder.Counts.push_back(static_cast<std::int64_t>(count));
      rung_of[count] = next++;
    }
    for (std::size_t i = 0; i < regions.size(); ++i) {
      ladder.Rung[i] = rung_of[static_cast<std::size_t>(CountOf(regions[i], kind))];
    }
    return ladder;
  }
  ladder.Counts.resize(regions.size());
  for (std::size_t i = 0; i < regions.size(); ++i) {
    ladder.Counts[i] = CountOf(regions[i], kind);
  }
  std::sort(ladder.Counts.begin(), ladder.Counts.end());
  ladder.Counts.erase(std::unique(ladder.Counts.begin(), ladder.Counts.end()),
                      ladder.Counts.end());
  ladder.Counts.shrink_to_fit();
  for (std::size_t i = 0; i < regions.size(); ++i) {
    const auto it = std::lower_bound(ladder.Counts.begin(), ladder.Counts.end(),
                                     CountOf(regions[i], kind));
    ladder.Rung[i] = static_cast<std::uint32_t>(it - ladder.Counts.begin());
  }
  return ladder;
}

std::int64_t Largest(const CountLadder& ladder) {
  return ladder.Counts.empty() ? 0 : ladder.Counts.back();
}

// Terms are computed a block at a time, eight lanes at once, where the
// divisions are independent of each other; the running sums then take
// them in k order.
constexpr std::int64_t kBlock = 512;
constexpr int kLanes = 8;
// Terms taken on a grid at once, and how many are added term by term
// where the grid fails before it is tried again.
constexpr int kChunk = 128;
constexpr int kInOrder = 8;
// Terms at the start of every sweep that are added one at a time.
constexpr std::int64_t kHead = 128;

// Eight doubles; each build target lowers them to its widest registers.
using Lanes [[gnu::vector_size(64)]] = double;

// Adding a term t >= 0 to a running sum s in [2^e, 2^(e+1)) is exact
// arithmetic on the grid of multiples of u = ulp(s) as long as the result
// stays below 2^(e+1): the rounded sum is s + u * round(t / u), ties to
// even, and whole multiples of u add without error in any order. So a span
// of terms needs no chain of dependent additions whenever no term's t / u
// lies exactly halfway between two whole numbers (that rounding would
// depend on s) and the span's total stays below 2^(e+1). Where a chunk
// fails, narrower chunks close in on the term that fails it, and a few
// terms around it are added one at a time.
struct Grid {
  double Unit = 0.0;     // u
  double Inverse = 0.0;  // 1 / u, a power of two
  double Steps = 0.0;    // s / u, a whole number in [2^52, 2^53)
};

constexpr double kTwo52 = 0x1p52;
constexpr double kTwo53 = 0x1p53;
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr std::uint64_t kExponentBias = 1023;

// The grid of `sum`, or false when it is not a double far enough inside the
// normal range for u and 1/u to be normal too.
bool MakeGrid(double sum, Grid* grid) {
  if (!(sum >= 0x1p-960 && sum < 0x1p960)) return false;
  const std::uint64_t biased = std::bit_cast<std::uint64_t>(sum) >> 52;
  grid->Unit = std::bit_cast<double>((biased - 52) << 52);
  grid->Inverse = std::bit_cast<double>((2 * kExponentBias + 52 - biased) << 52);
  grid->Steps = sum * grid->Inverse;
  return true;
}

// The terms of k in [from, from + n): 1/d into `first`, 1/(d*d) into
// `second`, d = base + k, in the same operations as one term at a time.
[[gnu::target_clones("avx512f", "avx2", "default")]]
void ComputeTerms(double base, std::int64_t from, int n, double* first,
                  double* second) {
  const Lanes ones = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
  const Lanes offsets = {0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0};
  int j = 0;
  for (; j + kLanes <= n; j += kLanes) {
    const Lanes d = base + (static_cast<double>(from + j) + offsets);
    const Lanes a = ones / d;
    const Lanes b = ones / (d * d);
    std::memcpy(first + j, &a, sizeof a);
    std::memcpy(second + j, &b, sizeof b);
  }
  for (; j < n; ++j) {
    const double d = base + static_cast<double>(from + j);
    first[j] = 1.0 / d;
    second[j] = 1.0 / (d * d);
  }
}

// Integer lanes, to look at the bits of the terms.
using Bits [[gnu::vector_size(64)]] = std::uint64_t;
using Flags [[gnu::vector_size(64)]] = std::int64_t;

// What a chunk of at least kLanes terms adds on a grid, in places: a whole
// number, or false when the grid does not apply to the chunk. Whole numbers
// below 2^53 add exactly in any order, and a total that reached 2^53
// anywhere stays at least 2^53, so the bound also proves the lane totals
// exact.
[[gnu::always_inline]] inline bool ChunkOnGrid(const Grid& grid,
                                               const double* terms, int n,
                                               double* places) {
  const Lanes two52 = {kTwo52, kTwo52, kTwo52, kTwo52,
                       kTwo52, kTwo52, kTwo52, kTwo52};
  const Bits magnitude = ~Bits{} >> 1;
  const std::uint64_t half = std::bit_cast<std::uint64_t>(0.5);
  // Two sets of lanes, so that no loop-carried operation waits on itself.
  Lanes count0 = {};  // sum of round(t / u)
  Lanes count1 = {};
  // Below 0 where a term is below 0 (it could take the sum into a finer
  // binade) or where t / u is halfway between two whole numbers: positive
  // doubles order as their bits, so |rest| >= 0.5 is a tie.
  Flags bad = {};
  const auto take = [&](const Lanes& t, Lanes* count) {
    const Lanes q = t * grid.Inverse;
    // Below 2^52, adding and taking away 2^52 rounds to a whole number,
    // ties to even; larger quotients fail the bound on the total anyway.
    const Lanes rounded = (q + two52) - two52;
    const Lanes rest = q - rounded;
    Bits rest_bits;
    Flags term_bits;
    std::memcpy(&rest_bits, &rest, sizeof rest);
    std::memcpy(&term_bits, &t, sizeof t);
    *count += rounded;
    bad |= (rest_bits & magnitude) >= half;
    bad |= term_bits;
  };
  int j = 0;
  for (; j + 2 * kLanes <= n; j += 2 * kLanes) {
    Lanes t0;
    Lanes t1;
    std::memcpy(&t0, terms + j, sizeof t0);
    std::memcpy(&t1, terms + j + kLanes, sizeof t1);
    take(t0, &count0);
    take(t1, &count1);
  }
  if (j + kLanes <= n) {
    Lanes t;
    std::memcpy(&t, terms + j, sizeof t);
    take(t, &count0);
    j += kLanes;
  }
  if (j < n) {
    // The last kLanes terms, with +0.0 (which adds nothing) in the lanes
    // already taken.
    const Lanes lane = {0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0};
    Lanes t;
    std::memcpy(&t, terms + n - kLanes, sizeof t);
    const Lanes zero = {};
    t = lane >= static_cast<double>(j + kLanes - n) ? t : zero;
    take(t, &count1);
  }
  const Lanes c = count0 + count1;
  const double total = ((c[0] + c[4]) + (c[2] + c[6])) + ((c[1] + c[5]) + (c[3] + c[7]));
  const std::int64_t flags = ((bad[0] | bad[4]) | (bad[2] | bad[6])) |
                             ((bad[1] | bad[5]) | (bad[3] | bad[7]));
  if (!(total < kTwo53 - grid.Steps) || flags < 0) return false;
  *places = total;
  return true;
}

// Adds terms[0..n) to *sum, bit for bit as one at a time in order: a chunk
// at a time on the sum's grid, and term by term a few terms where the sum
// reaches the next power of two or a term rounds from a tie.
[[gnu::target_clones("avx512f", "avx2", "default")]]
void AddSpan(const double* terms, int n, double* sum) {
  double s = *sum;
  Grid grid;
  bool on_grid = MakeGrid(s, &grid);
  int i = 0;
  // Narrowed where a chunk fails, to close in on the term where the sum
  // reaches the next power of two; widened again after each success.
  int width = kChunk;
  while (i < n) {
    const int m = std::min(width, n - i);
    double places = 0.0;
    if (on_grid && m >= kLanes && ChunkOnGrid(grid, terms + i, m, &places)) {
      grid.Steps = grid.Steps + places;
      i += m;
      width = std::min(2 * width, kChunk);
      continue;
    }
    if (on_grid && width > kInOrder && m >= kLanes) {
      width /= 2;
      continue;
    }
    if (on_grid) s = grid.Steps * grid.Unit;
    const int stop = std::min(n, i + kInOrder);
    for (; i < stop; ++i) s = s + terms[i];
    on_grid = MakeGrid(s, &grid);
    width = kChunk;
  }
  *sum = on_grid ? grid.Steps * grid.Unit : s;
}

void AddTerms(double base, std::int64_t from, std::int64_t to, double* first,
              double* second) {
  alignas(64) double t1[kBlock];
  alignas(64) double t2[kBlock];
  for (std::int64_t k0 = from; k0 < to; k0 += kBlock) {
    const auto n = static_cast<int>(std::min(kBlock, to - k0));
    ComputeTerms(base, k0, n, t1, t2);
    // Near the start of a sweep the sums pass a power of two every few
    // terms, where the grid would fail chunk after chunk.
    const auto head = static_cast<int>(std::clamp<std::int64_t>(kHead - k0, 0, n));
    double s1 = *first;
    double s2 = *second;
    for (int j = 0; j < head; ++j) {
      s1 = s1 + t1[j];
      s2 = s2 + t2[j];
    }
    *first = s1;
    *second = s2;
    AddSpan(t1 + head, n - head, first);
    AddSpan(t2 + head, n - head, second);
    // Both sums can only have become +inf through a term with a positive
    // denominator; every later denominator is larger still, so the terms
    // left are positive and finite and change neither sum. Stopping here
    // spares a fit that starts at 0 (a group without spread) billions of
    // terms.
    if (*first == kInfinity && *second == kInfinity) break;
  }
}

struct InnerSums {
  std::vector<double> First;   // by rung: sum of 1/d
  std::vector<double> Second;  // by rung: sum of 1/(d*d)
};

}  // namespace

void AddInOrder(std::span<const double> terms, double* sum) {
  while (!terms.empty()) {
    const std::size_t n = std::min(terms.size(), static_cast<std::size_t>(kBlock));
    AddSpan(terms.data(), static_cast<int>(n), sum);
    terms = terms.subspan(n);
  }
}

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
  StepPlan plan;
  plan.Size = MakeLadder(regions, Kind::kSize);
  plan.Success = MakeLadder(regions, Kind::kSuccess);
  plan.Failure = MakeLadder(regions, Kind::kFailure);
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
