// The report page around the group sections, and the interval table for
// scripts.
#ifndef PROPSMOOTH_REPORT_TOOL_HTML_REPORT_H_
#define PROPSMOOTH_REPORT_TOOL_HTML_REPORT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/joined_text.h"
#include "common/types.h"
#include "report/result_table.h"
#include "report_tool/beta_math.h"
#include "report_tool/group_fit.h"
#include "report_tool/group_report.h"

namespace propsmooth {

/// What the head of the page states about the run.
struct ReportHeader {
  std::string DataFileName;
  RunSettings Fit;
  double Level = 0.95;
  PriorEstimator Estimator = PriorEstimator::kMle;
  std::size_t RecordCount = 0;
  std::size_t GroupCount = 0;
  std::size_t DetailedGroups = 0;  // sections drawn, the first groups in order
};

/// Appends the page's start: the doctype, the head with its inline style
/// sheet (no script, font or other outside resource), the title and the
/// run's settings, up to the index of groups.
void AppendDocumentHead(const ReportHeader& header, std::string* html);

/// Opens the index table that lists every group.
void AppendIndexHead(std::string* html);

/// One index row: the group's title (GroupTitle), region count, log
/// figures and the figures of `fit` (the summary table's, to six digits),
/// linked to section `index` when `detailed`.
void AppendIndexRow(std::string_view title, std::size_t regions, const GroupSummary& summary,
                    const GroupFit& fit, bool detailed, std::size_t index, std::string* html);

/// Closes the index table and states how many groups have sections.
void AppendIndexFoot(const ReportHeader& header, std::string* html);

/// Closes the page.
void AppendDocumentFoot(std::string* html);

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

#endif  // PROPSMOOTH_REPORT_TOOL_HTML_REPORT_H_
