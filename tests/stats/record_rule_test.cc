// The record rule, 0 <= x <= n and n >= 1, judged without overflow at the
// ends of the 32- and 64-bit ranges, the count's fault before the size's.
#include "stats/record_rule.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <span>
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
// Data2 - Data1 is never formed in 32 bits (-1 of 2^31 - 1 would wrap); the
// posterior of a good one is Beta(x + alpha, n - x + beta).
TEST(PosteriorUnderFit, NoneOutsideTheRule) {
  struct Case {
    std::int32_t Data1, Data2;
    const char* Prior;  // the CSV's name of the posterior
    std::optional<BetaPrior> Posterior;
    IntervalStatus Status;
  };
  const Case kCases[] = {
      {3, 10, "safeguarded", BetaPrior{5.0, 8.0}, IntervalStatus::kOk},
      {3, 10, "complete pooling", BetaPrior{2.0, 1.0}, IntervalStatus::kOk},
      {-1, 2147483647, "safeguarded", std::nullopt, IntervalStatus::kNotComputable},
      {-2147483647 - 1, 2147483647, "newton", std::nullopt,
       IntervalStatus::kNotComputable},
      {-1, 5, "complete pooling", std::nullopt, IntervalStatus::kNotComputable},
      {0, 0, "safeguarded", std::nullopt, IntervalStatus::kNotComputable},
      {11, 10, "safeguarded", std::nullopt, IntervalStatus::kCountAboveSize},
      {11, 10, "complete pooling", std::nullopt, IntervalStatus::kCountAboveSize},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::Message() << c.Data1 << " of " << c.Data2);
    RegionRecord record;
    record.Data1 = c.Data1;
    record.Data2 = c.Data2;
    const std::optional<GroupFit> named = FitOfPriorName(c.Prior, 2.0, 1.0, 2.0 / 3.0);
    ASSERT_TRUE(named.has_value());
    const GroupFit& fit = *named;
    const std::optional<BetaPrior> posterior = PosteriorUnderFit(record, fit);
    ASSERT_EQ(posterior.has_value(), c.Posterior.has_value());
    if (posterior) {
      EXPECT_EQ(posterior->Alpha, c.Posterior->Alpha);
      EXPECT_EQ(posterior->Beta, c.Posterior->Beta);
    }
    EXPECT_EQ(IntervalUnderFit(record, fit, 0.95).Status, c.Status);
  }
}

}  // namespace
}  // namespace propsmooth
