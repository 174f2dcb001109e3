// The interval table (--tsv): propsmooth's result columns with each
// record's credible interval under its group's legacy prior, for scripts
// that read it as they always have.
//
// The legacy prior (propsmooth's MLE, the moment estimators where its fit
// failed or where asked) is this table's alone: every other output uses the
// group's fit (stats/group_fit.h). Only the table's writer includes this
// header; scripts/check-layers holds everything else to that.
#ifndef PROPSMOOTH_TABULAR_INTERVAL_TABLE_H_
#define PROPSMOOTH_TABULAR_INTERVAL_TABLE_H_

#include <span>
#include <string>
#include <string_view>

#include "common/joined_text.h"
#include "common/types.h"
#include "input/grouping.h"
#include "stats/beta_math.h"
#include "stats/group_fit.h"
#include "stats/record_intervals.h"
#include "strict_output/result_table.h"

namespace propsmooth {

/// Where a group's legacy prior came from.
enum class LegacyPriorSource {
  kMle,               // propsmooth's converged maximum-likelihood fit
  kMe,                // the moment estimators, as asked
  kMeAfterFailedFit,  // the moment estimators, because propsmooth's fit failed
};

/// The beta prior of a group's rows in the interval table.
struct LegacyPrior {
  double Alpha = 0.0;
  double Beta = 0.0;
  LegacyPriorSource Source = LegacyPriorSource::kMe;
};

/// The legacy prior of a group with propsmooth's `summary` under `estimator`.
LegacyPrior ChooseLegacyPrior(const GroupSummary& summary, PriorEstimator estimator);

/// How the table's Prior column names it: "MLE", "ME" or "ME (MLE failed)".
const char* LegacyPriorText(LegacyPriorSource source);

/// The interval at `level` of every record of `table` under the legacy
/// prior of its group in `plan` (`priors`, by group): what
/// PosteriorInterval(Data1, Data2, Alpha, Beta, level) gives, bit for bit,
/// once per distinct (Data1, Data2) of a group, on up to `workers` threads.
RecordIntervals ComputeLegacyIntervals(const RecordTable& table, const GroupPlan& plan,
                                       std::span<const LegacyPrior> priors, double level,
                                       unsigned workers, const IntervalProgress& progress);

/// The interval at `level` of a record of group g under `priors[g]`, as
/// ComputeLegacyIntervals finds them; `priors` must outlive it.
PairPosterior LegacyPosterior(std::span<const LegacyPrior> priors, double level);

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
void AppendIntervalRow(const RegionRecord& record, LegacyPriorSource source,
                       const CredibleBounds& bounds, std::string* out);

/// Appends `text` as one field of the interval table: a backslash, tab, LF
/// and CR written as \\, \t, \n and \r, so that neither a field nor a row
/// can end inside it.
void AppendTsvText(std::string_view text, std::string* out);

}  // namespace propsmooth

#endif  // PROPSMOOTH_TABULAR_INTERVAL_TABLE_H_
