#include "estimate/step_sums.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstring>
#include <limits>
#include <atomic>
#include <exception>
#include <functional>
#include <system_error>
#include <thread>
#include <utility>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

// Both sums can only have become +inf through a term with a positive
// denominator; every later denominator is larger still, so the terms left
// are positive and finite and change neither sum. Stopping there spares a
// fit that starts at 0 (a group without spread) billions of terms.
bool BothInfinite(double first, double second) {
  return first == kInfinity && second == kInfinity;
}

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

// Adds the terms of k in [from, to), at most one block, to one running sum
// of each row, as one at a time in order would.
void AddBlock(double base, std::int64_t from, std::int64_t to, double* first,
              double* second) {
  assert(to - from <= kBlock);
  alignas(64) double t1[kBlock];
  alignas(64) double t2[kBlock];
  const auto n = static_cast<int>(to - from);
  ComputeTerms(base, from, n, t1, t2);
  // Near the start of a sweep the sums pass a power of two every few
  // terms, where the grid would fail chunk after chunk.
  const auto head = static_cast<int>(std::clamp<std::int64_t>(kHead - from, 0, n));
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
}

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

#if defined(__x86_64__)
// In unoptimised builds the intrinsics that take an immediate are macros
// whose own casts of their masks -Wsign-conversion would flag here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wsign-conversion"
// Where both sums stay on their grids, the first sum's terms come from
// divisions scaled by its place u1, a power of two: 1/(d*u1) rounded is
// exactly the term 1/d rounded, in places, because scaling by a power of
// two commutes with rounding in the normal range. The second term is
// needed only well enough to tell which whole number of places it adds:
// (1/(d*u1))^2 scaled to the second sum's places has five roundings, of
// at most 2^-53 each, between it and the exact 1/(d*d), so it is within
// 2^-50.6 of it. The second sum takes a term only where it is further from
// halfway between two places than three times that; then it rounds to
// the same whole number of places as the exact term, which is no tie.
constexpr double kSecondMargin = 0x1p-49;   // of a term's places
// Estimated second terms are used up to this many places a term: then
// about one chunk in 64 has a term within the margin of halfway.
constexpr double kLargestEstimate = 0x1p36;
// Terms checked at a time: a chunk with a term that fails the check is
// added term by term, and the next run starts after it. Long chunks where
// terms rarely fail, as few checks as possible; short ones where they fail
// often, as little to redo as possible.
constexpr int kRunChunk = 64;
constexpr int kLongRunChunk = 256;
// The longest run, and the shortest worth starting: nearer than this to
// the next power of two of either sum, the exact path crosses it a chunk
// at a time.
constexpr std::int64_t kRun = std::int64_t{1} << 16;
constexpr std::int64_t kShortestRun = 64;

bool HasWideVectors() {
  static const bool has = __builtin_cpu_supports("avx512f") &&
                          __builtin_cpu_supports("avx512dq");
  return has;
}

// vrangepd: the larger magnitude, sign cleared. vrndscalepd: the nearest
// whole number, ties to even, no precision exception.
constexpr int kLargerMagnitude = 0x0B;
constexpr int kNearest = 0x08;

// Whole numbers of places of eight terms, and the largest |rest| seen.
struct Tally {
  __m512d Places1;
  __m512d Places2;
  __m512d Rest1;
  __m512d Rest2;
};

// Eight terms at the scaled denominators d * u1, those outside `live`
// adding nothing. With kExactSecond the second terms are divided exactly
// too, at the cost of a second division.
template <bool kExactSecond>
[[gnu::target("avx512f,avx512dq"), gnu::always_inline]] inline void TakeTerms(
    __m512d scaled_d, __m512d second_scale, __mmask8 live, Tally* tally) {
  const __m512d one = _mm512_set1_pd(1.0);
  const __m512d q1 = _mm512_maskz_div_pd(live, one, scaled_d);
  // 1/(d*u1 * d*u1) rounded is exactly 1/(d*d) rounded, scaled by 1/u1^2.
  const __m512d q2 = _mm512_mul_pd(
      kExactSecond ? _mm512_maskz_div_pd(live, one, _mm512_mul_pd(scaled_d, scaled_d))
                   : _mm512_mul_pd(q1, q1),
      second_scale);
  const __m512d n1 = _mm512_maskz_roundscale_pd(0xFF, q1, kNearest);
  const __m512d n2 = _mm512_maskz_roundscale_pd(0xFF, q2, kNearest);
  tally->Places1 = _mm512_add_pd(tally->Places1, n1);
  tally->Places2 = _mm512_add_pd(tally->Places2, n2);
  tally->Rest1 = _mm512_range_pd(tally->Rest1, _mm512_sub_pd(q1, n1), kLargerMagnitude);
  tally->Rest2 = _mm512_range_pd(tally->Rest2, _mm512_sub_pd(q2, n2), kLargerMagnitude);
}

// Whole numbers below 2^53 add exactly in any order.
[[gnu::target("avx512f,avx512dq")]] inline double AddLanes(__m512d v) {
  alignas(64) double lanes[kLanes];
  _mm512_store_pd(lanes, v);
  return ((lanes[0] + lanes[4]) + (lanes[2] + lanes[6])) +
         ((lanes[1] + lanes[5]) + (lanes[3] + lanes[7]));
}

// Where a run of terms stopped, and what it added to each sum in places.
struct RunTotals {
  double Places1 = 0.0;
  double Places2 = 0.0;
  std::int64_t K = 0;     // the first term not taken
  std::size_t Rung = 0;   // the next rung to read off
  bool Failed = false;    // stopped at a chunk that failed its check
};

// The terms of k in [sweep.K, to), a chunk at a time, reading off the
// rungs on the way; it stops before the first chunk with a term whose
// |rest| reaches its limit: a tie, or too near one to be sure.
template <bool kExactSecond>
[[gnu::target("avx512f,avx512dq")]]
void SumRun(const Sweep& sweep, std::int64_t to, int chunk, double scaled_base,
            double unit, double second_scale, double margin2, const Grid& grid1,
            const Grid& grid2, RunTotals* totals) {
  const __m512d bases = _mm512_set1_pd(scaled_base);
  const __m512d units = _mm512_set1_pd(unit);
  const __m512d scales = _mm512_set1_pd(second_scale);
  const __m512d offsets = _mm512_setr_pd(0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0);
  const __m512d step = _mm512_set1_pd(kLanes * unit);
  const __m512d zero = _mm512_setzero_pd();
  const __m512d limit1 = _mm512_set1_pd(0.5);
  const __m512d limit2 = _mm512_set1_pd(0.5 - margin2);
  const std::vector<std::int64_t>& counts = *sweep.Counts;
  double places1 = 0.0;  // in the run so far
  double places2 = 0.0;
  std::size_t rung = sweep.Rung;
  std::int64_t k = sweep.K;
  bool failed = false;
  while (k < to && !failed) {
    // Up to the next rung, or the end of the run.
    const std::int64_t stop = std::min(counts[rung], to);
    __m512d scaled_k = _mm512_mul_pd(
        _mm512_add_pd(_mm512_set1_pd(static_cast<double>(k)), offsets), units);
    __m512d piece1 = zero;  // places of the chunks of this piece taken
    __m512d piece2 = zero;
    while (k < stop) {
      const auto n = static_cast<int>(std::min<std::int64_t>(chunk, stop - k));
      Tally even = {piece1, piece2, zero, zero};
      Tally odd = {zero, zero, zero, zero};
      int j = 0;
      for (; j + 2 * kLanes <= n; j += 2 * kLanes) {
        const __m512d next_k = _mm512_add_pd(scaled_k, step);
        TakeTerms<kExactSecond>(_mm512_add_pd(bases, scaled_k), scales, 0xFF, &even);
        TakeTerms<kExactSecond>(_mm512_add_pd(bases, next_k), scales, 0xFF, &odd);
        scaled_k = _mm512_add_pd(next_k, step);
      }
      for (; j < n; j += kLanes) {
        const int left = std::min(n - j, kLanes);
        TakeTerms<kExactSecond>(_mm512_add_pd(bases, scaled_k), scales,
                                static_cast<__mmask8>((1u << left) - 1), &even);
        scaled_k = _mm512_add_pd(scaled_k, step);
      }
      const __mmask8 bad =
          _mm512_cmp_pd_mask(_mm512_range_pd(even.Rest1, odd.Rest1, kLargerMagnitude),
                             limit1, _CMP_NLT_UQ) |
          _mm512_cmp_pd_mask(_mm512_range_pd(even.Rest2, odd.Rest2, kLargerMagnitude),
                             limit2, _CMP_NLT_UQ);
      if (bad != 0) {
        failed = true;
        break;
      }
      piece1 = _mm512_add_pd(even.Places1, odd.Places1);
      piece2 = _mm512_add_pd(even.Places2, odd.Places2);
      k += n;
    }
    places1 += AddLanes(piece1);
    places2 += AddLanes(piece2);
    if (k == counts[rung]) {
      (*sweep.First)[rung] = (grid1.Steps + places1) * grid1.Unit;
      (*sweep.Second)[rung] = (grid2.Steps + places2) * grid2.Unit;
      ++rung;
    }
  }
  totals->Places1 = places1;
  totals->Places2 = places2;
  totals->K = k;
  totals->Rung = rung;
  totals->Failed = failed;
}

enum class Run { kTaken, kFailed, kTooShort, kNotTried };

// Takes the sweep as far as one run on both sums' grids reaches, or up to
// the chunk that fails its check (kFailed), reading off the rungs on the
// way. Nothing changes where a sum is too near its next power of two
// (kTooShort) or no run can start here at all (kNotTried).
[[gnu::target("avx512f,avx512dq")]]
Run TakeRun(Sweep* sweep) {
  Grid grid1;
  Grid grid2;
  if (!MakeGrid(sweep->Sum1, &grid1) || !MakeGrid(sweep->Sum2, &grid2)) {
    return Run::kNotTried;
  }
  const double unit = grid1.Unit;
  if (!(unit >= 0x1p-400 && unit <= 0x1p400)) return Run::kNotTried;
  // Every scaled value below must stay well inside the normal range, for
  // the scaling to be exact, and d > 0, for the terms to fall as k grows.
  const double scaled_base = sweep->Base * unit;
  if (scaled_base != 0.0 && !(std::abs(scaled_base) >= 0x1p-900)) return Run::kNotTried;
  const double second_scale = unit * unit * grid2.Inverse;  // u1^2 / u2
  if (!(second_scale >= 0x1p-900 && second_scale <= 0x1p900)) return Run::kNotTried;
  const std::int64_t from = sweep->K;
  const double low = scaled_base + static_cast<double>(from) * unit;  // d * u1
  if (!(low >= 0x1p-60)) return Run::kNotTried;
  // The first term is the largest: the run stops before either sum could
  // reach its next power of two.
  const double q1 = 1.0 / low;
  const double q2 = q1 * q1 * second_scale;
  const double length = std::min((kTwo53 - grid1.Steps) / (q1 + 1.0),
                                 (kTwo53 - grid2.Steps) / (q2 + 1.0));
  if (!(length >= static_cast<double>(kShortestRun + 1))) return Run::kTooShort;
  const std::int64_t to = std::min(
      {sweep->Counts->back(), from + kRun, from + static_cast<std::int64_t>(length) - 1});
  const double high = scaled_base + static_cast<double>(to) * unit;
  if (!(high <= 0x1p400 && (1.0 / high) * (1.0 / high) * second_scale >= 0x1p-900)) {
    return Run::kNotTried;
  }

  // Where the second sum's places are fine against its terms, too many
  // estimated terms would come within the margin of halfway: there the
  // second terms are divided exactly as well, and only ties fail. A term
  // fails about as often as its places fall exactly halfway (one in
  // 2^52 / q) or, estimated, within the margin of halfway.
  const bool estimate_second = q2 < kLargestEstimate;
  const double failures =
      q1 * 0x1p-52 + (estimate_second ? q2 * (2.0 * kSecondMargin) : q2 * 0x1p-52);
  const int chunk = failures * kLongRunChunk < 0x1p-6 ? kLongRunChunk : kRunChunk;
  RunTotals totals;
  if (estimate_second) {
    SumRun<false>(*sweep, to, chunk, scaled_base, unit, second_scale,
                  q2 * kSecondMargin, grid1, grid2, &totals);
  } else {
    SumRun<true>(*sweep, to, chunk, scaled_base, unit, second_scale, 0.0, grid1, grid2,
                 &totals);
  }
  if (!(totals.Places1 < kTwo53 - grid1.Steps && totals.Places2 < kTwo53 - grid2.Steps)) {
    return Run::kNotTried;  // ruled out by the length above
  }
  sweep->K = totals.K;
  sweep->Rung = totals.Rung;
  sweep->Sum1 = (grid1.Steps + totals.Places1) * grid1.Unit;
  sweep->Sum2 = (grid2.Steps + totals.Places2) * grid2.Unit;
  return totals.Failed ? Run::kFailed : Run::kTaken;
}
#pragma GCC diagnostic pop
#endif

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
  Sweep sweep;
  sweep.Base = base;
  sweep.Counts = &counts;
  sweep.First = first;
  sweep.Second = second;
#if defined(__x86_64__)
  const bool runs = HasWideVectors();
  std::int64_t exact_until = 0;
#endif
  while (sweep.Rung < counts.size()) {
    const std::int64_t count = counts[sweep.Rung];
    assert(count >= sweep.K);
    if (sweep.K == count || BothInfinite(sweep.Sum1, sweep.Sum2)) {
      // Once both sums are +inf, the terms left (each positive, as their
      // denominators are larger still) change neither.
      (*first)[sweep.Rung] = sweep.Sum1;
      (*second)[sweep.Rung] = sweep.Sum2;
      ++sweep.Rung;
      continue;
    }
    std::int64_t span = kBlock;
#if defined(__x86_64__)
    if (runs && sweep.K >= kHead) {
      if (sweep.K >= exact_until) {
        const Run run = TakeRun(&sweep);
        if (run == Run::kTaken) continue;
        // A failed chunk, or the terms up to a power of two, are added term
        // by term; where no run can start, a whole block.
        exact_until = sweep.K + (run == Run::kNotTried ? kBlock : kRunChunk);
        if (run == Run::kFailed) continue;
      }
      span = exact_until - sweep.K;
    }
#endif
    const std::int64_t stop = std::min(count, sweep.K + span);
    AddBlock(base, sweep.K, stop, &sweep.Sum1, &sweep.Sum2);
    sweep.K = stop;
  }
}

// One task at a time handed to a thread that waits between the steps of a
// fit: starting a thread for every step costs more than a short step.
class SweepHelper {
 public:
  SweepHelper() : thread_([this] { Serve(); }) {}
  ~SweepHelper() {
    state_.store(kStop);
    state_.notify_one();
    thread_.join();
  }
  SweepHelper(const SweepHelper&) = delete;
  SweepHelper& operator=(const SweepHelper&) = delete;

  // Runs `task` on the helper; `task` must live until Finish returns.
  void Start(const std::function<void()>& task) {
    task_ = &task;
    state_.store(kPosted);
    state_.notify_one();
  }

  // Waits for the task, and passes on what it threw (running out of
  // memory, say) to the caller.
  void Finish() {
    if (std::exception_ptr error = Wait()) std::rethrow_exception(error);
  }

  // Waits for the task; what it threw, if anything.
  std::exception_ptr Wait() noexcept {
    // Steps are short: a moment of spinning spares most of the sleeps.
    for (int spin = 0; spin < kSpins && state_.load() != kDone; ++spin) {
      CpuRelax();
    }
    for (int state = state_.load(); state != kDone; state = state_.load()) {
      state_.wait(state);
    }
    state_.store(kIdle);
    return std::exchange(error_, nullptr);
  }

 private:
  enum : int { kIdle, kPosted, kDone, kStop };
  static constexpr int kSpins = 1 << 11;

  static bool Waiting(int state) { return state == kIdle || state == kDone; }

  static void CpuRelax() {
#if defined(__x86_64__)
    __builtin_ia32_pause();
#endif
  }

  void Serve() {
    for (;;) {
      for (int spin = 0; spin < kSpins && Waiting(state_.load()); ++spin) CpuRelax();
      int state = state_.load();
      while (Waiting(state)) {
        state_.wait(state);
        state = state_.load();
      }
      if (state == kStop) return;
      try {
        (*task_)();
      } catch (...) {
        error_ = std::current_exception();
      }
      state_.store(kDone);
      state_.notify_one();
    }
  }

  std::atomic<int> state_{kIdle};
  const std::function<void()>* task_ = nullptr;
  std::exception_ptr error_;
  std::thread thread_;  // last, so that it starts after the rest is set
};

StepPlan MakeStepPlan(const std::vector<Region>& regions, bool allow_threads) {
  StepPlan plan;
  plan.Size = MakeLadder(regions, Kind::kSize);
  plan.Success = MakeLadder(regions, Kind::kSuccess);
  plan.Failure = MakeLadder(regions, Kind::kFailure);
  if (allow_threads && std::thread::hardware_concurrency() > 1 &&
      Largest(plan.Size) >= kParallelTerms) {
    try {
      plan.Helper = std::make_shared<SweepHelper>();
    } catch (const std::system_error&) {
      // No thread to be had: the sweeps run one after the other.
    }
  }
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
  const std::function<void()> sweep_others = [&] {
    SweepInnerSums(plan.Success.Counts, alpha, &success_sums.First,
                   &success_sums.Second);
    SweepInnerSums(plan.Failure.Counts, beta, &failure_sums.First,
                   &failure_sums.Second);
  };
  if (plan.Helper) {
    // The size sweep is the longest; the other two share the second core.
    plan.Helper->Start(sweep_others);
    try {
      sweep_size();
    } catch (...) {
      // The helper works on this frame's sums: it must be done first.
      static_cast<void>(plan.Helper->Wait());
      throw;
    }
    plan.Helper->Finish();
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
