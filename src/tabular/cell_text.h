// The text of one CSV or TSV cell: read as a count or size, and shown in a
// message.
#ifndef PROPSMOOTH_TABULAR_CELL_TEXT_H_
#define PROPSMOOTH_TABULAR_CELL_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace propsmooth {

/// What a count or size cell holds.
enum class CellReading {
  kWhole,     // a whole number from 0 to 2,147,483,647, in Value
  kNegative,  // a whole number below 0
  kTooLarge,  // a whole number above 2,147,483,647
  kNotWhole,  // anything else: empty, "NA", "12.5", "1e3", "1,000", ...
};

struct CellNumber {
  CellReading Reading = CellReading::kNotWhole;
  std::int32_t Value = 0;  // with kWhole only
};

/// Reads a count or size cell. Blanks (spaces, tabs) around the number are
/// allowed; the number is an optional "-", one or more digits, and
/// optionally "." and one or more zeros: "12.0" is how pandas writes a whole
/// number in a float column, "12.00" how a spreadsheet exports one shown
/// with two decimals. "-0" is 0.
CellNumber ReadCountCell(std::string_view text);

/// True for the texts that R, pandas and spreadsheets write for a missing
/// value ("", "NA", "NaN", "NULL", "#N/A", ...), blanks around them ignored.
bool IsMissingValueText(std::string_view text);

/// `text` for a one-line message: in double quotes, with quotes and
/// backslashes escaped by a backslash, line breaks and tabs as \n, \r, \t
/// and other control bytes as \xHH. Only the first 60 bytes are shown (never
/// half a UTF-8 character), then "..." after the closing quote.
std::string QuoteForMessage(std::string_view text);

/// `text` escaped as by QuoteForMessage, without the quotes and in full:
/// for names such as a column's.
std::string EscapeForMessage(std::string_view text);

}  // namespace propsmooth

#endif  // PROPSMOOTH_TABULAR_CELL_TEXT_H_
