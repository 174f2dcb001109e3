// From the records to every figure of the report's tables: propsmooth's
// estimates, each group's fit, the records' posteriors and discoveries.
// propsmooth-report and the Python module both estimate through here.
#ifndef PROPSMOOTH_REPORT_TOOL_RECORD_ESTIMATES_H_
#define PROPSMOOTH_REPORT_TOOL_RECORD_ESTIMATES_H_

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

#include "report_tool/group_fit.h"
#include "report_tool/record_intervals.h"
#include "report_tool/report_files.h"
#include "report_tool/report_options.h"

namespace propsmooth {

/// Told now and then, on the calling thread, how far a stage has got:
/// `done` of `total` `what` ("groups estimated").
using StageProgress =
    std::function<void(std::size_t done, std::size_t total, std::string_view what)>;

/// What a run needs beyond propsmooth's estimates and priors.
struct EstimateParts {
  bool Intervals = false;   // every record's interval under its group's prior (the TSV)
  bool Fits = false;        // every group's fit (the CSV table, the summary, the page)
  bool SizeBound = false;   // the fits' profile bounds (the summary, the page)
  // Every record's posterior under its group's fit, with --threshold its
  // tails and the discoveries over all records too; needs Fits.
  bool Posteriors = false;
};

/// The intervals EstimateRecords computes; each is empty unless asked for.
struct RecordEstimates {
  RecordIntervals Intervals;   // under data.Priors
  RecordIntervals Posteriors;  // under data.Fits
};

/// The posterior figures of a record of group g under `fits[g]`: its
/// interval at `level` and, when asked and a `threshold` is given, its
/// tails there. `fits` must outlive the result.
PairPosterior PosteriorsUnderFits(std::span<const GroupFit> fits, double level,
                                  std::optional<double> threshold);

/// Estimates the records of `data` in the groups of its Plan under
/// `settings` (Fit, Estimator, Level, Threshold, Fdr): sets the records'
/// results, Summaries and Priors, and what `parts` asks for (Fits,
/// Discoveries), on up to `workers` threads. What a thread throws (running
/// out of memory) reaches the caller.
RecordEstimates EstimateRecords(const ReportSettings& settings, const EstimateParts& parts,
                                unsigned workers, const StageProgress& progress,
                                EstimatedData* data);

}  // namespace propsmooth

#endif  // PROPSMOOTH_REPORT_TOOL_RECORD_ESTIMATES_H_
