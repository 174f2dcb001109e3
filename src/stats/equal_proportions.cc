#include "stats/equal_proportions.h"

#include "estimate/moments.h"

namespace propsmooth {

void EqualProportionsTest::Add(std::int64_t x, std::int64_t n) {
  if (n <= 0) equal_ = false;
  if (regions_++ == 0) {
    first_x_ = x;
    first_n_ = n;
    return;
  }
  // |x|, |n| < 2^31: each product is below 2^62, exact.
  if (x * first_n_ != first_x_ * n) equal_ = false;
}

bool ProportionsAllEqual(const std::vector<Region>& regions) {
  EqualProportionsTest test;
  for (const Region& region : regions) test.Add(region.Data1, region.Data2);
  return test.AllEqual();
}

bool ProportionsAllEqual(const std::vector<RegionRecord>& regions) {
  EqualProportionsTest test;
  for (const RegionRecord& region : regions) test.Add(region.Data1, region.Data2);
  return test.AllEqual();
}

void SettleEqualProportions(bool equal, GroupSummary* summary) {
  if (equal) SetMomentEstimators(summary->Mean, 0.0, summary);
}

double ReportedEbMe(const RegionRecord& record, bool equal_proportions) {
  // propsmooth's EB rate at Alpha = Beta = 0, (x + 0)/((0 + 0) + n), is
  // x/n to the bit: its raw proportion.
  return equal_proportions ? record.Proportion : record.EbPropMe;
}

}  // namespace propsmooth
