// Values as the log and the table print them, to compare with the
// six-decimal figures of worked examples.
#ifndef PROPSMOOTH_TESTS_REPORT_PRINTED_H_
#define PROPSMOOTH_TESTS_REPORT_PRINTED_H_

#include <string>

#include "common/types.h"
#include "strict_output/number_format.h"

namespace propsmooth {

/// `value` as AppendFixed6 writes it.
inline std::string FormatFixed6(double value) {
  std::string text;
  AppendFixed6(value, &text);
  return text;
}

/// An ML result as the log shows it: "***" when the fit failed.
inline std::string Shown(std::optional<double> value) {
  std::string text;
  AppendEstimate(value, &text);
  return text;
}

}  // namespace propsmooth

#endif  // PROPSMOOTH_TESTS_REPORT_PRINTED_H_
