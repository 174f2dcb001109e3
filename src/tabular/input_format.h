// The three forms a data file can take, and telling which one a file is in.
#ifndef PROPSMOOTH_TABULAR_INPUT_FORMAT_H_
#define PROPSMOOTH_TABULAR_INPUT_FORMAT_H_

#include <optional>
#include <string_view>

namespace propsmooth {

enum class InputFormat {
  kLegacy,  // propsmooth's own: four whole numbers a record, no header
  kCsv,     // comma-separated values (RFC 4180) under a header line
  kTsv,     // the same with tabs between the values
};

/// The format a file's name promises by its extension, in either case:
/// ".csv" for CSV, ".tsv" and ".tab" for TSV, a ".gz" behind them
/// ignored. Empty for any other name,
/// ".txt" and ".dat" included: spreadsheets save tab-separated text as
/// ".txt" as often as propsmooth's files carry it, so the first line
/// decides those.
std::optional<InputFormat> FormatFromName(std::string_view name);

/// The format of data whose name does not tell, from `line`, its first line
/// (without the line feed; a UTF-8 BOM already removed). Numbers, signs and
/// blanks only, or nothing: kLegacy. Otherwise a tab makes it kTsv, else a
/// comma or a semicolon kCsv; with a `delimiter` other than 0, that one
/// makes it kCsv (kTsv for a tab). Anything else is kLegacy too, the format
/// of the files the tool has always read, so that such a file gets the
/// messages it always got.
InputFormat FormatFromFirstLine(std::string_view line, char delimiter = 0);

/// The delimiter of CSV data whose header line is `line`, when none is
/// given: a semicolon when the line has one and no comma, else a comma.
char CsvDelimiterOf(std::string_view line);

/// The first line of `text` that is not blank, without its line end.
std::string_view FirstFilledLine(std::string_view text);

/// Whether `text` starts with the two bytes that open gzip data.
bool IsGzipData(std::string_view text);

/// `text` without the UTF-8 byte order mark that some programs put first.
std::string_view WithoutByteOrderMark(std::string_view text);

}  // namespace propsmooth

#endif  // PROPSMOOTH_TABULAR_INPUT_FORMAT_H_
