#include "estimate/count_ladder.h"

#include <algorithm>
#include <type_traits>

namespace propsmooth {
namespace {

template <typename Row>
std::int64_t CountOf(const Row& region, CountKind kind) {
  switch (kind) {
    case CountKind::kSize:
      return std::max<std::int64_t>(region.Data2, 0);
    case CountKind::kSuccess:
      return std::max<std::int64_t>(region.Data1, 0);
    case CountKind::kFailure:
      return std::max<std::int64_t>(std::int64_t{region.Data2} - region.Data1, 0);
  }
  return 0;
}

// Sets each region's rung to rung_of(its count), in the width the
// ladder's counts allow.
template <typename Row, typename RungOf>
void SetRungs(std::span<const Row> regions, CountKind kind, const RungOf& rung_of,
              CountLadder* ladder) {
  const auto fill = [&](auto* rungs) {
    rungs->resize(regions.size());
    using Rung = typename std::remove_pointer_t<decltype(rungs)>::value_type;
    for (std::size_t i = 0; i < regions.size(); ++i) {
      (*rungs)[i] = static_cast<Rung>(rung_of(CountOf(regions[i], kind)));
    }
  };
  if (ladder->Counts.size() <= CountLadder::kMaxNarrowCounts) {
    fill(&ladder->NarrowRung);
  } else {
    fill(&ladder->WideRung);
  }
}

template <typename Row>
CountLadder LadderOf(std::span<const Row> regions, CountKind kind) {
  CountLadder ladder;
  std::int64_t largest = 0;
  for (const Row& region : regions) largest = std::max(largest, CountOf(region, kind));
  if (static_cast<std::uint64_t>(largest) <= 4 * regions.size() + 64) {
    // Counts in a range of the order of the regions: a table by count
    // sorts them in linear time, and holds no more than the rungs would.
    // A small group with counts in the thousands sorts its few counts
    // faster than it would clear and scan the table.
    std::vector<std::uint32_t> rung_of(static_cast<std::size_t>(largest) + 1, 0);
    for (const Row& region : regions) {
      rung_of[static_cast<std::size_t>(CountOf(region, kind))] = 1;
    }
    std::uint32_t next = 0;
    for (std::size_t count = 0; count < rung_of.size(); ++count) {
      if (rung_of[count] == 0) continue;
      ladder.Counts.push_back(static_cast<std::int64_t>(count));
      rung_of[count] = next++;
    }
    SetRungs(regions, kind,
             [&rung_of](std::int64_t count) { return rung_of[static_cast<std::size_t>(count)]; },
             &ladder);
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
  SetRungs(regions, kind,
           [&ladder](std::int64_t count) {
             return std::lower_bound(ladder.Counts.begin(), ladder.Counts.end(), count) -
                    ladder.Counts.begin();
           },
           &ladder);
  return ladder;
}

}  // namespace

CountLadder MakeCountLadder(std::span<const Region> regions, CountKind kind) {
  return LadderOf(regions, kind);
}

CountLadder MakeCountLadder(std::span<const RegionRecord> regions, CountKind kind) {
  return LadderOf(regions, kind);
}

CountHistogram ClampedAtZero(const CountHistogram& histogram) {
  CountHistogram clamped;
  std::int64_t at_zero = 0;
  std::size_t j = 0;
  for (; j < histogram.Values.size() && histogram.Values[j] <= 0; ++j) {
    at_zero += histogram.Rows[j];
  }
  if (at_zero > 0) {
    clamped.Values.push_back(0);
    clamped.Rows.push_back(at_zero);
  }
  clamped.Values.insert(clamped.Values.end(), histogram.Values.begin() + static_cast<std::ptrdiff_t>(j),
                        histogram.Values.end());
  clamped.Rows.insert(clamped.Rows.end(), histogram.Rows.begin() + static_cast<std::ptrdiff_t>(j),
                      histogram.Rows.end());
  return clamped;
}

std::int64_t Largest(const CountLadder& ladder) {
  return ladder.Counts.empty() ? 0 : ladder.Counts.back();
}

}  // namespace propsmooth
