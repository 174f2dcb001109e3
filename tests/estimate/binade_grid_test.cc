// A run's plan against the plain running sums: it must end before either
// sum reaches its next power of two, and where the terms fall fast across
// it, not long before.
#include "estimate/binade_grid.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

struct Sums {
  double First = 0.0;
  double Second = 0.0;
};

// The plain loop from k = from up to k = to, one term at a time.
Sums PlainFrom(double base, std::int64_t from, std::int64_t to, Sums sums) {
  for (std::int64_t k = from; k < to; ++k) {
    const double d = base + static_cast<double>(k);
    sums.First = sums.First + 1.0 / d;
    sums.Second = sums.Second + 1.0 / (d * d);
  }
  return sums;
}

double NextPowerOfTwo(double sum) { return std::exp2(std::floor(std::log2(sum)) + 1.0); }

TEST(PlanRun, EndsBeforeEitherSumReachesItsNextPowerOfTwoAndNotLongBefore) {
  struct Case {
    double Base;
    std::int64_t From;
    // Whether the terms fall fast enough across the run for it to end
    // near the first crossing: within 4 terms or an eighth of its length.
    bool Tight;
  };
  // The large bases have nearly flat terms: their runs end by the first
  // term's bound, a few percent early, and are checked for soundness only.
  const Case cases[] = {
      {0.5, 40, true},    {0.5, 300, true},   {3.0, 40, true},      {3.0, 300, true},
      {3.0, 1000, true},  {30.0, 300, true},  {30.0, 1000, true},   {250.0, 1000, true},
      {250.0, 5000, true}, {7.25, 1000, true}, {30.0, 5000, false}, {2000.0, 300, false},
      {1e6, 1000, false},
  };
  constexpr std::int64_t kLast = std::int64_t{1} << 22;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "base " << c.Base << " from " << c.From);
    const Sums start = PlainFrom(c.Base, 0, c.From, {});
    RunPlan plan;
    ASSERT_EQ(PlanRun(c.Base, c.From, kLast, start.First, start.Second, &plan),
              RunStart::kReady);
    ASSERT_GT(plan.To, c.From);
    const double limit1 = NextPowerOfTwo(start.First);
    const double limit2 = NextPowerOfTwo(start.Second);
    // Sound: the last term the run takes leaves both sums in their binades.
    const Sums end = PlainFrom(c.Base, c.From, plan.To, start);
    EXPECT_LT(end.First, limit1);
    EXPECT_LT(end.Second, limit2);
    if (!c.Tight || !plan.EndsNearPowerOfTwo) continue;
    const std::int64_t most_short = std::max<std::int64_t>(4, (plan.To - c.From) / 8);
    const Sums past = PlainFrom(c.Base, plan.To, plan.To + most_short, end);
    EXPECT_TRUE(past.First >= limit1 || past.Second >= limit2)
        << "the run ends " << plan.To - c.From << " terms in, too soon";
  }
}

}  // namespace
}  // namespace propsmooth
