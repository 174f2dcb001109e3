// Every number format of the two output files, in one place.
#ifndef PROPSMOOTH_STRICT_OUTPUT_NUMBER_FORMAT_H_
#define PROPSMOOTH_STRICT_OUTPUT_NUMBER_FORMAT_H_

#include <cstddef>
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

/// The most characters AppendInt writes ("-2147483648"), and the most
/// AppendFixed6 and AppendEstimate write: the largest double has 309
/// integer digits, and six decimals and a sign fit beside them.
inline constexpr std::size_t kMaxIntText = 11;
inline constexpr std::size_t kMaxFixed6Text = 320;

/// The same three formats written at `at`, which has room for the most
/// they write; each returns the end of what it wrote. For a caller that
/// builds a whole row before it appends it: one string append a row, not
/// one a field.
char* WriteInt(std::int32_t value, char* at);
char* WriteFixed6(double value, char* at);
char* WriteEstimate(std::optional<double> value, char* at);

/// A proportion in percent, as the tables show every proportion: one
/// multiplication, rounded once.
inline double PercentOf(double proportion) { return 100.0 * proportion; }

}  // namespace propsmooth

#endif  // PROPSMOOTH_STRICT_OUTPUT_NUMBER_FORMAT_H_
