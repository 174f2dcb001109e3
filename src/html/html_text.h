// How the report writes text into its page: markup escaped, numbers in
// fixed notation.
#ifndef PROPSMOOTH_HTML_HTML_TEXT_H_
#define PROPSMOOTH_HTML_HTML_TEXT_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "strict_output/number_format.h"

namespace propsmooth {

/// Appends `text` with &, <, >, " and ' written as character references,
/// and control bytes (but line ends and tabs) and bytes that are not UTF-8
/// written out as \xHH, as the messages show them.
void AppendEscaped(std::string_view text, std::string* out);

/// Appends `value` in fixed notation with `decimals` digits after the point
/// (at least one digit before it); a value that is not finite as "0".
void AppendDecimal(double value, int decimals, std::string* out);

/// Appends `value` with six significant digits, as printf's %g writes it
/// ("2.30478", "1.2e-07"); a dash for a value that is missing or not finite.
/// For the page, where a round-trip number would crowd a table.
void AppendSignificant(std::optional<double> value, std::string* out);

/// Appends `n` as an English ordinal: 1st, 2nd, 3rd, 4th, 11th, 12th, 13th,
/// 21st, 22nd, 101st, 111th.
void AppendOrdinal(std::size_t n, std::string* out);

/// Appends a proportion in percent with six decimals, as the tables of
/// propsmooth write it: 0.125 -> "12.500000".
void AppendPercent(double proportion, std::string* out);

/// A proportion in percent at the precision a reader needs: two decimals
/// (0.125 -> "12.50"), but within 1% of 0% or 100% three significant
/// digits of the distance to it (0.000123 -> "0.0123", 0.99987 ->
/// "99.9870"); "0.00" for 0; a value that is not finite as a dash. The CSV
/// table keeps every digit.
std::string BriefPercent(double proportion);

/// The same without trailing zeros, for prose: 0.5 -> "50", 0.125 -> "12.5".
std::string BriefPercentWords(double proportion);

/// Appends `value` with `digits` significant digits and no trailing zeros
/// (4: 2.304781 -> "2.305", 14.0 -> "14"); a dash for a value that is not
/// finite.
void AppendRounded(double value, int digits, std::string* out);

/// A level in percent without trailing zeros: 0.95 -> "95", 0.999 -> "99.9".
std::string LevelText(double level);

}  // namespace propsmooth

#endif  // PROPSMOOTH_HTML_HTML_TEXT_H_
