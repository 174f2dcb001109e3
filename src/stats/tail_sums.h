// Weighted sums over a count ladder: for every k below each region's count,
// the terms in d = base + k theta, each counted once per region whose count
// is above k. The beta-binomial and the Poisson-gamma likelihoods are both
// such sums; a long step of a ladder is summed in closed form
// (euler_maclaurin.h), so the cost does not grow with the counts.
#ifndef PROPSMOOTH_STATS_TAIL_SUMS_H_
#define PROPSMOOTH_STATS_TAIL_SUMS_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/types.h"
#include "estimate/count_ladder.h"

namespace propsmooth {

/// One kind of count (x, n - x or n) of a group: its distinct values
/// ascending, and for each how many regions have at least that count, so
/// that a sum over k < count of every region is one sweep over k, each term
/// weighted by the number of regions whose count is above k.
struct CountTail {
  std::vector<std::int64_t> Counts;
  std::vector<std::int64_t> AtLeast;  // regions with a count >= Counts[j]
};

/// The tail of one kind of count of `regions`.
CountTail MakeCountTail(const std::vector<Region>& regions, CountKind kind);

/// The tail of a histogram of counts.
CountTail MakeCountTail(const CountHistogram& histogram);

/// Turns the number of regions with each count into the number with that
/// count or a larger one.
void AccumulateFromTop(CountTail* tail);

/// The tail of the counts count_of(k), k below `regions`, all at least 0,
/// into `tail`: by a table over the counts where they are few to the
/// regions, else by sorting them. `tail` and `scratch` keep their storage,
/// so a thread that builds one group after another allocates only as its
/// groups grow.
template <typename CountOf>
void FillCountTail(std::size_t regions, const CountOf& count_of, CountTail* tail,
                   std::vector<std::int64_t>* scratch) {
  tail->Counts.clear();
  tail->AtLeast.clear();
  std::int64_t largest = 0;
  for (std::size_t k = 0; k < regions; ++k) largest = std::max(largest, count_of(k));
  if (static_cast<std::uint64_t>(largest) <= 4 * regions + 64) {
    std::vector<std::int64_t>& rows = *scratch;
    rows.assign(static_cast<std::size_t>(largest) + 1, 0);
    for (std::size_t k = 0; k < regions; ++k) ++rows[static_cast<std::size_t>(count_of(k))];
    for (std::size_t count = 0; count < rows.size(); ++count) {
      if (rows[count] == 0) continue;
      tail->Counts.push_back(static_cast<std::int64_t>(count));
      tail->AtLeast.push_back(rows[count]);
    }
  } else {
    std::vector<std::int64_t>& counts = *scratch;
    counts.resize(regions);
    for (std::size_t k = 0; k < regions; ++k) counts[k] = count_of(k);
    std::sort(counts.begin(), counts.end());
    for (const std::int64_t count : counts) {
      if (tail->Counts.empty() || tail->Counts.back() != count) {
        tail->Counts.push_back(count);
        tail->AtLeast.push_back(0);
      }
      ++tail->AtLeast.back();
    }
  }
  AccumulateFromTop(tail);
}

/// The same into a tail of its own.
template <typename CountOf>
CountTail CountTailOf(std::size_t regions, const CountOf& count_of) {
  CountTail tail;
  std::vector<std::int64_t> scratch;
  FillCountTail(regions, count_of, &tail, &scratch);
  return tail;
}

/// Weighted sums over k of the terms in d = base + k theta.
struct TailSums {
  double Log = 0.0;       // log1p(k theta / base): log d less log(base)
  double First = 0.0;     // 1/d
  double KFirst = 0.0;    // k/d
  double Second = 0.0;    // 1/d^2
  double KSecond = 0.0;   // k/d^2
  double KKSecond = 0.0;  // k^2/d^2
};

/// The sums over `tail` at `base` and `theta` >= 0. A segment of k between
/// two rungs is summed from 0.0 in k order (its log1p terms as the log of
/// their product; a long one in closed form), then added with the number
/// of regions that reach it, the segments in ascending order. Without
/// `kAll`, only First and Second (Log, KFirst,
/// KSecond and KKSecond stay 0): all that a slope in the mean needs.
/// With `kAll` but not `kLog`, every sum but Log (left 0), each the same
/// bits as with both: the log1p terms, the costly part, where only the
/// derivatives are wanted.
template <bool kAll, bool kLog = kAll>
TailSums SweepTail(const CountTail& tail, double base, double theta);

extern template TailSums SweepTail<true>(const CountTail& tail, double base, double theta);
extern template TailSums SweepTail<true, false>(const CountTail& tail, double base,
                                                double theta);
extern template TailSums SweepTail<false>(const CountTail& tail, double base, double theta);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_TAIL_SUMS_H_
