// What reading a data file asks for and gives: the chosen columns, the
// records with their group labels and ids, or why the data were refused.
#ifndef PROPSMOOTH_TABULAR_INPUT_TABLE_H_
#define PROPSMOOTH_TABULAR_INPUT_TABLE_H_

#include <cstddef>
#include <string>
#include <vector>

#include "common/exit_status.h"
#include "common/types.h"
#include "tabular/input_format.h"
#include "tabular/text_column.h"

namespace propsmooth {

/// What becomes of a record whose group cell is empty or "NA".
enum class MissingGroup {
  kRefuse,    // the data are refused, the line named
  kSkip,      // the record is left out of every output
  kOwnGroup,  // such records form one group of their own, labelled ""
};

/// The header names of the columns to read (--count, --size, --group,
/// --id, --keep), matched exactly, and how the cells are split. Empty: not
/// chosen. Count and Size are needed for CSV and TSV; the legacy format has
/// no names, and none may be given. One column may serve twice (Group and
/// Id, say). A header cell with no name is named "field N" after its
/// place (N from 1): R's write.csv leaves the name of its row names' column
/// empty, and --id "field 1" then reads them.
struct ColumnChoice {
  std::string Count;
  std::string Size;
  std::string Group;  // empty: all records form one group
  std::string Id;     // empty: no label per record
  /// Columns carried as text into the CSV table, in this order.
  std::vector<std::string> Keep{};
  /// Keep every column that is not read as Count, Size, Group or Id, in
  /// the header's order (Keep must then be empty).
  bool KeepAll = false;
  MissingGroup Missing = MissingGroup::kRefuse;
  /// The byte between values: ',', ';', '\t' or '|'. 0: a tab for TSV;
  /// for CSV a comma, or a semicolon when the header line has a semicolon
  /// and no comma (R's write.csv2 and spreadsheets where the comma is the
  /// decimal mark; ",0" then also ends a whole number).
  char Delimiter = 0;
  /// Rates (last, so that a choice written out in order keeps its
  /// meaning): the column of each record's expected count (or person-time,
  /// with Exposure), read as a number above 0 in place of a size; Size
  /// must then be empty. Empty: proportions, counts of their sizes.
  std::string Expected{};
  /// Expected names person-time rather than an expected count: messages
  /// and the CSV table call it "exposure".
  bool Exposure = false;
};

/// The data as read.
struct InputTable {
  InputFormat Format = InputFormat::kLegacy;  // the format they were read in
  /// One record per data row, in file order. CSV and TSV: Data1 the count,
  /// Data2 the size, Code the row's number (1 for the first row under the
  /// header), Unit the index of its group value in GroupLabels, or -1 for
  /// every record when there is no group column. Since groups are formed in
  /// ascending Unit, they come in the order in which their values first
  /// appear. Legacy: the four numbers as the file gives them.
  RecordTable Records;
  /// The group values as found (text, blanks around them dropped), by Unit.
  /// Empty without a group column, and for the legacy format, whose Units
  /// are their own labels.
  std::vector<std::string> GroupLabels;
  /// The id of each record, by record index; empty without an id column.
  TextColumn Ids;
  /// Rates: each record's expected count or exposure, by record index
  /// (Data2 is then 0); empty for proportions.
  std::vector<double> Expected;
  /// The kept columns' header names, and each one's cells by record index.
  std::vector<std::string> KeptNames;
  std::vector<TextColumn> Kept;
  /// Records left out for a missing group (MissingGroup::kSkip).
  std::size_t SkippedRows = 0;
};

/// Why the data were refused.
struct InputError {
  ExitStatus Status = ExitStatus::kMalformedData;
  /// The text to print, as it stands, ending with a line feed. For CSV and
  /// TSV one line that names the file, the line (1 is the first line of
  /// the file; a record's line is the one it starts on), the column and
  /// the text found, and says what is allowed:
  ///   deaths.csv line 17, column births: "12.5" is not a whole number >= 1
  /// For the legacy format, the text propsmooth prints for the same fault.
  std::string Message;
};

}  // namespace propsmooth

#endif  // PROPSMOOTH_TABULAR_INPUT_TABLE_H_
