// Every number format of the two output files, in one place.
#ifndef PROPSMOOTH_STRICT_OUTPUT_NUMBER_FORMAT_H_
#define PROPSMOOTH_STRICT_OUTPUT_NUMBER_FORMAT_H_

#include <cstdint>
#include <optional>
#include <string>

namespace propsmooth {

/// Appends `value` as "%d" does: decimal digits, "-" for negatives.
void AppendInt(std::int32_t value, std::string* out);

/// Appends `value` as AppendFixed6 does, or "***" when it is empty: the one
/// place that decides how an estimate a failed fit could not give is shown.
void AppendEstimate(std::optional<double> value, std::string* out);

/// Appends `value` as "%lf" does: fixed-point with six decimals, rounded to
/// nearest with exact ties to even, every digit exact, a "-" on any negative
/// value (also one that rounds to zero, and -0.0). Infinities are written
/// "+INF" and "-INF".
void AppendFixed6(double value, std::string* out);

/// A proportion in percent, as the tables show every proportion: one
/// multiplication, rounded once.
inline double PercentOf(double proportion) { return 100.0 * proportion; }

}  // namespace propsmooth

#endif  // PROPSMOOTH_STRICT_OUTPUT_NUMBER_FORMAT_H_
