// The report tool's command line: two file names, its own long options and
// propsmooth's fit options.
#ifndef PROPSMOOTH_REPORT_TOOL_REPORT_OPTIONS_H_
#define PROPSMOOTH_REPORT_TOOL_REPORT_OPTIONS_H_

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "common/types.h"
#include "report_tool/group_report.h"

namespace propsmooth {

/// Everything one report run is told.
struct ReportSettings {
  std::string DataFileName;
  std::string ReportFileName;
  std::string TsvFileName;    // empty: no interval table
  double Level = 0.95;        // strictly between 0 and 1
  PriorEstimator Estimator = PriorEstimator::kMle;
  std::size_t MaxGroups = 100;  // groups drawn with plots and tables
  RunSettings Fit;            // -A, -B, -E, -L as propsmooth reads them
};

/// How reading the command line ended.
enum class CommandLineOutcome {
  kRun,          // settings complete
  kShown,        // --help or --version: the text is to be printed, status 0
  kOptionError,  // a fit option propsmooth would refuse
  kUsageError,   // anything else wrong: the text says what
};

/// Reads the arguments after the program's name. Arguments of the form
/// -A..., -B..., -E..., -L... (either case, value glued behind the letter,
/// before any "--") are propsmooth's fit options and are read exactly as
/// propsmooth reads them; everything else goes to the long-option parser.
/// `text` receives the help, version or error text.
CommandLineOutcome ReadReportCommandLine(std::span<const std::string_view> args,
                                         ReportSettings* settings, std::string* text);

}  // namespace propsmooth

#endif  // PROPSMOOTH_REPORT_TOOL_REPORT_OPTIONS_H_
