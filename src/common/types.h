// The records, settings and per-group workspace shared by every stage.
#ifndef PROPSMOOTH_COMMON_TYPES_H_
#define PROPSMOOTH_COMMON_TYPES_H_

#include <cstdint>
#include <optional>
#include <vector>

namespace propsmooth {

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
  std::optional<double> EbPropMle = std::nullopt;  // empty when the group's fit failed
};

/// The records in data-file order; record k (from 0) has position k + 1.
using RecordTable = std::vector<RegionRecord>;

/// The two parameters of a beta prior.
struct BetaPrior {
  double Alpha = 0.0;
  double Beta = 0.0;
};

/// What the estimator leaves for the log section of one group.
struct GroupSummary {
  double Mean = 0.0;
  double Variance = 0.0;
  double AlphaStart = 0.0;
  double BetaStart = 0.0;
  double AlphaMe = 0.0;
  double BetaMe = 0.0;
  std::optional<BetaPrior> Mle = std::nullopt;  // the ML prior; empty when the fit failed
  double ErrAlpha = 0.0;   // last correction of Alpha as it stood at the end
  double ErrBeta = 0.0;
  std::int32_t Iterations = 0;  // completed Newton-Raphson steps
};

/// The ML prior's parameters one at a time; empty when the fit failed.
inline std::optional<double> MleAlpha(const GroupSummary& summary) {
  return summary.Mle ? std::optional(summary.Mle->Alpha) : std::nullopt;
}
inline std::optional<double> MleBeta(const GroupSummary& summary) {
  return summary.Mle ? std::optional(summary.Mle->Beta) : std::nullopt;
}

/// One region of the group being estimated.
struct Region {
  std::int32_t Data1 = 0;
  std::int32_t Data2 = 0;
  double Proportion = 0.0;
  double EbPropMe = 0.0;
  std::optional<double> EbPropMle = std::nullopt;  // empty when the group's fit failed
};

/// The current group: its regions in file order and its summary. Each group
/// overwrites every field.
struct GroupWorkspace {
  std::vector<Region> Regions;
  GroupSummary Summary;
};

}  // namespace propsmooth

#endif  // PROPSMOOTH_COMMON_TYPES_H_
