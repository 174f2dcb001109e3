#include "html/html_text.h"

#include <charconv>
#include <cmath>

#include "strict_output/number_format.h"

namespace propsmooth {

void AppendEscaped(std::string_view text, std::string* out) {
  for (const char c : text) {
    switch (c) {
      case '&': out->append("&amp;"); break;
      case '<': out->append("&lt;"); break;
      case '>': out->append("&gt;"); break;
      case '"': out->append("&quot;"); break;
      case '\'': out->append("&#39;"); break;
      default: out->push_back(c);
    }
  }
}

void AppendSignificant(std::optional<double> value, std::string* out) {
  if (!value || !std::isfinite(*value)) {
    out->append("\u2014");
    return;
  }
  char text[32];
  const auto result =
      std::to_chars(text, text + sizeof text, *value, std::chars_format::general, 6);
  out->append(text, result.ptr);
}

void AppendDecimal(double value, int decimals, std::string* out) {
  if (!std::isfinite(value)) {
    out->push_back('0');
    return;
  }
  char text[400];
  const auto result = std::to_chars(text, text + sizeof text, value,
                                    std::chars_format::fixed, decimals);
  out->append(text, result.ptr);
}

void AppendOrdinal(std::size_t n, std::string* out) {
  out->append(std::to_string(n));
  // 11, 12 and 13 take "th" in every hundred, though they end in 1, 2, 3.
  const std::size_t tens = n % 100;
  if (tens >= 11 && tens <= 13) {
    out->append("th");
    return;
  }
  switch (n % 10) {
    case 1: out->append("st"); break;
    case 2: out->append("nd"); break;
    case 3: out->append("rd"); break;
    default: out->append("th");
  }
}

void AppendPercent(double proportion, std::string* out) {
  AppendFixed6(PercentOf(proportion), out);
}

std::string LevelText(double level) {
  std::string text;
  AppendDecimal(PercentOf(level), 6, &text);
  while (!text.empty() && text.back() == '0') text.pop_back();
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

}  // namespace propsmooth
