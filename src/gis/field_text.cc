// The text of GIS fields and the kinds of the CSV table's columns: plain
// C++, compiled into the program (for its tests and callers) and into the
// GIS module (which spells and types fields with them).
#include "gis/region_file.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

namespace propsmooth {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

enum class CellKind { kEmpty, kInteger, kReal, kText };

CellKind KindOfCell(const std::string& cell) {
  if (cell.empty()) return CellKind::kEmpty;
  const char* begin = cell.data();
  const char* end = begin + cell.size();
  const char* digits = *begin == '-' ? begin + 1 : begin;
  // A leading zero or a plus sign is part of a label ("01001"), which a
  // number would lose.
  if (digits == end || *begin == '+' || (*digits == '0' && end - digits > 1 && IsDigit(digits[1]))) {
    return CellKind::kText;
  }
  bool all_digits = true;
  for (const char* at = digits; at != end; ++at) all_digits = all_digits && IsDigit(*at);
  if (all_digits) {
    std::int64_t whole = 0;
    const auto [stop, fault] = std::from_chars(begin, end, whole);
    // Digits beyond 64 bits would lose some as a double: text keeps them.
    return fault == std::errc() && stop == end ? CellKind::kInteger : CellKind::kText;
  }
  double value = 0.0;
  const auto [stop, fault] = std::from_chars(begin, end, value);
  return fault == std::errc() && stop == end && std::isfinite(value) ? CellKind::kReal
                                                                      : CellKind::kText;
}

}  // namespace

std::string RealFieldText(double value) {
  if (!std::isfinite(value)) return std::string();
  std::array<char, 32> text{};
  constexpr double kExactWhole = 9007199254740992.0;  // 2^53
  if (std::floor(value) == value && std::fabs(value) <= kExactWhole) {
    const auto result =
        std::to_chars(text.data(), text.data() + text.size(), static_cast<std::int64_t>(value));
    return std::string(text.data(), result.ptr);
  }
  const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
  return std::string(text.data(), result.ptr);
}

FieldKind KindOfCells(const std::vector<std::vector<std::string>>& rows, std::size_t column) {
  FieldKind kind = FieldKind::kInteger;
  for (const std::vector<std::string>& row : rows) {
    switch (KindOfCell(row[column])) {
      case CellKind::kEmpty:
      case CellKind::kInteger:
        break;
      case CellKind::kReal:
        kind = FieldKind::kReal;
        break;
      case CellKind::kText:
        return FieldKind::kText;
    }
  }
  return kind;
}

}  // namespace propsmooth
