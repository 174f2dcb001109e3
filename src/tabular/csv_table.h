// The CSV table: one row per record with its estimates and interval, for
// R's read.csv and pandas' read_csv to read without options.
#ifndef PROPSMOOTH_TABULAR_CSV_TABLE_H_
#define PROPSMOOTH_TABULAR_CSV_TABLE_H_

#include <optional>
#include <string>
#include <string_view>

#include "common/types.h"
#include "stats/beta_math.h"
#include "stats/record_figures.h"
#include "stats/spatial_eb.h"
#include "tabular/csv_columns.h"

namespace propsmooth {

/// Appends `text` as one field (RFC 4180): as it stands, or in double
/// quotes, each of its own doubled, when it holds a comma, a double quote,
/// a CR or an LF.
void AppendCsvField(std::string_view text, std::string* out);

/// Appends `value` with the fewest digits that read back as the same
/// double ("0.1", "0.30000000000000004", "1e-05"); nothing (an empty cell,
/// a missing value to both readers) for a value that is not finite.
void AppendShortest(double value, std::string* out);

/// How a row's proportions or rates are shown: as they are, in percent
/// (--percent), or times Per (--per, rates).
struct FigureScale {
  bool Percent = false;
  double Per = 1.0;
};

/// Appends the cells of a row after its fourth, each comma first: raw,
/// eb_me, eb, lower and upper shown at `scale`, prior, and with
/// `threshold` p_exceed, pep and q_value (never scaled; empty where
/// missing) and discovery ("true" or "false", empty without a q-value).
/// Proportions and rates alike.
void AppendFigureCells(const RecordFigures& figures, const FigureScale& scale, bool threshold,
                       std::string* out);

/// Appends the spatial cells of a row, each comma first: the number of
/// neighbours, local_eb_me, local_eb, local_lower and local_upper shown at
/// `scale` (empty where missing), and local_prior.
void AppendLocalCells(const LocalFigures& figures, const FigureScale& scale, std::string* out);

/// What a CSV row says beyond the record and its figures' sources.
struct CsvRowContext : FigureSources {
  std::string_view Group;  // the group's label as text
  std::string_view Id;     // the record's label as text
  bool Percent = false;    // proportions times 100
};

/// Appends the cells of `record`'s row after its group and id, comma
/// first and LF ended: count, size and every figure, as AppendCsvRow
/// writes them. Records of a group with the same count and size have the
/// same cells.
void AppendCsvPairCells(const RegionRecord& record, const CsvRowContext& context,
                        const CredibleBounds& bounds, std::string* out);

/// Appends the row of `record`, LF ended: group, id, count, size, the raw
/// and the moment-estimator EB proportion, then its EB proportion, the
/// interval `bounds` and the prior's name. Without an EB proportion, eb,
/// lower, upper and prior are empty; so are lower and upper when `bounds`
/// holds no interval. With threshold cells: p_exceed, pep and q_value
/// (never in percent; empty where missing) and discovery ("true" or
/// "false", empty without a q-value).
void AppendCsvRow(const RegionRecord& record, const CsvRowContext& context,
                  const CredibleBounds& bounds, std::string* out);

}  // namespace propsmooth

#endif  // PROPSMOOTH_TABULAR_CSV_TABLE_H_
