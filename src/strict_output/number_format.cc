#include "strict_output/number_format.h"

#include <charconv>
#include <cmath>

namespace propsmooth {

void AppendInt(std::int32_t value, std::string* out) {
  char text[16];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out->append(text, result.ptr);
}

void AppendFixed6(double value, std::string* out) {
  if (std::isinf(value)) {
    out->append(value > 0 ? "+INF" : "-INF");
    return;
  }
  // The largest double has 309 integer digits; six decimals and a sign fit.
  char text[400];
  const auto result =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
  out->append(text, result.ptr);
}

void AppendEstimate(std::optional<double> value, std::string* out) {
  if (value) {
    AppendFixed6(*value, out);
  } else {
    out->append("***");
  }
}

}  // namespace propsmooth
