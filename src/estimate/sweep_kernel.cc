// The sweeps, written once for every instruction set: Highway compiles this
// file for each target and dispatches to the best one the CPU (and the
// user's cap) allows. doc/exact-sums.md proves why each path adds its
// terms as the plain loop would.
#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "common/float_env.h"
#include "estimate/binade_grid.h"
#include "estimate/sweep.h"
#include "estimate/sweep_internal.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "estimate/sweep_kernel.cc"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

#ifndef PROPSMOOTH_ESTIMATE_SWEEP_KERNEL_ONCE_
#define PROPSMOOTH_ESTIMATE_SWEEP_KERNEL_ONCE_
namespace propsmooth {
namespace sweep_detail {

// Terms computed a block at a time where a run cannot be taken.
constexpr std::int64_t kBlock = 512;
// Terms taken on a grid at once in a block, and how many are added term by
// term where the grid fails before it is tried again.
constexpr int kChunk = 128;
constexpr int kInOrder = 8;
// Terms at the start of every sweep that are added one at a time: there
// the sums pass a power of two every few terms.
constexpr std::int64_t kHead = 40;
// Terms added one at a time where a sum is too near its next power of two
// for a run, before a run is tried again.
constexpr std::int64_t kCrossing = 16;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// One sweep's progress: the next k, the next rung to read off, both sums.
struct Sweep {
  double Base = 0.0;
  const std::vector<std::int64_t>* Counts = nullptr;
  std::vector<double>* First = nullptr;
  std::vector<double>* Second = nullptr;
  std::int64_t K = 0;
  std::size_t Rung = 0;
  double Sum1 = 0.0;
  double Sum2 = 0.0;
};

// Where a run of terms stopped, and what it added to each sum in ulps.
struct RunTotals {
  double Places1 = 0.0;
  double Places2 = 0.0;
  std::int64_t K = 0;    // the first term not taken
  std::size_t Rung = 0;  // the next rung to read off
};

enum class Run {
  kTaken,         // the sweep went on
  kNearBinade,    // the sweep went on up to where a sum nears its next power of two
  kTooShort,      // nothing done: a sum is too near its next power of two
  kNotTried,      // nothing done: no run can start here
};

// `places` (a whole number of ulps, below 2^53) plus a term of q ulps,
// rounded as the sum in double would be: to the nearest whole number,
// and from a tie to the even one, which depends on `places`. The term
// comes split into its nearest whole number `whole` (ties to even) and
// `rest` = q - whole, both exact, so that the chain from term to term is
// one integer addition and a sum's parity is looked at only at a tie. The
// caller keeps the result below 2^53.
inline std::int64_t AddRounded(std::int64_t places, double whole, double rest) {
  const std::int64_t sum = places + static_cast<std::int64_t>(whole);
  if (std::abs(rest) != 0.5) [[likely]] return sum;
  if ((sum & 1) == 0) return sum;
  // A tie rounded to the odd neighbour: the other one is even.
  return rest > 0.0 ? sum + 1 : sum - 1;
}

// Both sums can only have become +inf through a term with a positive
// denominator; every later denominator is larger still, so the terms left
// are positive and finite and change neither sum. Stopping there spares a
// fit that starts at 0 (a group without spread) billions of terms.
inline bool BothInfinite(double first, double second) {
  return first == kInfinity && second == kInfinity;
}

}  // namespace sweep_detail
}  // namespace propsmooth
#endif  // PROPSMOOTH_ESTIMATE_SWEEP_KERNEL_ONCE_

HWY_BEFORE_NAMESPACE();
namespace propsmooth {
namespace HWY_NAMESPACE {
namespace {

namespace hn = hwy::HWY_NAMESPACE;
using namespace sweep_detail;  // NOLINT(build/namespaces): this file's own helpers

using D = hn::ScalableTag<double>;
using V = decltype(hn::Zero(D()));
using M = decltype(hn::FirstN(D(), 0));

// The nearest whole number to q, ties to even, for 0 <= q < 2^52: adding
// 2^52 rounds away the fraction. Outside that range the result is still a
// whole number, and |q - result| >= 0.5 shows it is not the nearest, so
// callers that check the remainder need no separate range test.
HWY_INLINE V NearestWhole(V q, V two52) { return hn::Sub(hn::Add(q, two52), two52); }

// The same for 0 <= q < 2^52, as a run's quotients are (its plan keeps the
// first, the largest, below 2^49): one rounding instruction
// where the target has one. Only there: at 2^52 and above it returns q
// itself, and its remainder would not show that q was out of range.
HWY_INLINE V NearestWholeInRange(V q, V two52) {
#if HWY_TARGET == HWY_SCALAR || HWY_TARGET == HWY_EMU128
  return NearestWhole(q, two52);
#else
  (void)two52;
  return hn::Round(q);
#endif
}

// The larger of two distances from a whole number, never NaN in a run. The
// portable targets' Max on doubles tests for NaN with branches, which cost
// more than the division there; distances are >= 0, and such doubles order
// as their bits, so they take the larger of the bits instead.
HWY_INLINE V Larger(V a, V b) {
#if HWY_TARGET == HWY_SCALAR || HWY_TARGET == HWY_EMU128
  const hn::RebindToUnsigned<D> du;
  return hn::BitCast(D(), hn::Max(hn::BitCast(du, a), hn::BitCast(du, b)));
#else
  return hn::Max(a, b);
#endif
}

HWY_INLINE M NotBelow(V distance, V limit) { return hn::Not(hn::Lt(distance, limit)); }

// Whole numbers below 2^53 add exactly in any order.
HWY_INLINE double AddLanes(D d, V v) { return hn::GetLane(hn::SumOfLanes(d, v)); }

// The terms of k in [from, from + n): 1/d into `first`, 1/(d*d) into
// `second`, d = base + k, in the same operations as one term at a time.
void ComputeTerms(double base, std::int64_t from, int n, double* first, double* second) {
  const D d;
  const auto lanes = static_cast<int>(hn::Lanes(d));
  const V one = hn::Set(d, 1.0);
  const V bases = hn::Set(d, base);
  const V offsets = hn::Iota(d, 0.0);
  int j = 0;
  for (; j + lanes <= n; j += lanes) {
    const V denominator =
        hn::Add(bases, hn::Add(hn::Set(d, static_cast<double>(from + j)), offsets));
    hn::StoreU(hn::Div(one, denominator), d, first + j);
    hn::StoreU(hn::Div(one, hn::Mul(denominator, denominator)), d, second + j);
  }
  for (; j < n; ++j) {
    const double denominator = base + static_cast<double>(from + j);
    first[j] = 1.0 / denominator;
    second[j] = 1.0 / (denominator * denominator);
  }
}

// What a chunk of n >= Lanes terms adds on a grid, in ulps: a whole number,
// or false where the grid does not apply to the chunk: a term below 0 (it
// could take the sum into a finer binade), a term whose quotient is
// halfway between two whole numbers (its rounding would depend on the
// sum), or a total that reaches the next power of two. A total that
// reached 2^53 in any lane stays at least 2^53, so the bound also proves
// the lane totals exact.
bool ChunkOnGrid(const Grid& grid, const double* terms, int n, double* places) {
  const D d;
  const auto lanes = static_cast<int>(hn::Lanes(d));
  const V inverse = hn::Set(d, grid.Inverse);
  const V two52 = hn::Set(d, kTwo52);
  const V half = hn::Set(d, 0.5);
  const V zero = hn::Zero(d);
  // Two sets of lanes, so that no loop-carried addition waits on itself.
  V count0 = zero;
  V count1 = zero;
  M bad = hn::FirstN(d, 0);
  const auto take = [&](V t, V* count) {
    const V q = hn::Mul(t, inverse);
    const V whole = NearestWhole(q, two52);
    *count = hn::Add(*count, whole);
    // Not below a half also holds for NaN.
    bad = hn::Or(bad, hn::Not(hn::Lt(hn::Abs(hn::Sub(q, whole)), half)));
    bad = hn::Or(bad, hn::Lt(t, zero));
  };
  int j = 0;
  for (; j + 2 * lanes <= n; j += 2 * lanes) {
    take(hn::LoadU(d, terms + j), &count0);
    take(hn::LoadU(d, terms + j + lanes), &count1);
  }
  if (j + lanes <= n) {
    take(hn::LoadU(d, terms + j), &count0);
    j += lanes;
  }
  if (j < n) {
    // The last Lanes terms, with +0.0 (which adds nothing) in the lanes
    // already taken.
    const M fresh = hn::Ge(hn::Iota(d, 0.0), hn::Set(d, static_cast<double>(j + lanes - n)));
    take(hn::IfThenElseZero(fresh, hn::LoadU(d, terms + n - lanes)), &count1);
  }
  const double total = AddLanes(d, hn::Add(count0, count1));
  if (!(total < kTwo53 - grid.Steps) || !hn::AllFalse(d, bad)) return false;
  *places = total;
  return true;
}

// Adds terms[0..n) to *sum, bit for bit as one at a time in order: a chunk
// at a time on the sum's grid, and term by term a few terms where the sum
// reaches the next power of two or a term rounds from a tie.
void AddSpan(const double* terms, int n, double* sum) {
  const auto lanes = static_cast<int>(hn::Lanes(D()));
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
    if (on_grid && m >= lanes && ChunkOnGrid(grid, terms + i, m, &places)) {
      grid.Steps = grid.Steps + places;
      i += m;
      width = std::min(2 * width, kChunk);
      continue;
    }
    if (on_grid && width > kInOrder && m >= lanes) {
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

// Adds the terms of k in [sweep.K, to), at most kHead of them, to both
// running sums one at a time, as written, reading off the rungs on the
// way: at the head of a sweep of small counts they can be a term apart.
void AddTermByTerm(Sweep* sweep, std::int64_t to) {
  assert(to - sweep->K <= kHead);
  double t1[kHead];
  double t2[kHead];
  const auto n = static_cast<int>(to - sweep->K);
  ComputeTerms(sweep->Base, sweep->K, n, t1, t2);
  const std::vector<std::int64_t>& counts = *sweep->Counts;
  double s1 = sweep->Sum1;
  double s2 = sweep->Sum2;
  std::size_t rung = sweep->Rung;
  int j = 0;
  while (j < n) {
    // Up to the next rung in these terms, or their end.
    const int end = rung < counts.size()
                        ? static_cast<int>(std::min<std::int64_t>(counts[rung] - sweep->K, n))
                        : n;
    for (; j < end; ++j) {
      s1 = s1 + t1[j];
      s2 = s2 + t2[j];
    }
    if (rung < counts.size() && counts[rung] == sweep->K + j) {
      (*sweep->First)[rung] = s1;
      (*sweep->Second)[rung] = s2;
      ++rung;
    }
  }
  sweep->Sum1 = s1;
  sweep->Sum2 = s2;
  sweep->Rung = rung;
  sweep->K = to;
}

// Adds the terms of k in [from, to), at most one block and all past the
// head, to both running sums, as one at a time in order would.
void AddBlock(double base, std::int64_t from, std::int64_t to, double* first,
              double* second) {
  assert(from >= kHead && to - from <= kBlock);
  alignas(64) double t1[kBlock];
  alignas(64) double t2[kBlock];
  const auto n = static_cast<int>(to - from);
  ComputeTerms(base, from, n, t1, t2);
  AddSpan(t1, n, first);
  AddSpan(t2, n, second);
}

// A run's second quotient, in ulps of the second sum: divided exactly,
// the scale u1^2/u2 (a power of two) taken into the division, or estimated
// from the first quotient.
template <bool kExactSecond>
HWY_INLINE V SecondQuotient(V q1, V scaled_d, V scales) {
  if constexpr (kExactSecond) {
    return hn::Div(scales, hn::Mul(scaled_d, scaled_d));
  } else {
    return hn::Mul(hn::Mul(q1, q1), scales);
  }
}

// The terms of k in [sweep.K, plan.To), a chunk at a time, reading off the
// rungs on the way. A chunk with a term whose distance from its whole
// number reaches its limit (a tie, or too near one to be sure) is added
// again term by term, in ulps, its quotients computed anew: the plan keeps
// such chunks few, and keeping every quotient for them would cost each
// term two stores.
template <bool kExactSecond>
void SumRun(const Sweep& sweep, const RunPlan& plan, RunTotals* totals) {
  const D d;
  const auto lanes = static_cast<int>(hn::Lanes(d));
  const V one = hn::Set(d, 1.0);
  const V bases = hn::Set(d, plan.ScaledBase);
  const V units = hn::Set(d, plan.Unit);
  const V scales = hn::Set(d, plan.SecondScale);
  const V two52 = hn::Set(d, kTwo52);
  const V offsets = hn::Iota(d, 0.0);
  const V step = hn::Set(d, static_cast<double>(lanes) * plan.Unit);
  const V zero = hn::Zero(d);
  const V limit1 = hn::Set(d, 0.5);
  const V limit2 = hn::Set(d, 0.5 - plan.SecondMargin);
  const std::vector<std::int64_t>& counts = *sweep.Counts;
  double places1 = 0.0;  // in the run so far
  double places2 = 0.0;
  std::size_t rung = sweep.Rung;
  std::int64_t k = sweep.K;
  while (k < plan.To) {
    // Up to the next rung, or the end of the run.
    const std::int64_t stop = std::min(counts[rung], plan.To);
    // (k + j) * u1 is exact, and so is each step of Lanes * u1 added to it.
    V scaled_k = hn::Mul(hn::Add(hn::Set(d, static_cast<double>(k)), offsets), units);
    V piece1 = zero;  // ulps of the chunks of this piece taken
    V piece2 = zero;
    while (k < stop) {
      const auto n = static_cast<int>(std::min<std::int64_t>(plan.Chunk, stop - k));
      const V chunk_k = scaled_k;
      // Two sets of sums, so that no loop-carried addition waits on itself.
      V even1 = piece1;
      V even2 = piece2;
      V odd1 = zero;
      V odd2 = zero;
      // The largest distance from a whole number; with both quotients
      // exact their limits are the same, and one maximum serves both.
      V rest1 = zero;
      V rest2 = zero;
      const auto take = [&](V q1, V q2, V* sum1, V* sum2) {
        const V n1 = NearestWholeInRange(q1, two52);
        const V n2 = NearestWholeInRange(q2, two52);
        *sum1 = hn::Add(*sum1, n1);
        *sum2 = hn::Add(*sum2, n2);
        if constexpr (kExactSecond) {
          rest1 = Larger(rest1, Larger(hn::Abs(hn::Sub(q1, n1)), hn::Abs(hn::Sub(q2, n2))));
        } else {
          rest1 = Larger(rest1, hn::Abs(hn::Sub(q1, n1)));
          rest2 = Larger(rest2, hn::Abs(hn::Sub(q2, n2)));
        }
        scaled_k = hn::Add(scaled_k, step);
      };
      // u1^2/u2 over (d*u1 * d*u1), rounded, is exactly 1/(d*d) rounded,
      // in ulps of the second sum: the power of two scales the quotient.
      const auto take_all = [&](V* sum1, V* sum2) {
        const V scaled_d = hn::Add(bases, scaled_k);
        const V q1 = hn::Div(one, scaled_d);
        take(q1, SecondQuotient<kExactSecond>(q1, scaled_d, scales), sum1, sum2);
      };
      int j = 0;
      for (; j + 2 * lanes <= n; j += 2 * lanes) {
        take_all(&even1, &even2);
        // With two divisions a term, they and not the additions set the
        // pace: one set of sums leaves AVX2 registers enough for all.
        if constexpr (kExactSecond) {
          take_all(&even1, &even2);
        } else {
          take_all(&odd1, &odd2);
        }
      }
      // The last few terms, the lanes past the chunk zeroed.
      for (; j < n; j += lanes) {
        const M live = hn::FirstN(d, static_cast<std::size_t>(std::min(n - j, lanes)));
        const V scaled_d = hn::Add(bases, scaled_k);
        const V q1 = hn::IfThenElseZero(live, hn::Div(one, scaled_d));
        take(q1, hn::IfThenElseZero(live, SecondQuotient<kExactSecond>(q1, scaled_d, scales)),
             &even1, &even2);
      }
      const M failed = kExactSecond ? NotBelow(rest1, limit1)
                                    : hn::Or(NotBelow(rest1, limit1), NotBelow(rest2, limit2));
      if (hn::AllFalse(d, failed)) {
        piece1 = hn::Add(even1, odd1);
        piece2 = hn::Add(even2, odd2);
      } else {
        auto sum1 = static_cast<std::int64_t>(plan.First.Steps + (places1 + AddLanes(d, piece1)));
        auto sum2 =
            static_cast<std::int64_t>(plan.Second.Steps + (places2 + AddLanes(d, piece2)));
        // The chunk's quotients again, as the loop above computed them, kept
        // as their nearest whole numbers and what is left over, so that the
        // in-order pass is one integer addition a term and a sum's parity
        // is looked at only at a tie.
        alignas(64) double whole1[kLongRunChunk + hn::MaxLanes(D())];
        alignas(64) double whole2[kLongRunChunk + hn::MaxLanes(D())];
        alignas(64) double rest_of1[kLongRunChunk + hn::MaxLanes(D())];
        alignas(64) double rest_of2[kLongRunChunk + hn::MaxLanes(D())];
        V again_k = chunk_k;
        for (int i = 0; i < n; i += lanes) {
          const V scaled_d = hn::Add(bases, again_k);
          const V q1 = hn::Div(one, scaled_d);
          V q2 = SecondQuotient<kExactSecond>(q1, scaled_d, scales);
          if constexpr (!kExactSecond) {
            // Too near halfway to trust the estimate: divide.
            const M unsure =
                NotBelow(hn::Abs(hn::Sub(q2, NearestWholeInRange(q2, two52))), limit2);
            q2 = hn::IfThenElse(unsure, SecondQuotient<true>(q1, scaled_d, scales), q2);
          }
          const V n1 = NearestWholeInRange(q1, two52);
          const V n2 = NearestWholeInRange(q2, two52);
          hn::Store(n1, d, whole1 + i);
          hn::Store(n2, d, whole2 + i);
          hn::Store(hn::Sub(q1, n1), d, rest_of1 + i);
          hn::Store(hn::Sub(q2, n2), d, rest_of2 + i);
          again_k = hn::Add(again_k, step);
        }
        for (int i = 0; i < n; ++i) {
          sum1 = AddRounded(sum1, whole1[i], rest_of1[i]);
          sum2 = AddRounded(sum2, whole2[i], rest_of2[i]);
        }
        places1 = static_cast<double>(sum1) - plan.First.Steps;
        places2 = static_cast<double>(sum2) - plan.Second.Steps;
        piece1 = zero;
        piece2 = zero;
      }
      k += n;
    }
    places1 += AddLanes(d, piece1);
    places2 += AddLanes(d, piece2);
    if (k == counts[rung]) {
      (*sweep.First)[rung] = (plan.First.Steps + places1) * plan.First.Unit;
      (*sweep.Second)[rung] = (plan.Second.Steps + places2) * plan.Second.Unit;
      ++rung;
    }
  }
  totals->Places1 = places1;
  totals->Places2 = places2;
  totals->K = k;
  totals->Rung = rung;
}

// Takes the sweep as far as one run on both sums' grids reaches, reading
// off the rungs on the way. Nothing changes where a sum is too near its
// next power of two (kTooShort) or no run can start here at all (kNotTried).
Run TakeRun(Sweep* sweep) {
  RunPlan plan;
  switch (PlanRun(sweep->Base, sweep->K, sweep->Counts->back(), sweep->Sum1, sweep->Sum2,
                  &plan)) {
    case RunStart::kReady:
      break;
    case RunStart::kTooShort:
      return Run::kTooShort;
    case RunStart::kNotTried:
      return Run::kNotTried;
  }
  RunTotals totals;
  if (plan.EstimateSecond) {
    SumRun<false>(*sweep, plan, &totals);
  } else {
    SumRun<true>(*sweep, plan, &totals);
  }
  if (!(totals.Places1 < kTwo53 - plan.First.Steps &&
        totals.Places2 < kTwo53 - plan.Second.Steps)) {
    return Run::kNotTried;  // ruled out by the plan's length
  }
  sweep->K = totals.K;
  sweep->Rung = totals.Rung;
  sweep->Sum1 = (plan.First.Steps + totals.Places1) * plan.First.Unit;
  sweep->Sum2 = (plan.Second.Steps + totals.Places2) * plan.Second.Unit;
  return plan.EndsNearPowerOfTwo && totals.K == plan.To ? Run::kNearBinade : Run::kTaken;
}

}  // namespace

void SweepOn(const std::vector<std::int64_t>& counts, double base,
             std::vector<double>* first, std::vector<double>* second) {
  const GradualUnderflow gradual_underflow;
  first->resize(counts.size());
  second->resize(counts.size());
  Sweep sweep;
  sweep.Base = base;
  sweep.Counts = &counts;
  sweep.First = first;
  sweep.Second = second;
  // Up to here the terms are added one at a time: the head, and a few terms
  // where a sum is about to reach its next power of two; or, where no run
  // can start, a block at a time.
  std::int64_t exact_until = kHead;
  bool in_blocks = false;
  while (sweep.Rung < counts.size()) {
    const std::int64_t count = counts[sweep.Rung];
    assert(count >= sweep.K);
    if (sweep.K == count || BothInfinite(sweep.Sum1, sweep.Sum2)) {
      (*first)[sweep.Rung] = sweep.Sum1;
      (*second)[sweep.Rung] = sweep.Sum2;
      ++sweep.Rung;
      continue;
    }
    if (sweep.K >= exact_until) {
      const Run run = TakeRun(&sweep);
      if (run == Run::kTaken) continue;
      in_blocks = run == Run::kNotTried;
      exact_until = sweep.K + (in_blocks ? kBlock : kCrossing);
      // The run went on up to where a try would be too short: the power of
      // two is crossed term by term next, from the rung it reached.
      if (run == Run::kNearBinade) continue;
    }
    if (in_blocks) {
      const std::int64_t stop = std::min({count, exact_until, sweep.K + kBlock});
      AddBlock(base, sweep.K, stop, &sweep.Sum1, &sweep.Sum2);
      sweep.K = stop;
    } else {
      AddTermByTerm(&sweep, std::min(counts.back(), exact_until));
    }
  }
}

const char* TargetNameOn() { return hwy::TargetName(HWY_TARGET); }

void AddInOrderOn(std::span<const double> terms, double* sum) {
  const GradualUnderflow gradual_underflow;
  while (!terms.empty()) {
    const std::size_t n = std::min(terms.size(), static_cast<std::size_t>(kBlock));
    AddSpan(terms.data(), static_cast<int>(n), sum);
    terms = terms.subspan(n);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace propsmooth
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace propsmooth {

HWY_EXPORT(SweepOn);
HWY_EXPORT(AddInOrderOn);
HWY_EXPORT(TargetNameOn);

void SweepInnerSums(const std::vector<std::int64_t>& counts, double base,
                    std::vector<double>* first, std::vector<double>* second) {
  HWY_DYNAMIC_DISPATCH(SweepOn)(counts, base, first, second);
}

void AddInOrder(std::span<const double> terms, double* sum) {
  HWY_DYNAMIC_DISPATCH(AddInOrderOn)(terms, sum);
}

const char* SweepTargetName() { return HWY_DYNAMIC_DISPATCH(TargetNameOn)(); }

}  // namespace propsmooth
#endif  // HWY_ONCE
