// Equal proportions decided exactly, for the front door.
//
// Proportions that are all one fraction (2/10, 4/20, ..., 12/60) have no
// spread, but propsmooth's variance of them, summed in double, is rounding
// (some 1e-34), and its moment estimators come out near 1e31 where a
// variance of exactly 0 gives 0. propsmooth keeps those bytes. The CSV and
// summary tables, the page and the Python module decide equality in
// integers instead and report such a group as propsmooth reports no
// spread: variance and moment estimators 0, each region's eb_me its raw
// proportion. The legacy TSV table keeps propsmooth's figures.
#ifndef PROPSMOOTH_STATS_EQUAL_PROPORTIONS_H_
#define PROPSMOOTH_STATS_EQUAL_PROPORTIONS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/types.h"

namespace propsmooth {

/// Takes a group's (x, n) one region at a time, or merges the tests of two
/// sets of regions, and tells whether every x/n is the same fraction:
/// x FirstN == FirstX n in 64-bit integers (exact for 32-bit counts), every
/// n above 0 (a size of 0 has no proportion), at least one region.
struct EqualProportionsTest {
  std::int64_t FirstX = 0;  // the first region's x and n
  std::int64_t FirstN = 0;
  std::int64_t Regions = 0;
  bool Equal = true;  // every region so far at FirstX/FirstN, each n above 0

  void Add(std::int64_t x, std::int64_t n);
  /// The test of both sets of regions, in either order. Each first x and
  /// n must be a 32-bit count.
  void Merge(const EqualProportionsTest& other);
  bool AllEqual() const { return Regions > 0 && Equal; }
};

/// EqualProportionsTest over `regions`.
bool ProportionsAllEqual(const std::vector<Region>& regions);
bool ProportionsAllEqual(const std::vector<RegionRecord>& regions);

/// propsmooth's `summary` as the front door reports it: for a group of
/// `equal` proportions, variance 0 and the moment estimators of a variance
/// of 0 (both 0); else unchanged. The ML figures are propsmooth's either way.
void SettleEqualProportions(bool equal, GroupSummary* summary);

/// A region's eb_me as the front door reports it: the raw proportion in a
/// group of equal proportions (the EB rate under moment estimators of 0, as
/// propsmooth has it for no spread), else propsmooth's EbPropMe.
double ReportedEbMe(const RegionRecord& record, bool equal_proportions);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_EQUAL_PROPORTIONS_H_
