#include "html/html_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "strict_output/number_format.h"
#include "tabular/cell_text.h"

namespace propsmooth {

void AppendEscaped(std::string_view text, std::string* out) {
  // Labels and names come from the data: a control byte or one that is not
  // UTF-8 is written out as the messages write it, so that it shows rather
  // than breaks the page. Line ends and tabs stay: the log has them.
  std::string shown;
  for (std::size_t start = 0;;) {
    const std::size_t end = std::min(text.find_first_of("\n\t", start), text.size());
    AppendPrintable(text.substr(start, end - start), &shown);
    if (end == text.size()) break;
    shown.push_back(text[end]);
    start = end + 1;
  }
  for (const char c : shown) {
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

std::string BriefPercent(double proportion) {
  const double percent = PercentOf(proportion);
  if (!std::isfinite(percent)) return "\u2014";
  // Within 1% of 0 or of 100%, two decimals would round a rare rate to
  // 0.00 and a near-certain one to 100.00: keep three significant digits
  // of the distance instead, down to a millionth of a percent.
  const double edge = std::min(std::fabs(percent), std::fabs(100.0 - percent));
  int decimals = 2;
  if (edge > 0.0 && edge < 1.0) {
    decimals = std::min(8, 2 - static_cast<int>(std::floor(std::log10(edge))));
  }
  std::string text;
  AppendDecimal(percent, decimals, &text);
  // A rounded tiny negative value reads as "-0.00", which no count gives.
  if (text.find_first_not_of("-0.") == std::string::npos && text.front() == '-') text.erase(0, 1);
  return text;
}

namespace {

void DropTrailingZeros(std::string* text) {
  if (text->find('.') == std::string::npos || text->find('e') != std::string::npos) return;
  while (!text->empty() && text->back() == '0') text->pop_back();
  if (!text->empty() && text->back() == '.') text->pop_back();
}

}  // namespace

std::string BriefPercentWords(double proportion) {
  std::string text = BriefPercent(proportion);
  DropTrailingZeros(&text);
  return text;
}

void AppendRounded(double value, int digits, std::string* out) {
  if (!std::isfinite(value)) {
    out->append("\u2014");
    return;
  }
  char text[48];
  const auto result =
      std::to_chars(text, text + sizeof text, value, std::chars_format::general, digits);
  std::string rounded(text, result.ptr);
  DropTrailingZeros(&rounded);
  out->append(rounded);
}

std::string LevelText(double level) {
  std::string text;
  AppendDecimal(PercentOf(level), 6, &text);
  while (!text.empty() && text.back() == '0') text.pop_back();
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

}  // namespace propsmooth
