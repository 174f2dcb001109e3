// Which posterior a group's regions get, how the CSV table names it, and
// the record rule that decides whether a region gets one at all.
#include "stats/group_fit.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "stats/record_rule.h"

namespace propsmooth {
namespace {

PriorFit Fitted(FitLabel label, FitBoundary boundary = FitBoundary::kNone) {
  PriorFit fit;
  fit.Label = label;
  fit.Boundary = boundary;
  if (label == FitLabel::kNewton || label == FitLabel::kSafeguarded) {
    fit.Prior = BetaPrior{2.0, 8.0};
  }
  return fit;
}

// A group of 30 successes in 100 trials; the record is 3 of 10, with
// propsmooth's own EB rates 0.2 (ML) and 0.25 (moments). The names are the
// manual's for the CSV table's prior column; the EB rates by hand: under
// Beta(2, 8) the posterior mean (3 + 2) / (10 + 10) = 0.25, under complete
// pooling 30 / 100, whose posterior is Beta(30.5, 70.5).
TEST(ChooseFit, NamesThePosteriorTheOutputsUse) {
  GroupSummary summary;
  summary.AlphaMe = 1.0;
  summary.BetaMe = 3.0;
  GroupSummary spread = summary;
  spread.AlphaMe = -0.5;
  RegionRecord record;
  record.Data1 = 3;
  record.Data2 = 10;
  record.EbPropMle = 0.2;
  record.EbPropMe = 0.125;
  struct Case {
    const char* Name;
    PriorFit Fit;
    PriorEstimator Estimator;
    const GroupSummary& Summary;
    std::string_view Prior;
    std::optional<double> Eb;
    double Alpha, Beta;
  };
  const Case cases[] = {
      {"newton", Fitted(FitLabel::kNewton), PriorEstimator::kMle, summary, "newton", 0.2, 2, 8},
      {"safeguarded", Fitted(FitLabel::kSafeguarded), PriorEstimator::kMle, summary,
       "safeguarded", 0.25, 2, 8},
      {"binomial limit", Fitted(FitLabel::kNoFiniteMaximum, FitBoundary::kCompletePooling),
       PriorEstimator::kMle, summary, "complete pooling", 0.3, 30.5, 70.5},
      {"no successes", Fitted(FitLabel::kNoFiniteMaximum, FitBoundary::kNoSuccesses),
       PriorEstimator::kMle, summary, "complete pooling", 0.3, 30.5, 70.5},
      {"no pooling", Fitted(FitLabel::kNoFiniteMaximum, FitBoundary::kNoPooling),
       PriorEstimator::kMle, summary, "", std::nullopt, 0, 0},
      {"failed", Fitted(FitLabel::kFailed, FitBoundary::kNotBinomial), PriorEstimator::kMle,
       summary, "", std::nullopt, 0, 0},
      {"me", Fitted(FitLabel::kSafeguarded), PriorEstimator::kMe, summary, "me", 0.125, 1, 3},
      {"me of no beta prior", Fitted(FitLabel::kNewton), PriorEstimator::kMe, spread, "",
       std::nullopt, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const GroupFit fit = ChooseFit(30.0, 100.0, c.Fit, c.Summary, c.Estimator);
    EXPECT_EQ(PriorName(fit), c.Prior);
    EXPECT_EQ(HasPosterior(fit), c.Eb.has_value());
    EXPECT_EQ(EbUnderFit(record, fit), c.Eb);
    EXPECT_EQ(fit.Alpha, c.Alpha);
    EXPECT_EQ(fit.Beta, c.Beta);
    // Beta(x + Alpha, n - x + Beta); complete pooling's is the pooled Beta itself.
    const std::optional<BetaPrior> posterior = PosteriorUnderFit(record, fit);
    ASSERT_EQ(posterior.has_value(), c.Eb.has_value());
    if (posterior) {
      const bool pooled = c.Prior == "complete pooling";
      EXPECT_EQ(posterior->Alpha, pooled ? c.Alpha : 3 + c.Alpha);
      EXPECT_EQ(posterior->Beta, pooled ? c.Beta : 7 + c.Beta);
    }
    // The summary keeps the fit's own label whatever the outputs use.
    EXPECT_EQ(fit.Fit.Label, c.Fit.Label);
    EXPECT_EQ(IntervalUnderFit(record, fit, 0.95).Status == IntervalStatus::kOk,
              c.Eb.has_value());

    // Written out as plain values (Dask's prior) and read back, the fit
    // names the same posterior and gives the same figures.
    const std::optional<GroupFit> read =
        FitOfPriorName(PriorName(fit), fit.Alpha, fit.Beta, fit.PooledRate);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(PriorName(*read), c.Prior);
    if (c.Prior != "newton") {
      EXPECT_EQ(EbUnderFit(record, *read), c.Eb);
    }
    const CredibleBounds a = IntervalUnderFit(record, fit, 0.9);
    const CredibleBounds b = IntervalUnderFit(record, *read, 0.9);
    EXPECT_EQ(a.Status, b.Status);
    if (a.Status == IntervalStatus::kOk) {
      EXPECT_EQ(a.Lower, b.Lower);
      EXPECT_EQ(a.Upper, b.Upper);
    }
  }
}

// Python's PRIOR_NAMES, in the order of smooth()'s prior codes.
TEST(PriorNames, AreTheCsvTablesInOrder) {
  const auto names = PriorNames();
  const std::string_view expected[] = {"newton", "safeguarded", "complete pooling", "me"};
  ASSERT_EQ(names.size(), std::size(expected));
  for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(names[i], expected[i]);
  EXPECT_FALSE(FitOfPriorName("no finite maximum", 1, 2, 0).has_value());
  EXPECT_FALSE(FitOfPriorName("MLE", 1, 2, 0).has_value());
  // A moment prior that is no beta distribution is never written out.
  EXPECT_FALSE(FitOfPriorName("me", -1, 2, 0).has_value());
}

// The record rule, 0 <= x <= n and n >= 1, judged without overflow at the
// ends of the 32- and 64-bit ranges, the count's fault before the size's.
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
