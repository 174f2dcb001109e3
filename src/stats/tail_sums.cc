#include "stats/tail_sums.h"

#include <cmath>

#include "stats/euler_maclaurin.h"
#include "stats/log_of_product.h"

namespace propsmooth {
void AccumulateFromTop(CountTail* tail) {
  // From the top down: regions with this count or a larger one.
  for (std::size_t j = tail->AtLeast.size(); j-- > 1;) {
    tail->AtLeast[j - 1] += tail->AtLeast[j];
  }
}

CountTail MakeCountTail(const std::vector<Region>& regions, CountKind kind) {
  const CountLadder ladder = MakeCountLadder(regions, kind);
  CountTail tail;
  tail.Counts = ladder.Counts;
  tail.AtLeast.assign(ladder.Counts.size(), 0);
  ladder.WithRungs([&tail](auto rungs) {
    for (const auto rung : rungs) ++tail.AtLeast[rung];
  });
  AccumulateFromTop(&tail);
  return tail;
}

CountTail MakeCountTail(const CountHistogram& histogram) {
  CountTail tail{histogram.Values, histogram.Rows};
  AccumulateFromTop(&tail);
  return tail;
}

namespace {

// The segment k in [first, end) of a long ladder step: k = first + j, so
// d = b (1 + j t) with b = base + first theta and t = theta / b; every part
// is a sum of positive terms, none a difference.
template <bool kAll, bool kLog>
TailSums SumLongSegment(std::int64_t first, std::int64_t end, double base, double theta) {
  const auto a = static_cast<double>(first);
  const double b = base + a * theta;
  const double t = theta / b;
  const std::int64_t m = end - first;
  const UnitSums unit = SumUnitTerms<kLog>(m, t);
  const double b2 = b * b;
  TailSums segment;
  if constexpr (kLog) {
    segment.Log = static_cast<double>(m) * std::log1p(a * theta / base) + unit.Log;
  }
  segment.First = unit.H0 / b;
  segment.KFirst = a * segment.First + unit.H1 / b;
  segment.Second = unit.S0 / b2;
  segment.KSecond = a * segment.Second + unit.S1 / b2;
  segment.KKSecond = a * a * segment.Second + 2.0 * a * (unit.S1 / b2) + unit.S2 / b2;
  return segment;
}

// Each term counts once per region whose count is above k. A segment of k
// between two rungs is summed from 0.0 in k order, its logarithms as that
// of one product (log_of_product.h), or a long one in closed form (see
// SumLongSegment), then added with the number of regions that
// reach it, the segments in ascending order. Without `kAll`, only First
// and Second: all that the slope in mu and its derivative need.
}  // namespace

template <bool kAll, bool kLog>
TailSums SweepTail(const CountTail& tail, double base, double theta) {
  static_assert(kAll || !kLog, "the log sum comes with every other sum");
  TailSums total;
  std::int64_t k = 0;
  for (std::size_t j = 0; j < tail.Counts.size(); ++j) {
    TailSums segment;
    if (tail.Counts[j] - k >= kEulerMaclaurinShortest) {
      segment = SumLongSegment<kAll, kLog>(k, tail.Counts[j], base, theta);
      k = tail.Counts[j];
    } else {
      LogOfProduct logs;
      for (; k < tail.Counts[j]; ++k) {
        const auto kd = static_cast<double>(k);
        const double step = kd * theta;
        const double inverse = 1.0 / (base + step);
        segment.First = segment.First + inverse;
        segment.Second = segment.Second + inverse * inverse;
        if constexpr (kAll) {
          const double k_inverse = kd * inverse;
          if constexpr (kLog) logs.Add(step / base);
          segment.KFirst = segment.KFirst + k_inverse;
          segment.KSecond = segment.KSecond + k_inverse * inverse;
          segment.KKSecond = segment.KKSecond + k_inverse * k_inverse;
        }
      }
      if constexpr (kLog) segment.Log = logs.Sum();
    }
    const auto weight = static_cast<double>(tail.AtLeast[j]);
    total.Log = total.Log + weight * segment.Log;
    total.First = total.First + weight * segment.First;
    total.KFirst = total.KFirst + weight * segment.KFirst;
    total.Second = total.Second + weight * segment.Second;
    total.KSecond = total.KSecond + weight * segment.KSecond;
    total.KKSecond = total.KKSecond + weight * segment.KKSecond;
  }
  return total;
}


template TailSums SweepTail<true>(const CountTail& tail, double base, double theta);
template TailSums SweepTail<true, false>(const CountTail& tail, double base, double theta);
template TailSums SweepTail<false>(const CountTail& tail, double base, double theta);

}  // namespace propsmooth
