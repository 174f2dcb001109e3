// The report tool's command line: the data file, the page, the tables, the
// columns to read, its own long options and propsmooth's fit options.
#ifndef PROPSMOOTH_REPORT_TOOL_REPORT_OPTIONS_H_
#define PROPSMOOTH_REPORT_TOOL_REPORT_OPTIONS_H_

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/types.h"
#include "report_tool/group_report.h"
#include "report_tool/input_format.h"
#include "report_tool/input_table.h"

namespace propsmooth {

/// The file name that stands for standard input (the data) or standard
/// output (the CSV table).
inline constexpr std::string_view kStandardStream = "-";

/// Everything one report run is told.
struct ReportSettings {
  std::string DataFileName;    // kStandardStream: standard input
  std::string ReportFileName;  // empty: no page (a table is asked for)
  std::string TsvFileName;     // empty: no interval table
  std::string CsvFileName;     // empty: no CSV table; kStandardStream: standard output
  std::string SummaryFileName;  // empty: no summary table
  std::optional<InputFormat> Format;  // empty: from the name, else the first line
  ColumnChoice Columns;        // --count, --size, --group, --id
  bool Percent = false;        // the CSV table's proportions in percent
  double Level = 0.95;         // strictly between 0 and 1
  PriorEstimator Estimator = PriorEstimator::kMle;
  std::optional<double> Threshold;  // strictly between 0 and 1: the exceedance columns
  double Fdr = 0.05;                // strictly between 0 and 1
  std::size_t MaxGroups = 100;  // groups drawn with plots and tables
  RunSettings Fit;             // -A, -B, -E, -L as propsmooth reads them
};

/// How reading the command line ended.
enum class CommandLineOutcome {
  kRun,          // settings complete
  kShown,        // --help or --version: the text is to be printed, status 0
  kOptionError,  // a fit option propsmooth would refuse: the text names it
  kUsageError,   // anything else wrong: the text says what
};

/// Reads the arguments after the program's name; options and file names
/// may come in any order, and after "--" every argument is a file name.
/// The fit options -A, -B, -E and -L (either case) are read as propsmooth
/// reads them, the value glued behind the letter ("-L10"); a letter alone
/// takes the next argument as its value when that is a number ("-L 10",
/// "-A -1"), and the value must then be a number as a whole, a whole one
/// for -L. Everything else goes to the long-option parser. `text` receives
/// the help, version or error text; an error names the option.
CommandLineOutcome ReadReportCommandLine(std::span<const std::string_view> args,
                                         ReportSettings* settings, std::string* text);

}  // namespace propsmooth

#endif  // PROPSMOOTH_REPORT_TOOL_REPORT_OPTIONS_H_
