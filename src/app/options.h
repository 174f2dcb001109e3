// Reading the command-line options into the run settings.
#ifndef PROPSMOOTH_APP_OPTIONS_H_
#define PROPSMOOTH_APP_OPTIONS_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "common/types.h"

namespace propsmooth {

/// Reads an integer as the option reader does: leading white space, an
/// optional sign, decimal digits up to the first other character; the rest
/// is ignored and no digits give 0. Empty when the digits do not fit a
/// 32-bit signed integer.
std::optional<std::int32_t> ReadOptionInteger(std::string_view text);

/// Reads a floating-point number as the option reader does: leading white
/// space, an optional sign, digits with at most one ".", an optional
/// exponent; the rest is ignored and no digit before the exponent gives 0.0.
/// Directly behind a sign, "INF" and "NAN" (upper case) are read too. A
/// number beyond the double range is an infinity.
double ReadOptionFloat(std::string_view text);

/// Applies the option arguments (all arguments after the two file names) to
/// `settings` in order, the last occurrence winning. Returns false at the
/// first argument that is no option or holds a value without a defined
/// result (an "-L" beyond 32 bits, an "-A"/"-B" of +inf or NaN, an "-E" of
/// NaN); the options before it have been stored.
bool ParseOptions(std::span<const std::string_view> args, RunSettings* settings);

}  // namespace propsmooth

#endif  // PROPSMOOTH_APP_OPTIONS_H_
