// Reading CSV and TSV through libcsv: the header names the columns, and
// each row after it becomes a record.
#ifndef PROPSMOOTH_TABULAR_DELIMITED_PARSER_H_
#define PROPSMOOTH_TABULAR_DELIMITED_PARSER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "tabular/input_table.h"

namespace propsmooth {

/// Parses CSV or TSV text (RFC 4180 quoting: a value in double quotes may
/// hold the delimiter, line breaks and doubled quotes) handed over in
/// pieces split anywhere, into an InputTable. The delimiter is the
/// columns' Delimiter, else a tab for TSV and a comma for CSV (the caller
/// tells a semicolon from the header line). Lines end in LF, CR LF or CR.
/// The first row that is not blank is the header, and blank lines are
/// skipped anywhere. Blanks around a value not in quotes are dropped. A
/// double quote elsewhere than around a whole value, a row with more or
/// fewer values than the header (told before its cells are read), a count
/// or size that is no whole number in range, a missing group (unless the
/// columns' Missing says otherwise) and a group, id or kept cell that is
/// not UTF-8 are refused, with the first refusal kept. Not copyable.
class DelimitedParser {
 public:
  /// Fills `table` (which must be empty, and outlive the parser) with
  /// `format` (kCsv or kTsv) data; `name` is the file's name in messages.
  DelimitedParser(InputFormat format, std::string name, const ColumnChoice& columns,
                  InputTable* table);
  ~DelimitedParser();
  DelimitedParser(const DelimitedParser&) = delete;
  DelimitedParser& operator=(const DelimitedParser&) = delete;

  /// The size of the whole text when known, so that the records get their
  /// room once rather than by repeated copies.
  void ExpectBytes(std::size_t bytes);

  /// Parses the next piece of the text (no byte order mark). False once the
  /// data are refused; error() then says why, and later calls do nothing.
  /// Throws std::bad_alloc when memory runs out.
  bool Parse(std::string_view piece);

  /// Ends the text: false when it is refused (a quote still open, no
  /// header, a bad last row).
  bool Finish();

  /// Why the data were refused, once Parse or Finish has returned false.
  const InputError& error() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace propsmooth

#endif  // PROPSMOOTH_TABULAR_DELIMITED_PARSER_H_
