// The records, settings and per-group workspace shared by every stage.
#ifndef PROPSMOOTH_COMMON_TYPES_H_
#define PROPSMOOTH_COMMON_TYPES_H_

#include <cstdint>
#include <vector>

namespace propsmooth {

/// Stored in place of a maximum-likelihood result when the fit failed;
/// printed as "***", never as a number.
inline constexpr double MissingValue = -9999.0;

/// Settings of one run, read from the command line and never changed after.
struct RunSettings {
  double Eps = 0.00001;          // tolerance on the Newton-Raphson corrections
  std::int32_t IterationLimit = 20;
  double AlphaInit = -1.0;       // not above 0.0: start from the moment estimator
  double BetaInit = -1.0;
  bool ShowTimes = false;
};

/// One record of the data file with the results of its group.
struct RegionRecord {
  std::int32_t Unit = 0;
  std::int32_t Code = 0;
  std::int32_t Data1 = 0;  // count observed in the region
  std::int32_t Data2 = 0;  // size of the region
  double Proportion = 0.0;
  double EbPropMe = 0.0;
  double EbPropMle = 0.0;
};

/// The records in data-file order; record k (from 0) has position k + 1.
using RecordTable = std::vector<RegionRecord>;

/// What the estimator leaves for the log section of one group.
struct GroupSummary {
  double Mean = 0.0;
  double Variance = 0.0;
  double AlphaStart = 0.0;
  double BetaStart = 0.0;
  double AlphaMe = 0.0;
  double BetaMe = 0.0;
  double AlphaMle = 0.0;   // MissingValue when the fit failed
  double BetaMle = 0.0;    // MissingValue when the fit failed
  double ErrAlpha = 0.0;   // last correction of Alpha as it stood at the end
  double ErrBeta = 0.0;
  std::int32_t Converged = 0;   // 1 when the fit succeeded
  std::int32_t Iterations = 0;  // completed Newton-Raphson steps
};

/// One region of the group being estimated.
struct Region {
  std::int32_t Data1 = 0;
  std::int32_t Data2 = 0;
  double Proportion = 0.0;
  double EbPropMe = 0.0;
  double EbPropMle = 0.0;
};

/// The current group: its regions in file order and its summary. Each group
/// overwrites every field.
struct GroupWorkspace {
  std::vector<Region> Regions;
  GroupSummary Summary;
};

}  // namespace propsmooth

#endif  // PROPSMOOTH_COMMON_TYPES_H_
