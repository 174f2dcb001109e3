// The records, settings and per-group workspace shared by every stage.
#ifndef PROPSMOOTH_COMMON_TYPES_H_
#define PROPSMOOTH_COMMON_TYPES_H_

#include <bit>
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

/// A double that may be missing, in the room of one double rather than
/// the sixteen bytes of std::optional<double>: missing is one quiet NaN
/// whose payload no arithmetic makes from numbers (a NaN they make has
/// none), so every result an estimate stores, a NaN among them, reads
/// back as stored. Reads as std::optional<double> where one is asked for.
class PackedOptional {
 public:
  constexpr PackedOptional() = default;
  constexpr PackedOptional(std::nullopt_t) {}  // NOLINT: as std::optional
  constexpr PackedOptional(double value) : value_(value) {}  // NOLINT: as std::optional
  constexpr PackedOptional(const std::optional<double>& value)  // NOLINT: as std::optional
      : value_(value ? *value : Missing()) {}

  constexpr bool has_value() const { return std::bit_cast<std::uint64_t>(value_) != kMissing; }
  constexpr explicit operator bool() const { return has_value(); }
  /// The value; only when there is one.
  constexpr double operator*() const { return value_; }
  constexpr double value_or(double otherwise) const { return has_value() ? value_ : otherwise; }
  constexpr operator std::optional<double>() const {  // NOLINT: as std::optional
    return has_value() ? std::optional(value_) : std::nullopt;
  }

  friend constexpr bool operator==(const PackedOptional& a, const PackedOptional& b) {
    return std::optional<double>(a) == std::optional<double>(b);
  }
  // Without it std::optional's own comparison would take a PackedOptional
  // for a value, missing or not.
  friend constexpr bool operator==(const PackedOptional& a, const std::optional<double>& b) {
    return std::optional<double>(a) == b;
  }

 private:
  static constexpr std::uint64_t kMissing = 0x7FF8'0000'6D69'7373ull;
  static constexpr double Missing() { return std::bit_cast<double>(kMissing); }

  double value_ = Missing();
};

/// One record of the data file with the results of its group.
struct RegionRecord {
  std::int32_t Unit = 0;
  std::int32_t Code = 0;
  std::int32_t Data1 = 0;  // count observed in the region
  std::int32_t Data2 = 0;  // size of the region
  double EbPropMe = 0.0;
  PackedOptional EbPropMle = std::nullopt;  // empty when the group's fit failed

  /// The raw proportion, count over size: kept by no record, for ten
  /// million of them would hold 80 MB of what one division gives.
  double Proportion() const {
    return static_cast<double>(Data1) / static_cast<double>(Data2);
  }
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
  double EbPropMe = 0.0;
  PackedOptional EbPropMle = std::nullopt;  // empty when the group's fit failed

  /// The raw proportion, count over size: kept by no record, for ten
  /// million of them would hold 80 MB of what one division gives.
  double Proportion() const {
    return static_cast<double>(Data1) / static_cast<double>(Data2);
  }
};

/// The current group: its regions in file order and its summary. Each group
/// overwrites every field.
struct GroupWorkspace {
  std::vector<Region> Regions;
  GroupSummary Summary;
};

}  // namespace propsmooth

#endif  // PROPSMOOTH_COMMON_TYPES_H_
