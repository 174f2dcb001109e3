// The report page around the group sections, and the interval table for
// scripts.
#ifndef PROPSMOOTH_HTML_HTML_REPORT_H_
#define PROPSMOOTH_HTML_HTML_REPORT_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/types.h"
#include "stats/beta_math.h"
#include "stats/group_fit.h"
#include "stats/rate_moments.h"
#include "html/group_report.h"

namespace propsmooth {

/// What the head of the page states about the run.
struct ReportHeader {
  std::string DataFileName;
  RunSettings Fit;
  double Level = 0.95;
  PriorEstimator Estimator = PriorEstimator::kMle;
  std::optional<double> Threshold;  // with --threshold
  double Fdr = 0.05;
  ColumnNames Columns;
  std::string_view GroupColumn;  // empty: four-number data or no group column
  std::string_view IdColumn;     // empty: no id column
  std::size_t RecordCount = 0;
  std::size_t GroupCount = 0;
  // Sections drawn and index rows listed: the first groups in order.
  std::size_t DetailedGroups = 0;
  // Groups of one region that complete pooling leaves as they are.
  std::size_t UnsmoothedGroups = 0;
  // Rates (--model poisson): counts against expected counts, or against
  // person-time (Exposure), shown times Per.
  bool Rates = false;
  bool Exposure = false;
  double Per = 1.0;
};

/// Appends the page's start: the doctype, the head with its inline style
/// sheet (no script, font or other outside resource), the title and the
/// run's settings in words, and a warning when groups of one region were
/// left unsmoothed, up to the index of groups.
void AppendDocumentHead(const ReportHeader& header, std::string* html);

/// Opens the index table that lists every group, with the columns of
/// header.Rates' model.
void AppendIndexHead(const ReportHeader& header, std::string* html);

/// One index row: the group's title (GroupTitle), region count, log
/// figures and the figures of `fit` (the summary table's, to four digits),
/// linked to section `index` when `detailed`.
void AppendIndexRow(std::string_view title, std::size_t regions, const GroupSummary& summary,
                    const GroupFit& fit, bool detailed, std::size_t index, std::string* html);

/// One index row of rates: the group's title, region count, the moment
/// estimators `moments` (mean and variance shown times `per`) and the
/// figures of `fit`, as AppendIndexRow.
void AppendRateIndexRow(std::string_view title, std::size_t regions, const RateMoments& moments,
                        double per, const GroupFit& fit, bool detailed, std::size_t index,
                        std::string* html);

/// Closes the index table and states how many groups have sections and,
/// when the index stops short of them all, how many more groups the
/// summary table has.
void AppendIndexFoot(const ReportHeader& header, std::string* html);

/// Closes the page.
void AppendDocumentFoot(std::string* html);

}  // namespace propsmooth

#endif  // PROPSMOOTH_HTML_HTML_REPORT_H_
