// Test groups built from (Data1, Data2) lists, the worked groups whose
// figures are known independently, and the settings to run them with.
#ifndef PROPSMOOTH_TESTS_ESTIMATE_WORKED_GROUPS_H_
#define PROPSMOOTH_TESTS_ESTIMATE_WORKED_GROUPS_H_

#include <utility>
#include <vector>

#include "common/types.h"

namespace propsmooth {

/// (Data1, Data2) of each region, in region order.
using Counts = std::vector<std::pair<int, int>>;

inline const Counts kTwoRegions = {{1, 10}, {3, 10}};
inline const Counts kSixRegions = {{12, 100}, {30, 120}, {7, 80},
                                   {25, 90},  {16, 110}, {40, 150}};

/// Settings with the given tolerance, limit and starting values.
inline RunSettings Settings(double eps, int limit, double alpha_init, double beta_init) {
  RunSettings settings;
  settings.Eps = eps;
  settings.IterationLimit = limit;
  settings.AlphaInit = alpha_init;
  settings.BetaInit = beta_init;
  return settings;
}

/// A workspace holding `counts` as its regions, results unset.
inline GroupWorkspace MakeGroup(const Counts& counts) {
  GroupWorkspace workspace;
  for (const auto& [data1, data2] : counts) {
    Region region;
    region.Data1 = data1;
    region.Data2 = data2;
    workspace.Regions.push_back(region);
  }
  return workspace;
}

}  // namespace propsmooth

#endif  // PROPSMOOTH_TESTS_ESTIMATE_WORKED_GROUPS_H_
