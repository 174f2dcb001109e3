// The log file: a header and one summary section per group.
#ifndef PROPSMOOTH_STRICT_OUTPUT_LOG_REPORT_H_
#define PROPSMOOTH_STRICT_OUTPUT_LOG_REPORT_H_

#include <cstdint>
#include <string>

#include "common/types.h"

namespace propsmooth {

/// The program's title, first on the console and in the log.
inline constexpr const char* kTitleLine =
    "EB estimator for Binomial-Beta model [Version 1.1]\n";
/// The credit line that follows the title, on the console and in the log.
inline constexpr const char* kCreditLine =
    " propsmooth: empirical Bayes smoothing of proportions\n";

/// Appends the header: title line, credit line and an empty line.
void WriteLogHeader(std::string* log);

/// Appends the eleven-line section of the single group of all records.
void WriteGroupSection(std::int64_t region_count, const GroupSummary& summary,
                       double eps, std::string* log);

/// Appends the section of the group of records with Unit `unit`: a unit
/// line, the eleven lines, and an empty line.
void WriteUnitSection(std::int32_t unit, std::int64_t region_count,
                      const GroupSummary& summary, double eps, std::string* log);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STRICT_OUTPUT_LOG_REPORT_H_
