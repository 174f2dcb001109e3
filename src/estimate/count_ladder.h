// The distinct counts of a group, so that one sweep over k serves every
// region: a region's inner sum is the sweep's running sum after its count.
#ifndef PROPSMOOTH_ESTIMATE_COUNT_LADDER_H_
#define PROPSMOOTH_ESTIMATE_COUNT_LADDER_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/types.h"

namespace propsmooth {

/// The distinct values of one kind of count (n, x or n - x) of a group, in
/// ascending order, and for each region the index of its own count.
struct CountLadder {
  /// At most this many counts take two bytes a rung rather than four: the
  /// rungs of a group of ten million regions are then 20 MB a ladder.
  static constexpr std::size_t kMaxNarrowCounts = std::size_t{1} << 16;

  std::vector<std::int64_t> Counts;
  // Per region, in region order: NarrowRung while Counts has at most
  // kMaxNarrowCounts values, WideRung otherwise; the other one is empty.
  std::vector<std::uint16_t> NarrowRung;
  std::vector<std::uint32_t> WideRung;

  std::size_t Regions() const { return NarrowRung.size() + WideRung.size(); }

  /// Calls `f` with the rungs as a span of whichever width they have.
  template <typename F>
  decltype(auto) WithRungs(F&& f) const {
    if (!WideRung.empty()) return f(std::span<const std::uint32_t>(WideRung));
    return f(std::span<const std::uint16_t>(NarrowRung));
  }
};

/// Which count of a region a ladder holds; an inner sum whose upper limit
/// is below 0 is empty, as one of 0.
enum class CountKind {
  kSize,     // n, or 0 when n < 0
  kSuccess,  // x, or 0 when x < 0
  kFailure,  // n - x, or 0 when x >= n: a count above its size adds no Beta terms
};

/// A group's regions, or its records where they lie together in the table.
CountLadder MakeCountLadder(std::span<const Region> regions, CountKind kind);
CountLadder MakeCountLadder(std::span<const RegionRecord> regions, CountKind kind);

/// One kind of count of a group as value -> number of regions: what the
/// group's sums need of it without the regions themselves, so that the
/// parts of a table too large for one machine can be summarised apart and
/// merged.
struct CountHistogram {
  std::vector<std::int64_t> Values;  // distinct, ascending
  std::vector<std::int64_t> Rows;    // regions with each value, each above 0
};

/// The histogram with the values below 0 counted at 0, as a ladder takes
/// them (see CountKind).
CountHistogram ClampedAtZero(const CountHistogram& histogram);

/// The largest count, 0 for an empty ladder.
std::int64_t Largest(const CountLadder& ladder);

}  // namespace propsmooth

#endif  // PROPSMOOTH_ESTIMATE_COUNT_LADDER_H_
