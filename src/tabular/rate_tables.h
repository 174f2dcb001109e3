// The tables of a run of rates (--model poisson): the CSV table and the
// summary, in the conventions of the proportions' own (table_files.h).
#ifndef PROPSMOOTH_TABULAR_RATE_TABLES_H_
#define PROPSMOOTH_TABULAR_RATE_TABLES_H_

#include <string>

#include "common/output_file.h"
#include "stats/rate_estimates.h"
#include "tabular/table_files.h"

namespace propsmooth {

/// Appends the row of record `i` of `data` (its count and expected value
/// in data.Input), LF ended: group, id, x, the expected value as read, then
/// the figures of `figures` (AppendFigureCells at `per`, the threshold's
/// cells when `threshold`) and the kept columns.
/// With `local`, its spatial cells before the kept columns.
void AppendRateCsvRow(const EstimatedData& data, RecordLabels* labels, std::size_t i,
                      const RecordFigures& figures, double per, bool threshold, std::string* out,
                      const LocalFigures* local = nullptr);

/// Writes the CSV table of rates: kRateCsvTableHeader (its fourth column
/// "exposure" with `exposure`: the data's were read with --exposure), the threshold's
/// columns when `threshold`, the kept columns; then a row per record in
/// the order of the data. Rates times `per`. With `spatial` (by record),
/// kCsvSpatialColumns and their cells before the kept columns.
void WriteRateCsvTable(const EstimatedData& data, const RateEstimates& estimates, double per,
                       bool threshold, bool exposure, OutputFile* csv,
                       const RowProgress& progress, const SpatialEstimates* spatial = nullptr);

/// Writes the summary of rates: kSummaryTableHeader, then a row per group
/// (AppendSummaryRow for CountModel::kPoisson), in the units of the CSV
/// table's rates: mean times `per`, variance times per^2, the gamma rates
/// beta_me and beta and se_beta over `per` (Gamma(alpha, beta) of a rate is
/// Gamma(alpha, beta / per) of the rate times per). The shape, the standard
/// errors on the log scale, size_lower95 and loglik do not depend on it.
/// `more` (when not null) adds its columns at the end of every line.
void WriteRateSummaryTable(const EstimatedData& data, const RateEstimates& estimates, double per,
                           OutputFile* csv, const SummaryColumns* more = nullptr);

}  // namespace propsmooth

#endif  // PROPSMOOTH_TABULAR_RATE_TABLES_H_
