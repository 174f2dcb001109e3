// A ladder's rungs lead every region back to its own count, two bytes a
// rung up to 65,536 distinct counts and four beyond, whichever way the
// counts are sorted.
#include "estimate/count_ladder.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

std::int64_t Expected(const Region& region, CountKind kind) {
  switch (kind) {
    case CountKind::kSize:
      return region.Data2 < 0 ? 0 : region.Data2;
    case CountKind::kSuccess:
      return region.Data1 < 0 ? 0 : region.Data1;
    case CountKind::kFailure:
      return region.Data2 > region.Data1 ? std::int64_t{region.Data2} - region.Data1 : 0;
  }
  return 0;
}

// `distinct` sizes, each `spacing` apart, in a scrambled order; every
// count a third of its size, so that x and n - x have as many values.
std::vector<Region> Regions(std::int32_t distinct, std::int32_t spacing) {
  std::vector<Region> regions;
  for (std::int32_t i = 0; i < distinct; ++i) {
    const std::int32_t k = static_cast<std::int32_t>((std::int64_t{i} * 7919) % distinct);
    Region region;
    region.Data2 = 3 * (k + 1) * spacing;
    region.Data1 = (k + 1) * spacing;
    regions.push_back(region);
  }
  return regions;
}

TEST(CountLadder, RungsLeadBackToEachRegionsCount) {
  struct Case {
    std::string Name;
    std::vector<Region> Regions;
    bool Narrow;  // for the size ladder
  };
  // Spacing 1 keeps the counts within 4 regions + 64 of 0 (counted into a
  // table); spacing 1,000 does not (sorted).
  std::vector<Case> cases = {
      {"few, counted", Regions(10, 1), true},
      {"few, sorted", Regions(10, 1000), true},
      {"narrow limit, counted", Regions(65536, 1), true},
      {"one past the limit, counted", Regions(65537, 1), false},
      {"one past the limit, sorted", Regions(65537, 1000), false},
      {"negative and repeated counts", {{-3, 5}, {4, -2}, {7, 5}, {4, 5}, {0, 0}}, true},
  };
  for (const Case& c : cases) {
    for (const CountKind kind : {CountKind::kSize, CountKind::kSuccess, CountKind::kFailure}) {
      SCOPED_TRACE(c.Name + ", kind " + std::to_string(static_cast<int>(kind)));
      const CountLadder ladder = MakeCountLadder(c.Regions, kind);
      ASSERT_EQ(ladder.Regions(), c.Regions.size());
      if (kind == CountKind::kSize) {
        EXPECT_EQ(ladder.NarrowRung.empty(), !c.Narrow);
        EXPECT_EQ(ladder.WideRung.empty(), c.Narrow);
      }
      ladder.WithRungs([&](auto rungs) {
        for (std::size_t i = 0; i < rungs.size(); ++i) {
          ASSERT_LT(rungs[i], ladder.Counts.size()) << "region " << i;
          ASSERT_EQ(ladder.Counts[rungs[i]], Expected(c.Regions[i], kind)) << "region " << i;
        }
      });
      for (std::size_t j = 1; j < ladder.Counts.size(); ++j) {
        ASSERT_LT(ladder.Counts[j - 1], ladder.Counts[j]) << "rung " << j;
      }
    }
  }
}

}  // namespace
}  // namespace propsmooth
