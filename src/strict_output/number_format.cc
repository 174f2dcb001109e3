#include "strict_output/number_format.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace propsmooth {

char* WriteInt(std::int32_t value, char* at) {
  return std::to_chars(at, at + kMaxIntText, value).ptr;
}

char* WriteFixed6(double value, char* at) {
  if (std::isinf(value)) {
    std::memcpy(at, value > 0 ? "+INF" : "-INF", 4);
    return at + 4;
  }
  return std::to_chars(at, at + kMaxFixed6Text, value, std::chars_format::fixed, 6).ptr;
}

char* WriteEstimate(std::optional<double> value, char* at) {
  if (value) return WriteFixed6(*value, at);
  std::memcpy(at, "***", 3);
  return at + 3;
}

void AppendInt(std::int32_t value, std::string* out) {
  char text[kMaxIntText];
  out->append(text, static_cast<std::size_t>(WriteInt(value, text) - text));
}

void AppendFixed6(double value, std::string* out) {
  char text[kMaxFixed6Text];
  out->append(text, static_cast<std::size_t>(WriteFixed6(value, text) - text));
}

void AppendEstimate(std::optional<double> value, std::string* out) {
  char text[kMaxFixed6Text];
  out->append(text, static_cast<std::size_t>(WriteEstimate(value, text) - text));
}

}  // namespace propsmooth
