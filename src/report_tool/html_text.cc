#include "report_tool/html_text.h"

#include <charconv>
#include <cmath>

#include "report/number_format.h"

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

void AppendPercent(double proportion, std::string* out) {
  AppendFixed6(100.0 * proportion, out);
}

std::string LevelText(double level) {
  std::string text;
  AppendDecimal(100.0 * level, 6, &text);
  while (!text.empty() && text.back() == '0') text.pop_back();
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

}  // namespace propsmooth
