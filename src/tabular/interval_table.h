// The interval table (--tsv): propsmooth's result columns with each
// record's credible interval under its group's legacy prior, for scripts
// that read it as they always have.
#ifndef PROPSMOOTH_TABULAR_INTERVAL_TABLE_H_
#define PROPSMOOTH_TABULAR_INTERVAL_TABLE_H_

#include <string>
#include <string_view>

#include "common/joined_text.h"
#include "common/types.h"
#include "stats/beta_math.h"
#include "stats/group_prior.h"
#include "strict_output/result_table.h"

namespace propsmooth {

/// The header line of the interval table, "\n" ended: the result table's
/// columns and the interval's.
inline constexpr auto kIntervalTableHeaderLine =
    JoinText(kResultColumns, "\tPrior\tLower(%)\tUpper(%)\tNote\n");
inline constexpr const char* kIntervalTableHeader = kIntervalTableHeaderLine.Chars;

/// The columns the interval table of CSV or TSV data has beyond those of
/// the four-number format, tab first.
inline constexpr const char* kIntervalLabelColumns = "\tGroup\tId";

/// Appends the interval-table row of `record` without its line end: the
/// result table's seven columns, the prior's name, the bounds in percent
/// (empty without an interval) and the reason when there is none.
void AppendIntervalRow(const RegionRecord& record, PriorSource source,
                       const CredibleBounds& bounds, std::string* out);

/// Appends `text` as one field of the interval table: a backslash, tab, LF
/// and CR written as \\, \t, \n and \r, so that neither a field nor a row
/// can end inside it.
void AppendTsvText(std::string_view text, std::string* out);

}  // namespace propsmooth

#endif  // PROPSMOOTH_TABULAR_INTERVAL_TABLE_H_
