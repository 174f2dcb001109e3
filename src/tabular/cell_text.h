// The text of one CSV or TSV cell: read as a count or size, and shown in a
// message.
#ifndef PROPSMOOTH_TABULAR_CELL_TEXT_H_
#define PROPSMOOTH_TABULAR_CELL_TEXT_H_

#include <cstddef>
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
/// allowed; the number is an optional "+" or "-", one or more digits, and
/// optionally "." (or "," when `decimal_comma`) and one or more zeros:
/// "12.0" is how pandas writes a whole number in a float column, "12.00"
/// how a spreadsheet exports one shown with two decimals, "12,0" how both
/// write it where a comma is the decimal mark (there "1.000" and "1,000",
/// which may group thousands, are no whole number). A sign changes nothing but
/// the value: "+5" is 5 and "-0" and "+0" are 0, as a reader of numbers
/// takes them.
CellNumber ReadCountCell(std::string_view text, bool decimal_comma = false);

/// What an expected-count or exposure cell holds.
enum class PositiveReading {
  kPositive,    // a finite number above 0, in Value
  kNotAbove0,   // a number, 0 or below
  kNotFinite,   // "inf", "nan" or a number beyond a double's range
  kNotANumber,  // anything else: empty, "NA", "12 h", "1,000.5", ...
};

struct PositiveNumber {
  PositiveReading Reading = PositiveReading::kNotANumber;
  double Value = 0.0;  // with kPositive only
};

/// Reads an expected count or an exposure: blanks around it allowed, then a
/// decimal number as C's strtod reads one without hexadecimal forms (an
/// optional sign, digits with an optional decimal mark, an optional
/// exponent), the mark "." or, when `decimal_comma`, ",". The spellings of
/// infinity and NaN are kNotFinite, so that they are named as such.
PositiveNumber ReadPositiveCell(std::string_view text, bool decimal_comma = false);

/// Whether a group cell stands for no group: empty or "NA" (R writes NA
/// for a missing value, pandas nothing), blanks around it ignored.
bool IsMissingGroupText(std::string_view text);

/// The offset of the first byte of `text` that is not part of a well-formed
/// UTF-8 character (overlong forms, surrogates and code points above
/// U+10FFFF are not); npos when there is none.
std::size_t FirstNonUtf8Byte(std::string_view text);

/// Appends `text` with what must not reach a terminal or a page as it
/// stands written out: LF, CR and tab as \n, \r and \t; NUL and the other
/// C0 control bytes, DEL, the C1 controls (U+0080 to U+009F, which some
/// terminals obey as escape sequences) and every byte that is not UTF-8 as
/// \xHH. Everything else, backslashes and quotes included, is kept. The one
/// sanitiser for labels shown in messages and on the page.
void AppendPrintable(std::string_view text, std::string* out);

/// `text` as AppendPrintable writes it.
std::string PrintableText(std::string_view text);

/// True for the texts that R, pandas and spreadsheets write for a missing
/// value ("", "NA", "NaN", "NULL", "#N/A", ...), blanks around them ignored.
bool IsMissingValueText(std::string_view text);

/// `text` for a one-line message: in double quotes, with quotes and
/// backslashes escaped by a backslash, and the rest as AppendPrintable
/// writes it. Only the first 60 bytes are shown (never
/// half a UTF-8 character), then "..." after the closing quote.
std::string QuoteForMessage(std::string_view text);

/// `text` escaped as by QuoteForMessage, without the quotes and in full:
/// for names such as a column's.
std::string EscapeForMessage(std::string_view text);

}  // namespace propsmooth

#endif  // PROPSMOOTH_TABULAR_CELL_TEXT_H_
