// The record rule, 0 <= x <= n and n >= 1, judged without overflow at the
// ends of the 32- and 64-bit ranges, the count's fault before the size's.
#include "stats/record_rule.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "common/types.h"
#include "stats/group_fit.h"

namespace propsmooth {
namespace {

constexpr std::int64_t kMin32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kMax32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kMin64 = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();

TEST(CheckRecord, JudgesEveryPairWithoutOverflow) {
  struct Case {
    std::int64_t Count, Size;
    RecordFault Fault;
  };
  const Case kCases[] = {
      {0, 1, RecordFault::kNone},
      {1, 1, RecordFault::kNone},
      {3, 20, RecordFault::kNone},
      {kMax32, kMax32, RecordFault::kNone},
      {0, kMax32, RecordFault::kNone},
      {-1, 5, RecordFault::kCountBelowLeast},
      {kMin32, kMax32, RecordFault::kCountBelowLeast},  // n - x would leave 32 bits
      {kMin64, kMax64, RecordFault::kCountBelowLeast},  // and 64
      {-1, 0, RecordFault::kCountBelowLeast},           // the count is judged first
      {0, 0, RecordFault::kSizeBelowLeast},
      {0, kMin32, RecordFault::kSizeBelowLeast},
      {5, -5, RecordFault::kSizeBelowLeast},
      {5, 4, RecordFault::kCountAboveSize},
      {kMax32, 1, RecordFault::kCountAboveSize},
      {kMax64, kMax64 - 1, RecordFault::kCountAboveSize},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::Message() << c.Count << " of " << c.Size);
    EXPECT_EQ(CheckRecord(c.Count, c.Size), c.Fault);
  }
  EXPECT_EQ(RecordFaultText(RecordFault::kNone), "");
  EXPECT_EQ(RecordFaultText(RecordFault::kCountBelowLeast), "the count is below 0");
  EXPECT_EQ(RecordFaultText(RecordFault::kSizeBelowLeast), "the size is below 1");
  EXPECT_EQ(RecordFaultText(RecordFault::kCountAboveSize), "the count is above the size");
}

TEST(FirstBadRecord, FindsTheFirstInRowOrder) {
  const std::vector<std::int32_t> counts = {1, 2, 9, -1, 3};
  const std::vector<std::int32_t> sizes = {4, 2, 8, 5, 0};
  const std::optional<BadRecord> bad = FirstBadRecord(counts, sizes);
  ASSERT_TRUE(bad.has_value());
  EXPECT_EQ(bad->Row, 2u);
  EXPECT_EQ(bad->Fault, RecordFault::kCountAboveSize);
  const std::vector<std::int64_t> wide_counts = {1, kMin64};
  const std::vector<std::int64_t> wide_sizes = {1, kMax64};
  const std::optional<BadRecord> wide = FirstBadRecord(wide_counts, wide_sizes);
  ASSERT_TRUE(wide.has_value());
  EXPECT_EQ(wide->Row, 1u);
  EXPECT_EQ(wide->Fault, RecordFault::kCountBelowLeast);
  EXPECT_FALSE(FirstBadRecord(std::span(counts).first(2), std::span(sizes).first(2)));
}

// A record outside the rule has no posterior under any fit, and its
// Data2 - Data1 is never formed in 32 bits (-1 of 2^31 - 1 would wrap). A
// good record's posterior: ChooseFit.NamesThePosteriorTheOutputsUse.
TEST(PosteriorUnderFit, NoneOutsideTheRule) {
  const std::pair<std::int32_t, std::int32_t> kBad[] = {
      {-1, 2147483647}, {-2147483647 - 1, 2147483647}, {-1, 5}, {0, 0}, {11, 10}};
  for (const char* prior : {"newton", "safeguarded", "complete pooling"}) {
    const std::optional<GroupFit> fit = FitOfPriorName(prior, 2.0, 1.0, 2.0 / 3.0);
    ASSERT_TRUE(fit.has_value());
    for (const auto& [data1, data2] : kBad) {
      SCOPED_TRACE(::testing::Message() << data1 << " of " << data2 << ", " << prior);
      RegionRecord record;
      record.Data1 = data1;
      record.Data2 = data2;
      EXPECT_FALSE(PosteriorUnderFit(record, *fit).has_value());
      EXPECT_EQ(IntervalUnderFit(record, *fit, 0.95).Status,
                data1 > data2 ? IntervalStatus::kCountAboveSize : IntervalStatus::kNotComputable);
    }
  }
}

}  // namespace
}  // namespace propsmooth
