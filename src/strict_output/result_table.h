// The result table: one tab-separated row per record, in file order.
#ifndef PROPSMOOTH_STRICT_OUTPUT_RESULT_TABLE_H_
#define PROPSMOOTH_STRICT_OUTPUT_RESULT_TABLE_H_

#include <string>

#include "common/joined_text.h"
#include "common/types.h"
#include "common/output_file.h"

namespace propsmooth {

/// The names of the seven columns, tab-separated: the header line without
/// its line end.
inline constexpr char kResultColumns[] =
    "Unit\tCode\tData1\tData2\tProportion(%)\tEB-Prop(ME)(%)\tEB-Prop(MLE)(%)";

/// The header line, CR LF included.
inline constexpr auto kResultHeaderLine = JoinText(kResultColumns, "\r\n");
inline constexpr const char* kResultHeader = kResultHeaderLine.Chars;

/// Appends the seven fields of `record`'s row, tab-separated, without the
/// line end.
void AppendResultFields(const RegionRecord& record, std::string* out);

/// Appends the row of `record`: its four numbers and its three proportions
/// in percent, "***" for a failed fit's EB proportion.
void AppendResultRow(const RegionRecord& record, std::string* out);

/// Writes the header and every record's row to `file`, a block at a time.
void WriteResultTable(const RecordTable& table, OutputFile* file);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STRICT_OUTPUT_RESULT_TABLE_H_
