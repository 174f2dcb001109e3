#include "stats/equal_proportions.h"

#include "estimate/moments.h"

namespace propsmooth {

void EqualProportionsTest::Add(std::int64_t x, std::int64_t n) {
  EqualProportionsTest one;
  one.FirstX = x;
  one.FirstN = n;
  one.Regions = 1;
  one.Equal = n > 0;
  Merge(one);
}

void EqualProportionsTest::Merge(const EqualProportionsTest& other) {
  if (other.Regions == 0) return;
  if (Regions == 0) {
    *this = other;
    return;
  }
  // |x|, |n| <= 2^31: each product is at most 2^62, exact.
  Equal = Equal && other.Equal && other.FirstX * FirstN == FirstX * other.FirstN;
  Regions += other.Regions;
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
  return equal_proportions ? record.Proportion() : record.EbPropMe;
}

}  // namespace propsmooth
