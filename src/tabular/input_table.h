// What reading a data file asks for and gives: the chosen columns, the
// records with their group labels and ids, or why the data were refused.
#ifndef PROPSMOOTH_TABULAR_INPUT_TABLE_H_
#define PROPSMOOTH_TABULAR_INPUT_TABLE_H_

#include <string>
#include <vector>

#include "common/exit_status.h"
#include "common/types.h"
#include "tabular/input_format.h"
#include "tabular/text_column.h"

namespace propsmooth {

/// The header names of the columns to read (--count, --size, --group,
/// --id), matched exactly. Empty: not chosen. Count and Size are needed for
/// CSV and TSV; the legacy format has no names, and none may be given.
/// One column may serve twice (Group and Id, say).
struct ColumnChoice {
  std::string Count;
  std::string Size;
  std::string Group;  // empty: all records form one group
  std::string Id;     // empty: no label per record
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
